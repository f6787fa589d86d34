#pragma once

// The board's end of the serial line: the master side of a pseudo-terminal pair
// whose slave is published under a fixed path as a symbolic link.

#include <memory>
#include <string>
#include <string_view>

namespace veltrano::sim {

class PtyLink {
public:
    // Opens a pty pair with the line in raw mode and points linkPath at the slave,
    // creating missing parent directories and replacing an existing symbolic link.
    // Throws std::runtime_error on failure (also when linkPath is something other
    // than a symbolic link).
    explicit PtyLink(const std::string& linkPath);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    const std::string& slaveName() const { return slaveName_; }
    const std::string& linkPath() const { return linkPath_; }

    enum class Status {
        Data, // bytes were appended
        Idle, // nothing arrived within the time-out
        NoClient, // nobody has the slave open; returned at once, so pace the retries
    };
    // Waits up to timeoutMs for input and appends what is there.
    Status read(std::string& into, int timeoutMs);

    // Writes without blocking; returns the number of bytes the line took (what does
    // not fit into the line's buffer is dropped).
    std::size_t write(std::string_view bytes);

    // Puts the line back into raw mode when a newly opened client left echo or
    // canonical input on (they would turn the board's answers into input).
    // Returns true when something had to be changed.
    bool enforceRaw();

    // Closes the master and removes the link (if it still points at this slave).
    // The destructor does the same.
    void close();

private:
    int master_ = -1;
    std::string slaveName_;
    std::string linkPath_;
};

} // namespace veltrano::sim
