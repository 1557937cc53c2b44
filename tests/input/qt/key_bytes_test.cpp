// Key presses in the view as bytes for the device.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/app_state.h"
#include "input/qt/key_bytes.h"
#include "screen/qt/terminal_view.h"

namespace vellor::testing {
namespace {

// Enter, Backspace, Tab and Esc give their control bytes; Ctrl with a letter or one of [ \ ] ^ _
// gives the control byte; Alt belongs to the menus; keys without a character send nothing; other
// keys give their text, one code per UTF-16 unit.
TEST(KeyBytes, KeysGiveTheirBytes) {
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier,
                                shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        std::vector<uint16_t> units;
    } cases[] = {
        {Qt::Key_A, shift, "A", {'A'}},
        {Qt::Key_Return, none, "\r", {0x0D}},
        {Qt::Key_Enter, none, "\r", {0x0D}},
        {Qt::Key_Backspace, none, "\b", {0x08}},
        {Qt::Key_Tab, none, "\t", {0x09}},
        {Qt::Key_Backtab, shift, "", {0x09}},
        {Qt::Key_Escape, none, "\x1b", {0x1B}},
        {Qt::Key_A, ctrl, "\x01", {0x01}},
        {Qt::Key_Z, ctrl, "\x1a", {0x1A}},
        {Qt::Key_C, ctrl, "", {0x03}},
        {Qt::Key_BracketLeft, ctrl, "", {0x1B}},
        {Qt::Key_Backslash, ctrl, "", {0x1C}},
        {Qt::Key_BracketRight, ctrl, "", {0x1D}},
        {Qt::Key_AsciiCircum, ctrl | shift, "", {0x1E}},
        {Qt::Key_Underscore, ctrl | shift, "", {0x1F}},
        {Qt::Key_1, ctrl, "1", {}},
        {Qt::Key_X, alt, "x", {}},
        {Qt::Key_F5, none, "", {}},
        {Qt::Key_Delete, none, "\x7f", {}},
        {Qt::Key_unknown, none, QString(QChar(0x20AC)), {0x20AC}},
        {Qt::Key_unknown, none, QString::fromUcs4(U"\U0001F600"), {0xD83D, 0xDE00}},
    };
    for (const auto& c : cases) {
        const KeyAction action = KeyActionFor(c.key, c.modifiers, c.text);
        EXPECT_EQ(action.units, c.units) << c.key;
        EXPECT_EQ(action.kind == KeyAction::Kind::None, c.units.empty()) << c.key;
    }
    const std::pair<int, ArrowKey> arrows[] = {{Qt::Key_Up, ArrowKey::Up},
                                               {Qt::Key_Down, ArrowKey::Down},
                                               {Qt::Key_Left, ArrowKey::Left},
                                               {Qt::Key_Right, ArrowKey::Right}};
    for (const auto& [key, arrow] : arrows) {
        const KeyAction action = KeyActionFor(key, none, "");
        EXPECT_EQ(action.kind, KeyAction::Kind::Arrow);
        EXPECT_EQ(action.arrow, arrow);
    }
}

class RecordingKeys : public KeyDestinations {
  public:
    bool PortOpen() override { return true; }
    void WritePort(uint8_t byte) override { port.push_back(byte); }
    void Echo(uint8_t) override {}
    bool CaptureOpen() override { return false; }
    void Capture(uint8_t) override {}
    void CaptureDone() override {}
    std::vector<uint8_t> port;
};

// The view hands its keys on, arrows included, and Tab stays in the view as a byte.
TEST(KeyBytes, TheViewSendsWhatItIsTyped) {
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
    QTest::keyClick(view, Qt::Key_A);
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(keys.port, (std::vector<uint8_t>{'a', 0x09, 0x1B, '[', 'A'}));
    EXPECT_NE(QApplication::focusWidget(), other);
}

}  // namespace
}  // namespace vellor::testing
