#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace veltrano {

// Runs work on a thread of its own and waits for it at most limit. What it gives in time is
// returned; what it gives later is handed to release on that thread, for nobody waits for
// it any more. For system calls that may block far longer than an operator waits (opening
// a Bluetooth serial port whose device is out of reach).
template <typename T>
std::optional<T> callWithin(std::chrono::milliseconds limit, std::function<T()> work, std::function<void(T)> release)
{
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        std::optional<T> result;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work), release = std::move(release)] {
        T value = work();
        std::unique_lock lock(shared->lock);
        if (shared->abandoned) {
            lock.unlock();
            release(std::move(value));
            return;
        }
        shared->result = std::move(value);
        shared->done.notify_one();
    }).detach();
    std::unique_lock lock(shared->lock);
    if (!shared->done.wait_for(lock, limit, [&] { return shared->result.has_value(); })) {
        shared->abandoned = true;
        return std::nullopt;
    }
    return std::move(shared->result);
}

} // namespace veltrano
