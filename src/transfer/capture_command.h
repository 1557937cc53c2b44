#pragma once

#include <string>
#include <vector>

#include "app/host.h"

namespace vellor {

struct AppState;

// The file types both file choosers offer, in this order.
const std::vector<std::string>& TransferFilters();

// What the Capture to File chooser asks for: a file to save into, empty name, the usual folder.
FileRequest CaptureFileRequest();

// The File menu's Capture to File command (40052). Starts a capture when none runs: asks for a
// file, opens it for appending ("CreateLogFile Failed" when it cannot be), sets `capturing` and
// checks the item. Stops a running one: closes the file ("LogFileClose Fail" when bytes could not
// be stored), clears `capturing` and unchecks the item. A capture whose write fails stops by
// itself: the item is unchecked and "WriteLogFile Failed" says why and what the file holds. UI
// thread.
void ToggleCapture(AppState& state, Host& host);

// Closes an open capture as the main window goes, with "CloseLogFile Failed" when that fails. The
// menu is left alone. UI thread.
void CloseCaptureAtShutdown(AppState& state, Host& host);

}  // namespace vellor
