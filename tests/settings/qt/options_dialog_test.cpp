// The Options dialog as the user meets it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
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

struct OptionsDialogTest : ::testing::Test {
    void SetUp() override {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    std::unique_ptr<AppState> state = [] {
        auto s = MakeScreen(24, 80, DisplayMode::HexChar, 20, 40);
        s->rxCrLf = s->txCrLf = 1;
        return s;
    }();
    FakeSettings settings;
    FakeHost host;
    OptionsDialog dialog{nullptr, *state, settings, host};
};

// The controls show the state, groups and arrows in their places; Tab passes capture and arrows by.
TEST_F(OptionsDialogTest, ShowsTheStateInItsPlaces) {
    const OptionsDialog& d = dialog;
    EXPECT_EQ(d.Values(), OpenOptionsDialog(*state));
    const auto at = [&](QWidget* w) { return w->mapTo(&d, QPoint(0, 0)); };
    SizeField* rows = d.RowsField();
    QWidget* const column[] = {rows, d.RxCrLfBox(), d.TextButton(), d.RxCaptureBox(), d.OkButton()};
    for (std::size_t i = 1; i < std::size(column); ++i)
        EXPECT_LT(at(column[i - 1]).y(), at(column[i]).y()) << i;
    const std::pair<QWidget*, QWidget*> row[] = {{d.RxBit7Box(), d.EchoBox()},
                                                 {d.RxCaptureBox(), d.TxCaptureBox()},
                                                 {rows->Edit(), rows->DownButton()},
                                                 {rows->DownButton(), rows->UpButton()}};
    for (const auto& [left, right] : row)
        EXPECT_TRUE(at(left).y() == at(right).y() && at(left).x() < at(right).x());
    EXPECT_FALSE(d.RxCaptureBox()->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(rows->UpButton()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(d.CancelButton()->nextInFocusChain(), d.TextButton());
}

// Text checks Echo (which may be cleared again); arrows and keys step and wrap; OK applies
// what the controls hold, Cancel nothing.
TEST_F(OptionsDialogTest, OkTakesWhatTheControlsHoldAndCancelNothing) {
    QTest::mouseClick(dialog.TextButton(), Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    dialog.EchoBox()->click();
    SizeField* rows = dialog.RowsField();
    rows->setText("9999");
    QTest::mouseClick(rows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(rows->text(), "0");
    QTest::keyClick(rows->Edit(), Qt::Key_Down);
    EXPECT_EQ(rows->text(), "9999");
    rows->Edit()->clear();
    QTest::keyClicks(rows->Edit(), "12abc");

    OptionsDialog cancelled(nullptr, *state, settings, host);
    cancelled.HexButton()->click();
    QTest::mouseClick(cancelled.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_TRUE(settings.writes.empty());

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(std::tuple(state->numRows, state->displayMode, state->echo.load()),
              std::tuple(12, DisplayMode::Text, 0));
}

}  // namespace
}  // namespace vellor::testing
