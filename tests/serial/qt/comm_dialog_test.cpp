#include "serial/qt/comm_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "settings/memory_backend.h"

namespace vellor {
namespace {

class CommDialogTest : public ::testing::Test {
  protected:
    CommDialogTest() { DefaultPortSettings(state); }
    AppState state;
    MemorySettingsBackend settings;
};

TEST_F(CommDialogTest, ShowsTheDefaultsTopToBottom) {
    CommDialog dialog(nullptr, state, settings);
    EXPECT_EQ(dialog.windowTitle(), "Communications");
    EXPECT_EQ(dialog.PortBox()->currentText(), "COM1");
    EXPECT_EQ(dialog.BaudRateBox()->currentText(), "115200");
    EXPECT_EQ(dialog.ParityBox()->currentText(), "None");
    EXPECT_EQ(dialog.FlowControlBox()->currentText(), "RTS/CTS");
    EXPECT_EQ(dialog.DataBitsBox()->currentText(), "8");
    EXPECT_EQ(dialog.StopBitsBox()->currentText(), "1");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QWidget* order[] = {dialog.PortBox(),        dialog.BaudRateBox(), dialog.ParityBox(),
                              dialog.FlowControlBox(), dialog.DataBitsBox(), dialog.StopBitsBox(),
                              dialog.OkButton()};
    for (int i = 1; i < 7; ++i)
        EXPECT_LT(order[i - 1]->y(), order[i]->y()) << i;
    EXPECT_EQ(dialog.OkButton()->y(), dialog.CancelButton()->y());
    EXPECT_LT(dialog.OkButton()->x(), dialog.CancelButton()->x());
}

TEST_F(CommDialogTest, PortListStartsWithCom0ToCom10AndEndsWithLoopback) {
    CommDialog dialog(nullptr, state, settings);
    QComboBox* port = dialog.PortBox();
    ASSERT_TRUE(port->isEditable());
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(port->itemText(i), QString("COM%1").arg(i));
    EXPECT_EQ(port->itemText(port->count() - 1), "LOOP");
}

TEST_F(CommDialogTest, TabOrderFollowsTheTemplate) {
    CommDialog dialog(nullptr, state, settings);
    const QWidget* expected[] = {
        dialog.OkButton(),    dialog.CancelButton(),   dialog.BaudRateBox(), dialog.DataBitsBox(),
        dialog.StopBitsBox(), dialog.FlowControlBox(), dialog.ParityBox(),   dialog.PortBox()};
    for (int i = 0; i + 1 < 8; ++i) {
        const QWidget* next = expected[i]->nextInFocusChain();
        // A focus proxy (the port box's edit field) may sit between.
        while (next != expected[i + 1] && next->focusProxy() == nullptr &&
               next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
}

TEST_F(CommDialogTest, OkAppliesAndSaves) {
    CommDialog dialog(nullptr, state, settings);
    dialog.PortBox()->setEditText("COM3 spare words");
    dialog.BaudRateBox()->setCurrentText("9600");
    dialog.ParityBox()->setCurrentText("Odd");
    dialog.FlowControlBox()->setCurrentText("XON/XOFF");
    dialog.DataBitsBox()->setCurrentText("7");
    dialog.StopBitsBox()->setCurrentText("2");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(state.portName, "COM3");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_EQ(state.portConfig.Parity(), 1);
    EXPECT_TRUE(state.portConfig.OutX());
    EXPECT_TRUE(state.portConfig.InX());
    EXPECT_EQ(state.portConfig.ByteSize(), 7);
    EXPECT_EQ(state.portConfig.StopBits(), 2);
    EXPECT_TRUE(settings.values.count("COM?"));
    EXPECT_TRUE(settings.values.count("DCB"));
}

TEST_F(CommDialogTest, CancelChangesNothing) {
    const PortConfig before = state.portConfig;
    CommDialog dialog(nullptr, state, settings);
    dialog.PortBox()->setEditText("COM7");
    dialog.BaudRateBox()->setCurrentText("300");
    dialog.FlowControlBox()->setCurrentText("None");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(state.portName, "COM1");
    EXPECT_EQ(state.portConfig, before);
    EXPECT_TRUE(settings.writes.empty());
}

TEST_F(CommDialogTest, XonXoffRoundTrip) {
    {
        CommDialog dialog(nullptr, state, settings);
        dialog.FlowControlBox()->setCurrentText("XON/XOFF");
        dialog.accept();
    }
    {
        CommDialog dialog(nullptr, state, settings);
        EXPECT_EQ(dialog.FlowControlBox()->currentText(), "XON/XOFF");
        dialog.FlowControlBox()->setCurrentText("None");
        dialog.accept();
    }
    EXPECT_FALSE(state.portConfig.OutX());
    EXPECT_FALSE(state.portConfig.InX());
    CommDialog dialog(nullptr, state, settings);
    EXPECT_EQ(dialog.FlowControlBox()->currentText(), "None");
}

TEST_F(CommDialogTest, TypedNameNotInTheListStaysAsTyped) {
    CommDialog dialog(nullptr, state, settings);
    dialog.PortBox()->lineEdit()->clear();
    QTest::keyClicks(dialog.PortBox()->lineEdit(), "BTH1");
    dialog.accept();
    EXPECT_EQ(state.portName, "BTH1");
}

// What the user types stays exactly as typed: no inline completion from the list, no
// case-folding to a listed entry on Enter.
TEST_F(CommDialogTest, TypedNameIsNeverCompletedBehindTheUsersBack) {
    for (const QString typed : {"LO", "com", "com1", "/dev/tty"}) {
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

TEST_F(CommDialogTest, NonAsciiNameSurvives) {
    CommDialog dialog(nullptr, state, settings);
    dialog.PortBox()->setEditText(QString::fromUtf8("/dev/s\xC3\xA9rie"));
    dialog.accept();
    EXPECT_EQ(state.portName, "/dev/s\xC3\xA9rie");
}

}  // namespace
}  // namespace vellor
