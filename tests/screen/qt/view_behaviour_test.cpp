#include <gtest/gtest.h>

#include <thread>

#include <QFocusEvent>
#include <QScrollBar>

#include "screen/qt/key_bytes.h"
#include "screen/qt/terminal_view.h"
#include "screen/qt/view_test_support.h"

namespace vellor::viewtest {
namespace {

// A view of exactly rows x cols whole cells (plus half a cell, which does not count).
void SizeToCells(ShownView& v, int rows, int cols) {
    QWidget& w = *v.view;
    const int cw = v.state.cellWidth;
    const int ch = v.state.cellHeight;
    w.resize(w.width() - v.view->viewport()->width() + cols * cw + cw / 2,
             w.height() - v.view->viewport()->height() + rows * ch + ch / 2);
    v.Settle();
}

void FocusIn(TerminalView& view) {
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(&view, &in);
}
void FocusOut(TerminalView& view) {
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(&view, &out);
}

// ---- Scroll bars ------------------------------------------------------------------------------

TEST(ViewScrollBars, VerticalPresentButDisabledWhileTheBufferFits) {
    ShownView v(5, 10, 300, 300);
    EXPECT_TRUE(v.view->verticalScrollBar()->isVisible());
    EXPECT_FALSE(v.view->verticalScrollBar()->isEnabled());
    EXPECT_FALSE(v.view->horizontalScrollBar()->isVisible());
    v.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(v.state.topRow, 0);
}

TEST(ViewScrollBars, BothShownWhenTheBufferIsLarger) {
    ShownView v(100, 200, 300, 300);
    SizeToCells(v, 10, 20);
    EXPECT_TRUE(v.view->verticalScrollBar()->isVisible());
    EXPECT_TRUE(v.view->verticalScrollBar()->isEnabled());
    EXPECT_TRUE(v.view->horizontalScrollBar()->isVisible());
    EXPECT_EQ(v.view->verticalScrollBar()->maximum(), 100 - v.state.visibleRows);
    EXPECT_EQ(v.view->horizontalScrollBar()->maximum(), 200 - v.state.visibleCols);
}

TEST(ViewScrollBars, ResetBarsBeforeTheScreenExists) {
    AppState state;
    TerminalView view(state);
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.ApplyScrollBars(ResetScrollBars());
    EXPECT_TRUE(view.verticalScrollBar()->isVisible());
    EXPECT_FALSE(view.verticalScrollBar()->isEnabled());
    EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
}

struct ScrollCase {
    QAbstractSlider::SliderAction action;
    int startTop;
    int expectedTop;
};

class VerticalActions : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(VerticalActions, MoveTopRowByTheCodesRule) {
    const ScrollCase c = GetParam();
    ShownView v(100, 20, 300, 300);
    SizeToCells(v, 10, 20);
    ASSERT_EQ(v.state.visibleRows, 10);
    {
        std::lock_guard lock(v.state.screenMutex);
        v.state.topRow = uint16_t(c.startTop);
    }
    v.view->ApplyScrollBars(UpdateScrollBars(v.state));
    v.view->verticalScrollBar()->triggerAction(c.action);
    EXPECT_EQ(v.state.topRow, c.expectedTop);
    EXPECT_EQ(v.view->verticalScrollBar()->value(), c.expectedTop);
}

INSTANTIATE_TEST_SUITE_P(Codes, VerticalActions,
                         ::testing::Values(ScrollCase{QAbstractSlider::SliderSingleStepAdd, 5, 6},
                                           ScrollCase{QAbstractSlider::SliderSingleStepSub, 5, 4},
                                           ScrollCase{QAbstractSlider::SliderSingleStepSub, 0, 0},
                                           ScrollCase{QAbstractSlider::SliderPageStepAdd, 5, 14},
                                           ScrollCase{QAbstractSlider::SliderPageStepSub, 20, 11},
                                           ScrollCase{QAbstractSlider::SliderPageStepSub, 3, 0},
                                           ScrollCase{QAbstractSlider::SliderToMaximum, 5, 90},
                                           ScrollCase{QAbstractSlider::SliderToMinimum, 50, 0},
                                           ScrollCase{QAbstractSlider::SliderPageStepAdd, 85, 90}));

TEST(ViewScrollBars, HorizontalPageMovesOneColumnLessThanTheView) {
    ShownView v(10, 200, 300, 300);
    SizeToCells(v, 10, 20);
    v.view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(v.state.leftCol, 19);
    v.view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(v.state.leftCol, 18);
}

TEST(ViewScrollBars, DraggedThumbScrollsOnlyOnRelease) {
    ShownView v(100, 20, 300, 300);
    SizeToCells(v, 10, 20);
    QScrollBar* bar = v.view->verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    EXPECT_EQ(v.state.topRow, 0);
    bar->setSliderDown(false);
    EXPECT_EQ(v.state.topRow, 40);
    EXPECT_EQ(bar->value(), 40);
}

// A value set without an action (the bar's context menu "Scroll here") moves the view by the
// same rule as a released thumb, so bar and view never disagree.
TEST(ViewScrollBars, ValueSetWithoutAnActionMovesTheView) {
    ShownView v(100, 200, 300, 300);
    SizeToCells(v, 10, 20);
    v.view->verticalScrollBar()->setValue(37);
    EXPECT_EQ(v.state.topRow, 37);
    EXPECT_EQ(v.view->verticalScrollBar()->value(), 37);
    v.view->horizontalScrollBar()->setValue(12);
    EXPECT_EQ(v.state.leftCol, 12);
    EXPECT_EQ(v.view->horizontalScrollBar()->value(), 12);
}

TEST(ViewScrollBars, ResizeRecomputesAndRefreshesTheBars) {
    ShownView v(30, 20, 300, 300);
    SizeToCells(v, 40, 20);
    EXPECT_FALSE(v.view->verticalScrollBar()->isEnabled());
    SizeToCells(v, 10, 20);
    EXPECT_EQ(v.state.visibleRows, 10);
    EXPECT_TRUE(v.view->verticalScrollBar()->isEnabled());
    EXPECT_EQ(v.view->verticalScrollBar()->maximum(), 20);
}

TEST(ViewScrollBars, WorkerFollowingTheCursorMovesTheBar) {
    ShownView v(100, 20, 300, 300);
    SizeToCells(v, 10, 20);
    std::thread worker([&] {
        for (int i = 0; i < 15; ++i)
            PutByte(v.state, '\n');
    });
    worker.join();
    v.Settle();
    EXPECT_EQ(v.state.topRow, 6);
    EXPECT_EQ(v.view->verticalScrollBar()->value(), 6);
}

// ---- Caret ------------------------------------------------------------------------------------

TEST(ViewCaret, ShownOnlyWithFocusAtTheCursorCell) {
    ShownView v(20, 40, 300, 300);
    SizeToCells(v, 10, 20);
    FocusOut(*v.view);
    EXPECT_FALSE(v.view->CaretVisible());
    PutByte(v.state, 'a');
    PutByte(v.state, 'b');
    FocusIn(*v.view);
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.state.caretShown, 1);
    const int cw = v.state.cellWidth;
    const int ch = v.state.cellHeight;
    EXPECT_EQ(v.view->CaretRect(), QRect(2 * cw, 0, cw, ch));
    FocusOut(*v.view);
    EXPECT_FALSE(v.view->CaretVisible());
    EXPECT_EQ(v.state.caretShown, 1);  // kept until the next focus gain
}

TEST(ViewCaret, FollowsTheCursorAndHidesWhenScrolledAway) {
    ShownView v(50, 40, 300, 300);
    SizeToCells(v, 10, 20);
    FocusIn(*v.view);
    PutByte(v.state, '\n');
    PutByte(v.state, 'x');
    v.Settle();
    v.view->viewport()->repaint();
    const int cw = v.state.cellWidth;
    const int ch = v.state.cellHeight;
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.view->CaretRect(), QRect(cw, ch, cw, ch));

    v.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    v.Settle();
    v.view->viewport()->repaint();
    EXPECT_FALSE(v.view->CaretVisible());
    EXPECT_EQ(v.state.caretShown, 0);

    v.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    v.Settle();
    v.view->viewport()->repaint();
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.view->CaretRect(), QRect(cw, ch, cw, ch));
}

TEST(ViewCaret, RebuiltAtTheNewCellSizeAfterAZoom) {
    ShownView v(20, 40, 600, 400);
    FocusIn(*v.view);
    PutByte(v.state, 'x');
    v.state.fontHeight = 27;
    v.view->RecomputeMetrics();
    v.view->RebuildCaret();
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.view->CaretRect(),
              QRect(v.state.cellWidth, 0, v.state.cellWidth, v.state.cellHeight));
    FocusOut(*v.view);
    v.view->RebuildCaret();
    EXPECT_FALSE(v.view->CaretVisible());
}

TEST(ViewCaret, IsDrawnAsAnInvertedCell) {
    ShownView v(5, 20, 300, 150);
    FocusIn(*v.view);
    v.view->viewport()->repaint();
    const QImage shown = v.Grab();
    // Either blink phase: the caret cell is solid black or plain white, never partly drawn.
    const QRect caret = v.view->CaretRect();
    const bool black = !CellHasColour(shown, caret, qRgb(255, 255, 255));
    EXPECT_TRUE(black || CellAllWhite(shown, caret));
}

// ---- Keys -------------------------------------------------------------------------------------

struct KeyCase {
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    std::vector<uint8_t> bytes;
};

class KeyBytes : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyBytes, ReachThePort) {
    const KeyCase k = GetParam();
    ShownView v(5, 20, 300, 150);
    RecordingKeys keys;
    v.view->SetKeyDestinations(&keys);
    v.view->setFocus();
    QTest::sendKeyEvent(QTest::KeyAction::Press, v.view.get(), Qt::Key(k.key), k.text, k.modifiers);
    EXPECT_EQ(keys.port, k.bytes);
}

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kAlt = Qt::AltModifier;

INSTANTIATE_TEST_SUITE_P(
    Table, KeyBytes,
    ::testing::Values(
        KeyCase{Qt::Key_A, kNone, "a", {'a'}}, KeyCase{Qt::Key_A, Qt::ShiftModifier, "A", {'A'}},
        KeyCase{Qt::Key_Return, kNone, "\r", {0x0D}}, KeyCase{Qt::Key_Enter, kNone, "\r", {0x0D}},
        KeyCase{Qt::Key_Backspace, kNone, "\b", {0x08}}, KeyCase{Qt::Key_Tab, kNone, "\t", {0x09}},
        KeyCase{Qt::Key_Escape, kNone, "\x1b", {0x1B}}, KeyCase{Qt::Key_A, kCtrl, "\x01", {0x01}},
        KeyCase{Qt::Key_Z, kCtrl, "\x1a", {0x1A}}, KeyCase{Qt::Key_C, kCtrl, "", {0x03}},
        KeyCase{Qt::Key_BracketLeft, kCtrl, "\x1b", {0x1B}},
        KeyCase{Qt::Key_Backslash, kCtrl, "\x1c", {0x1C}},
        KeyCase{Qt::Key_BracketRight, kCtrl, "\x1d", {0x1D}},
        KeyCase{Qt::Key_AsciiCircum, kCtrl | Qt::ShiftModifier, "\x1e", {0x1E}},
        KeyCase{Qt::Key_Underscore, kCtrl | Qt::ShiftModifier, "\x1f", {0x1F}},
        KeyCase{Qt::Key_X, kAlt, "x", {}}, KeyCase{Qt::Key_F, kAlt, "f", {}},
        KeyCase{Qt::Key_F5, kNone, "", {}}, KeyCase{Qt::Key_Delete, kNone, "\x7f", {}},
        KeyCase{Qt::Key_Eacute, kNone, QString(QChar(0xE9)), {0xE9}},
        KeyCase{Qt::Key_unknown, kNone, QString(QChar(0x0416)), {0x16}},
        KeyCase{Qt::Key_unknown, kNone, QString(QChar(0x20AC)), {0xAC}},
        KeyCase{Qt::Key_Up, kNone, "", {0x1B, '[', 'A'}},
        KeyCase{Qt::Key_Down, kNone, "", {0x1B, '[', 'B'}},
        KeyCase{Qt::Key_Right, kNone, "", {0x1B, '[', 'C'}},
        KeyCase{Qt::Key_Left, kNone, "", {0x1B, '[', 'D'}}));

TEST(ViewKeys, TabStaysInTheView) {
    QWidget window;
    AppState state;
    auto* view = new TerminalView(state, &window);
    auto* other = new QWidget(&window);
    other->setFocusPolicy(Qt::StrongFocus);
    view->setGeometry(0, 0, 200, 100);
    other->setGeometry(0, 100, 200, 20);
    RecordingKeys keys;
    view->SetKeyDestinations(&keys);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    view->setFocus();
    QApplication::processEvents();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(keys.port, std::vector<uint8_t>{0x09});
    if (QApplication::focusWidget() != nullptr) {
        EXPECT_EQ(QApplication::focusWidget(), view);
    }
}

TEST(ViewKeys, SurrogatePairsGiveOneCodePerUnit) {
    const QString text = QString::fromUcs4(U"\U0001F600");
    const KeyAction a = KeyActionFor(Qt::Key_unknown, Qt::NoModifier, text);
    ASSERT_EQ(a.kind, KeyAction::Kind::Chars);
    EXPECT_EQ(a.units, (std::vector<uint16_t>{0xD83D, 0xDE00}));
}

}  // namespace
}  // namespace vellor::viewtest
