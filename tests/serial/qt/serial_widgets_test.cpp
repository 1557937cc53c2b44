// The Communications dialog as the user meets it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/qt/comm_dialog.h"
#include "support/deadline.h"
#include "support/fake_settings.h"
#include "support/fake_sysfs.h"

namespace vellor::testing {
namespace {

// Boxes top to bottom; Cancel keeps all; OK takes all, the name as typed (no completion or swap).
TEST(CommDialogTest, ShowsTheSettingsInTheirPlacesAndOkTakesThemAsTyped) {
    AppState state;
    FakeSettings settings;
    DefaultPortSettings(state);
    const PortConfig before = state.portConfig;
    for (const QString typed : {"", "com1", "LO", "/dev/tty"}) {
        CommDialog dialog(nullptr, state, settings);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        const std::tuple<QComboBox*, QString, QString> boxes[] = {
            {dialog.PortBox(), "COM1", ""},      {dialog.BaudRateBox(), "115200", "9600"},
            {dialog.ParityBox(), "None", "Odd"}, {dialog.FlowControlBox(), "RTS/CTS", "XON/XOFF"},
            {dialog.DataBitsBox(), "8", "7"},    {dialog.StopBitsBox(), "1", "2"}};
        for (std::size_t i = 0; i < std::size(boxes); ++i) {
            const auto& [box, shown, chosen] = boxes[i];
            EXPECT_LT(i ? std::get<0>(boxes[i - 1])->y() : -1, box->y()) << i;
            EXPECT_EQ(typed.isEmpty() ? box->currentText() : shown, shown) << i;
            if (i > 0) box->setCurrentText(chosen);
        }
        QLineEdit* edit = dialog.PortBox()->lineEdit();
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, typed);
        if (!typed.isEmpty()) QTest::keyClick(edit, Qt::Key_Return);
        QTest::mouseClick(typed.isEmpty() ? dialog.CancelButton() : dialog.OkButton(),
                          Qt::LeftButton);
        EXPECT_EQ(state.portConfig == before, typed.isEmpty());
        EXPECT_EQ(QString::fromStdString(state.portName), typed.isEmpty() ? "COM1" : typed);
    }
    const PortConfig& c = state.portConfig;
    EXPECT_EQ(c.BaudRate() * 1000 + c.Parity() * 100 + c.ByteSize() * 10 + c.StopBits(), 9600172u);
    EXPECT_TRUE(c.OutX());
}

// COM0-COM10, devices by stable name, LOOP; a device plugged in meanwhile appears, typing stays.
TEST(CommDialogTest, PortListFollowsTheDevicesThatComeAndGo) {
    AppState state;
    FakeSettings settings;
    FakeSysfs system;
    const QString adapter = QString::fromStdString(system.AddUsbAdapter("ttyUSB0", "A1"));
    CommDialog dialog(nullptr, state, settings, system.Roots());
    QComboBox* port = dialog.PortBox();
    const auto items = [&](int from) {
        QStringList shown;
        for (int i = from; i < port->count(); ++i)
            shown << port->itemText(i);
        return shown;
    };
    EXPECT_EQ(items(10), QStringList({"COM10", adapter, "LOOP"}));
    EXPECT_EQ(port->itemText(0), "COM0");
    EXPECT_TRUE(port->itemData(11, Qt::ToolTipRole).toString().startsWith("FT232R USB UART"));
    port->setEditText("/dev/ttyACM");
    const QStringList plugged{
        adapter, QString::fromStdString(system.AddUsbAdapter("ttyUSB1", "B2")), "LOOP"};
    ASSERT_TRUE(WaitUntil([&] { return items(11) == plugged; },
                          [] { QApplication::processEvents(QEventLoop::AllEvents, 10); }))
        << items(11).join(' ').toStdString();
    EXPECT_EQ(port->currentText(), "/dev/ttyACM");
}

}  // namespace
}  // namespace vellor::testing
