#pragma once

// The driver board as seen from the serial line: takes the received bytes, lets the
// board run in step with the caller's clock and produces the answers.
//
// Answers: every "Q" gets four trace bytes and "E" at once; "A", records, "J", "T",
// "I" and free text get one short line of lower-case ASCII ending in "\r\n".

#include "driver_board.h"
#include "driver_protocol.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace veltrano::sim {

struct DeviceOptions {
    bool emitE = false;        // let 69 ("E") through as a data byte
    double answerRatio = 1.0;  // fraction of polls answered
    std::uint32_t seed = 1;    // for the choice of unanswered polls
};

class SimDevice {
public:
    using Logger = std::function<void(const std::string&)>;

    explicit SimDevice(DeviceOptions options = {}, MotorParams motor = {});

    void setLogger(Logger logger) { m_log = std::move(logger); }

    // Bytes that arrived at time now (seconds, monotonic); answers are appended to out.
    void receive(std::string_view bytes, double now, std::string& out);
    // Runs the board up to now and acts on parser time-outs.
    void update(double now, std::string& out);
    // The other side closed the line: a half-received record or text is dropped.
    void lineClosed();
    std::optional<double> nextDeadline() const { return m_parser.nextDeadline(); }

    DriverBoard& board() { return m_board; }
    const DriverBoard& board() const { return m_board; }

    long polls() const { return m_polls; }
    long answeredPolls() const { return m_answered; }

    // A poll answer: the four bytes and "E". Unless emitE, a 69 becomes 70 so that
    // the "E" that ends the frame is the only one in it.
    static std::string frame(const std::array<std::uint8_t, 4>& data, bool emitE);

private:
    void handle(const ProtocolEvent& event, std::string& out);
    void advanceTo(double now);
    void log(const std::string& line) const;

    DeviceOptions m_options;
    DriverBoard m_board;
    ProtocolParser m_parser;
    std::mt19937 m_rng;
    std::optional<double> m_lastTime;
    long m_polls = 0;
    long m_answered = 0;
    Logger m_log;
};

}  // namespace veltrano::sim
