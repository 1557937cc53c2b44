// What a selection covers and copies, how it follows the buffer, what it repaints, and finding.
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/commands.h"
#include "screen/find.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

constexpr CellRange kAll{{0, 0}, {0xFFFF, 0xFFFF}};  // select all, by the command

struct CopyCase {
    const char* name;
    DisplayMode mode;
    uint16_t cols;
    std::string input;
    CellRange cells;
    std::string text;
};

const CopyCase kCopyCases[] = {
    {"RowsEndAtTheirLastNonBlank", DisplayMode::Text, 10, "ab  \r\ncd", kAll, "ab\ncd"},
    {"InnerBlanksStay", DisplayMode::Text, 10, "a b  c", {{0, 0}, {0, 4}}, "a b "},
    {"LeadingAndInnerEmptyRowsStay", DisplayMode::Text, 10, "\r\nx\r\n\r\ny", kAll, "\nx\n\ny"},
    {"StartPastTheRowEndKeepsTheBreak", DisplayMode::Text, 10, "ab\r\ncd", {{0, 5}, {1, 1}}, "\nc"},
    {"TrailingEmptyRowsLeftOut", DisplayMode::Text, 10, "ab\r\n\r\n", {{0, 0}, {2, 3}}, "ab"},
    {"WrappedRowsAreRows", DisplayMode::Text, 4, "abcdefg", kAll, "abcd\nefg"},
    {"ControlsAsTheViewShowsThem", DisplayMode::Text, 10, "a\x7f\xad\xe9\x01z", kAll,
     "a\u25A1-\u00E9 z"},
    {"HexWrapped", DisplayMode::Hex, 4, "AB", kAll, "41 4\n2"},
    {"MarkedCellsGiveTheirCharacter", DisplayMode::HexChar, 12, "A\x01\xff", kAll,
     "41A 01  FF\u00FF"},
};

class CopyCases : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyCases, SelectedTextIsWhatTheViewShows) {
    const CopyCase& c = GetParam();
    auto s = MakeScreen(4, c.cols, c.mode);
    Feed(*s, c.input);
    FakeHost host;
    FakeSettings settings;
    if (c.cells == kAll) {
        DispatchCommand(*s, host, settings, kCmdSelectAll);
        EXPECT_EQ(host.clipboard[ClipboardKind::Selection], c.text);  // on PRIMARY at once
    } else {
        SelectCells(*s, c.cells);
    }
    DispatchCommand(*s, host, settings, kCmdCopy);
    EXPECT_EQ(host.clipboard[ClipboardKind::Clipboard], c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, CopyCases, ::testing::ValuesIn(kCopyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Presses and drags at pixels (cells are 8 x 16): boundaries round to the nearest, double clicks
// take words (a run of blanks, or one other mark alone), triple clicks rows, drags extend by the
// press's unit and run to the buffer's ends above and below it; a click alone selects nothing.
TEST(Selection, PressesAndDragsSelectStreamsWordsAndRows) {
    const struct {
        SelectionUnit unit;
        int x0, y0, x1, y1;
        std::string text;
    } cases[] = {
        {SelectionUnit::Cell, 3, 8, 27, 8, "foo"},
        {SelectionUnit::Cell, 16, 24, 8, 8, "oo bar.baz (x)  !\nli"},
        {SelectionUnit::Cell, 8, 8, 8, 8, ""},
        {SelectionUnit::Cell, 16, 24, 0, -40, "foo bar.baz (x)  !\nli"},
        {SelectionUnit::Cell, 16, 8, 0, 900, "o bar.baz (x)  !\nline 2"},
        {SelectionUnit::Word, 44, 8, 44, 8, "bar.baz"},
        {SelectionUnit::Word, 100, 8, 100, 8, "("},
        {SelectionUnit::Word, 124, 8, 124, 8, "  "},
        {SelectionUnit::Word, 12, 8, 44, 8, "foo bar.baz"},
        {SelectionUnit::Row, 44, 24, 44, 24, "line 2"},
        {SelectionUnit::Row, 44, 24, 4, 8, "foo bar.baz (x)  !\nline 2"},
    };
    for (const auto& c : cases) {
        auto s = MakeScreen(4, 20);
        Feed(*s, "foo bar.baz (x)  !\r\nline 2");
        BeginSelection(*s, c.x0, c.y0, c.unit);
        ExtendSelection(*s, c.x1, c.y1);
        EXPECT_EQ(SelectedText(*s), c.text) << int(c.unit) << " " << c.x0 << " " << c.x1;
        EXPECT_EQ(HasSelection(*s), !c.text.empty());
    }
}

// New lines scroll the selection up with its text until its first row leaves; clearing and
// reallocating drop it. While one is shown, a scroll repaints the whole view, even with the
// cursor out of view.
TEST(Selection, FollowsItsTextUntilItLeavesTheBuffer) {
    auto s = MakeScreen(3, 10, DisplayMode::Text, 2, 10);
    Feed(*s, "a\r\nb\r\nc");
    SelectCells(*s, {{1, 0}, {2, 1}});
    s->topRow = 1;
    TakeDamage(*s);
    Feed(*s, "\r\nd");
    EXPECT_EQ(SelectedText(*s), "b\nc");
    EXPECT_TRUE(TakeDamage(*s).WholeView());
    Feed(*s, "\r\ne");
    EXPECT_FALSE(HasSelection(*s));
    FakeHost host;
    for (bool reallocate : {false, true}) {
        SelectAll(*s);
        reallocate ? void(AllocateScreen(*s, host)) : ClearScreen(*s);
        EXPECT_FALSE(HasSelection(*s));
    }
}

// The first cells selected repaint the view; after that only the cells whose look changed.
TEST(Selection, RepaintsOnlyTheCellsThatChange) {
    auto s = MakeScreen(5, 10);
    const auto row = [](int r, int c0, int c1, int r1 = -1) {
        return PixelRect{c0 * 8, r * 16, c1 * 8, (r1 < 0 ? r : r1) * 16 + 16};
    };
    BeginSelection(*s, 16, 0, SelectionUnit::Cell);
    EXPECT_TRUE(TakeDamage(*s).Empty());  // a click: nothing shown yet
    ExtendSelection(*s, 32, 0);
    EXPECT_TRUE(TakeDamage(*s).WholeView());
    ExtendSelection(*s, 56, 0);
    EXPECT_EQ(TakeDamage(*s).Rects(), std::vector{row(0, 4, 7)});
    ExtendSelection(*s, 24, 56);
    EXPECT_EQ(TakeDamage(*s).Rects(), (std::vector{row(0, 7, 10), row(1, 0, 10, 2), row(3, 0, 3)}));
    BeginSelection(*s, 0, 0, SelectionUnit::Cell);
    EXPECT_EQ(TakeDamage(*s).Rects(), (std::vector{row(0, 2, 10), row(1, 0, 10, 2), row(3, 0, 3)}));
}

// Rows "Hello world", "hello again", "HELLO", "d\xe9j\xe0 vu" (Latin-1); the cursor below them.
TEST(Find, NextAndPreviousWrapAndIgnoreCaseUnlessAsked) {
    const auto N = FindDirection::Next, P = FindDirection::Previous;
    const CellRange none{{0xFFFF, 0}, {0xFFFF, 0}};
    const struct {
        const char* needle;
        FindDirection dir;
        bool matchCase;
        CellRange from;  // the selection before; none: nothing selected
        CellRange match;
    } cases[] = {
        {"hello", N, false, none, {{0, 0}, {0, 5}}},
        {"hello", N, false, {{0, 0}, {0, 5}}, {{1, 0}, {1, 5}}},
        {"hello", N, false, {{2, 0}, {2, 5}}, {{0, 0}, {0, 5}}},
        {"hello", P, false, none, {{2, 0}, {2, 5}}},
        {"hello", P, false, {{0, 0}, {0, 5}}, {{2, 0}, {2, 5}}},
        {"hello", N, true, {{1, 0}, {1, 5}}, {{1, 0}, {1, 5}}},
        {"O", N, true, {{0, 0}, {0, 1}}, {{2, 4}, {2, 5}}},
        {"\u00C9J\u00C0", N, false, none, {{3, 1}, {3, 4}}},
        {"HELLO ", N, true, none, none},
        {"\xff", N, false, none, none},
    };
    for (const auto& c : cases) {
        auto s = MakeScreen(6, 12, DisplayMode::Text, 3, 12);
        Feed(*s, "Hello world\r\nhello again\r\nHELLO\r\nd\xe9j\xe0 vu\r\n");
        if (c.from != none) SelectCells(*s, c.from);
        FakeHost host;
        const bool found = FindAndSelect(*s, host, {c.needle, c.dir, c.matchCase});
        SCOPED_TRACE(::testing::Message() << c.needle << " " << int(c.dir) << " " << c.matchCase);
        EXPECT_EQ(found, c.match != none);
        EXPECT_EQ(s->selection.cells, found ? c.match : c.from == none ? CellRange{} : c.from);
        if (!found) continue;
        EXPECT_LE(s->topRow, c.match.start.row);  // brought into the 3-row view
        EXPECT_GT(s->topRow + 3, c.match.start.row);
        EXPECT_EQ(host.clipboard[ClipboardKind::Selection], SelectedText(*s));
    }
    auto s = MakeScreen(2, 5);  // a match never spans a wrap, as a copy would not
    Feed(*s, "abcdefg");
    EXPECT_FALSE(FindMatch(*s, {"ef"}));
}

}  // namespace
}  // namespace vellor::testing
