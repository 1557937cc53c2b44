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
#include "support/posted_tasks.h"

namespace vellor::testing {

// Records what the port connection shows. The test thread plays the UI thread: it runs posted
// tasks with RunPending(); Post() may come from any thread.
class FakePortUi : public PortUi, public PostedTasks {
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
    void Post(std::function<void()> task) override { Add(std::move(task)); }

    std::string title = "Vellor";
    bool openPortChecked = false;
    std::map<ModemBox, bool> boxes;
    std::vector<Message> messages;
    std::function<void()> onMessage;
};

}  // namespace vellor::testing
