#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

namespace veltrano {

class RefreshClient;

// The one clock on which the controls that show fast-changing state (text boxes, the
// chart) catch up with it. Catch-ups are at least kMinInterval apart and serve every
// waiting control together, so that a burst of changes is laid out and painted in one
// pass and the event loop wakes once for all of them instead of once per control:
// - a change at least kMinInterval after the last catch-up is shown as soon as control is
//   back in the event loop, after the handler that made it;
// - an earlier change waits for the next such change, or kLatest after the last catch-up.
// With the chart view's 64 ticks a second, that is one catch-up on every second tick.
class RefreshClock : public QObject {
public:
    static constexpr int kMinInterval = 25; // ms
    static constexpr int kLatest = 40; // ms

    // The UI thread's clock; it lives as long as the application object.
    static RefreshClock& instance();

    // The client's catchUp() is called at the next catch-up (once, however often asked).
    void request(RefreshClient* client);
    void withdraw(RefreshClient* client);
    // Runs the catch-up now if anything waits for one.
    void catchUpNow();

private:
    explicit RefreshClock(QObject* parent);
    void arm();

    QTimer timer_;
    QElapsedTimer sinceLast_;
    std::vector<RefreshClient*> waiting_;
    std::vector<RefreshClient*> running_;
};

// A control that catches up on the refresh clock. Content clients (text boxes) catch up
// before Paint clients (the chart), whose repaint then takes their changes along.
class RefreshClient {
public:
    enum class Stage { Content, Paint };

    explicit RefreshClient(Stage stage) : stage_(stage) { }
    RefreshClient(const RefreshClient&) = delete;
    RefreshClient& operator=(const RefreshClient&) = delete;

    Stage refreshStage() const { return stage_; }
    virtual void catchUp() = 0;

protected:
    ~RefreshClient();
    void requestRefresh() { RefreshClock::instance().request(this); }

private:
    friend class RefreshClock;
    Stage stage_;
    bool waiting_ = false;
};

} // namespace veltrano
