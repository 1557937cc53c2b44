// The started program in one window: start-up, menus, commands as the user reaches them.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

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
    // Stores the display group's values, then the bar group's, as far as given.
    void Start(const std::vector<uint32_t>& values = {}) {
        static const char* const kNames[] = {"NumRows",    "NumCols", "Mode",    "RX_Bit7",
                                             "RX_CRLF",    "Echo",    "TX_CRLF", "TX_Capture",
                                             "RX_Capture", "Control", "HexInput"};
        for (std::size_t i = 0; i < values.size(); ++i)
            settings.PutDword(kNames[i], values[i]);
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
    QString Errors() const { return window->Status()->ErrorsLabel()->text(); }
    QRect ViewLess(int bar) const {
        return {0, 0, window->Client()->width(), window->Client()->height() - bar};
    }

    FakeSettings settings;
    AppState state;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> messages;
    int quits = 0;
};

// No settings: defaults, the buffer as big as the provisional view, nothing written. Original items
// have Alt mnemonics and no shortcuts; added ones follow separators, with Ctrl+Shift if any.
TEST_F(MainWindowTest, StartsWithTheDefaultsAndShowsTheMenus) {
    Start();
    const QWidget* client = window->Client();
    const int barWidth = window->View()->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(state.numRows, (client->height() - kProvisionalViewShortfall) / state.cellHeight);
    EXPECT_EQ(state.numCols, (client->width() - barWidth) / state.cellWidth);
    EXPECT_EQ(window->windowTitle() + " " + QString::fromStdString(state.portName), "Vellor COM1");
    EXPECT_EQ(window->View()->geometry(), ViewLess(0));
    EXPECT_TRUE(window->focusWidget() == window->View() && messages.empty() &&
                settings.writes.empty());
    EXPECT_TRUE(Checked(kCmdReconnect) && !window->Action(kCmdSendBreak)->isEnabled());
    QString menus;
    for (QAction* menu : window->menuBar()->actions()) {
        menus += "\n" + menu->text() + ":";
        for (QAction* item : menu->menu()->actions()) {
            const QString key = item->shortcut().toString();
            menus += " " + (item->isSeparator() ? "-" : item->text()) +
                     (key.isEmpty() ? "" : "[" + key + "]");
        }
    }
    EXPECT_EQ(
        menus,
        "\n&File: &Send from File &Capture to File - E&xit - Send Se&ttings..."
        "\n&Edit: &Clear All - &Hex Input - &Options ... - Cop&y[Ctrl+Shift+C] "
        "&Paste[Ctrl+Shift+V] Select &All[Ctrl+Shift+A] &Find...[Ctrl+Shift+F]"
        "\n&View: Zoom &In Zoom &Out - &Control Bar - Status &Bar"
        "\n&Comm: &Open Port - &Properties - &Reconnect Automatically Send &Break[Ctrl+Shift+B]"
        "\n&Help: &About  Vellor");
}

// Groups load whole or take their defaults whole; a size that cannot be had falls back to the view.
TEST_F(MainWindowTest, LoadsWholeGroupsOrTheirDefaults) {
    settings.PutString("COM?", "/dev/ttyUSB0");
    Start({100, 120, 2, 1, 1, 1, 1, 1, 0, 1, 2});
    EXPECT_TRUE(state.displayMode == DisplayMode::HexChar && !state.rxCapture &&
                state.numRows == 100);
    EXPECT_TRUE(state.hexInput == HexEntry::AwaitLow && Checked(kCmdControlBar) &&
                Checked(kCmdHexInput));
    EXPECT_EQ(state.portName, "COM1");  // the port group lacks its record
    EXPECT_EQ(window->View()->geometry(), ViewLess(17));
    settings.values.erase("HexInput");
    Start({0, 80, 1, 0, 0, 0, 0, 0, 1, 1});
    EXPECT_EQ(messages, std::vector<std::string>{"Error|AllocMem Failed"});
    EXPECT_TRUE(state.numRows > 0 && state.displayMode == DisplayMode::Hex);
    EXPECT_FALSE(state.controlBar || Checked(kCmdControlBar));  // the bar group lacks HexInput
}

// Only a command sets a mark; the loopback plug opens with its boxes, line and a break in red; a
// box click leaves the focus in the view; Exit (or closing) ends once; the bars' choices persist.
TEST_F(MainWindowTest, CommandsAsTheUserReachesThem) {
    Start();
    state.portName = "COM0";  // names no device
    Trigger(kCmdOpenPort);
    EXPECT_FALSE(Checked(kCmdOpenPort));
    EXPECT_EQ(messages, std::vector<std::string>{"Error|OpenPort Failed"});
    state.portName = "LOOP";
    Trigger(kCmdOpenPort);
    EXPECT_TRUE(Checked(kCmdOpenPort) && window->Action(kCmdSendBreak)->isEnabled());
    EXPECT_EQ(window->windowTitle(), "VL: LOOP");
    EXPECT_TRUE(Box(ModemBox::Dtr)->isChecked() && Box(ModemBox::Rts)->isChecked());
    Trigger(kCmdSendBreak);
    EXPECT_TRUE(WaitUntil([&] {
        window->Status()->Refresh();
        return window->Status()->PortLabel()->text() == "LOOP 115200 8N1 RTS/CTS" &&
               Errors().endsWith("break <span style=\"color:#c00000\">1</span>");
    })) << Errors().toStdString();

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
    Start();
    EXPECT_FALSE(window->Status()->isVisible() || Checked(kCmdStatusBar));
    EXPECT_TRUE(state.controlBar && Checked(kCmdControlBar));
}

// The find bar keeps its keys: Enter finds the next match, Shift+Enter the previous, a miss says
// so, Esc gives the view its focus back.
TEST_F(MainWindowTest, FindBarKeepsItsKeys) {
    Start();
    state.echo = 1;
    Feed(state, "one two\r\ntwo one");
    const std::string screen = ScreenText(state);
    Trigger(kCmdFind);
    QLineEdit* needle = window->Finder()->Needle();
    EXPECT_EQ(window->focusWidget(), needle);
    QTest::keyClicks(needle, "TWO");
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(state.selection.cells, (CellRange{{0, 4}, {0, 7}}));
    QTest::keyClick(needle, Qt::Key_Enter, Qt::ShiftModifier);
    EXPECT_EQ(state.selection.cells, (CellRange{{1, 0}, {1, 3}}));
    needle->setText("three");
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(window->Finder()->findChild<QLabel*>()->text(), "not found");
    EXPECT_EQ(ScreenText(state), screen);
    QTest::keyClick(needle, Qt::Key_Escape);
    EXPECT_FALSE(window->Finder()->isVisible());
    EXPECT_EQ(window->focusWidget(), window->View());
}

}  // namespace
}  // namespace vellor::testing
