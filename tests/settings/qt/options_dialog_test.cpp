#include "settings/qt/options_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <mutex>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"
#include "settings/memory_backend.h"
#include "settings/qt/options_dialog_size_field.h"

namespace vellor {
namespace {

class QuietPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string&) override {
        messages.push_back(text);
    }
    void DestroyMainWindow() override { ++destroyed; }
    std::vector<std::string> messages;
    int destroyed = 0;
};

class OptionsDialogTest : public ::testing::Test {
  protected:
    OptionsDialogTest() {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 24;
        state.numCols = 80;
        state.visibleRows = 20;
        state.visibleCols = 40;
    }
    void SetUp() override {
        ASSERT_EQ(AllocateScreen(state, platform), 0);
        PutByte(state, 'x');
    }
    bool ScreenUntouched() {
        std::lock_guard lock(state.screenMutex);
        return state.screenBuffer->At(0, 0) == 'x' && state.cursorCol == 1;
    }

    AppState state;
    MemorySettingsBackend settings;
    QuietPlatform platform;
};

TEST_F(OptionsDialogTest, StartsFromTheState) {
    state.echo = 1;
    state.rxBit7 = 1;
    OptionsDialog dialog(nullptr, state, settings, platform);
    EXPECT_EQ(dialog.windowTitle(), "Options");
    EXPECT_EQ(dialog.RowsField()->text(), "24");
    EXPECT_EQ(dialog.ColumnsField()->text(), "80");
    EXPECT_TRUE(dialog.TextButton()->isChecked());
    EXPECT_FALSE(dialog.HexButton()->isChecked());
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    EXPECT_TRUE(dialog.RxBit7Box()->isChecked());
    EXPECT_FALSE(dialog.RxCrLfBox()->isChecked());
    EXPECT_FALSE(dialog.TxCrLfBox()->isChecked());
    EXPECT_FALSE(dialog.TxCaptureBox()->isChecked());
    EXPECT_TRUE(dialog.RxCaptureBox()->isChecked());
}

TEST_F(OptionsDialogTest, LabelsAreExact) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    EXPECT_EQ(dialog.TextButton()->text(), "Text");
    EXPECT_EQ(dialog.HexButton()->text(), "Hex");
    EXPECT_EQ(dialog.HexCharButton()->text(), "Hex + Char");
    EXPECT_EQ(dialog.EchoBox()->text(), "Echo locally");
    EXPECT_EQ(dialog.TxCrLfBox()->text(), "CR with LF");
    EXPECT_EQ(dialog.RxBit7Box()->text(), "7-bit ASCII");
    EXPECT_EQ(dialog.RxCrLfBox()->text(), "CR with LF");
    EXPECT_EQ(dialog.RxCaptureBox()->text(), "Received data");
    EXPECT_EQ(dialog.TxCaptureBox()->text(), "Typed data");
    EXPECT_EQ(dialog.OkButton()->text(), "OK");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
}

TEST_F(OptionsDialogTest, LaidOutTopToBottom) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto y = [&](QWidget* w) { return w->mapTo(&dialog, QPoint(0, 0)).y(); };
    auto x = [&](QWidget* w) { return w->mapTo(&dialog, QPoint(0, 0)).x(); };
    EXPECT_LT(y(dialog.RowsField()), y(dialog.RxBit7Box()));
    EXPECT_LT(y(dialog.RxBit7Box()), y(dialog.RxCrLfBox()));
    EXPECT_EQ(y(dialog.RxBit7Box()), y(dialog.EchoBox()));
    EXPECT_LT(x(dialog.RxBit7Box()), x(dialog.EchoBox()));
    EXPECT_LT(y(dialog.RxCrLfBox()), y(dialog.TextButton()));
    EXPECT_LT(y(dialog.TextButton()), y(dialog.RxCaptureBox()));
    EXPECT_LT(y(dialog.RxCaptureBox()), y(dialog.OkButton()));
    EXPECT_LT(x(dialog.RowsField()), x(dialog.ColumnsField()));
    // The arrows sit side by side at the field's right edge.
    SizeField* rows = dialog.RowsField();
    EXPECT_EQ(y(rows->DownButton()), y(rows->UpButton()));
    EXPECT_LT(x(rows->Edit()), x(rows->DownButton()));
    EXPECT_LT(x(rows->DownButton()), x(rows->UpButton()));
}

TEST_F(OptionsDialogTest, ClickingTextChecksEcho) {
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = 1;
    }
    OptionsDialog dialog(nullptr, state, settings, platform);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(dialog.EchoBox()->isChecked());
    // Clicks land on the indicators: a button takes clicks on its indicator and label only.
    auto click = [](QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    };
    click(dialog.HexCharButton());
    EXPECT_FALSE(dialog.EchoBox()->isChecked());
    click(dialog.TextButton());
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    // The user may turn it off again before OK.
    click(dialog.EchoBox());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(state.echo, 0);
    EXPECT_EQ(state.displayMode, 0);
}

TEST_F(OptionsDialogTest, OkAppliesAndSaves) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    dialog.HexButton()->setChecked(true);
    dialog.TxCrLfBox()->setChecked(true);
    dialog.RowsField()->setText("30");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(state.displayMode, 1);
    EXPECT_EQ(state.txCrLf, 1);
    EXPECT_EQ(state.numRows, 30);
    EXPECT_EQ(settings.Dword("Mode"), 1u);
    EXPECT_EQ(settings.Dword("TX_CRLF"), 1u);
    EXPECT_EQ(settings.Dword("NumRows"), 30u);
}

TEST_F(OptionsDialogTest, CancelAfterChangingEverythingChangesNothing) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    dialog.HexCharButton()->setChecked(true);
    dialog.TextButton()->click();
    EXPECT_TRUE(dialog.EchoBox()->isChecked());
    for (QCheckBox* b : {dialog.RxBit7Box(), dialog.RxCrLfBox(), dialog.EchoBox(),
                         dialog.TxCrLfBox(), dialog.RxCaptureBox(), dialog.TxCaptureBox()})
        b->toggle();
    dialog.RowsField()->setText("99");
    dialog.ColumnsField()->setText("abc");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(state.numRows, 24);
    EXPECT_EQ(state.numCols, 80);
    EXPECT_EQ(state.echo, 0);
    EXPECT_EQ(state.rxCapture, 1);
    EXPECT_TRUE(ScreenUntouched());
    EXPECT_TRUE(settings.writes.empty());
}

struct TypedCase {
    const char* rows;
    uint16_t expected;
};

class TypedRows : public OptionsDialogTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedRows, AreConvertedOnOk) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    dialog.ColumnsField()->setText("1");
    QLineEdit* edit = dialog.RowsField()->Edit();
    edit->clear();
    QTest::keyClicks(edit, GetParam().rows);
    EXPECT_EQ(edit->text(), GetParam().rows);  // any text is taken
    dialog.accept();
    if (GetParam().expected != 0) {
        EXPECT_EQ(state.numRows, GetParam().expected);
        EXPECT_EQ(settings.Dword("NumRows"), GetParam().expected);
    } else {
        // No buffer of 0 rows: the view's size is taken and saved instead.
        EXPECT_EQ(platform.messages, std::vector<std::string>{"AllocMem Failed"});
        EXPECT_EQ(state.numRows, 20);
        EXPECT_EQ(settings.Dword("NumRows"), 20u);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TypedRows,
                         ::testing::Values(TypedCase{"20000", 20000}, TypedCase{"-1", 65535},
                                           TypedCase{"abc", 0}, TypedCase{"12abc", 12},
                                           TypedCase{" 7", 7}));

TEST_F(OptionsDialogTest, ArrowsStepWithinTheirRangeAndWrap) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    SizeField* rows = dialog.RowsField();
    SizeField* cols = dialog.ColumnsField();
    rows->setText("9999");
    QTest::mouseClick(rows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(rows->text(), "0");
    QTest::mouseClick(rows->DownButton(), Qt::LeftButton);
    EXPECT_EQ(rows->text(), "9999");
    cols->setText("999");
    QTest::keyClick(cols->Edit(), Qt::Key_Up);
    EXPECT_EQ(cols->text(), "0");
    QTest::keyClick(cols->Edit(), Qt::Key_Down);
    QTest::keyClick(cols->Edit(), Qt::Key_Down);
    EXPECT_EQ(cols->text(), "998");
}

TEST_F(OptionsDialogTest, UnknownModeChecksNoButtonAndIsKept) {
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = 7;
    }
    OptionsDialog dialog(nullptr, state, settings, platform);
    EXPECT_FALSE(dialog.TextButton()->isChecked());
    EXPECT_FALSE(dialog.HexButton()->isChecked());
    EXPECT_FALSE(dialog.HexCharButton()->isChecked());
    dialog.accept();
    EXPECT_EQ(state.displayMode, 7);
    EXPECT_EQ(settings.Dword("Mode"), 7u);
}

TEST_F(OptionsDialogTest, TabSkipsTheCaptureBoxesAndTheArrows) {
    OptionsDialog dialog(nullptr, state, settings, platform);
    EXPECT_FALSE(dialog.RxCaptureBox()->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(dialog.TxCaptureBox()->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(dialog.RowsField()->UpButton()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog.OkButton()->nextInFocusChain(), dialog.CancelButton());
    EXPECT_EQ(dialog.CancelButton()->nextInFocusChain(), dialog.TextButton());
}

}  // namespace
}  // namespace vellor
