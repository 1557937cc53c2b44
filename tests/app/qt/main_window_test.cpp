// The started program in one window: start-up with and without settings, the menus, the
// commands as the user reaches them and the window's own painting.
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
#include "settings/reg_file_backend.h"
#include "support/deadline.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

QStringList g_debug;

class MainWindowTest : public ::testing::Test {
  protected:
    // Stores the display group's values, then the bar group's, as far as given, and `more`.
    void Start(const std::vector<int>& values = {}, const std::string& more = {}) {
        static const char* const kNames[] = {"NumRows",    "NumCols", "Mode",    "RX_Bit7",
                                             "RX_CRLF",    "Echo",    "TX_CRLF", "TX_Capture",
                                             "RX_Capture", "Control", "HexInput"};
        std::string text =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n" +
            more;
        for (std::size_t i = 0; i < values.size(); ++i)
            text += QString::asprintf("\"%s\"=dword:%08x\r\n", kNames[i], values[i]).toStdString();
        if (!values.empty()) WriteFile(path, text);
        window.reset();
        settings = std::make_unique<RegFileBackend>(path);
        MainWindow::Hooks hooks;
        hooks.showMessage = [this](QWidget*, const std::string& text, const std::string& caption,
                                   const std::string&) {
            messages.push_back(caption + "|" + text);
        };
        hooks.quit = [this] { ++quits; };
        window = StartMainWindow(state, *settings, hooks);
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

    TempFolder folder;
    std::filesystem::path path = folder.path() / "settings.reg";
    std::unique_ptr<RegFileBackend> settings;
    AppState state;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> messages;
    int quits = 0;
};

// With no settings the defaults apply and the buffer takes the view's provisional size (less 52
// pixels of height and the vertical bar); nothing is written. The menus hold the original items
// with Alt mnemonics and no shortcuts, the added ones behind separators, with Ctrl+Shift if any.
TEST_F(MainWindowTest, StartsWithTheDefaultsAndShowsTheMenus) {
    Start();
    const QWidget* client = window->Client();
    const int barWidth = window->View()->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(state.numRows, (client->height() - kProvisionalViewShortfall) / state.cellHeight);
    EXPECT_EQ(state.numCols, (client->width() - barWidth) / state.cellWidth);
    EXPECT_TRUE(state.ready && state.displayMode == DisplayMode::Text && state.rxCapture.load());
    EXPECT_EQ(window->windowTitle() + " " + QString::fromStdString(state.portName), "Vellor COM1");
    EXPECT_EQ(window->View()->geometry(), ViewLess(0));
    EXPECT_EQ(window->focusWidget(), window->View());
    EXPECT_TRUE(messages.empty() && !std::filesystem::exists(path));
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

// Stored groups are loaded whole; a group with a value missing gets its defaults as a whole; a
// size that cannot be allocated falls back to the view's size with one message.
TEST_F(MainWindowTest, LoadsWholeGroupsOrTheirDefaults) {
    Start({100, 120, 2, 1, 1, 1, 1, 1, 0, 1, 2}, "\"COM?\"=\"/dev/ttyUSB0\"\r\n");
    EXPECT_TRUE(state.displayMode == DisplayMode::HexChar && !state.rxCapture.load());
    EXPECT_EQ(state.numRows, 100);
    EXPECT_EQ(state.hexInput, HexEntry::AwaitLow);
    EXPECT_TRUE(Checked(kCmdControlBar) && Checked(kCmdHexInput));
    EXPECT_EQ(state.portName, "COM1");  // the port group lacks its record
    EXPECT_EQ(window->View()->geometry(), ViewLess(17));
    Start({0, 80, 1, 0, 0, 0, 0, 0, 1, 1});
    EXPECT_EQ(messages, std::vector<std::string>{"Error|AllocMem Failed"});
    EXPECT_TRUE(state.numRows > 0 && state.displayMode == DisplayMode::Hex);
    EXPECT_FALSE(state.controlBar || Checked(kCmdControlBar));  // the bar group lacks HexInput
}

// Only a command sets an item's mark. The loopback plug opens with DTR and RTS up, its line as
// the device took it and a break it sent counted in red; a box click gives the view its focus;
// the control bar's boxes follow the layout; zoom traces; the dialogs open; Exit (or closing)
// ends the program once with the port closed; the bars' choices hold at the next start.
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
    window->Status()->Refresh();
    EXPECT_EQ(window->Status()->PortLabel()->text(), "LOOP 115200 8N1 RTS/CTS");
    EXPECT_TRUE(Errors().endsWith("break 0")) << Errors().toStdString();
    Trigger(kCmdSendBreak);
    EXPECT_TRUE(WaitUntil([&] {
        window->Status()->Refresh();
        return Errors().endsWith("break <span style=\"color:#c00000\">1</span>");
    })) << Errors().toStdString();

    Trigger(kCmdStatusBar);
    EXPECT_FALSE(window->Status()->isVisible());
    Trigger(kCmdControlBar);
    Box(ModemBox::Dtr)->click();  // drops the line
    QApplication::processEvents();
    EXPECT_FALSE(Box(ModemBox::Dtr)->isChecked());
    EXPECT_EQ(window->focusWidget(), window->View());
    window->resize(480, 400);
    QApplication::processEvents();
    EXPECT_EQ(window->View()->geometry(), ViewLess(17));
    EXPECT_EQ(state.visibleRows, window->View()->viewport()->height() / state.cellHeight);
    for (ModemBox box : kModemBoxes) {
        const ChildRect r =
            LayoutMainWindow(480, window->Client()->height(), true).boxes[IndexOf(box)];
        EXPECT_EQ(Box(box)->geometry(), QRect(r.x, r.y, r.width, r.height));
    }
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { g_debug << text; });
    Trigger(kCmdZoomOut);
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_debug, QStringList{"13 : size"});
    EXPECT_EQ(state.cellHeight, 13);
    QStringList dialogs;
    for (int id : {+kCmdProperties, +kCmdOptions, +kCmdSendSettings}) {
        QTimer::singleShot(0, [&dialogs] {
            QWidget* modal = QApplication::activeModalWidget();
            dialogs << (modal ? modal->metaObject()->className() : "none");
            if (modal) modal->close();
        });
        Trigger(id);
    }
    EXPECT_EQ(dialogs.join(' '),
              "vellor::CommDialog vellor::OptionsDialog vellor::SendSettingsDialog");

    Trigger(kCmdExit);
    EXPECT_TRUE(window->Destroyed() && !window->isVisible());
    EXPECT_TRUE(!PortIsOpen(state) && state.screenBuffer == nullptr);
    window->close();
    EXPECT_EQ(quits, 1);
    Start();
    EXPECT_FALSE(window->Status()->isVisible() || Checked(kCmdStatusBar));
    EXPECT_TRUE(state.controlBar && Checked(kCmdControlBar));
}

// The client area: a grey band with a black line below, white elsewhere. Find... takes the
// focus; Enter selects the next match, Shift+Enter the previous, a miss says so; keys typed there
// never reach the device or the screen; Esc closes the bar and gives the view its focus back.
TEST_F(MainWindowTest, PaintingAndTheFindBar) {
    ClientArea area;
    area.resize(300, 100);
    const QImage band = area.grab().toImage();
    for (int y : {0, 15, 16, 17, 99})
        EXPECT_EQ(band.pixel(150, y), y < 16    ? qRgb(192, 192, 192)
                                      : y == 16 ? qRgb(0, 0, 0)
                                                : qRgb(255, 255, 255));
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
