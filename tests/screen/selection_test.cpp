// What a selection covers and copies, how it follows the buffer, what it repaints; finding.
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/commands.h"
#include "screen/find.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

constexpr CellRange kAll{{0, 0}, {0xFFFF, 0xFFFF}};  // Select All, by the command

// Copy takes what the view shows, rows to their last non-blank; Select All also sets PRIMARY.
TEST(Copy, TakesWhatTheViewShows) {
    const auto T = DisplayMode::Text;
    const std::tuple<DisplayMode, uint16_t, std::string, CellRange, std::string> cases[] = {
        {T, 10, "\r\nab  \r\n\r\ncd", kAll, "\nab\n\ncd"},
        {T, 10, "a b  c", {{0, 0}, {0, 4}}, "a b "},
        {T, 10, "ab\r\n\r\n", {{0, 0}, {2, 3}}, "ab"},
        {T, 4, "abcdefg", kAll, "abcd\nefg"},
        {T, 10, "a\x7f\xad\xe9\x01z", kAll, "a\u25A1-\u00E9 z"},
        {DisplayMode::HexChar, 12, "A\x01\xff", kAll, "41A 01  FF\u00FF"}};
    for (const auto& [mode, cols, input, cells, text] : cases) {
        auto s = MakeScreen(4, cols, mode);
        Feed(*s, input);
        FakeHost host;
        FakeSettings settings;
        if (cells == kAll) DispatchCommand(*s, host, settings, kCmdSelectAll);
        if (cells != kAll) SelectCells(*s, cells);
        DispatchCommand(*s, host, settings, kCmdCopy);
        EXPECT_EQ(host.clipboard[ClipboardKind::Clipboard], text) << input;
        EXPECT_EQ(host.clipboard[ClipboardKind::Selection], cells == kAll ? text : "");
    }
}

// A press at pixels (cells of 8 x 16) and a drag, by nearest boundary, word or row.
TEST(Selection, PressesAndDragsSelectStreamsWordsAndRows) {
    const auto C = SelectionUnit::Cell, W = SelectionUnit::Word, R = SelectionUnit::Row;
    const std::tuple<SelectionUnit, int, int, int, int, std::string> cases[] = {
        {C, 5, 8, 27, 8, "oo"},
        {C, 8, 8, 8, 8, ""},
        {C, 16, 24, 0, -40, "foo bar.baz (x)  !\nli"},
        {W, 44, 8, 44, 8, "bar.baz"},
        {W, 12, 8, 44, 8, "foo bar.baz"},
        {R, 44, 24, 4, 8, "foo bar.baz (x)  !\nline 2"}};
    for (const auto& [unit, x0, y0, x1, y1, text] : cases) {
        auto s = MakeScreen(4, 20);
        Feed(*s, "foo bar.baz (x)  !\r\nline 2");
        BeginSelection(*s, x0, y0, unit);
        ExtendSelection(*s, x1, y1);
        EXPECT_EQ(std::pair(SelectedText(*s), HasSelection(*s)), std::pair(text, !text.empty()))
            << int(unit) << " " << x0 << " " << x1;
    }
}

// Only cells whose look changed repaint; it moves up with its text; clearing drops it.
TEST(Selection, RepaintsWhatChangesAndFollowsItsText) {
    auto s = MakeScreen(5, 10);
    const auto rows = [](int r0, int c0, int c1, int r1) {  // cells of 8 x 16 pixels
        return PixelRect{c0 * 8, r0 * 16, c1 * 8, r1 * 16 + 16};
    };
    BeginSelection(*s, 16, 0, SelectionUnit::Cell);
    EXPECT_TRUE(TakeDamage(*s).Empty());  // a click: nothing shown yet
    ExtendSelection(*s, 32, 0);
    EXPECT_TRUE(TakeDamage(*s).WholeView());
    ExtendSelection(*s, 56, 0);
    EXPECT_EQ(TakeDamage(*s).Rects(), std::vector{rows(0, 4, 7, 0)});
    ExtendSelection(*s, 24, 40);
    const std::vector below{rows(1, 0, 10, 1), rows(2, 0, 3, 2)};
    EXPECT_EQ(TakeDamage(*s).Rects(), (std::vector{rows(0, 7, 10, 0), below[0], below[1]}));
    BeginSelection(*s, 0, 0, SelectionUnit::Cell);
    EXPECT_EQ(TakeDamage(*s).Rects(), (std::vector{rows(0, 2, 10, 0), below[0], below[1]}));

    s = MakeScreen(3, 10, DisplayMode::Text, 2, 10);
    Feed(*s, "a\r\nb\r\nc");
    SelectCells(*s, {{1, 0}, {2, 1}});
    s->topRow = 0;  // the cursor out of view: the scroll alone would repaint nothing
    TakeDamage(*s);
    Feed(*s, "\r\nd");
    EXPECT_EQ(SelectedText(*s), "b\nc");
    EXPECT_TRUE(TakeDamage(*s).WholeView());
    Feed(*s, "\r\ne");
    EXPECT_EQ(s->selection, Selection{});
    FakeHost host;
    for (bool reallocate : {false, true}) {
        SelectAll(*s);
        reallocate ? void(AllocateScreen(*s, host)) : ClearScreen(*s);
        EXPECT_FALSE(HasSelection(*s));
    }
}

// From the selection or the cursor below, wrapping; a match is selected, shown and on PRIMARY.
TEST(Find, NextAndPreviousWrapAndIgnoreCaseUnlessAsked) {
    const auto N = FindDirection::Next, P = FindDirection::Previous;
    const CellRange none{}, first{{0, 0}, {0, 5}}, second{{1, 0}, {1, 5}}, third{{2, 0}, {2, 5}};
    const std::tuple<const char*, FindDirection, bool, CellRange, CellRange> cases[] = {
        {"hello", N, false, none, first},
        {"hello", N, false, first, second},
        {"hello", P, false, first, third},
        {"hello", N, true, second, second},
        {"O", N, true, {{0, 0}, {0, 1}}, {{2, 4}, {2, 5}}},
        {"\u00C9J\u00C0", N, false, none, {{3, 1}, {3, 4}}},
        {"!h", N, false, none, none}};
    for (const auto& [needle, direction, matchCase, from, match] : cases) {
        auto s = MakeScreen(6, 12, DisplayMode::Text, 3, 12);
        Feed(*s, "Hello world!hello again\r\nHELLO\r\nd\xe9j\xe0 vu\r\n");  // the first row wraps
        SelectCells(*s, from);
        FakeHost host;
        EXPECT_EQ(FindAndSelect(*s, host, {needle, direction, matchCase}), match != none) << needle;
        EXPECT_EQ(s->selection.cells, match == none ? from : match) << needle << int(direction);
        if (match == none) continue;
        EXPECT_TRUE(s->topRow <= match.start.row && match.start.row < s->topRow + 3);
        EXPECT_EQ(host.clipboard[ClipboardKind::Selection], SelectedText(*s));
    }
}

}  // namespace
}  // namespace vellor::testing
