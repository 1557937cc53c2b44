#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "app/host.h"
#include "transfer/send_job.h"

namespace vellor {

struct AppState;

// Opens the chosen file for reading; null with errno set when it cannot be.
using SendFileOpener = std::function<std::FILE*(const std::string& path)>;

// How a send opens its file and makes its thread; tests replace either.
struct SendHooks {
    SendFileOpener open;
    ThreadLauncher launch;
};
SendHooks DefaultSendHooks();

// What the Send from File chooser asks for: a file to open, starting in the root folder, empty
// name; a name that does not exist is accepted and then fails to open.
FileRequest SendFileRequest();

// The File menu's Send from File command (40053). While a send runs: clears `sending`, stops the
// run after the byte in hand and unchecks the item. Otherwise: asks for a file, opens it
// ("OpenSendFile Failed"), sets `sending`, starts the send thread ("CreateSendThread Failed",
// with the file closed and `sending` cleared again) and checks the item; the thread unchecks it
// when it ends by itself, always after this check. UI thread.
void ToggleSend(AppState& state, Host& host);
void ToggleSendWith(AppState& state, Host& host, const SendHooks& hooks);

// Stops a running send as the command does (the thread ends after the byte in hand; the item is
// unchecked); nothing when none runs. UI thread.
void StopSending(AppState& state, Host& host);

// Stops a send as the main window goes: clears `sending`, gives up any message the send thread
// waits on and waits for the thread to end (at most the byte in hand; close the port first so
// a held-off write returns at once). The menu is left alone. UI thread.
void StopSendingAtShutdown(AppState& state);

}  // namespace vellor
