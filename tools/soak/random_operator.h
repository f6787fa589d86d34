#pragma once

#include "app/form1.h"

#include <deque>
#include <functional>
#include <random>
#include <string>

namespace veltrano::soak {

// Where the window stands.
bool inChartView(const Form1& form);
bool isConnected(const Form1& form);

// The operator's actions so far, by kind.
struct Actions {
    long view = 0, pause = 0, resume = 0, load = 0, run = 0, div = 0, stop = 0, view3D = 0, window = 0, disconnect = 0,
         connect = 0, search = 0;
    long total() const;
    std::string text() const;
};

// What the run is told around the operator's clicks.
struct OperatorHooks {
    std::function<void(const char* why)> leavingChartView; // before the chart view is left or its port closed
    std::function<void()> enteredChartView; // just after
    std::function<void()> connectClicked; // just after CONNECTING was clicked to connect
};

// An operator clicking around the window at random (seeded) moments: switching views,
// pausing and resuming the chart, loading parameters, RUN / DIV / STOP, 3D and the window
// length, disconnecting and reconnecting (now and then with a port search in between).
// The same seed gives the same choices and delays.
class RandomOperator {
public:
    RandomOperator(Form1& form, unsigned seed, OperatorHooks hooks);

    // The time until the next action.
    int nextDelayMs();
    // One action, chosen at random among those the window offers right now. The first
    // actions, one a second, go once through everything the operator does, so that the
    // memory reading after the first minute already holds what the first use of each
    // part allocates for good (3D drawing, the longest window, a port search, ...).
    void act();

    const Actions& actions() const { return actions_; }

private:
    void switchView();
    void toggleConnection();
    void togglePause();
    void toggle3D();
    void changeWindow();
    void longestWindow();
    void reconnectWithSearch();
    void loadData();
    void runMotor();
    void reverse();
    void stopMotor();

    Form1& form_;
    std::mt19937 rng_;
    OperatorHooks hooks_;
    Actions actions_;
    bool forceSearch_ = false;
    // The opening round.
    std::deque<void (RandomOperator::*)()> script_{&RandomOperator::loadData,
                                                   &RandomOperator::runMotor,
                                                   &RandomOperator::switchView,
                                                   &RandomOperator::longestWindow,
                                                   &RandomOperator::toggle3D,
                                                   &RandomOperator::reverse,
                                                   &RandomOperator::togglePause,
                                                   &RandomOperator::togglePause,
                                                   &RandomOperator::toggle3D,
                                                   &RandomOperator::toggleConnection,
                                                   &RandomOperator::reconnectWithSearch,
                                                   &RandomOperator::loadData,
                                                   &RandomOperator::runMotor,
                                                   &RandomOperator::switchView,
                                                   &RandomOperator::stopMotor,
                                                   &RandomOperator::switchView};
};

} // namespace veltrano::soak
