#include <gtest/gtest.h>

#include <QTest>

#include "input/qt/key_bytes.h"
#include "screen/qt/terminal_view.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

// Keys give their control bytes or text (per UTF-16 unit), arrows (here U+F700+) are arrows.
TEST(KeyBytes, KeysGiveTheirBytes) {
    const std::tuple<const char*, QString, QString> cases[] = {
        {"Shift+A", "A", "A"},     {"Return", "\r", "\r"},       {"Enter", "\r", "\r"},
        {"Backspace", "\b", "\b"}, {"Tab", "\t", "\t"},          {"Shift+Backtab", "", "\t"},
        {"Esc", "\x1b", "\x1b"},   {"Ctrl+A", "\x01", "\x01"},   {"Ctrl+Z", "\x1a", "\x1a"},
        {"Ctrl+C", "", "\x03"},    {"Ctrl+[", "", "\x1b"},       {"Ctrl+\\", "", "\x1c"},
        {"Ctrl+]", "", "\x1d"},    {"Ctrl+Shift+^", "", "\x1e"}, {"Ctrl+Shift+_", "", "\x1f"},
        {"Ctrl+1", "1", ""},       {"Alt+X", "x", ""},           {"F5", "", ""},
        {"Del", "\x7f", ""},       {"Up", "", "\uF701"},         {"Shift+Left", "", "\uF700"},
        {"Right", "", "\uF702"},   {"Down", "", "\uF703"},       {"X", "\U0001F600", "\U0001F600"},
    };
    for (const auto& [keys, text, bytes] : cases) {
        const QKeyCombination key = QKeySequence::fromString(keys, QKeySequence::PortableText)[0];
        const KeyAction action = KeyActionFor(key.key(), key.keyboardModifiers(), text);
        QString got;
        if (action.kind == KeyAction::Kind::Arrow) got = QChar(0xF700 + int(action.arrow));
        for (const uint16_t unit : action.units)
            got += QChar(unit);
        EXPECT_TRUE(got == bytes && (action.kind == KeyAction::Kind::None) == bytes.isEmpty())
            << keys;
    }
}

// The view hands its keys, Tab and arrows included, to the echo and the capture (flushed per key).
TEST(KeyBytes, TheViewSendsWhatItIsTyped) {
    TempFolder folder;
    auto state = MakeScreen(5, 20);
    state->echo = state->txCapture = 1;
    ASSERT_TRUE(state->captureFile.Open(folder.Path("typed.log")));
    TerminalView view(*state, nullptr);
    AppKeyDestinations keys(*state);
    view.SetKeyDestinations(&keys);
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Tab, Qt::Key_Down})
        QTest::keyClick(&view, key);
    EXPECT_EQ(ReadFile(folder.Path("typed.log")), "a\t\x1b[B");
    EXPECT_EQ(ScreenText(*state), "a||||");  // the arrow obeyed, not shown
}

}  // namespace
}  // namespace vellor::testing
