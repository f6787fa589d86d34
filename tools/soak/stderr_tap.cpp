#include "stderr_tap.h"

#include <cstdio>

#include <unistd.h>

namespace veltrano::soak {

StderrTap::StderrTap()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[1]);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    reader_ = std::thread([this, in = fds[0]] { read(in); });
}

StderrTap::~StderrTap()
{
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO); // closes the pipe's last write end: the reader ends
    reader_.join();
    ::close(saved_);
}

std::vector<std::string> StderrTap::firstLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return first_;
}

void StderrTap::read(int in)
{
    std::string partial;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n <= 0)
            break;
        [[maybe_unused]] ssize_t written = ::write(saved_, buffer, size_t(n));
        partial.append(buffer, size_t(n));
        for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
            ++lines_;
            std::lock_guard<std::mutex> lock(mutex_);
            if (first_.size() < 20)
                first_.push_back(partial.substr(0, end));
            partial.erase(0, end + 1);
        }
    }
    ::close(in);
}

} // namespace veltrano::soak
