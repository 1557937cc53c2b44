#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vellor::testing {

// Tasks posted to "the UI thread" by worker threads, run by the test thread, which plays the UI
// thread. Add() may be called from any thread.
class PostedTasks {
  public:
    void Add(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // Runs the tasks posted so far, in order.
    void RunPending() {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
        }
        for (auto& task : tasks)
            task();
    }

    // Runs posted tasks until `done` holds; false if it still does not after `limit` (a bound
    // against hanging, not a speed requirement).
    template <typename Pred>
    bool RunUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            RunPending();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::size_t PendingCount() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace vellor::testing
