// The started program in one window: start-up with and without settings, the menus, the
// commands as the user reaches them, the layout and the window's own painting.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/main_layout.h"
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

std::vector<QString> g_debug;

class MainWindowTest : public ::testing::Test {
  protected:
    std::filesystem::path SettingsPath() const { return folder.path() / "settings.reg"; }
    void WriteSettings(const std::string& values) {
        WriteFile(SettingsPath(),
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n" +
                      values);
    }
    void Start() {
        settings = std::make_unique<RegFileBackend>(SettingsPath());
        MainWindow::Hooks hooks;
        hooks.showMessage = [this](QWidget* owner, const std::string& text,
                                   const std::string& caption, const std::string&) {
            messages.push_back(caption + "|" + text +
                               (owner->objectName() == "VellorView" ? "|view" : ""));
        };
        hooks.chooseFile = [](QWidget*, const FileRequest&) {
            return std::optional<std::string>();
        };
        hooks.quit = [this] { ++quits; };
        window = StartMainWindow(state, *settings, hooks);
        QApplication::processEvents();
    }
    void Trigger(int id) {
        window->Action(id)->trigger();
        QApplication::processEvents();
    }
    QCheckBox* Box(ModemBox box) const { return window->Bar()->Box(box); }
    bool Checked(int id) const { return window->Action(id)->isChecked(); }
    int ProvisionalRows() const {
        return (window->Client()->height() - kProvisionalViewShortfall) / state.cellHeight;
    }

    TempFolder folder;
    AppState state;
    std::unique_ptr<RegFileBackend> settings;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> messages;
    int quits = 0;
};

// With no settings the buffer takes the view's provisional size (the client area less 52 pixels
// of height, less the vertical bar's width), the defaults apply, the view fills the client area
// with the focus, and loading creates no file.
TEST_F(MainWindowTest, StartsWithTheDefaultsAndCreatesNothing) {
    Start();
    ASSERT_FALSE(window->Destroyed());
    EXPECT_EQ(window->windowTitle(), "Vellor");
    EXPECT_EQ(state.ready, 1);
    const int barWidth = window->View()->verticalScrollBar()->sizeHint().width();
    EXPECT_EQ(state.numRows, ProvisionalRows());
    EXPECT_EQ(state.numCols, (window->Client()->width() - barWidth) / state.cellWidth);
    EXPECT_EQ(state.displayMode, DisplayMode::Text);
    EXPECT_EQ(state.rxCapture.load(), 1);
    EXPECT_EQ(state.portName, "COM1");
    EXPECT_EQ(window->View()->geometry(), window->Client()->rect());
    EXPECT_EQ(window->focusWidget(), window->View());
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
    EXPECT_TRUE(messages.empty());
    for (ModemBox box : kModemBoxes)
        EXPECT_FALSE(Box(box)->isChecked());
    EXPECT_EQ(window->Tray(), nullptr);  // no tray on this desktop: skipped quietly
}

// Stored groups are loaded whole; a group with a value missing gets its defaults as a whole; a
// size that cannot be allocated falls back to the view's size with one message.
TEST_F(MainWindowTest, LoadsWholeGroupsOrTheirDefaults) {
    WriteSettings(
        "\"NumRows\"=dword:00000064\r\n\"NumCols\"=dword:00000078\r\n\"Mode\"=dword:00000002\r\n"
        "\"RX_Bit7\"=dword:00000001\r\n\"RX_CRLF\"=dword:00000001\r\n\"Echo\"=dword:00000001\r\n"
        "\"TX_CRLF\"=dword:00000001\r\n\"TX_Capture\"=dword:00000001\r\n"
        "\"RX_Capture\"=dword:00000000\r\n\"Control\"=dword:00000001\r\n"
        "\"HexInput\"=dword:00000002\r\n\"COM?\"=\"/dev/ttyUSB0\"\r\n");
    Start();
    EXPECT_EQ(state.numRows, 100);
    EXPECT_EQ(state.displayMode, DisplayMode::HexChar);
    EXPECT_EQ(state.rxCapture.load(), 0);
    EXPECT_EQ(state.hexInput, HexEntry::AwaitLow);
    EXPECT_TRUE(Checked(kCmdControlBar) && Checked(kCmdHexInput));
    EXPECT_EQ(state.portName, "COM1");  // the port group lacks its record
    const QWidget* client = window->Client();
    EXPECT_EQ(window->View()->geometry(), QRect(0, 0, client->width(), client->height() - 17));
    window.reset();

    WriteSettings(
        "\"NumRows\"=dword:00000000\r\n\"NumCols\"=dword:00000050\r\n"
        "\"Mode\"=dword:00000001\r\n\"RX_Bit7\"=dword:00000000\r\n"
        "\"RX_CRLF\"=dword:00000000\r\n\"Echo\"=dword:00000000\r\n"
        "\"TX_CRLF\"=dword:00000000\r\n\"TX_Capture\"=dword:00000000\r\n"
        "\"RX_Capture\"=dword:00000001\r\n\"Control\"=dword:00000001\r\n");
    Start();
    EXPECT_EQ(messages, std::vector<std::string>{"Error|AllocMem Failed"});
    EXPECT_GT(state.numRows, 0);
    EXPECT_EQ(state.displayMode, DisplayMode::Hex);
    EXPECT_EQ(state.controlBar, 0);  // the bar group lacks HexInput
    EXPECT_FALSE(Checked(kCmdControlBar));
}

// The menu bar holds exactly the five menus and their items; a keyboard reaches them by Alt
// mnemonics only, every other key belongs to the device.
TEST_F(MainWindowTest, MenusShowTheirItemsExactly) {
    Start();
    const std::vector<std::pair<QString, QStringList>> menus = {
        {"File", {"Send from File", "Capture to File", "-", "Exit", "-", "Send Settings..."}},
        {"Edit",
         {"Clear All", "-", "Hex Input", "-", "Options ...", "-", "Copy", "Paste", "Select All",
          "Find..."}},
        {"View", {"Zoom In", "Zoom Out", "-", "Control Bar", "-", "Status Bar"}},
        {"Comm", {"Open Port", "-", "Properties", "-", "Reconnect Automatically", "Send Break"}},
        {"Help", {"About  Vellor"}}};
    const QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), qsizetype(menus.size()));
    for (std::size_t m = 0; m < menus.size(); ++m) {
        EXPECT_EQ(bar[m]->text().remove('&'), menus[m].first);
        QStringList items;
        for (QAction* item : bar[m]->menu()->actions()) {
            items << (item->isSeparator() ? "-" : item->text().remove('&'));
            // Added items may have shortcuts, always with Ctrl+Shift: Ctrl+letter is the device's.
            const QKeyCombination key = item->shortcut()[0];
            EXPECT_TRUE(item->shortcut().isEmpty() ||
                        key.keyboardModifiers() == (Qt::ControlModifier | Qt::ShiftModifier))
                << item->text().toStdString();
        }
        EXPECT_EQ(items, menus[m].second);
    }
    for (int id = kCmdFirst; id <= kCmdLast; ++id) {
        const QAction* item = window->Action(id);
        EXPECT_TRUE(item == nullptr || item->shortcut().isEmpty()) << id;
    }
    EXPECT_TRUE(window->Action(kCmdReconnect)->isChecked());  // on unless the user said otherwise
}

// About, the marks only the commands set, and Exit (or closing the window) ending the program
// once with the port closed and the buffer gone.
TEST_F(MainWindowTest, CommandsAsTheUserReachesThem) {
    Start();
    Trigger(kCmdAbout);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "About Vellor|Vellor v1.1\nSerial terminal");

    state.portName = "COM0";  // names no device: the click must not check the item by itself
    Trigger(kCmdOpenPort);
    EXPECT_FALSE(Checked(kCmdOpenPort));
    EXPECT_EQ(messages.back(), "Error|OpenPort Failed");
    state.portName = "LOOP";
    Trigger(kCmdOpenPort);
    EXPECT_TRUE(Checked(kCmdOpenPort));
    EXPECT_EQ(window->windowTitle(), "VL: LOOP");
    EXPECT_TRUE(Box(ModemBox::Dtr)->isChecked() && Box(ModemBox::Rts)->isChecked());
    Trigger(kCmdControlBar);
    Box(ModemBox::Dtr)->click();  // drops the line and gives the focus back to the view
    QApplication::processEvents();
    EXPECT_FALSE(Box(ModemBox::Dtr)->isChecked());
    EXPECT_EQ(window->focusWidget(), window->View());
    for (int id : {kCmdDsr, kCmdRi}) {
        Box(ModemBox::Rts)->setFocus();
        window->Command(id);
        EXPECT_EQ(window->focusWidget(), window->View()) << id;
    }

    QStringList dialogs;
    for (int id : {kCmdProperties, kCmdOptions}) {
        QTimer::singleShot(0, [&dialogs] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (modal == nullptr) return;
            dialogs << modal->metaObject()->className();
            modal->reject();
        });
        Trigger(id);
    }
    EXPECT_EQ(dialogs, (QStringList{"vellor::CommDialog", "vellor::OptionsDialog"}));

    Trigger(kCmdExit);
    EXPECT_TRUE(window->Destroyed());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(PortIsOpen(state));
    EXPECT_EQ(state.screenBuffer, nullptr);
    window->close();
    EXPECT_EQ(quits, 1);
}

// The control bar takes 17 pixels from the view, its boxes placed by the layout at every width,
// the view measured again and the choice saved; the window's own painting shows around them.
TEST_F(MainWindowTest, ControlBarLayoutAtEveryWidth) {
    Start();
    Trigger(kCmdControlBar);
    EXPECT_NE(ReadFile(SettingsPath()).find("\"Control\"=dword:00000001"), std::string::npos);
    window->setMinimumSize(0, 0);
    for (int width : {240, 255, 256, 480}) {
        window->resize(width, 400);
        QApplication::processEvents();
        const QWidget* client = window->Client();
        ASSERT_EQ(client->width(), width);
        EXPECT_EQ(window->View()->geometry(), QRect(0, 0, width, client->height() - 17));
        EXPECT_EQ(state.visibleRows, window->View()->viewport()->height() / state.cellHeight);
        const MainLayout layout = LayoutMainWindow(width, client->height(), true);
        for (ModemBox box : kModemBoxes) {
            const ChildRect& r = layout.boxes[IndexOf(box)];
            EXPECT_EQ(Box(box)->geometry(), QRect(r.x, r.y, r.width, r.height)) << width;
        }
    }
    const QImage strip = window->Client()->grab().toImage();
    for (int x = 0; x < strip.width(); x += 7) {
        EXPECT_EQ(strip.pixel(x, strip.height() - 17), qRgb(255, 255, 255)) << x;
        EXPECT_EQ(strip.pixel(x, strip.height() - 1), qRgb(255, 255, 255)) << x;
    }
    ClientArea area;
    area.resize(300, 100);
    QImage band(area.size(), QImage::Format_RGB32);
    area.render(&band);
    for (int y : {0, 15, 16, 17, 99})
        EXPECT_EQ(band.pixel(150, y), y < 16    ? qRgb(192, 192, 192)
                                      : y == 16 ? qRgb(0, 0, 0)
                                                : qRgb(255, 255, 255));
}

// Every zoom step writes its trace, marks only the limits it reached, and gives a new cell.
TEST_F(MainWindowTest, ZoomTracesEveryStep) {
    Start();
    g_debug.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtDebugMsg) g_debug.push_back(text);
        });
    std::vector<int> sizes;
    for (int i = 0; i < 7; ++i) {
        Trigger(kCmdZoomIn);
        sizes.push_back(state.fontHeight);
        EXPECT_EQ(Checked(kCmdZoomIn), state.fontHeight == 27);
    }
    for (int i = 0; i < 8; ++i) {
        Trigger(kCmdZoomOut);
        sizes.push_back(state.fontHeight);
        EXPECT_EQ(Checked(kCmdZoomOut), state.fontHeight == 13);
        EXPECT_FALSE(Checked(kCmdZoomIn));
    }
    qInstallMessageHandler(previous);
    ASSERT_EQ(g_debug.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(g_debug[i], QString("%1 : size").arg(sizes[i]));
    EXPECT_EQ(state.cellHeight, 13);
}

// The status bar: shown unless the user hid it (which is stored), the line as the device took
// it, a break sent on the loopback plug coming back as a red count; Send Break only while a
// port is open.
TEST_F(MainWindowTest, StatusBarAndSendBreak) {
    Start();
    StatusBar* status = window->Status();
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->PortLabel()->text(), "closed");
    EXPECT_FALSE(window->Action(kCmdSendBreak)->isEnabled());

    state.portName = "LOOP";
    Trigger(kCmdOpenPort);
    EXPECT_TRUE(window->Action(kCmdSendBreak)->isEnabled());
    status->Refresh();
    EXPECT_EQ(status->PortLabel()->text(), "LOOP 115200 8N1 RTS/CTS");
    EXPECT_TRUE(status->ErrorsLabel()->text().endsWith("break 0"));
    Trigger(kCmdSendBreak);
    EXPECT_TRUE(WaitUntil([&] {
        status->Refresh();
        return status->ErrorsLabel()->text().endsWith(
            "break <span style=\"color:#c00000\">1</span>");
    })) << status->ErrorsLabel()->text().toStdString();

    Trigger(kCmdStatusBar);
    EXPECT_FALSE(status->isVisible());
    window.reset();
    state.portName.clear();
    Start();
    EXPECT_FALSE(window->Status()->isVisible());
    EXPECT_FALSE(Checked(kCmdStatusBar));
}

// Find... opens the bar below the view with the focus in its text box; Enter selects the next
// match, Shift+Enter the previous, a miss says so and keeps the selection; keys typed there never
// reach the device or the screen; Esc closes the bar and gives the view its focus back.
TEST_F(MainWindowTest, FindBarSelectsMatchesAndKeepsItsKeys) {
    Start();
    state.echo = 1;
    Feed(state, "one two\r\ntwo one");
    const std::string screen = ScreenText(state);
    Trigger(kCmdFind);
    FindBar* bar = window->Finder();
    QLineEdit* needle = bar->Needle();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(window->focusWidget(), needle);

    QTest::keyClicks(needle, "TWO");
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(state.selection.cells, (CellRange{{0, 4}, {0, 7}}));
    QTest::keyClick(needle, Qt::Key_Enter, Qt::ShiftModifier);
    EXPECT_EQ(state.selection.cells, (CellRange{{1, 0}, {1, 3}}));
    needle->setText("three");
    QTest::keyClick(needle, Qt::Key_Return);
    EXPECT_EQ(bar->findChild<QLabel*>()->text(), "not found");
    EXPECT_EQ(state.selection.cells, (CellRange{{1, 0}, {1, 3}}));
    EXPECT_EQ(ScreenText(state), screen);

    QTest::keyClick(needle, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(window->focusWidget(), window->View());
}

}  // namespace
}  // namespace vellor::testing
