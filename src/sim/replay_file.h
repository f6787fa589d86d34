#pragma once

// A recorded run read back for replay: the Data_0..Data_3 columns of a CSV file, one
// frame per row. Both forms the program writes are read by their header, a recording
// ("t_ms,x,Data_0,Data_1,Data_2,Data_3") and a chart snapshot ("x,Data_0,...,Data_3");
// the columns are found by name, any others are ignored.
//
// A row is bad when it has another number of columns than the header, or a Data value
// that is empty, not a whole number or outside 0..255; it is named with its line
// number and skipped. Blank lines are skipped silently. "12" and "12.0" read the same.
// Lines end in "\n" or "\r\n". At most kMaxBytes are read: a larger input is refused,
// so memory stays bounded whatever is given (also a pipe or a device).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::sim {

using Frame = std::array<std::uint8_t, 4>;

struct ReplayData {
    std::vector<Frame> frames;
    std::vector<std::string> problems; // "line N: ...", the first kMaxProblems of them
    long unlistedProblems = 0; // bad rows beyond those
    std::string refusal; // why nothing can be played; empty when usable
};

class ReplayReader {
public:
    static constexpr std::size_t kMaxBytes = 64u << 20; // ≈ 3 million rows, some 14 h at 64 polls/s
    static constexpr std::size_t kMaxLine = 1024;
    static constexpr std::size_t kMaxProblems = 50;

    // Text in pieces of any size, as it comes.
    void feed(std::string_view chunk);
    // More than kMaxBytes came: the rest need not be read, it is refused anyway.
    bool full() const { return tooBig_; }
    ReplayData finish();

private:
    void endLine();
    void takeLine(std::string_view line);
    void problem(const std::string& what);

    ReplayData data_;
    std::string line_;
    bool lineTooLong_ = false;
    long lineNumber_ = 0;
    std::size_t bytes_ = 0;
    bool tooBig_ = false;
    bool haveHeader_ = false;
    std::size_t columns_ = 0;
    std::array<std::size_t, 4> dataColumn_{};
};

ReplayData parseReplay(std::string_view text);

// Reads a whole file; an unreadable one is refused with the system's reason.
ReplayData loadReplay(const std::string& path);

} // namespace veltrano::sim
