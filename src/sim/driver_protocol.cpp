#include "sim/driver_protocol.h"

#include <algorithm>
#include <cstdio>

namespace veltrano::sim {

namespace {

constexpr std::size_t kFieldCount = 6;

// Printable rendering of operator text for messages: non-ASCII and control bytes as \xNN.
std::string printable(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Whole decimal number, optional sign, at most 9 digits after leading zeros, so that it
// always fits a long.
std::optional<long> parseWhole(std::string_view s, bool allowSign)
{
    bool negative = false;
    if (allowSign && !s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (!allDigits(s))
        return std::nullopt;
    while (s.size() > 1 && s.front() == '0')
        s.remove_prefix(1);
    if (s.size() > 9)
        return std::nullopt;
    long value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return negative ? -value : value;
}

std::optional<bool> parseFlag(std::string_view s)
{
    if (s == "9")
        return true;
    if (s == "1")
        return false;
    return std::nullopt;
}

} // namespace

std::string_view modeName(ControlMode mode)
{
    switch (mode) {
    case ControlMode::HBridge: return "H-BRIDGE";
    case ControlMode::PidSpeed: return "PID SPEED";
    case ControlMode::PidPosition: return "PID POSITION";
    case ControlMode::RcServo: return "RC SERVO MODE";
    case ControlMode::AnalogPid: return "ANALOG PID MODE";
    case ControlMode::Analog: return "ANALOG MODE";
    }
    return "?";
}

RecordResult parseRecordBody(std::string_view body)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t eq = body.find('=', start);
        if (eq == std::string_view::npos) {
            fields.push_back(body.substr(start));
            break;
        }
        fields.push_back(body.substr(start, eq - start));
        start = eq + 1;
    }

    RecordResult result;
    if (fields.size() != kFieldCount) {
        result.error = "record has " + std::to_string(fields.size()) + " fields, " + std::to_string(kFieldCount)
                       + " expected";
        return result;
    }

    auto quoted = [](std::string_view s) { return "\"" + printable(s) + "\""; };

    DriverSettings settings;
    if (auto v = parseWhole(fields[0], true)) {
        settings.speedFactor = *v;
    } else {
        result.error = "speed factor " + quoted(fields[0]) + " is not a whole number of at most 9 digits";
        return result;
    }
    if (auto f = parseFlag(fields[1])) {
        settings.acceleration = *f;
    } else {
        result.error = "acc flag " + quoted(fields[1]) + " is not 1 or 9";
        return result;
    }
    if (auto v = parseWhole(fields[2], false)) {
        settings.responses = static_cast<int>(std::min(*v, 100000L));
    } else {
        result.error = "responses " + quoted(fields[2]) + " is not a whole number of at most 9 digits";
        return result;
    }
    if (auto v = parseWhole(fields[3], false)) {
        settings.speedTest = static_cast<int>(std::min(*v, 100000L));
    } else {
        result.error = "speed test " + quoted(fields[3]) + " is not a whole number of at most 9 digits";
        return result;
    }
    if (fields[4].size() == 1 && fields[4][0] >= '0' && fields[4][0] <= '5') {
        settings.mode = static_cast<ControlMode>(fields[4][0] - '0');
    } else {
        result.error = "control mode " + quoted(fields[4]) + " is not 0..5";
        return result;
    }
    if (auto f = parseFlag(fields[5])) {
        settings.countBothEdges = *f;
    } else {
        result.error = "counter edge " + quoted(fields[5]) + " is not 1 or 9";
        return result;
    }
    result.settings = settings;
    return result;
}

void ProtocolParser::feed(std::string_view bytes, double now, std::vector<ProtocolEvent>& out)
{
    // Time-outs that ran out before these bytes came count first.
    poll(now, out);
    for (char c : bytes)
        feedByte(c, now, out);
}

void ProtocolParser::feedByte(char c, double now, std::vector<ProtocolEvent>& out)
{
    switch (state_) {
    case State::Record:
    case State::Discard:
        // A poll is answered at once even inside a record, so that text holding a
        // "C" cannot hold up the polls behind it; the record itself is spoilt.
        if (c == 'Q') {
            out.push_back({ProtocolEvent::Kind::Poll});
            pollInRecord_ = true;
            return;
        }
        if (state_ == State::Discard) {
            // Rest of an overlong record: dropped up to its "F".
            if (c == 'F')
                state_ = State::Idle;
            return;
        }
        // An "F" closes the record only once all six fields are there; before that
        // it was typed into a field. "=" always separates, so a typed "=" shows up
        // as a wrong field count.
        if (c == 'F' && separators_ >= static_cast<int>(kFieldCount) - 1) {
            finishRecord(out);
            return;
        }
        if (c == '=')
            ++separators_;
        record_ += c;
        if (record_.size() + 2 > kMaxRecordLength) {
            out.push_back(
                {ProtocolEvent::Kind::RecordError,
                 {},
                 "record longer than " + std::to_string(kMaxRecordLength) + " characters without its closing F"});
            record_.clear();
            state_ = State::Discard;
        }
        return;
    case State::Idle: break;
    }

    ProtocolEvent::Kind kind;
    switch (c) {
    case 'A': kind = ProtocolEvent::Kind::Greeting; break;
    case 'J': kind = ProtocolEvent::Kind::Run; break;
    case 'T': kind = ProtocolEvent::Kind::Toggle; break;
    case 'I': kind = ProtocolEvent::Kind::Stop; break;
    case 'Q': kind = ProtocolEvent::Kind::Poll; break;
    case 'C':
        flushText(out);
        state_ = State::Record;
        record_.clear();
        separators_ = 0;
        pollInRecord_ = false;
        recordStart_ = now;
        return;
    case '\r':
    case '\n': flushText(out); return;
    default:
        text_ += c;
        lastTextByte_ = now;
        if (text_.size() >= kMaxTextLength)
            flushText(out);
        return;
    }
    flushText(out);
    out.push_back({kind});
}

void ProtocolParser::finishRecord(std::vector<ProtocolEvent>& out)
{
    RecordResult r = parseRecordBody(record_);
    if (pollInRecord_) {
        r.settings.reset();
        r.error = "a \"Q\" inside the record was taken as a poll";
    }
    if (r.settings)
        out.push_back({ProtocolEvent::Kind::Record, *r.settings, "C" + record_ + "F"});
    else
        out.push_back({ProtocolEvent::Kind::RecordError, {}, r.error});
    record_.clear();
    state_ = State::Idle;
}

void ProtocolParser::flushText(std::vector<ProtocolEvent>& out)
{
    if (text_.empty())
        return;
    out.push_back({ProtocolEvent::Kind::Text, {}, printable(text_)});
    text_.clear();
}

void ProtocolParser::poll(double now, std::vector<ProtocolEvent>& out)
{
    if (!text_.empty() && now - lastTextByte_ >= kTextPause)
        flushText(out);
    // The time counts from the "C", whatever has come since.
    if (state_ == State::Record && now - recordStart_ >= kRecordTimeout) {
        out.push_back({ProtocolEvent::Kind::RecordError,
                       {},
                       "record unfinished: \"C" + printable(record_) + "\" without its closing F"});
        record_.clear();
        state_ = State::Idle;
    } else if (state_ == State::Discard && now - recordStart_ >= kRecordTimeout) {
        state_ = State::Idle;
    }
}

void ProtocolParser::reset()
{
    state_ = State::Idle;
    record_.clear();
    separators_ = 0;
    pollInRecord_ = false;
    text_.clear();
}

std::optional<double> ProtocolParser::nextDeadline() const
{
    std::optional<double> t;
    if (!text_.empty())
        t = lastTextByte_ + kTextPause;
    if (state_ != State::Idle) {
        const double r = recordStart_ + kRecordTimeout;
        t = t ? std::min(*t, r) : r;
    }
    return t;
}

} // namespace veltrano::sim
