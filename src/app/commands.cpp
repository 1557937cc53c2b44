#include "app/commands.h"

#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/version.h"
#include "screen/screen.h"

namespace vellor {

namespace {

void ClearAll(AppState& state, ShellHost& host) {
    ClearScreen(state);
    {
        std::lock_guard lock(state.screenMutex);
        state.topRow = 0;
        state.leftCol = 0;
    }
    host.ApplyScrollBars(UpdateScrollBars(state));
}

void ToggleControlBar(AppState& state, ShellHost& host) {
    state.controlBar = state.controlBar ? 0 : 1;
    host.SetMenuCheck(kCmdControlBar, state.controlBar != 0);
    host.LayoutMainWindow();
    host.RecomputeViewMetrics();
    host.ApplyScrollBars(UpdateScrollBars(state));
    host.SaveBarSettings();
}

void ToggleHexInput(AppState& state, ShellHost& host) {
    if (state.hexInput) {
        host.SetMenuCheck(kCmdHexInput, false);
        state.hexInput = 0;
    } else {
        host.SetMenuCheck(kCmdHexInput, true);
        state.keyByte = 0;  // a digit typed before switching off is forgotten
        state.hexInput = 1;
    }
    host.SaveBarSettings();
}

void Zoom(AppState& state, ShellHost& host, bool zoomIn) {
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

void DispatchCommand(AppState& state, ShellHost& host, int id) {
    switch (id) {
        case kCmdDtr:
            host.DtrCommand();
            host.FocusView();  // typing goes on reaching the terminal after a tap on the bar
            break;
        case kCmdRts:
            host.RtsCommand();
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
            ToggleControlBar(state, host);
            break;
        case kCmdOpenPort:
            host.OpenPortCommand();
            break;
        case kCmdOptions:
            host.RunOptionsDialog();
            break;
        case kCmdHexInput:
            ToggleHexInput(state, host);
            break;
        case kCmdCapture:
            host.CaptureCommand();
            break;
        case kCmdSend:
            host.SendCommand();
            break;
        case kCmdZoomIn:
            Zoom(state, host, true);
            break;
        case kCmdZoomOut:
            Zoom(state, host, false);
            break;
        default:
            break;  // outside the range, or an identifier nothing uses
    }
}

}  // namespace vellor
