#pragma once

// Byte-stream parser for what the setup program sends to the driver board.
//
// Single letters outside a parameter record are commands:
//   A greeting, J run, T direction toggle, I stop, Q poll.
// "C" opens a parameter record that runs up to its closing "F":
//   C<speed factor>=<acc flag>=<responses>=<speed test>=<mode>=<counter edge>F
// A record has kRecordTimeout from its "C" to end; after that it is dropped, however
// busy the line is. "Q" is always a poll, also inside a record (no record field holds
// a "Q"); a record that had one in it is rejected.
// Everything else is free text typed by the operator; it is collected and handed
// on as one piece when a command letter, a line end or a short pause ends it.
//
// The parser is fed whatever the line delivers (pieces may be split or joined
// arbitrarily) and keeps no clock of its own: the caller passes the time.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::sim {

enum class ControlMode {
    HBridge = 0,
    PidSpeed = 1,
    PidPosition = 2,
    RcServo = 3,
    AnalogPid = 4,
    Analog = 5,
};

// Name the setup program shows for a mode (upper case, as in its mode list).
std::string_view modeName(ControlMode mode);

// The six fields of one parameter record, decoded.
struct DriverSettings {
    long speedFactor = 2600; // signed; PWM counts / rpm / degrees depending on the mode
    bool acceleration = false; // acc flag "9"
    int responses = 10; // loop gain in tenths (10 = nominal)
    int speedTest = 2; // test pattern period in seconds, 0 = constant set-point
    ControlMode mode = ControlMode::HBridge;
    bool countBothEdges = false; // counter edge "9"

    bool operator==(const DriverSettings&) const = default;
};

struct RecordResult {
    std::optional<DriverSettings> settings; // set when the record is well formed
    std::string error; // why it is not, otherwise
};

// Decodes the text between "C" and "F" (both excluded).
RecordResult parseRecordBody(std::string_view body);

struct ProtocolEvent {
    enum class Kind {
        Greeting, // "A"
        Record, // a well-formed record; settings holds it
        RecordError, // a malformed record; text holds the reason
        Run, // "J"
        Toggle, // "T"
        Stop, // "I"
        Poll, // "Q"
        Text, // free text; text holds it
    };
    Kind kind;
    DriverSettings settings{};
    std::string text{};
};

class ProtocolParser {
public:
    // Longest record accepted, counted from "C" to "F" inclusive.
    static constexpr std::size_t kMaxRecordLength = 64;
    // A record not ended this long after its "C" is dropped with an error.
    static constexpr double kRecordTimeout = 2.0;
    // Free text is handed on after this much silence.
    static constexpr double kTextPause = 0.05;
    // ... or once this many bytes have piled up.
    static constexpr std::size_t kMaxTextLength = 64;

    // Consumes bytes that arrived at time now (seconds on any monotonic scale).
    void feed(std::string_view bytes, double now, std::vector<ProtocolEvent>& out);
    // Acts on the time-outs above; call it regularly.
    void poll(double now, std::vector<ProtocolEvent>& out);
    // Forgets any partial record or text without reporting it (line closed).
    void reset();
    // Earliest time at which poll() may have something to do.
    std::optional<double> nextDeadline() const;

    bool inRecord() const { return state_ != State::Idle; }

private:
    enum class State { Idle, Record, Discard };

    void feedByte(char c, double now, std::vector<ProtocolEvent>& out);
    void finishRecord(std::vector<ProtocolEvent>& out);
    void flushText(std::vector<ProtocolEvent>& out);

    State state_ = State::Idle;
    std::string record_; // bytes after "C"
    int separators_ = 0;
    bool pollInRecord_ = false; // a "Q" came while the record was open
    double recordStart_ = 0; // time of its "C"
    std::string text_;
    double lastTextByte_ = 0;
};

} // namespace veltrano::sim
