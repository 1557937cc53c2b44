// The Send Settings dialog as the user meets it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "app/app_state.h"
#include "support/fake_settings.h"
#include "transfer/qt/send_settings_dialog.h"

namespace vellor::testing {
namespace {

// The controls start from the preferences; Cancel changes and saves nothing; OK stores what they
// hold, each within 0 to one minute, and saves it. The time-out is there only with the echo.
TEST(SendSettingsDialog, OkStoresAndSavesWhatTheControlsHold) {
    AppState state;
    const SendPacing before{5, 0, false, 700}, after{1, kMaxPacingMs, true, 0};
    state.preferences.pacing = before;
    FakeSettings settings;
    for (auto button : {&SendSettingsDialog::CancelButton, &SendSettingsDialog::OkButton}) {
        EXPECT_TRUE(settings.writes.empty());
        SendSettingsDialog dialog(nullptr, state, settings);
        EXPECT_EQ(dialog.Values(), before);
        EXPECT_FALSE(dialog.EchoTimeoutBox()->isEnabled());
        dialog.WaitForEchoBox()->click();
        dialog.CharDelayBox()->setValue(1);
        dialog.LineDelayBox()->setValue(int(kMaxPacingMs) + 1);
        dialog.EchoTimeoutBox()->setValue(-1);
        (dialog.*button)()->click();
    }
    Preferences saved;
    LoadPreferences(saved, settings);
    EXPECT_EQ(saved.pacing, after);
    EXPECT_EQ(state.preferences.pacing, after);
}

}  // namespace
}  // namespace vellor::testing
