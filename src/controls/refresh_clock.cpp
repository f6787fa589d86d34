#include "controls/refresh_clock.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace veltrano {

namespace {
// Owned by the application object, so that its timer goes before the event loop does; a
// later application object gets a clock of its own.
QPointer<RefreshClock> theClock;
} // namespace

RefreshClock& RefreshClock::instance()
{
    if (!theClock)
        theClock = new RefreshClock(QCoreApplication::instance());
    return *theClock;
}

RefreshClock::RefreshClock(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RefreshClock::catchUpNow);
}

void RefreshClock::request(RefreshClient* client)
{
    if (!client->waiting_) {
        client->waiting_ = true;
        waiting_.push_back(client);
    }
    arm();
}

void RefreshClock::arm()
{
    const qint64 since = sinceLast_.isValid() ? sinceLast_.elapsed() : kMinInterval;
    if (since >= kMinInterval) {
        // A zero timer runs on the event loop's next pass without waking it from outside.
        if (!timer_.isActive() || timer_.interval() != 0)
            timer_.start(0);
    } else if (!timer_.isActive()) {
        timer_.start(int(kLatest - since));
    }
}

void RefreshClock::withdraw(RefreshClient* client)
{
    client->waiting_ = false;
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), client), waiting_.end());
    // A client may go while others catch up.
    std::replace(running_.begin(), running_.end(), client, static_cast<RefreshClient*>(nullptr));
}

void RefreshClock::catchUpNow()
{
    timer_.stop();
    if (waiting_.empty())
        return;
    sinceLast_.start();
    running_.swap(waiting_);
    std::stable_partition(running_.begin(), running_.end(), [](const RefreshClient* client) {
        return client->refreshStage() == RefreshClient::Stage::Content;
    });
    // What a client asks while the others catch up waits for the next catch-up.
    for (RefreshClient* client : running_)
        client->waiting_ = false;
    try {
        for (std::size_t i = 0; i < running_.size(); ++i) {
            if (RefreshClient* client = running_[i])
                client->catchUp();
        }
    } catch (...) {
        running_.clear();
        throw;
    }
    running_.clear();
}

RefreshClient::~RefreshClient()
{
    if (theClock)
        theClock->withdraw(this);
}

} // namespace veltrano
