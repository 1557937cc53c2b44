// The Communications dialog and the control bar as the user meets them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/qt/comm_dialog.h"
#include "serial/qt/control_bar.h"
#include "support/deadline.h"
#include "support/fake_settings.h"
#include "support/fake_sysfs.h"

namespace vellor::testing {
namespace {

class CommDialogTest : public ::testing::Test {
  protected:
    CommDialogTest() { DefaultPortSettings(state); }
    AppState state;
    FakeSettings settings;
};

// Top to bottom: port, rate, parity, flow control, data bits, stop bits, then OK and Cancel
// side by side; the tab order is the template's; Cancel changes nothing, OK takes every box.
TEST_F(CommDialogTest, ShowsTheSettingsInTheirPlacesAndOkTakesThem) {
    const PortConfig before = state.portConfig;
    CommDialog dialog(nullptr, state, settings);
    const std::pair<QComboBox*, QString> shown[] = {
        {dialog.PortBox(), "COM1"},   {dialog.BaudRateBox(), "115200"},
        {dialog.ParityBox(), "None"}, {dialog.FlowControlBox(), "RTS/CTS"},
        {dialog.DataBitsBox(), "8"},  {dialog.StopBitsBox(), "1"}};
    for (std::size_t i = 0; i < std::size(shown); ++i) {
        EXPECT_EQ(shown[i].first->currentText(), shown[i].second);
        EXPECT_LT(shown[i].first->y(), (i + 1 < 6 ? shown[i + 1].first : dialog.OkButton())->y());
    }
    EXPECT_LT(dialog.OkButton()->x(), dialog.CancelButton()->x());
    const QWidget* order[] = {dialog.OkButton(),    dialog.CancelButton(), dialog.BaudRateBox(),
                              dialog.DataBitsBox(), dialog.StopBitsBox(),  dialog.FlowControlBox(),
                              dialog.ParityBox(),   dialog.PortBox()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        const QWidget* next = order[i]->nextInFocusChain();
        while (next != order[i + 1] && next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }
    for (const bool ok : {false, true}) {
        CommDialog asked(nullptr, state, settings);
        asked.PortBox()->setEditText(QString::fromUtf8("/dev/s\xC3\xA9rie"));
        for (const auto& [box, text] : {std::pair{asked.BaudRateBox(), "9600"},
                                        {asked.ParityBox(), "Odd"},
                                        {asked.FlowControlBox(), "XON/XOFF"},
                                        {asked.DataBitsBox(), "7"},
                                        {asked.StopBitsBox(), "2"}})
            box->setCurrentText(text);
        QTest::mouseClick(ok ? asked.OkButton() : asked.CancelButton(), Qt::LeftButton);
        EXPECT_EQ(state.portConfig == before && state.portName == "COM1", !ok);
        EXPECT_EQ(settings.writes.size(), ok ? 2u : 0u);
    }
    EXPECT_EQ(state.portName, "/dev/s\xC3\xA9rie");
    const PortConfig& c = state.portConfig;
    EXPECT_EQ(c.BaudRate() * 1000 + c.Parity() * 100 + c.ByteSize() * 10 + c.StopBits(), 9600172u);
    EXPECT_TRUE(c.OutX());
}

// What the user types stays exactly as typed: no inline completion from the list, no swap for a
// listed entry that differs only in case on Enter.
TEST_F(CommDialogTest, TypedNameIsNeverCompletedBehindTheUsersBack) {
    for (const QString typed : {"LO", "com", "com1", "/dev/tty"}) {
        CommDialog dialog(nullptr, state, settings);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit* edit = dialog.PortBox()->lineEdit();
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        dialog.accept();
        EXPECT_EQ(QString::fromStdString(state.portName), typed);
    }
}

// COM0 to COM10, the system's devices by their stable names with what they are in the tooltip,
// then the loopback; devices plugged in while the dialog is open appear, what was typed stays.
TEST_F(CommDialogTest, PortListFollowsTheDevicesThatComeAndGo) {
    FakeSysfs system;
    system.AddUart("ttyS0", 4);
    const QString adapter = QString::fromStdString(system.AddUsbAdapter("ttyUSB0", "A1"));
    const QString uart = QString::fromStdString(system.Dev("ttyS0"));
    CommDialog dialog(nullptr, state, settings, system.Roots());
    QComboBox* port = dialog.PortBox();
    const auto names = [&] {
        QStringList shown;
        for (int i = 0; i < port->count(); ++i)
            shown << port->itemText(i);
        return shown.mid(9).join(' ');
    };
    EXPECT_EQ(port->itemText(0), "COM0");
    EXPECT_EQ(names(), "COM9 COM10 " + uart + " " + adapter + " LOOP");
    EXPECT_TRUE(port->itemData(12, Qt::ToolTipRole).toString().startsWith("FT232R USB UART, FTDI"));
    port->setEditText("/dev/ttyACM");
    const QString second = QString::fromStdString(system.AddUsbAdapter("ttyUSB1", "B2"));
    ASSERT_TRUE(WaitUntil([&] { return names().contains(second); },
                          [] { QApplication::processEvents(QEventLoop::AllEvents, 10); }))
        << names().toStdString();
    EXPECT_EQ(port->currentText(), "/dev/ttyACM");
    EXPECT_EQ(port->itemText(13), second);
}

// Only DTR and RTS can be flipped; a click flips the box first, then reports its command; the
// program setting a mark reports nothing; placing follows the layout, each box going on top.
TEST(ControlBarTest, BoxesClicksAndPlaces) {
    QWidget parent;
    ControlBar bar(&parent);
    QSignalSpy commands(&bar, &ControlBar::Command);
    for (ModemBox box : kModemBoxes)
        EXPECT_EQ(bar.Box(box)->isEnabled(), box == ModemBox::Dtr || box == ModemBox::Rts);
    bar.Box(ModemBox::Rts)->click();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 40002);
    EXPECT_TRUE(bar.Box(ModemBox::Rts)->isChecked());
    bar.Box(ModemBox::Dtr)->setChecked(true);
    EXPECT_EQ(commands.count(), 1);
    const MainLayout layout = LayoutMainWindow(480, 300, true);
    bar.Place(layout);
    for (ModemBox box : kModemBoxes) {
        const ChildRect& r = layout.boxes[IndexOf(box)];
        EXPECT_EQ(bar.Box(box)->geometry(), QRect(r.x, r.y, r.width, r.height));
    }
    EXPECT_EQ(parent.children().last(), bar.Box(ModemBox::Ri));  // placed last, on top
}

}  // namespace
}  // namespace vellor::testing
