#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "transfer/transfer_ui.h"

namespace vellor::testing {

// Records what the file transfers show and answers the file choosers from a script. The test
// thread plays the UI thread: it runs posted tasks with RunPending(); Post() may come from any
// thread.
class FakeTransferUi : public TransferUi {
  public:
    struct Message {
        MessageOwner owner;
        std::string text;
        std::string caption;
        std::string detail;
    };
    struct Check {
        int commandId;
        bool checked;
        bool operator==(const Check&) const = default;
    };

    std::optional<std::string> ChooseFile(const FileRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
    void SetMenuCheck(int commandId, bool checked) override {
        checks.push_back({commandId, checked});
    }
    void ShowMessage(MessageOwner owner, const std::string& text, const std::string& caption,
                     const std::string& detail) override {
        messages.push_back({owner, text, caption, detail});
        if (onMessage) onMessage();  // the box is up: the user may do things meanwhile
    }
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // The next file chooser picks `path`; nullopt cancels it.
    void Answer(std::optional<std::string> path) { answers.push_back(std::move(path)); }

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

    // Waits, without running anything, until something has been posted.
    bool WaitForPost(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (PendingCount() == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::size_t PendingCount() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

    // The marks set on one item, in order.
    std::vector<bool> ChecksOf(int commandId) const {
        std::vector<bool> out;
        for (const Check& c : checks)
            if (c.commandId == commandId) out.push_back(c.checked);
        return out;
    }

    std::deque<std::optional<std::string>> answers;
    std::vector<FileRequest> requests;
    std::vector<Check> checks;
    std::vector<Message> messages;
    std::function<void()> onMessage;

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace vellor::testing
