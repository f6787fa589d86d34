#pragma once

#include "sim/sim_device.h"

#include <chrono>
#include <vector>

namespace veltrano {

// The driver board simulated inside the program (--simulate): the simulator's board with
// a clock of its own. The board lives as long as the program, so that it keeps its
// settings and its motor from one connection to the next, as a board on a cable does; its
// clock runs while a line to it is open, so a long spell unconnected costs nothing.
class SimulatedBoard {
public:
    // With frames, the polls are answered with them, over and over (a kept run played
    // back); without, with the board's own traces.
    explicit SimulatedBoard(std::vector<sim::Frame> replay = {});

    sim::SimDevice& device() { return device_; }
    // Seconds the board has run.
    double now() const;
    void resume();
    void pause();
    // A line to it is open.
    bool running() const { return running_; }

private:
    using Clock = std::chrono::steady_clock;
    sim::SimDevice device_;
    double before_ = 0; // seconds run before the last resume
    Clock::time_point resumedAt_{};
    bool running_ = false;
};

} // namespace veltrano
