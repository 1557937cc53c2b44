#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "app/app_state.h"
#include "support/fake_settings.h"
#include "transfer/qt/send_settings_dialog.h"

namespace vellor::testing {
namespace {

// Controls start from the preferences, time-out only with the echo; OK alone stores and saves.
TEST(SendSettingsDialog, OkStoresAndSavesWhatTheControlsHold) {
    AppState state;
    const SendPacing before{5, 0, false, 700};
    state.preferences.pacing = before;
    FakeSettings settings;
    for (auto button : {&SendSettingsDialog::CancelButton, &SendSettingsDialog::OkButton}) {
        SendSettingsDialog dialog(nullptr, state, settings);
        EXPECT_EQ(dialog.Values(), before);
        EXPECT_FALSE(dialog.EchoTimeoutBox()->isEnabled());
        dialog.WaitForEchoBox()->click();
        EXPECT_TRUE(dialog.EchoTimeoutBox()->isEnabled());
        dialog.CharDelayBox()->setValue(1);
        dialog.LineDelayBox()->setValue(int(kMaxPacingMs) + 1);
        dialog.EchoTimeoutBox()->setValue(-1);
        (dialog.*button)()->click();
    }
    Preferences saved;
    LoadPreferences(saved, settings);
    EXPECT_EQ(saved.pacing, (SendPacing{1, kMaxPacingMs, true, 0}));
}

}  // namespace
}  // namespace vellor::testing
