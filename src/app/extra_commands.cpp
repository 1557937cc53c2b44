#include "app/extra_commands.h"

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "screen/selection.h"
#include "serial/port_connection.h"
#include "settings/preferences.h"
#include "transfer/paste.h"

namespace vellor {

namespace {

void ToggleStatusBar(AppState& state, Host& host, SettingsBackend& settings) {
    state.preferences.statusBar = !state.preferences.statusBar;
    host.SetMenuCheck(kCmdStatusBar, state.preferences.statusBar);
    host.ShowStatusBar(state.preferences.statusBar);
    SavePreferences(state.preferences, settings);
}

// Turning reconnecting off while a device is awaited gives up the wait: the port closes as if
// the user had closed it.
void ToggleReconnect(AppState& state, Host& host, SettingsBackend& settings) {
    state.preferences.reconnect = !state.preferences.reconnect;
    host.SetMenuCheck(kCmdReconnect, state.preferences.reconnect);
    if (!state.preferences.reconnect && state.portWaiter) ClosePort(state, host);
    SavePreferences(state.preferences, settings);
}

void Copy(const AppState& state, Host& host) {
    if (!HasSelection(state)) return;  // the clipboard keeps what it had
    host.SetClipboardText(ClipboardKind::Clipboard, SelectedText(state));
}

}  // namespace

bool DispatchExtraCommand(AppState& state, Host& host, SettingsBackend& settings, int id) {
    switch (id) {
        case kCmdReconnect:
            ToggleReconnect(state, host, settings);
            return true;
        case kCmdStatusBar:
            ToggleStatusBar(state, host, settings);
            return true;
        case kCmdCopy:
            Copy(state, host);
            return true;
        case kCmdSelectAll:
            SelectAll(state);
            PublishSelection(state, host);
            return true;
        case kCmdFind:
            host.ShowFindBar();
            return true;
        case kCmdSendSettings:
            host.RunSendSettingsDialog();
            return true;
        case kCmdSendBreak:
            SendLineBreak(state);
            return true;
        case kCmdPaste:
            PasteText(state, host, host.ClipboardText(ClipboardKind::Clipboard));
            return true;
        case kCmdPasteSelection:
            PasteText(state, host, host.ClipboardText(ClipboardKind::Selection));
            return true;
        default:
            return false;
    }
}

void ShowPreferenceChecks(const AppState& state, Host& host) {
    host.SetMenuCheck(kCmdReconnect, state.preferences.reconnect);
    host.SetMenuCheck(kCmdStatusBar, state.preferences.statusBar);
    host.ShowStatusBar(state.preferences.statusBar);
    host.SetMenuEnabled(kCmdSendBreak, PortIsOpen(state));
}

}  // namespace vellor
