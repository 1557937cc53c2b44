#pragma once

#include <string>

namespace vellor {

struct AppState;
class Host;
class SettingsBackend;

// The About box's text ("Vellor v1.1" and what it is) and caption.
std::string AboutText();
inline constexpr const char* kAboutCaption = "About Vellor";

// Font sizes the zoom commands stop at.
inline constexpr int kLargestFont = 27;
inline constexpr int kSmallestFont = 13;

// Routes one menu or control-bar command, the added ones (from 40101) included. Identifiers
// nothing uses do nothing. UI thread only.
void DispatchCommand(AppState& state, Host& host, SettingsBackend& settings, int id);

// The font height a zoom step leads to, and which of the two zoom items is then checked.
struct ZoomStep {
    int fontHeight = 0;
    bool zoomInChecked = false;
    bool zoomOutChecked = false;
};
ZoomStep NextZoom(int fontHeight, bool zoomIn);

}  // namespace vellor
