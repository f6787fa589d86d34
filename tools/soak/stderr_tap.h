#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veltrano::soak {

// Everything this process writes to standard error (handler failures, Qt warnings, ...)
// passes through a pipe read by a thread of its own, which counts the lines and hands
// them on to the real standard error. A thread rather than the event loop, so that a
// burst of output cannot fill the pipe and block the window's thread.
class StderrTap {
public:
    StderrTap();
    ~StderrTap();
    StderrTap(const StderrTap&) = delete;
    StderrTap& operator=(const StderrTap&) = delete;

    long lines() const { return lines_.load(); }
    // The first 20 lines.
    std::vector<std::string> firstLines() const;

private:
    void read(int in);

    int saved_ = -1;
    std::thread reader_;
    std::atomic<long> lines_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> first_;
};

} // namespace veltrano::soak
