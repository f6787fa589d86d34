#include "sim/replay_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace veltrano::sim {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    for (;;) {
        const std::size_t comma = line.find(',');
        out.push_back(trimmed(line.substr(0, comma)));
        if (comma == std::string_view::npos)
            return out;
        line.remove_prefix(comma + 1);
    }
}

// A field as it may be quoted in a message: short, and printable.
std::string shown(std::string_view field)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < field.size() && i < 24; ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c >= 0x20 && c < 0x7f && c != '"') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + (field.size() > 24 ? "...\"" : "\"");
}

// Digits, optionally followed by a point and zeros only ("12", "12.0"). -1 when not
// a whole number, 256 for any whole number above 255.
int wholeNumber(std::string_view s)
{
    const std::size_t point = s.find('.');
    std::string_view digits = s.substr(0, point);
    if (digits.empty())
        return -1;
    if (point != std::string_view::npos) {
        for (char c : s.substr(point + 1))
            if (c != '0')
                return -1;
    }
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = std::min(value * 10 + (c - '0'), 256);
    }
    return value;
}

} // namespace

void ReplayReader::feed(std::string_view chunk)
{
    if (tooBig_)
        return;
    if (chunk.size() > kMaxBytes - bytes_) {
        tooBig_ = true;
        return;
    }
    bytes_ += chunk.size();
    while (!chunk.empty()) {
        const std::size_t nl = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, nl);
        if (line_.size() + piece.size() > kMaxLine)
            lineTooLong_ = true;
        else
            line_.append(piece);
        if (nl == std::string_view::npos)
            return;
        endLine();
        chunk.remove_prefix(nl + 1);
    }
}

void ReplayReader::endLine()
{
    ++lineNumber_;
    if (lineTooLong_)
        problem("longer than " + std::to_string(kMaxLine) + " characters");
    else
        takeLine(line_);
    line_.clear();
    lineTooLong_ = false;
}

void ReplayReader::problem(const std::string& what)
{
    if (data_.problems.size() < kMaxProblems)
        data_.problems.push_back("line " + std::to_string(lineNumber_) + ": " + what);
    else
        ++data_.unlistedProblems;
}

void ReplayReader::takeLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (lineNumber_ == 1 && line.starts_with("\xEF\xBB\xBF"))
        line.remove_prefix(3); // a byte-order mark left by an editor
    if (trimmed(line).empty())
        return;
    if (!data_.refusal.empty())
        return;
    const std::vector<std::string_view> cells = fields(line);

    if (!haveHeader_) {
        haveHeader_ = true;
        columns_ = cells.size();
        const std::string where = "the header (line " + std::to_string(lineNumber_) + ")";
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string name = "Data_" + std::to_string(k);
            int found = 0;
            for (std::size_t i = 0; i < cells.size(); ++i) {
                if (cells[i] == name) {
                    dataColumn_[k] = i;
                    ++found;
                }
            }
            if (found != 1) {
                data_.refusal = where + (found ? " has " + name + " more than once" : " has no " + name + " column");
                return;
            }
        }
        return;
    }

    if (cells.size() != columns_) {
        problem(std::to_string(cells.size()) + " columns where the header has " + std::to_string(columns_));
        return;
    }
    Frame frame{};
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string_view cell = cells[dataColumn_[k]];
        const std::string name = "Data_" + std::to_string(k);
        if (cell.empty()) {
            problem(name + " is empty");
            return;
        }
        const int value = wholeNumber(cell);
        if (value < 0) {
            problem(name + " " + shown(cell) + " is not a whole number");
            return;
        }
        if (value > 255) {
            problem(name + " " + shown(cell) + " is outside 0..255");
            return;
        }
        frame[k] = static_cast<std::uint8_t>(value);
    }
    data_.frames.push_back(frame);
}

ReplayData ReplayReader::finish()
{
    if (!tooBig_ && (!line_.empty() || lineTooLong_))
        endLine(); // a last line without its newline
    ReplayData data = std::move(data_);
    const bool tooBig = tooBig_;
    const bool haveHeader = haveHeader_;
    *this = ReplayReader();
    if (data.refusal.empty()) {
        if (tooBig)
            data.refusal = "larger than " + std::to_string(kMaxBytes >> 20) + " MiB; replay a shorter piece of it";
        else if (!haveHeader)
            data.refusal = "no header line (Data_0,Data_1,Data_2,Data_3 columns)";
        else if (data.frames.empty())
            data.refusal = "no usable row";
    }
    if (!data.refusal.empty())
        data.frames.clear();
    return data;
}

ReplayData parseReplay(std::string_view text)
{
    ReplayReader reader;
    reader.feed(text);
    return reader.finish();
}

ReplayData loadReplay(const std::string& path)
{
    auto fail = [](int error) {
        ReplayData data;
        data.refusal = std::string("cannot read: ") + std::strerror(error);
        return data;
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return fail(errno);
    ReplayReader reader;
    char buffer[64 * 1024];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        reader.feed(std::string_view(buffer, n));
        if (reader.full())
            break;
        if (n < sizeof buffer) {
            if (std::ferror(file.get()))
                return fail(errno);
            break;
        }
    }
    return reader.finish();
}

} // namespace veltrano::sim
