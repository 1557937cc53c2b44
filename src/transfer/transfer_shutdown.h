#pragma once

namespace vellor {

struct AppState;
class Host;

// The file transfers' part of the main window's destruction, after the port has been closed: a
// send stops and its thread is waited for (any message it waits on is given up), then an open
// capture is closed, with "CloseLogFile Failed" when that fails. UI thread.
void ShutdownTransfers(AppState& state, Host& host);

}  // namespace vellor
