#pragma once

#include "app/host.h"

namespace vellor {

// For running the core without a window (vellor-replay, benchmarks): nothing is shown, choosers
// are cancelled, posted tasks are dropped; callers report failures their own way.
class NoWindowHost : public Host {
  public:
    void ShowMessage(MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
    void SetMenuCheck(int, bool) override {}
    void SetWindowTitle(const std::string&) override {}
    void SetBoxCheck(ModemBox, bool) override {}
    bool BoxChecked(ModemBox) const override { return false; }
    std::optional<std::string> ChooseFile(const FileRequest&) override { return std::nullopt; }
    void Post(std::function<void()>) override {}
    bool RunAside(const std::string&, std::function<void()> work) override {
        work();
        return true;
    }
    void FocusView() override {}
    void DebugTrace(const std::string&) override {}
    void DestroyMainWindow() override {}
    void LayoutMainWindow() override {}
    void RecomputeViewMetrics() override {}
    void ApplyScrollBars(const ScrollBars&) override {}
    void RebuildCaret() override {}
    void RunCommDialog() override {}
    void RunOptionsDialog() override {}
    void SetClipboardText(ClipboardKind, const std::string&) override {}
    std::string ClipboardText(ClipboardKind) override { return {}; }
    void SetMenuEnabled(int, bool) override {}
    void ShowFindBar() override {}
    void ShowStatusBar(bool) override {}
    void RunSendSettingsDialog() override {}
};

}  // namespace vellor
