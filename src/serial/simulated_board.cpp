#include "serial/simulated_board.h"

namespace veltrano {

SimulatedBoard::SimulatedBoard(std::vector<sim::Frame> replay)
{
    if (!replay.empty())
        device_.setReplay(std::move(replay), true);
}

double SimulatedBoard::now() const
{
    if (!running_)
        return before_;
    return before_ + std::chrono::duration<double>(Clock::now() - resumedAt_).count();
}

void SimulatedBoard::resume()
{
    if (running_)
        return;
    resumedAt_ = Clock::now();
    running_ = true;
}

void SimulatedBoard::pause()
{
    before_ = now();
    running_ = false;
}

} // namespace veltrano
