#include <QCheckBox>
#include <QScrollBar>

#include "app/command_ids.h"
#include "app/qt/app_fixture.h"
#include "app/qt/client_area.h"
#include "screen/qt/terminal_view.h"
#include "serial/qt/control_bar.h"

namespace vellor::testing {
namespace {

using StartUpTest = AppFixture;

TEST_F(StartUpTest, WithNoSettingsTheBufferFitsTheProvisionalView) {
    Start();
    ASSERT_FALSE(window_->Destroyed());
    EXPECT_EQ(window_->windowTitle(), "Vellor");
    EXPECT_EQ(window_->size(), QSize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight));
    EXPECT_EQ(state_.ready, 1);
    ASSERT_GT(state_.cellHeight, 0);
    ASSERT_GT(state_.cellWidth, 0);
    // The view was measured at the client height less 52, with its vertical bar beside it.
    const QWidget* client = window_->Client();
    const int barWidth = window_->View()->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(state_.numRows, (client->height() - 52) / state_.cellHeight);
    EXPECT_EQ(state_.numCols, (client->width() - barWidth) / state_.cellWidth);
    EXPECT_NE(state_.screenBuffer, nullptr);
    EXPECT_EQ(state_.displayMode, 0);
    EXPECT_EQ(state_.rxCapture.load(), 1);
    EXPECT_EQ(state_.echo.load(), 0);
    EXPECT_EQ(state_.controlBar, 0);
    EXPECT_EQ(state_.hexInput, 0);
    EXPECT_EQ(state_.portName, "COM1");
    EXPECT_EQ(state_.portConfig.BaudRate(), 115200u);
    EXPECT_EQ(state_.portOpen, 0);
    EXPECT_EQ(state_.fontHeight, 14);
    // Once laid out, the view fills the client area.
    EXPECT_EQ(window_->View()->geometry(), client->rect());
    EXPECT_EQ(window_->focusWidget(), window_->View());
    EXPECT_TRUE(messages_.empty());
    // Loading never creates the settings file.
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
    EXPECT_FALSE(window_->Action(kCmdControlBar)->isChecked());
    EXPECT_FALSE(window_->Action(kCmdHexInput)->isChecked());
}

TEST_F(StartUpTest, StoredGroupsAreLoaded) {
    WriteSettings(
        "\"NumRows\"=dword:00000064\r\n\"NumCols\"=dword:00000078\r\n\"Mode\"=dword:00000002\r\n"
        "\"RX_Bit7\"=dword:00000001\r\n\"RX_CRLF\"=dword:00000001\r\n\"Echo\"=dword:00000001\r\n"
        "\"TX_CRLF\"=dword:00000001\r\n\"TX_Capture\"=dword:00000001\r\n"
        "\"RX_Capture\"=dword:00000000\r\n\"Control\"=dword:00000001\r\n"
        "\"HexInput\"=dword:00000002\r\n\"COM?\"=\"/dev/ttyUSB0\"\r\n");
    Start();
    EXPECT_EQ(state_.numRows, 100);
    EXPECT_EQ(state_.numCols, 120);
    EXPECT_EQ(state_.displayMode, 2);
    EXPECT_EQ(state_.echo.load(), 1);
    EXPECT_EQ(state_.rxCapture.load(), 0);
    EXPECT_EQ(state_.controlBar, 1);
    EXPECT_EQ(state_.hexInput, 2);
    EXPECT_TRUE(window_->Action(kCmdControlBar)->isChecked());
    EXPECT_TRUE(window_->Action(kCmdHexInput)->isChecked());
    // The port group lacks its DCB: defaults as a whole.
    EXPECT_EQ(state_.portName, "COM1");
    const QWidget* client = window_->Client();
    EXPECT_EQ(window_->View()->geometry(), QRect(0, 0, client->width(), client->height() - 17));
}

TEST_F(StartUpTest, APartialDisplayGroupGetsItsDefaultsAsAWhole) {
    WriteSettings(
        "\"NumRows\"=dword:00000064\r\n\"NumCols\"=dword:00000078\r\n"
        "\"Mode\"=dword:00000001\r\n\"Control\"=dword:00000001\r\n");
    Start();
    // The rows, columns and mode read before the gap were replaced by the view's size and Text.
    const QWidget* client = window_->Client();
    EXPECT_EQ(state_.numRows, (client->height() - 52) / state_.cellHeight);
    EXPECT_EQ(state_.displayMode, 0);
    // The bar group lacks HexInput: hidden bar, hex entry off.
    EXPECT_EQ(state_.controlBar, 0);
    EXPECT_FALSE(window_->Action(kCmdControlBar)->isChecked());
}

TEST_F(StartUpTest, AScreenThatCannotBeAllocatedFallsBackToTheViewSize) {
    WriteSettings(
        "\"NumRows\"=dword:00000000\r\n\"NumCols\"=dword:00000050\r\n\"Mode\"=dword:00000000\r\n"
        "\"RX_Bit7\"=dword:00000000\r\n\"RX_CRLF\"=dword:00000000\r\n\"Echo\"=dword:00000000\r\n"
        "\"TX_CRLF\"=dword:00000000\r\n\"TX_Capture\"=dword:00000000\r\n"
        "\"RX_Capture\"=dword:00000001\r\n");
    Start();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "AllocMem Failed");
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_FALSE(window_->Destroyed());
    EXPECT_GT(state_.numRows, 0);
    EXPECT_NE(state_.screenBuffer, nullptr);
}

TEST_F(StartUpTest, NoTrayWithoutADesktopAndTheBoxesStartUnchecked) {
    Start();
    EXPECT_EQ(window_->Tray(), nullptr);  // offscreen has no tray: skipped quietly
    const char* labels[] = {"DTR", "RTS", "DSR", "CTS", "CD", "RI"};
    for (int i = 0; i < kBoxCount; ++i) {
        QCheckBox* box = window_->Bar()->Box(BoxIndex(i));
        EXPECT_EQ(box->text(), labels[i]);
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->isEnabled(), i < 2) << labels[i];
    }
}

}  // namespace
}  // namespace vellor::testing
