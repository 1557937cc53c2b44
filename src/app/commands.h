#pragma once

#include <string>

#include "app/platform.h"
#include "screen/viewport.h"

namespace vellor {

struct AppState;

// What the command logic needs from the main window beyond the common platform services: its
// layout, the view's measuring and scroll bars, the dialogs, the settings it saves and the
// commands other subsystems carry out. The Qt main window implements it; tests record the calls.
class ShellHost : public Platform {
  public:
    // Places the view and, with the control bar shown, the six boxes.
    virtual void LayoutMainWindow() = 0;
    // Measures the view font at fontHeight and recomputes the visible rows and columns.
    virtual void RecomputeViewMetrics() = 0;
    virtual void ApplyScrollBars(const ScrollBars& bars) = 0;
    // Destroys the caret and creates one of the current cell size, shown at the cursor if it is in
    // view.
    virtual void RebuildCaret() = 0;
    virtual void RunCommDialog() = 0;
    virtual void RunOptionsDialog() = 0;
    virtual void SaveBarSettings() = 0;

    // Commands carried out by the serial link and the file transfers.
    virtual void OpenPortCommand() = 0;
    virtual void DtrCommand() = 0;
    virtual void RtsCommand() = 0;
    virtual void CaptureCommand() = 0;
    virtual void SendCommand() = 0;
};

// The About box's text ("Vellor v1.1" and what it is) and caption.
std::string AboutText();
inline constexpr const char* kAboutCaption = "About Vellor";

// Font sizes the zoom commands stop at.
inline constexpr int kLargestFont = 27;
inline constexpr int kSmallestFont = 13;

// Routes one menu or control-bar command. Identifiers outside 40001-40056 are ignored, and those
// inside that nothing uses do nothing. UI thread only.
void DispatchCommand(AppState& state, ShellHost& host, int id);

// The font height a zoom step leads to, and which of the two zoom items is then checked.
struct ZoomStep {
    int fontHeight = 0;
    bool zoomInChecked = false;
    bool zoomOutChecked = false;
};
ZoomStep NextZoom(int fontHeight, bool zoomIn);

}  // namespace vellor
