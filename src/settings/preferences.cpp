#include "settings/preferences.h"

#include <array>
#include <optional>

#include "base/little_endian.h"
#include "settings/settings_backend.h"

namespace vellor {

namespace {

// One stored DWORD: its name, the values it may hold, and the field it fills.
struct PreferenceValue {
    const char* name;
    uint32_t largest;
    uint32_t (*fetch)(const Preferences&);
    void (*store)(Preferences&, uint32_t);
};

constexpr std::array kValues = {
    PreferenceValue{"Reconnect", 1, [](const Preferences& p) { return uint32_t(p.reconnect); },
                    [](Preferences& p, uint32_t v) { p.reconnect = v != 0; }},
    PreferenceValue{"StatusBar", 1, [](const Preferences& p) { return uint32_t(p.statusBar); },
                    [](Preferences& p, uint32_t v) { p.statusBar = v != 0; }},
    PreferenceValue{"SendCharDelay", kMaxPacingMs,
                    [](const Preferences& p) { return p.pacing.charDelayMs; },
                    [](Preferences& p, uint32_t v) { p.pacing.charDelayMs = v; }},
    PreferenceValue{"SendLineDelay", kMaxPacingMs,
                    [](const Preferences& p) { return p.pacing.lineDelayMs; },
                    [](Preferences& p, uint32_t v) { p.pacing.lineDelayMs = v; }},
    PreferenceValue{"SendWaitEcho", 1,
                    [](const Preferences& p) { return uint32_t(p.pacing.waitForEcho); },
                    [](Preferences& p, uint32_t v) { p.pacing.waitForEcho = v != 0; }},
    PreferenceValue{"SendEchoTimeout", kMaxPacingMs,
                    [](const Preferences& p) { return p.pacing.echoTimeoutMs; },
                    [](Preferences& p, uint32_t v) { p.pacing.echoTimeoutMs = v; }},
};

}  // namespace

void LoadPreferences(Preferences& preferences, SettingsBackend& backend) {
    if (!backend.OpenExistingKey()) return;
    for (const PreferenceValue& value : kValues) {
        std::array<uint8_t, 4> bytes{};
        if (backend.QueryValue(value.name, bytes) != bytes.size()) continue;
        const uint32_t number = LoadLe32(bytes);
        if (number <= value.largest) value.store(preferences, number);
    }
    backend.CloseKey();
}

bool SavePreferences(const Preferences& preferences, SettingsBackend& backend) {
    if (!backend.CreateOrOpenKey()) return false;
    bool stored = true;
    for (const PreferenceValue& value : kValues) {
        stored &= backend.SetValue(value.name, SettingsBackend::kRegDword,
                                   Le32(value.fetch(preferences)));
    }
    return backend.CloseKey() && stored;
}

}  // namespace vellor
