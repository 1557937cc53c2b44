#pragma once

namespace vellor {

struct AppState;
class Host;
class SettingsBackend;

// Routes the commands added since the original set (ids from 40101). False for an id that is
// not one of them. UI thread only.
bool DispatchExtraCommand(AppState& state, Host& host, SettingsBackend& settings, int id);

// Shows the added items' check marks, and what they switch, as the preferences say (at start).
void ShowPreferenceChecks(const AppState& state, Host& host);

}  // namespace vellor
