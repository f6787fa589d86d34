#include "pty_link.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace veltrano::sim {

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

void makeRaw(termios& t)
{
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

} // namespace

PtyLink::PtyLink(const std::string& linkPath) : linkPath_(linkPath)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        const int saved = errno;
        ::close(master_);
        errno = saved;
        fail("grantpt/unlockpt");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        fail("ptsname_r");
    }
    slaveName_ = name;

    // Raw line at 115200 baud (the rate means nothing to a pty but reads back sanely).
    // The slave is opened once for this and closed again, so that the master sees
    // a hang-up until a client opens it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master_);
        fail(std::string("open ") + name);
    }
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        makeRaw(t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(slave, TCSANOW, &t);
    }
    ::close(slave);

    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);

    namespace fs = std::filesystem;
    const fs::path link(linkPath);
    std::error_code ec;
    if (link.has_parent_path())
        fs::create_directories(link.parent_path(), ec);
    const fs::file_status st = fs::symlink_status(link, ec);
    if (fs::exists(st) && !fs::is_symlink(st)) {
        ::close(master_);
        throw std::runtime_error(linkPath + " exists and is not a symbolic link; not replacing it");
    }
    // New link under a temporary name, then renamed over the old one.
    const std::string temp = linkPath + ".new." + std::to_string(getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        ::close(master_);
        errno = saved;
        fail("link " + linkPath);
    }
}

PtyLink::~PtyLink() { close(); }

void PtyLink::close()
{
    if (master_ < 0)
        return;
    ::close(master_);
    master_ = -1;
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slaveName_)
        ::unlink(linkPath_.c_str());
}

PtyLink::Status PtyLink::read(std::string& into, int timeoutMs)
{
    pollfd p{master_, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r <= 0)
        return Status::Idle;
    if (p.revents & POLLIN) {
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            return Status::Data;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return Status::Idle;
        return Status::NoClient; // EIO: the slave is closed
    }
    if (p.revents & (POLLHUP | POLLERR))
        return Status::NoClient;
    return Status::Idle;
}

std::size_t PtyLink::write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: the client is not reading; EIO: it has gone
    }
    return done;
}

bool PtyLink::enforceRaw()
{
    termios t{};
    if (tcgetattr(master_, &t) != 0)
        return false;
    if (!(t.c_lflag & (ECHO | ICANON | ISIG)) && !(t.c_oflag & OPOST) && !(t.c_iflag & (ICRNL | IXON)))
        return false;
    const speed_t in = cfgetispeed(&t);
    const speed_t out = cfgetospeed(&t);
    makeRaw(t);
    cfsetispeed(&t, in);
    cfsetospeed(&t, out);
    return tcsetattr(master_, TCSANOW, &t) == 0;
}

} // namespace veltrano::sim
