// The Options dialog as the user meets it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "settings/options_model.h"
#include "settings/qt/options_dialog.h"
#include "settings/qt/options_dialog_size_field.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// Controls show the state; Text checks Echo; arrows and keys step, wrapping; OK applies them.
TEST(OptionsDialog, OkTakesWhatTheControlsHoldAndCancelNothing) {
    auto state = MakeScreen(24, 80, DisplayMode::HexChar, 20, 40);
    state->rxCrLf = 1;
    FakeSettings settings;
    FakeHost host;
    OptionsDialog dialog(nullptr, *state, settings, host), undone(nullptr, *state, settings, host);
    EXPECT_EQ(dialog.Values(), OpenOptionsDialog(*state));
    EXPECT_FALSE(dialog.RxCaptureBox()->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(dialog.CancelButton()->nextInFocusChain(), dialog.TextButton());
    undone.CancelButton()->click();
    EXPECT_TRUE(undone.result() == QDialog::Rejected && settings.writes.empty());
    dialog.TextButton()->click();
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    dialog.EchoBox()->click();
    dialog.RowsField()->setText("20000");  // beyond the arrows' range: stepped from its end
    dialog.RowsField()->UpButton()->click();
    EXPECT_EQ(dialog.RowsField()->text(), "0");
    dialog.RowsField()->setText("-5");
    QTest::keyClick(dialog.RowsField()->focusProxy(), Qt::Key_Down);
    dialog.OkButton()->click();
    EXPECT_EQ(std::tuple(dialog.result(), state->numRows, state->displayMode, state->echo.load()),
              std::tuple(int(QDialog::Accepted), 9999, DisplayMode::Text, 0));
}

}  // namespace
}  // namespace vellor::testing
