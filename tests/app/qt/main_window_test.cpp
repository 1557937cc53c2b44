#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/qt/client_area.h"
#include "app/qt/start_up.h"
#include "app/qt/status_bar.h"
#include "screen/qt/find_bar.h"
#include "screen/qt/terminal_view.h"
#include "serial/port_connection.h"
#include "serial/qt/control_bar.h"
#include "support/deadline.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    // Starts with the display group's values stored, then the bar group's, as far as given.
    void Start(const std::vector<uint32_t>& values = {}) {
        static const char* const kNames[] = {"NumRows",    "NumCols", "Mode",    "RX_Bit7",
                                             "RX_CRLF",    "Echo",    "TX_CRLF", "TX_Capture",
                                             "RX_Capture", "Control", "HexInput"};
        for (std::size_t i = 0; i < values.size(); ++i)
            settings.Put(kNames[i], SettingsBackend::kRegDword, Le32(values[i]));
        window.reset();
        MainWindow::Hooks hooks;
        hooks.showMessage = [this](QWidget*, const std::string& text, const std::string& caption,
                                   const std::string&) {
            messages.push_back(caption + "|" + text);
        };
        hooks.quit = [this] { ++quits; };
        window = StartMainWindow(state, settings, hooks);
        QApplication::processEvents();
    }
    void Trigger(int id) {
        window->Action(id)->trigger();
        QApplication::processEvents();
    }
    bool Checked(int id) const { return window->Action(id)->isChecked(); }
    QCheckBox* Box(ModemBox box) const { return window->Bar()->Box(box); }
    QRect ViewLess(int bar) const { return window->Client()->rect().adjusted(0, 0, 0, -bar); }

    FakeSettings settings;
    AppState state;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> messages;
    int quits = 0;
};

// Defaults and a buffer the provisional view's size, nothing written; groups load whole or not.
TEST_F(MainWindowTest, StartsFromItsSettingsOrTheDefaults) {
    Start();
    const int barWidth = window->View()->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(state.numRows,
              (window->Client()->height() - kProvisionalViewShortfall) / state.cellHeight);
    EXPECT_EQ(state.numCols, (window->Client()->width() - barWidth) / state.cellWidth);
    EXPECT_EQ(window->windowTitle() + " " + QString::fromStdString(state.portName), "Vellor COM1");
    EXPECT_EQ(window->View()->geometry(), ViewLess(0));
    EXPECT_TRUE(window->focusWidget() == window->View() && messages.empty() &&
                settings.writes.empty());
    EXPECT_TRUE(Checked(kCmdReconnect) && !window->Action(kCmdSendBreak)->isEnabled());
    Start({100, 120, 2, 1, 1, 1, 1, 1, 0, 1, 2});
    EXPECT_TRUE(state.displayMode == DisplayMode::HexChar && !state.rxCapture &&
                state.numRows == 100 && state.hexInput == HexEntry::AwaitLow);
    EXPECT_TRUE(Checked(kCmdControlBar) && Checked(kCmdHexInput));
    EXPECT_EQ(window->View()->geometry(), ViewLess(17));
    settings.values.erase("HexInput");
    Start({0, 80, 1, 0, 0, 0, 0, 0, 1, 1});
    EXPECT_EQ(messages, std::vector<std::string>{"Error|AllocMem Failed"});
    EXPECT_TRUE(state.numRows > 0 && state.displayMode == DisplayMode::Hex);
    EXPECT_FALSE(state.controlBar || Checked(kCmdControlBar));  // the bar group lacks HexInput
}

// Only commands set marks; the loopback plug's line, boxes and a break in red; Exit ends once.
TEST_F(MainWindowTest, CommandsAsTheUserReachesThem) {
    Start();
    state.portName = "COM0";  // names no device
    Trigger(kCmdOpenPort);
    EXPECT_FALSE(Checked(kCmdOpenPort));
    state.portName = "LOOP";
    Trigger(kCmdOpenPort);
    EXPECT_TRUE(Checked(kCmdOpenPort) && window->Action(kCmdSendBreak)->isEnabled());
    EXPECT_TRUE(Box(ModemBox::Dtr)->isChecked() && Box(ModemBox::Rts)->isChecked());
    Trigger(kCmdSendBreak);
    EXPECT_TRUE(WaitUntil([&] {
        window->Status()->Refresh();
        return window->Status()->PortLabel()->text() == "LOOP 115200 8N1 RTS/CTS" &&
               window->Status()->ErrorsLabel()->text().endsWith(
                   "break <span style=\"color:#c00000\">1</span>");
    })) << window->Status()->ErrorsLabel()->text().toStdString();

    Trigger(kCmdStatusBar);
    Trigger(kCmdControlBar);
    Box(ModemBox::Dtr)->click();  // drops the line
    window->resize(480, 400);
    QApplication::processEvents();
    EXPECT_FALSE(Box(ModemBox::Dtr)->isChecked());
    EXPECT_EQ(window->focusWidget(), window->View());
    EXPECT_EQ(window->View()->geometry(), ViewLess(17));
    EXPECT_EQ(Box(ModemBox::Ri)->geometry(), QRect(423, window->Client()->height() - 16, 35, 15));
    Trigger(kCmdExit);
    EXPECT_TRUE(window->Destroyed() && !window->isVisible());
    EXPECT_TRUE(!PortIsOpen(state) && state.screenBuffer == nullptr);
    window->close();
    EXPECT_EQ(quits, 1);
}

// Find: Enter finds the next match, Shift+Enter the previous, a miss says so and keeps the
// selection; keys typed there never reach the screen; Esc gives the view its focus back.
TEST_F(MainWindowTest, FindBarSelectsMatchesAndKeepsItsKeys) {
    Start();
    state.echo = 1;
    Feed(state, "one two\r\ntwo one");
    const std::string screen = ScreenText(state);
    Trigger(kCmdFind);
    QLineEdit* needle = window->Finder()->Needle();
    QTest::keyClicks(window->focusWidget(), "TWO");  // the focus is in the bar
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(state.selection.cells, (CellRange{{0, 4}, {0, 7}}));
    QTest::keyClick(needle, Qt::Key_Enter, Qt::ShiftModifier);
    EXPECT_EQ(state.selection.cells, (CellRange{{1, 0}, {1, 3}}));
    needle->setText("three");
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(window->Finder()->findChild<QLabel*>()->text(), "not found");
    EXPECT_TRUE(state.selection.cells == (CellRange{{1, 0}, {1, 3}}) &&
                ScreenText(state) == screen);
    QTest::keyClick(needle, Qt::Key_Escape);
    EXPECT_TRUE(!window->Finder()->isVisible() && window->focusWidget() == window->View());
}

}  // namespace
}  // namespace vellor::testing
