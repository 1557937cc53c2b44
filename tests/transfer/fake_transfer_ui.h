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

#include "support/posted_tasks.h"
#include "transfer/transfer_ui.h"

namespace vellor::testing {

// Records what the file transfers show and answers the file choosers from a script. The test
// thread plays the UI thread: it runs posted tasks with RunPending(); Post() may come from any
// thread.
class FakeTransferUi : public TransferUi, public PostedTasks {
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
    void Post(std::function<void()> task) override { Add(std::move(task)); }

    // The next file chooser picks `path`; nullopt cancels it.
    void Answer(std::optional<std::string> path) { answers.push_back(std::move(path)); }

    // Waits, without running anything, until something has been posted.
    bool WaitForPost(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (PendingCount() == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
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
};

}  // namespace vellor::testing
