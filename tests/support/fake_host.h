#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/host.h"
#include "support/deadline.h"

namespace vellor::testing {

// The window as the core sees it: records what it shows, answers choosers from a script, and
// queues posted tasks, which the test thread runs as the UI thread.
class FakeHost : public Host {
  public:
    struct Message {
        MessageOwner owner;
        std::string text;
        std::string caption;
        std::string detail;
    };

    void ShowMessage(MessageOwner owner, const std::string& text, const std::string& caption,
                     const std::string& detail) override {
        messages.push_back({owner, text, caption, detail});
        if (onMessage) onMessage();  // the box is up: the user may do things meanwhile
    }
    void SetMenuCheck(int id, bool checked) override {
        checks[id].push_back(checked);
        Log("check " + std::to_string(id) + (checked ? " 1" : " 0"));
    }
    void SetWindowTitle(const std::string& t) override { title = t; }
    void SetBoxCheck(ModemBox box, bool checked) override { boxes[box] = checked; }
    bool BoxChecked(ModemBox box) const override {
        const auto it = boxes.find(box);
        return it != boxes.end() && it->second;
    }
    std::optional<std::string> ChooseFile(const FileRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    bool RunAside(const std::string& what, std::function<void()> work) override {
        Log("aside " + what);
        work();
        return true;
    }
    void FocusView() override { Log("focus"); }
    void DebugTrace(const std::string& line) override { Log("trace " + line); }
    void DestroyMainWindow() override { Log("destroy"); }
    void LayoutMainWindow() override { Log("layout"); }
    void RecomputeViewMetrics() override { Log("metrics"); }
    void ApplyScrollBars(const ScrollBars&) override { Log("scrollbars"); }
    void RebuildCaret() override { Log("caret"); }
    void RunCommDialog() override { Log("comm dialog"); }
    void RunOptionsDialog() override { Log("options dialog"); }
    void SetClipboardText(ClipboardKind kind, const std::string& text) override {
        clipboard[kind] = text;
    }
    std::string ClipboardText(ClipboardKind kind) override { return clipboard[kind]; }
    void SetMenuEnabled(int, bool) override {}  // the window test sees this on the real menu
    void ShowFindBar() override { Log("find bar"); }
    void ShowStatusBar(bool shown) override { Log(shown ? "status bar 1" : "status bar 0"); }
    void RunSendSettingsDialog() override { Log("send settings dialog"); }

    // Runs the tasks posted so far, in order.
    void RunPending() {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard lock(mutex_);
            now.swap(tasks_);
        }
        for (auto& task : now)
            task();
    }
    // Runs posted tasks until `done` holds; false when it never does (see kPatience).
    bool RunUntil(const std::function<bool()>& done) {
        return WaitUntil(done, [this] { RunPending(); });
    }
    std::size_t Pending() {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }
    std::vector<bool> ChecksOf(int id) { return checks[id]; }

    std::string title = "Vellor";
    std::map<ModemBox, bool> boxes;
    std::map<int, std::vector<bool>> checks;
    std::map<ClipboardKind, std::string> clipboard;
    std::vector<Message> messages;
    std::vector<std::string> calls;  // window operations and check marks, in order
    std::vector<FileRequest> requests;
    std::deque<std::optional<std::string>> answers;  // nullopt cancels a chooser
    std::function<void()> onMessage;

  private:
    void Log(std::string call) { calls.push_back(std::move(call)); }

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace vellor::testing
