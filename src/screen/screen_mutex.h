#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace vellor {

// The screen lock. A receive thread in a flood releases it and takes it again within
// microseconds; a plain mutex lets it barge in ahead of a UI thread that is already waiting to
// paint, which can then starve for tens of milliseconds. Whoever arrives while another thread
// waits steps aside for a moment first, so a waiting thread gets its turn.
class ScreenMutex {
  public:
    void lock() {
        for (int i = 0; i < kPoliteYields && waiting_.load(std::memory_order_relaxed) > 0; ++i) {
            std::this_thread::yield();
        }
        if (mutex_.try_lock()) return;
        waiting_.fetch_add(1, std::memory_order_relaxed);
        mutex_.lock();
        waiting_.fetch_sub(1, std::memory_order_relaxed);
    }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() { mutex_.unlock(); }

  private:
    // Bounded, so two threads that both see a waiter never wait for each other for long.
    static constexpr int kPoliteYields = 200;

    std::mutex mutex_;
    std::atomic<int> waiting_{0};
};

}  // namespace vellor
