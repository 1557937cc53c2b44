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

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

class CommDialogTest : public ::testing::Test {
  protected:
    CommDialogTest() { DefaultPortSettings(state); }
    AppState state;
    FakeSettings settings;
};

// Top to bottom: port, rate, parity, flow control, data bits, stop bits, then OK and Cancel;
// the tab order is the template's; the port list is COM0 to COM10 first, the loopback last.
TEST_F(CommDialogTest, ShowsTheSettingsInTheirPlaces) {
    CommDialog dialog(nullptr, state, settings);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Communications");
    const std::pair<QComboBox*, QString> shown[] = {
        {dialog.PortBox(), "COM1"},   {dialog.BaudRateBox(), "115200"},
        {dialog.ParityBox(), "None"}, {dialog.FlowControlBox(), "RTS/CTS"},
        {dialog.DataBitsBox(), "8"},  {dialog.StopBitsBox(), "1"}};
    for (std::size_t i = 0; i < std::size(shown); ++i) {
        EXPECT_EQ(shown[i].first->currentText(), shown[i].second);
        if (i > 0) {
            EXPECT_LT(shown[i - 1].first->y(), shown[i].first->y()) << i;
        }
    }
    EXPECT_LT(dialog.StopBitsBox()->y(), dialog.OkButton()->y());
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
    QComboBox* port = dialog.PortBox();
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(port->itemText(i), QString("COM%1").arg(i));
    EXPECT_EQ(port->itemText(port->count() - 1), "LOOP");
}

TEST_F(CommDialogTest, OkAppliesAndSavesCancelChangesNothing) {
    const PortConfig before = state.portConfig;
    {
        CommDialog dialog(nullptr, state, settings);
        dialog.PortBox()->setEditText("COM7");
        dialog.BaudRateBox()->setCurrentText("300");
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(state.portName, "COM1");
    EXPECT_EQ(state.portConfig, before);
    EXPECT_TRUE(settings.writes.empty());

    CommDialog dialog(nullptr, state, settings);
    dialog.PortBox()->setEditText(QString::fromUtf8("/dev/s\xC3\xA9rie"));
    dialog.BaudRateBox()->setCurrentText("9600");
    dialog.ParityBox()->setCurrentText("Odd");
    dialog.FlowControlBox()->setCurrentText("XON/XOFF");
    dialog.DataBitsBox()->setCurrentText("7");
    dialog.StopBitsBox()->setCurrentText("2");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(state.portName, "/dev/s\xC3\xA9rie");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_EQ(state.portConfig.Parity(), 1);
    EXPECT_TRUE(state.portConfig.OutX());
    EXPECT_EQ(state.portConfig.ByteSize(), 7);
    EXPECT_EQ(state.portConfig.StopBits(), 2);
    EXPECT_EQ(settings.writes.size(), 2u);
}

// What the user types stays exactly as typed: no inline completion from the list, no swap for a
// listed entry that differs only in case on Enter.
TEST_F(CommDialogTest, TypedNameIsNeverCompletedBehindTheUsersBack) {
    for (const QString typed : {"LO", "com", "com1", "/dev/tty", "BTH1"}) {
        CommDialog dialog(nullptr, state, settings);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit* edit = dialog.PortBox()->lineEdit();
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, typed);
        EXPECT_EQ(dialog.PortBox()->currentText().toStdString(), typed.toStdString());
        QTest::keyClick(edit, Qt::Key_Return);
        dialog.accept();
        EXPECT_EQ(state.portName, typed.toStdString());
    }
}

// After the fixed names, the system's devices by their stable names with what they are in the
// tooltip, then the loopback; devices plugged in or out while the dialog is open appear and go,
// and what the user typed stays.
TEST_F(CommDialogTest, PortListFollowsTheDevicesThatComeAndGo) {
    FakeSysfs system;
    system.AddUart("ttyS0", 4);
    const std::string adapter = system.AddUsbAdapter("ttyUSB0", "A1");
    CommDialog dialog(nullptr, state, settings, system.Roots());
    const auto names = [&] {
        QStringList shown;
        for (int i = 11; i < dialog.PortBox()->count(); ++i)
            shown << dialog.PortBox()->itemText(i);
        return shown;
    };
    EXPECT_EQ(dialog.PortBox()->itemText(10), "COM10");
    EXPECT_EQ(names(), (QStringList{Text(system.Dev("ttyS0")), Text(adapter), "LOOP"}));
    EXPECT_EQ(dialog.PortBox()->itemData(12, Qt::ToolTipRole).toString(),
              "FT232R USB UART, FTDI, serial A1, USB 0403:6001, ftdi_sio\n" +
                  Text(system.Dev("ttyUSB0")));

    dialog.PortBox()->setEditText("/dev/ttyACM");
    const std::string second = system.AddUsbAdapter("ttyUSB1", "B2");
    const QStringList plugged{Text(system.Dev("ttyS0")), Text(adapter), Text(second), "LOOP"};
    ASSERT_TRUE(WaitUntil([&] { return names() == plugged; },
                          [] { QApplication::processEvents(QEventLoop::AllEvents, 10); }))
        << names().join(' ').toStdString();
    EXPECT_EQ(dialog.PortBox()->currentText(), "/dev/ttyACM");

    dialog.PortBox()->setCurrentIndex(13);
    dialog.accept();
    EXPECT_EQ(state.portName, second);
}

// Only DTR and RTS can be flipped; a click flips the box first, then reports its command; the
// program setting a mark reports nothing; placing follows the layout, each box going on top.
TEST(ControlBarTest, BoxesClicksAndPlaces) {
    QWidget parent;
    parent.resize(480, 300);
    ControlBar bar(&parent);
    QSignalSpy commands(&bar, &ControlBar::Command);
    for (ModemBox box : kModemBoxes) {
        EXPECT_EQ(bar.Box(box)->text(), kModemBoxLabels[IndexOf(box)]);
        EXPECT_FALSE(bar.Box(box)->isChecked());
        EXPECT_EQ(bar.Box(box)->isEnabled(), box == ModemBox::Dtr || box == ModemBox::Rts);
    }
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
    bar.Place(LayoutMainWindow(320, 200, false));  // without the bar they stay where they are
    EXPECT_EQ(bar.Box(ModemBox::Dtr)->x(), layout.boxes[0].x);
}

}  // namespace
}  // namespace vellor::testing
