#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// The File menu's Send from File command (40053). While a send (or a paste) runs: clears
// `sending`, stops the run after what the line has taken and unchecks the item. Otherwise: asks for
// a file, opens it
// ("OpenSendFile Failed"), sets `sending`, starts the send thread ("CreateSendThread Failed",
// with the file closed and `sending` cleared again) and checks the item; the thread unchecks it
// when it ends by itself, always after this check. UI thread.
void ToggleSend(AppState& state, Host& host);
void ToggleSendWith(AppState& state, Host& host, const SendHooks& hooks);

// Sends a paste's bytes (as typing gives them: a line break is CR, no LF added) through the send
// thread, paced as the preferences say, as a run of its own: `sending` set and the Send from File
// item checked while it runs, stopped by that command. "CreateSendThread Failed" when no thread
// can be made. The caller makes sure no send runs. UI thread.
void StartPasteSend(AppState& state, Host& host, std::vector<uint8_t> typed,
                    const ThreadLauncher& launch = DefaultSendHooks().launch);

// Where the running send is; nothing when none runs. UI thread, a few times a second.
std::optional<SendProgress> CurrentSendProgress(const AppState& state);

// Stops a running send as the command does (the thread ends within kSendWaitMs; the item is
// unchecked); nothing when none runs. UI thread.
void StopSending(AppState& state, Host& host);

// Stops a send as the main window goes: clears `sending`, gives up any message the send thread
// waits on and waits for the thread to end (within kSendWaitMs). The menu is left alone. UI
// thread.
void StopSendingAtShutdown(AppState& state);

}  // namespace vellor
