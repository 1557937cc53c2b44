#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/port_ui.h"

namespace vellor::testing {

// Records what the port connection shows. The test thread plays the UI thread: it runs posted
// tasks with RunPending(); Post() may come from any thread.
class FakePortUi : public PortUi {
  public:
    struct Message {
        std::string text;
        std::string caption;
        std::string detail;
    };

    void SetTitle(const std::string& t) override { title = t; }
    void SetOpenPortCheck(bool checked) override { openPortChecked = checked; }
    void SetBoxCheck(ModemBox box, bool checked) override { boxes[box] = checked; }
    bool BoxChecked(ModemBox box) const override {
        const auto it = boxes.find(box);
        return it != boxes.end() && it->second;
    }
    void ShowMessage(const std::string& text, const std::string& caption,
                     const std::string& detail) override {
        messages.push_back({text, caption, detail});
        if (onMessage) onMessage();
    }
    void Post(std::function<void()> task) override {
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
    bool RunUntil(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            RunPending();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::size_t PendingCount() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

    std::string title = "Vellor";
    bool openPortChecked = false;
    std::map<ModemBox, bool> boxes;
    std::vector<Message> messages;
    std::function<void()> onMessage;

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace vellor::testing
