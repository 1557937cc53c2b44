#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace vellor::testing {

// A bound against hanging, never a speed requirement: what a test waits for must happen within
// it, or the test fails with its own message instead of running into CTest's time-out.
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

// Runs `work` on a thread of its own and reports whether it finished within `limit`. When it did
// not, `unblock` is called so the thread can end before it is joined.
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
