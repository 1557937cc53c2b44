#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace vellor::testing {

// A bound against hanging, never a speed requirement: a test fails with its own message.
inline constexpr std::chrono::seconds kPatience{20};

// Polls `done` (running `meanwhile` between polls) until it holds or kPatience passes.
inline bool WaitUntil(const std::function<bool()>& done,
                      const std::function<void()>& meanwhile = {}) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
        if (meanwhile) meanwhile();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Whether `work`, on a thread of its own, ends within `limit`; if not, `unblock` lets it end.
inline bool FinishesWithin(std::chrono::milliseconds limit, const std::function<void()>& work,
                           const std::function<void()>& unblock = {}) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool inTime = finished.wait_for(limit) == std::future_status::ready;
    if (!inTime && unblock) unblock();
    worker.join();
    return inTime;
}

}  // namespace vellor::testing
