#pragma once

#include <string>

namespace vellor {

struct AppState;
class Host;

// Edit > Paste and the middle click: sends UTF-8 text as typing it would (input/paste_bytes.h),
// to the port, the echo and the capture, through the send thread (paced, stoppable, never
// holding the window; the Send from File item is checked meanwhile). Text holding a character
// that cannot be typed as one byte is refused whole with "Paste Failed" naming it; so is a paste
// while another send runs. UI thread.
void PasteText(AppState& state, Host& host, const std::string& text);

}  // namespace vellor
