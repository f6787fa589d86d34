#pragma once

// The driver board as seen from the serial line: takes the received bytes, lets the
// board run in step with the caller's clock and produces the answers.
//
// Answers: every "Q" gets four trace bytes and "E" at once; "A", records, "J", "T",
// "I" and free text get one short line of lower-case ASCII ending in "\r\n".

#include "sim/driver_board.h"
#include "sim/driver_protocol.h"
#include "sim/replay_file.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::sim {

struct DeviceOptions {
    bool emitE = false; // let 69 ("E") through as a data byte
    double answerRatio = 1.0; // fraction of polls answered
    std::uint32_t seed = 1; // for the choice of unanswered polls
};

class SimDevice {
public:
    using Logger = std::function<void(const std::string&)>;

    explicit SimDevice(DeviceOptions options = {}, MotorParams motor = {});

    void setLogger(Logger logger) { log_ = std::move(logger); }
    // For what the operator must hear of even when the log is off.
    void setWarner(Logger warner) { warn_ = std::move(warner); }

    // Recorded frames to answer the polls with, one per answered poll, in place of
    // the board's traces (the board runs on behind them all the same). With loop
    // they start again after the last one; without, the board's own traces follow
    // and the warner is told so once.
    void setReplay(std::vector<Frame> frames, bool loop);
    std::size_t replayPosition() const { return replayPosition_; }
    bool replayEnded() const { return replayEnded_; }

    // Bytes that arrived at time now (seconds, monotonic); answers are appended to out.
    void receive(std::string_view bytes, double now, std::string& out);
    // Runs the board up to now and acts on parser time-outs.
    void update(double now, std::string& out);
    // The other side closed the line: a half-received record or text is dropped.
    void lineClosed();
    std::optional<double> nextDeadline() const { return parser_.nextDeadline(); }

    DriverBoard& board() { return board_; }
    const DriverBoard& board() const { return board_; }

    long polls() const { return polls_; }
    long answeredPolls() const { return answered_; }

    // A poll answer: the four bytes and "E". Unless emitE, a 69 becomes 70 so that
    // the "E" that ends the frame is the only one in it; replayed frames alike.
    static std::string frame(const std::array<std::uint8_t, 4>& data, bool emitE);

private:
    void handle(const ProtocolEvent& event, std::string& out);
    void advanceTo(double now);
    void log(const std::string& line) const;
    Frame nextTraces();

    DeviceOptions options_;
    DriverBoard board_;
    ProtocolParser parser_;
    std::mt19937 rng_;
    std::optional<double> lastTime_;
    long polls_ = 0;
    long answered_ = 0;
    Logger log_;
    Logger warn_;
    std::vector<Frame> replay_;
    std::size_t replayPosition_ = 0;
    bool loop_ = false;
    bool replayEnded_ = false;
};

} // namespace veltrano::sim
