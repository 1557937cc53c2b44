#include "app/commands.h"

#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/extra_commands.h"
#include "app/host.h"
#include "app/version.h"
#include "screen/screen.h"
#include "screen/viewport.h"
#include "serial/port_connection.h"
#include "settings/settings_store.h"
#include "transfer/capture_command.h"
#include "transfer/send_command.h"

namespace vellor {

namespace {

void ClearAll(AppState& state, Host& host) {
    ClearScreen(state);
    {
        std::lock_guard lock(state.screenMutex);
        state.topRow = 0;
        state.leftCol = 0;
    }
    host.ApplyScrollBars(UpdateScrollBars(state));
}

void ToggleControlBar(AppState& state, Host& host, SettingsBackend& settings) {
    state.controlBar = state.controlBar ? 0 : 1;
    host.SetMenuCheck(kCmdControlBar, state.controlBar != 0);
    host.LayoutMainWindow();
    host.RecomputeViewMetrics();
    host.ApplyScrollBars(UpdateScrollBars(state));
    SaveBarSettings(state, settings);
}

void ToggleHexInput(AppState& state, Host& host, SettingsBackend& settings) {
    if (state.hexInput != HexEntry::Off) {
        host.SetMenuCheck(kCmdHexInput, false);
        state.hexInput = HexEntry::Off;
    } else {
        host.SetMenuCheck(kCmdHexInput, true);
        state.keyByte = 0;  // a digit typed before switching off is forgotten
        state.hexInput = HexEntry::AwaitHigh;
    }
    SaveBarSettings(state, settings);
}

void Zoom(AppState& state, Host& host, bool zoomIn) {
    const ZoomStep step = NextZoom(state.fontHeight, zoomIn);
    state.fontHeight = step.fontHeight;
    host.SetMenuCheck(kCmdZoomIn, false);
    host.SetMenuCheck(kCmdZoomOut, false);
    if (step.zoomOutChecked) host.SetMenuCheck(kCmdZoomOut, true);
    if (step.zoomInChecked) host.SetMenuCheck(kCmdZoomIn, true);
    host.RecomputeViewMetrics();
    host.ApplyScrollBars(UpdateScrollBars(state));
    {
        std::lock_guard lock(state.screenMutex);
        InvalidateWholeView(state);
    }
    host.DebugTrace(std::to_string(state.fontHeight) + " : size");
    host.RebuildCaret();
}

}  // namespace

std::string AboutText() {
    return std::string("Vellor v") + kShortVersion + "\nSerial terminal";
}

ZoomStep NextZoom(int fontHeight, bool zoomIn) {
    ZoomStep step;
    const int even = fontHeight / 2 * 2;
    step.fontHeight = zoomIn ? even + 2 : even - 2;
    if (step.fontHeight < 14) {
        step.fontHeight = kSmallestFont;
        step.zoomOutChecked = true;
    } else if (step.fontHeight == 20) {
        step.fontHeight = 21;
    } else if (step.fontHeight >= 25) {
        step.fontHeight = kLargestFont;
        step.zoomInChecked = true;
    }
    return step;
}

void DispatchCommand(AppState& state, Host& host, SettingsBackend& settings, int id) {
    switch (id) {
        case kCmdDtr:
            ToggleDtr(state, host);
            host.FocusView();  // typing goes on reaching the terminal after a tap on the bar
            break;
        case kCmdRts:
            ToggleRts(state, host);
            host.FocusView();
            break;
        case kCmdDsr:
        case kCmdCts:
        case kCmdCd:
        case kCmdRi:
            host.FocusView();
            break;
        case kCmdExit:
            host.DestroyMainWindow();
            break;
        case kCmdClearAll:
            ClearAll(state, host);
            break;
        case kCmdAbout:
            host.ShowMessage(MessageOwner::MainWindow, AboutText(), kAboutCaption);
            break;
        case kCmdProperties:
            host.RunCommDialog();
            break;
        case kCmdControlBar:
            ToggleControlBar(state, host, settings);
            break;
        case kCmdOpenPort:
            TogglePort(state, host);
            break;
        case kCmdOptions:
            host.RunOptionsDialog();
            break;
        case kCmdHexInput:
            ToggleHexInput(state, host, settings);
            break;
        case kCmdCapture:
            ToggleCapture(state, host);
            break;
        case kCmdSend:
            ToggleSend(state, host);
            break;
        case kCmdZoomIn:
            Zoom(state, host, true);
            break;
        case kCmdZoomOut:
            Zoom(state, host, false);
            break;
        default:
            // Added commands, an identifier nothing uses, or one outside every range.
            DispatchExtraCommand(state, host, settings, id);
            break;
    }
}

}  // namespace vellor
