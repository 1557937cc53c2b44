#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace vellor::testing {

// Runs `work` on a thread of its own and reports whether it finished within `limit`: a bound
// against hanging, so a call that blocks fails its test instead of waiting for CTest's time-out.
// When it did not finish, `unblock` is called so the thread can end before it is joined.
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
