#pragma once

#include "transfer/send_pacing.h"

namespace vellor {

class SettingsBackend;

// The user's choices added after the first settings groups. Each is a value of its own in the
// same key, so files written before they existed load unchanged: a value that is missing, of the
// wrong size or out of range keeps its default, and the others still load. UI thread.
struct Preferences {
    bool reconnect = true;  // reopen a port whose device went away once it is back
    bool statusBar = true;
    SendPacing pacing;
    bool operator==(const Preferences&) const = default;
};

void LoadPreferences(Preferences& preferences, SettingsBackend& backend);
// Writes every preference; false when the key could not be opened or a value not stored.
bool SavePreferences(const Preferences& preferences, SettingsBackend& backend);

}  // namespace vellor
