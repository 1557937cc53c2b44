#include <QAction>
#include <QCheckBox>
#include <QMenuBar>
#include <QTimer>
#include <mutex>

#include "app/command_ids.h"
#include "app/menu_table.h"
#include "app/qt/app_fixture.h"
#include "app/qt/client_area.h"
#include "screen/qt/terminal_view.h"
#include "screen/screen.h"
#include "serial/port_connection.h"
#include "serial/qt/comm_dialog.h"
#include "serial/qt/control_bar.h"
#include "settings/qt/options_dialog.h"

namespace vellor::testing {
namespace {

std::vector<QString> g_debugLines;

void RecordDebug(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg) g_debugLines.push_back(text);
}

class CommandsQtTest : public AppFixture {
  protected:
    void SetUp() override { Start(); }

    void Trigger(int id) {
        QAction* action = window_->Action(id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
        QApplication::processEvents();
    }

    // Triggers an item that opens a modal dialog and cancels it; returns the dialog's class.
    QString TriggerAndCancelDialog(int id) {
        QString seen;
        QTimer::singleShot(0, [&seen] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->metaObject()->className();
                if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
            }
        });
        Trigger(id);
        return seen;
    }
};

TEST_F(CommandsQtTest, MenuBarShowsTheMenusAndItemsExactly) {
    const QList<QAction*> menus = window_->menuBar()->actions();
    const auto expected = MainMenus();
    ASSERT_EQ(menus.size(), qsizetype(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        EXPECT_EQ(StripMnemonic(menus[m]->text().toStdString()), StripMnemonic(expected[m].title));
        const QList<QAction*> items = menus[m]->menu()->actions();
        ASSERT_EQ(items.size(), qsizetype(expected[m].entries.size()));
        for (std::size_t i = 0; i < expected[m].entries.size(); ++i) {
            const MenuEntry& e = expected[m].entries[i];
            EXPECT_EQ(items[i]->isSeparator(), e.IsSeparator());
            if (e.IsSeparator()) continue;
            EXPECT_EQ(items[i], window_->Action(e.id));
            EXPECT_EQ(StripMnemonic(items[i]->text().toStdString()), StripMnemonic(e.label));
            // Keys belong to the device: no shortcut other than the Alt mnemonic.
            EXPECT_TRUE(items[i]->shortcut().isEmpty());
        }
    }
    EXPECT_EQ(window_->Action(kCmdAbout)->text(), "&About  Vellor");
}

TEST_F(CommandsQtTest, AboutShowsTheProductAndVersion) {
    Trigger(kCmdAbout);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "About Vellor");
    EXPECT_NE(messages_[0].text.find("Vellor"), std::string::npos);
    EXPECT_NE(messages_[0].text.find("v1.1"), std::string::npos);
    EXPECT_FALSE(messages_[0].ownedByView);
}

TEST_F(CommandsQtTest, ExitDestroysTheWindowAndEndsTheLoop) {
    Trigger(kCmdExit);
    EXPECT_TRUE(window_->Destroyed());
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(quits_, 1);
    EXPECT_EQ(state_.screenBuffer, nullptr);
    EXPECT_EQ(state_.sending.load(), 0);
    window_->close();  // a second way out changes nothing
    EXPECT_EQ(quits_, 1);
}

TEST_F(CommandsQtTest, ClosingTheWindowEndsTheProgramAsExitDoes) {
    window_->close();
    EXPECT_TRUE(window_->Destroyed());
    EXPECT_EQ(quits_, 1);
}

TEST_F(CommandsQtTest, ExitWithTheLoopbackPortOpenClosesIt) {
    state_.portName = "LOOP";
    Trigger(kCmdOpenPort);
    ASSERT_EQ(state_.portOpen, 1);
    Trigger(kCmdExit);
    EXPECT_FALSE(PortIsOpen(state_));
    EXPECT_EQ(state_.portOpen, 0);
}

TEST_F(CommandsQtTest, ClearAllHomesTheViewAndTheBars) {
    const std::string text = "line\r\n";
    for (int i = 0; i < 200; ++i)
        PutBytes(state_, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    Trigger(kCmdClearAll);
    std::lock_guard lock(state_.screenMutex);
    EXPECT_EQ(state_.topRow, 0);
    EXPECT_EQ(state_.leftCol, 0);
    EXPECT_EQ(state_.cursorRow, 0);
    EXPECT_EQ(state_.screenBuffer->At(0, 0), ScreenBuffer::kBlank);
}

TEST_F(CommandsQtTest, ControlBarLaysOutMeasuresAndSaves) {
    const int rowsBefore = state_.visibleRows;
    Trigger(kCmdControlBar);
    EXPECT_EQ(state_.controlBar, 1);
    EXPECT_TRUE(window_->Action(kCmdControlBar)->isChecked());
    const QWidget* client = window_->Client();
    const int w = client->width();
    const int h = client->height();
    EXPECT_EQ(window_->View()->geometry(), QRect(0, 0, w, h - 17));
    const MainLayout layout = LayoutMainWindow(w, h, true);
    for (int i = 0; i < kBoxCount; ++i) {
        const ChildRect& r = layout.boxes[i];
        EXPECT_EQ(window_->Bar()->Box(BoxIndex(i))->geometry(), QRect(r.x, r.y, r.width, r.height));
    }
    // 17 pixels fewer: the visible rows were measured again.
    EXPECT_EQ(state_.visibleRows, (window_->View()->viewport()->height()) / state_.cellHeight);
    EXPECT_LE(state_.visibleRows, rowsBefore);
    EXPECT_NE(ReadSettings().find("\"Control\"=dword:00000001"), std::string::npos);

    Trigger(kCmdControlBar);
    EXPECT_EQ(state_.controlBar, 0);
    EXPECT_FALSE(window_->Action(kCmdControlBar)->isChecked());
    EXPECT_EQ(window_->View()->geometry(), client->rect());
    EXPECT_NE(ReadSettings().find("\"Control\"=dword:00000000"), std::string::npos);
}

TEST_F(CommandsQtTest, HexInputTogglesItsMarkAndSaves) {
    state_.keyByte = 0x50;
    Trigger(kCmdHexInput);
    EXPECT_EQ(state_.hexInput, 1);
    EXPECT_EQ(state_.keyByte, 0);
    EXPECT_TRUE(window_->Action(kCmdHexInput)->isChecked());
    EXPECT_NE(ReadSettings().find("\"HexInput\"=dword:00000001"), std::string::npos);
    Trigger(kCmdHexInput);
    EXPECT_EQ(state_.hexInput, 0);
    EXPECT_FALSE(window_->Action(kCmdHexInput)->isChecked());
    EXPECT_NE(ReadSettings().find("\"HexInput\"=dword:00000000"), std::string::npos);
}

TEST_F(CommandsQtTest, ZoomStepsMarksTraceAndCellSize) {
    g_debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(RecordDebug);
    std::vector<int> sizes;
    std::vector<int> cellHeights;
    for (int i = 0; i < 7; ++i) {
        Trigger(kCmdZoomIn);
        sizes.push_back(state_.fontHeight);
        cellHeights.push_back(state_.cellHeight);
        EXPECT_EQ(window_->Action(kCmdZoomIn)->isChecked(), state_.fontHeight == 27);
        EXPECT_FALSE(window_->Action(kCmdZoomOut)->isChecked());
    }
    for (int i = 0; i < 8; ++i) {
        Trigger(kCmdZoomOut);
        sizes.push_back(state_.fontHeight);
        EXPECT_EQ(window_->Action(kCmdZoomOut)->isChecked(), state_.fontHeight == 13);
        EXPECT_FALSE(window_->Action(kCmdZoomIn)->isChecked());
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(sizes,
              (std::vector<int>{16, 18, 21, 22, 24, 27, 27, 24, 22, 21, 18, 16, 14, 13, 13}));
    ASSERT_EQ(g_debugLines.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(g_debugLines[i], QString("%1 : size").arg(sizes[i]));
    // Bigger fonts give taller cells.
    EXPECT_LT(cellHeights.front(), cellHeights.back());
}

TEST_F(CommandsQtTest, AClickNeverFlipsAMarkByItself) {
    state_.portName = "COM0";  // names no device
    Trigger(kCmdOpenPort);
    EXPECT_FALSE(window_->Action(kCmdOpenPort)->isChecked());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "OpenPort Failed");
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_EQ(window_->windowTitle(), "Vellor");
    // Capture and Send are not wired yet: their marks stay as they are.
    Trigger(kCmdCapture);
    Trigger(kCmdSend);
    EXPECT_FALSE(window_->Action(kCmdCapture)->isChecked());
    EXPECT_FALSE(window_->Action(kCmdSend)->isChecked());
    Trigger(kCmdZoomIn);
    EXPECT_FALSE(window_->Action(kCmdZoomIn)->isChecked());
}

TEST_F(CommandsQtTest, OpenPortOnTheLoopbackSetsTitleMarkAndBoxes) {
    state_.portName = "LOOP";
    Trigger(kCmdOpenPort);
    ASSERT_EQ(state_.portOpen, 1);
    EXPECT_EQ(window_->windowTitle(), "VL: LOOP");
    EXPECT_TRUE(window_->Action(kCmdOpenPort)->isChecked());
    EXPECT_TRUE(window_->Bar()->Box(kDtrBox)->isChecked());
    EXPECT_TRUE(window_->Bar()->Box(kRtsBox)->isChecked());

    // A tap on DTR drops the line and gives the focus back to the view.
    window_->Bar()->Box(kDtrBox)->click();
    QApplication::processEvents();
    EXPECT_FALSE(window_->Bar()->Box(kDtrBox)->isChecked());
    EXPECT_EQ(window_->focusWidget(), window_->View());

    Trigger(kCmdOpenPort);
    EXPECT_EQ(state_.portOpen, 0);
    EXPECT_EQ(window_->windowTitle(), "Vellor");
    EXPECT_FALSE(window_->Action(kCmdOpenPort)->isChecked());
    EXPECT_FALSE(window_->Bar()->Box(kDtrBox)->isChecked());
    EXPECT_FALSE(window_->Bar()->Box(kRtsBox)->isChecked());
}

TEST_F(CommandsQtTest, BoxesWithoutAPortOnlyFlipAndReturnTheFocus) {
    Trigger(kCmdControlBar);
    QCheckBox* rts = window_->Bar()->Box(kRtsBox);
    rts->setFocus();
    rts->click();
    QApplication::processEvents();
    EXPECT_TRUE(rts->isChecked());
    EXPECT_EQ(window_->focusWidget(), window_->View());
    for (int id = kCmdDsr; id <= kCmdRi; ++id) {
        rts->setFocus();
        window_->Command(id);
        EXPECT_EQ(window_->focusWidget(), window_->View()) << id;
    }
}

TEST_F(CommandsQtTest, DialogItemsOpenTheirDialogs) {
    const QString comm = TriggerAndCancelDialog(kCmdProperties);
    const QString options = TriggerAndCancelDialog(kCmdOptions);
    if (comm.isEmpty() && options.isEmpty()) GTEST_SKIP() << "the dialogs do not open yet";
    EXPECT_EQ(comm, "vellor::CommDialog");
    EXPECT_EQ(options, "vellor::OptionsDialog");
    EXPECT_FALSE(window_->Destroyed());
}

TEST_F(CommandsQtTest, IdentifiersNothingUsesDoNothing) {
    for (int id : {0, 1048, 1049, 40000, 40007, 40012, 40034, 40047, 40057, 40058, 65535}) {
        window_->Command(id);
    }
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(window_->Destroyed());
    EXPECT_EQ(state_.fontHeight, 14);
    EXPECT_EQ(state_.controlBar, 0);
}

}  // namespace
}  // namespace vellor::testing
