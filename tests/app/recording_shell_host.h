#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/commands.h"

namespace vellor::testing {

// Records every call the command logic makes, in order, as short strings ("check 40021 1").
class RecordingShellHost : public ShellHost {
  public:
    void ShowMessage(MessageOwner owner, const std::string& text, const std::string& caption,
                     const std::string& detail) override {
        calls.push_back(std::string("message ") +
                        (owner == MessageOwner::View ? "view " : "main ") + caption + "|" + text +
                        "|" + detail);
    }
    void SetMenuCheck(int id, bool checked) override {
        marks[id] = checked;
        calls.push_back("check " + std::to_string(id) + " " + (checked ? "1" : "0"));
    }
    void SetWindowTitle(const std::string& title) override { calls.push_back("title " + title); }
    void SetBoxCheck(int id, bool checked) override {
        boxes[id] = checked;
        calls.push_back("box " + std::to_string(id) + " " + (checked ? "1" : "0"));
    }
    bool BoxChecked(int id) override { return boxes[id]; }
    void FocusView() override { calls.push_back("focus"); }
    void DebugTrace(const std::string& line) override { calls.push_back("trace " + line); }
    void DestroyMainWindow() override { calls.push_back("destroy"); }

    void LayoutMainWindow() override { calls.push_back("layout"); }
    void RecomputeViewMetrics() override { calls.push_back("metrics"); }
    void ApplyScrollBars(const ScrollBars& bars) override {
        lastBars = bars;
        calls.push_back("scrollbars");
    }
    void RebuildCaret() override { calls.push_back("caret"); }
    void RunCommDialog() override { calls.push_back("comm dialog"); }
    void RunOptionsDialog() override { calls.push_back("options dialog"); }
    void SaveBarSettings() override { calls.push_back("save bar"); }
    void OpenPortCommand() override { calls.push_back("open port"); }
    void DtrCommand() override { calls.push_back("dtr"); }
    void RtsCommand() override { calls.push_back("rts"); }
    void CaptureCommand() override { calls.push_back("capture"); }
    void SendCommand() override { calls.push_back("send"); }

    std::vector<std::string> calls;
    std::map<int, bool> marks;
    std::map<int, bool> boxes;
    ScrollBars lastBars;
};

}  // namespace vellor::testing
