#pragma once

#include <cstddef>

namespace vellor {

struct AppState;
class SettingsBackend;

// The most characters a stored port name may have; a longer one counts as missing.
inline constexpr std::size_t kMaxPortNameChars = 255;

// Each load opens the existing key only, reads its group's values in order, stores each in its
// field as soon as it is read, and stops at the first value that is missing or does not fit.
// Returns 1 when every value of the group was read, else 0.
int LoadDisplaySettings(AppState& state, SettingsBackend& backend);
int LoadBarSettings(AppState& state, SettingsBackend& backend);
int LoadPortSettings(AppState& state, SettingsBackend& backend);

// Each save creates or opens the key and writes every value of its group in order; a value that
// cannot be written is skipped and the next one is still written.
void SaveDisplaySettings(AppState& state, SettingsBackend& backend);
void SaveBarSettings(AppState& state, SettingsBackend& backend);
void SavePortSettings(AppState& state, SettingsBackend& backend);

// Display defaults: Text mode, every data option off except received-data capture, control bar
// and hex entry off. The buffer size is left as it is (the caller fits it to the view first).
void SetDisplayDefaults(AppState& state);

// Bar defaults: control bar hidden, hex entry off.
void SetBarDefaults(AppState& state);

}  // namespace vellor
