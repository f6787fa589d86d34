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

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void makeRaw(termios& t)
{
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

}  // namespace

PtyLink::PtyLink(const std::string& linkPath) : m_linkPath(linkPath)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        const int saved = errno;
        ::close(m_master);
        errno = saved;
        fail("grantpt/unlockpt");
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        ::close(m_master);
        fail("ptsname_r");
    }
    m_slaveName = name;

    // Raw line at 115200 baud (the rate means nothing to a pty but reads back sanely).
    // The slave is opened once for this and closed again, so that the master sees
    // a hang-up until a client opens it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(m_master);
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

    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);

    namespace fs = std::filesystem;
    const fs::path link(linkPath);
    std::error_code ec;
    if (link.has_parent_path())
        fs::create_directories(link.parent_path(), ec);
    const fs::file_status st = fs::symlink_status(link, ec);
    if (fs::exists(st) && !fs::is_symlink(st)) {
        ::close(m_master);
        throw std::runtime_error(linkPath + " exists and is not a symbolic link; not replacing it");
    }
    // New link under a temporary name, then renamed over the old one.
    const std::string temp = linkPath + ".new." + std::to_string(getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        ::close(m_master);
        errno = saved;
        fail("link " + linkPath);
    }
}

PtyLink::~PtyLink()
{
    close();
}

void PtyLink::close()
{
    if (m_master < 0)
        return;
    ::close(m_master);
    m_master = -1;
    char target[256];
    const ssize_t n = ::readlink(m_linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_slaveName)
        ::unlink(m_linkPath.c_str());
}

PtyLink::Status PtyLink::read(std::string& into, int timeoutMs)
{
    pollfd p{m_master, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    if (r <= 0)
        return Status::Idle;
    if (p.revents & POLLIN) {
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            return Status::Data;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return Status::Idle;
        return Status::NoClient;  // EIO: the slave is closed
    }
    if (p.revents & (POLLHUP | POLLERR))
        return Status::NoClient;
    return Status::Idle;
}

std::size_t PtyLink::write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN: the client is not reading; EIO: it has gone
    }
    return done;
}

bool PtyLink::enforceRaw()
{
    termios t{};
    if (tcgetattr(m_master, &t) != 0)
        return false;
    if (!(t.c_lflag & (ECHO | ICANON | ISIG)) && !(t.c_oflag & OPOST) && !(t.c_iflag & (ICRNL | IXON)))
        return false;
    const speed_t in = cfgetispeed(&t);
    const speed_t out = cfgetospeed(&t);
    makeRaw(t);
    cfsetispeed(&t, in);
    cfsetospeed(&t, out);
    return tcsetattr(m_master, TCSANOW, &t) == 0;
}

}  // namespace veltrano::sim
