// The Options dialog as the user meets it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "settings/qt/options_dialog.h"
#include "settings/qt/options_dialog_size_field.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

class OptionsDialogTest : public ::testing::Test {
  protected:
    std::unique_ptr<AppState> state = MakeScreen(24, 80, DisplayMode::Hex, 20, 40);
    FakeSettings settings;
    FakeHost host;
};

// The controls start from the state with their exact labels, in their places, with the arrows
// side by side at each field's right edge; Tab passes the capture boxes and the arrows by.
TEST_F(OptionsDialogTest, ShowsTheStateInItsPlaces) {
    state->echo = 1;
    OptionsDialog dialog(nullptr, *state, settings, host);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Options");
    EXPECT_EQ(dialog.RowsField()->text(), "24");
    EXPECT_EQ(dialog.ColumnsField()->text(), "80");
    const std::pair<QAbstractButton*, std::pair<const char*, bool>> controls[] = {
        {dialog.TextButton(), {"Text", false}},
        {dialog.HexButton(), {"Hex", true}},
        {dialog.HexCharButton(), {"Hex + Char", false}},
        {dialog.EchoBox(), {"Echo locally", true}},
        {dialog.TxCrLfBox(), {"CR with LF", false}},
        {dialog.RxBit7Box(), {"7-bit ASCII", false}},
        {dialog.RxCrLfBox(), {"CR with LF", false}},
        {dialog.RxCaptureBox(), {"Received data", true}},
        {dialog.TxCaptureBox(), {"Typed data", false}}};
    for (const auto& [control, expected] : controls) {
        EXPECT_EQ(control->text(), expected.first);
        EXPECT_EQ(control->isChecked(), expected.second) << expected.first;
    }
    auto at = [&](QWidget* w) { return w->mapTo(&dialog, QPoint(0, 0)); };
    EXPECT_LT(at(dialog.RowsField()).y(), at(dialog.RxBit7Box()).y());
    EXPECT_EQ(at(dialog.RxBit7Box()).y(), at(dialog.EchoBox()).y());
    EXPECT_LT(at(dialog.RxBit7Box()).x(), at(dialog.EchoBox()).x());
    EXPECT_LT(at(dialog.RxCrLfBox()).y(), at(dialog.TextButton()).y());
    EXPECT_LT(at(dialog.TextButton()).y(), at(dialog.RxCaptureBox()).y());
    EXPECT_LT(at(dialog.RxCaptureBox()).y(), at(dialog.OkButton()).y());
    SizeField* rows = dialog.RowsField();
    EXPECT_EQ(at(rows->DownButton()).y(), at(rows->UpButton()).y());
    EXPECT_LT(at(rows->Edit()).x(), at(rows->DownButton()).x());
    EXPECT_LT(at(rows->DownButton()).x(), at(rows->UpButton()).x());
    EXPECT_FALSE(dialog.RxCaptureBox()->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(rows->UpButton()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog.CancelButton()->nextInFocusChain(), dialog.TextButton());
}

// Choosing Text checks Echo locally, which the user may clear again; OK applies and saves what
// the controls hold, any typed size included; the arrows step and wrap.
TEST_F(OptionsDialogTest, OkTakesWhatTheControlsHold) {
    OptionsDialog dialog(nullptr, *state, settings, host);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto click = [](QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    };
    click(dialog.HexCharButton());
    EXPECT_FALSE(dialog.EchoBox()->isChecked());
    click(dialog.TextButton());
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    click(dialog.EchoBox());
    dialog.TxCrLfBox()->setChecked(true);
    SizeField* rows = dialog.RowsField();
    rows->setText("9999");
    QTest::mouseClick(rows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(rows->text(), "0");
    QTest::keyClick(rows->Edit(), Qt::Key_Down);
    EXPECT_EQ(rows->text(), "9999");
    rows->Edit()->clear();
    QTest::keyClicks(rows->Edit(), "12abc");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(state->displayMode, DisplayMode::Text);
    EXPECT_EQ(state->echo.load(), 0);
    EXPECT_EQ(state->txCrLf.load(), 1);
    EXPECT_EQ(state->numRows, 12);
    EXPECT_EQ(settings.Dword("NumRows"), 12u);
    EXPECT_EQ(settings.Dword("Mode"), 0u);
}

// Cancel after changing everything leaves the state, the screen and the settings alone.
TEST_F(OptionsDialogTest, CancelChangesNothing) {
    Feed(*state, "x");
    const std::string screen = ScreenText(*state);
    OptionsDialog dialog(nullptr, *state, settings, host);
    dialog.TextButton()->click();
    for (QCheckBox* b : {dialog.RxBit7Box(), dialog.RxCrLfBox(), dialog.EchoBox(),
                         dialog.TxCrLfBox(), dialog.RxCaptureBox(), dialog.TxCaptureBox()})
        b->toggle();
    dialog.RowsField()->setText("99");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(state->numRows, 24);
    EXPECT_EQ(state->displayMode, DisplayMode::Hex);
    EXPECT_EQ(state->rxCapture.load(), 1);
    EXPECT_EQ(ScreenText(*state), screen);
    EXPECT_TRUE(settings.writes.empty());
}

}  // namespace
}  // namespace vellor::testing
