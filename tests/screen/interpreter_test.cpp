#include <gtest/gtest.h>

#include <random>
#include <set>

#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

struct InterpreterCase {
    const char* name;
    uint16_t rows;
    uint16_t cols;
    int mode;
    std::string input;
    std::string screen;  // rows without trailing blanks, joined by '|'
    uint16_t cursorRow;
    uint16_t cursorCol;
    int escapeState;
};

const std::string ESC = "\x1b";

const InterpreterCase kCases[] = {
    {"PrintCrLf", 3, 80, 0, "AB\r\n", "AB||", 1, 0, 0},
    {"LastRowFillScrolls", 3, 4, 0, "\n\nWXYZ", "|WXYZ|", 2, 0, 0},
    {"WrapMovesToNextRow", 3, 4, 0, "ABCDE", "ABCD|E|", 1, 1, 0},
    {"LfOnLastRowScrolls", 2, 4, 0, "A\nB\nC", " B|  C", 1, 3, 0},
    {"LfKeepsColumn", 3, 8, 0, "AB\nC", "AB|  C|", 1, 3, 0},
    {"DownOnLastRowStays", 2, 4, 0, "\nX" + ESC + "[B", "|X", 1, 1, 0},
    {"RightOnLastColumnStays", 1, 4, 0, "ABC" + ESC + "[C" + ESC + "[C", "ABC", 0, 3, 0},
    {"UpAtTopStays", 2, 4, 0, ESC + "[A" + "X", "X|", 0, 1, 0},
    {"LeftAtColumnZeroStays", 2, 4, 0, ESC + "[D" + "X", "X|", 0, 1, 0},
    {"UpMovesUp", 3, 4, 0, "\n\n" + ESC + "[AX", "|X|", 1, 1, 0},
    {"LeftMovesLeft", 1, 8, 0, "ABC" + ESC + "[DX", "ABX", 0, 3, 0},
    {"BsAtColumnZeroDoesNothing", 2, 8, 0, "\b", "|", 0, 0, 0},
    {"BsBlanksPreviousCell", 1, 8, 0, "ABCDE\b", "ABCD", 0, 4, 0},
    {"BsNeverLeavesTheRow", 2, 4, 0, "ABCDE\b\b", "ABCD|", 1, 0, 0},
    {"EscThenOrdinaryShowsIt", 1, 8, 0, ESC + "x", "x", 0, 1, 0},
    {"EscBracketUnknownShowsNothing", 1, 8, 0, ESC + "[5", "", 0, 0, 0},
    {"NumericParameterIsDropped", 1, 8, 0, ESC + "[2A", "A", 0, 1, 0},
    {"EscEscBracketStillMoves", 2, 8, 0, "\nQ" + ESC + ESC + "[AZ", " Z|Q", 0, 2, 0},
    {"PendingEsc", 1, 8, 0, "A" + ESC, "A", 0, 1, 1},
    {"PendingEscBracket", 1, 8, 0, "A" + ESC + "[", "A", 0, 1, 2},
    {"ControlsShowAsBlanks", 1, 8, 0, std::string("\0\a\tX", 4), "   X", 0, 4, 0},
    {"Latin1Stored", 1, 4, 0, "\xe9\xff", "\xe9\xff", 0, 2, 0},
    {"DelIsACharacter", 1, 4, 0, "\x7f", "\x7f", 0, 1, 0},
    {"HexByte", 1, 8, 1, "A", "41", 0, 3, 0},
    {"HexKeepsEscapeState", 1, 8, 1, ESC, "1B", 0, 3, 0},
    {"HexSplitsAcrossRows", 2, 4, 1, "AB", "41 4|2", 1, 2, 0},
    {"HexNeverBreaksOnCr", 1, 8, 1, "\r\n", "0D 0A", 0, 6, 0},
    {"HexCharLetter", 1, 8, 2, "A", "41*A", 0, 4, 0},
    {"HexCharSpace", 1, 8, 2, " ", "20", 0, 4, 0},
    {"HexCharCr", 1, 8, 2, "\r", "0D", 0, 4, 0},
    {"HexCharFF", 1, 8, 2, "\xff", "FF*\xff", 0, 4, 0},
    {"UnknownModeDropsEverything", 1, 8, 3, "ABC\r\n", "", 0, 0, 0},
    {"NegativeModeDropsEverything", 1, 8, -1, "ABC", "", 0, 0, 0},
};

// What a damage record repaints, in cells of the fixture's 8 x 16 pixels: the whole view, or the
// set of cells its rectangles cover.
std::set<std::pair<int, int>> Repainted(const Damage& d) {
    std::set<std::pair<int, int>> cells;
    if (d.WholeView()) {
        cells.insert({-1, -1});
        return cells;
    }
    for (const PixelRect& r : d.Rects()) {
        for (int y = r.top; y < r.bottom; y += 16) {
            for (int x = r.left; x < r.right; x += 8)
                cells.insert({y / 16, x / 8});
        }
    }
    return cells;
}

class Interpreter : public ::testing::TestWithParam<InterpreterCase> {};

void ExpectOutcome(const AppState& s, const InterpreterCase& c) {
    EXPECT_EQ(ScreenText(s), c.screen);
    EXPECT_EQ(s.cursorRow, c.cursorRow);
    EXPECT_EQ(s.cursorCol, c.cursorCol);
    EXPECT_EQ(s.escapeState, c.escapeState);
}

TEST_P(Interpreter, WholeInput) {
    const InterpreterCase& c = GetParam();
    auto s = MakeScreen(c.rows, c.cols, c.mode);
    Feed(*s, c.input);
    ExpectOutcome(*s, c);
}

TEST_P(Interpreter, ByteByByteGivesTheSameScreenAndDamage) {
    const InterpreterCase& c = GetParam();
    auto whole = MakeScreen(c.rows, c.cols, c.mode);
    Feed(*whole, c.input);
    auto single = MakeScreen(c.rows, c.cols, c.mode);
    for (char ch : c.input)
        PutByte(*single, uint8_t(ch));
    ExpectOutcome(*single, c);
    EXPECT_EQ(Repainted(TakeDamage(*single)), Repainted(TakeDamage(*whole)));
}

TEST_P(Interpreter, RandomChunksGiveTheSameScreen) {
    const InterpreterCase& c = GetParam();
    std::mt19937 rng(1234);
    for (int round = 0; round < 5; ++round) {
        auto s = MakeScreen(c.rows, c.cols, c.mode);
        std::size_t pos = 0;
        while (pos < c.input.size()) {
            const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 4)(rng);
            Feed(*s, c.input.substr(pos, n));
            pos += n;
        }
        ExpectOutcome(*s, c);
    }
}

// Whole runs stored at once must match the cell-by-cell interpreter in every visible effect:
// screen, cursor, view offsets and what gets repainted.
TEST(InterpreterRuns, MatchCellByCellOnRandomStreams) {
    std::mt19937 rng(42);
    const std::string alphabet = "abcdefgh \r\n\b\x1b[ABCD\x7f\xe9\t";
    for (int round = 0; round < 400; ++round) {
        const uint16_t rows = uint16_t(1 + rng() % 6);
        const uint16_t cols = uint16_t(1 + rng() % 30);
        const int mode = int(rng() % 3);
        const uint16_t vRows = uint16_t(rng() % 8);
        const uint16_t vCols = uint16_t(rng() % 35);
        std::string input;
        const int length = int(rng() % 200);
        for (int i = 0; i < length; ++i) {
            input += rng() % 4 == 0 ? char(rng()) : alphabet[rng() % alphabet.size()];
        }
        auto runs = MakeScreen(rows, cols, mode);
        auto cells = MakeScreen(rows, cols, mode);
        for (AppState* s : {runs.get(), cells.get()}) {
            s->visibleRows = vRows;
            s->visibleCols = vCols;
            s->leftCol = uint16_t(rng() % cols);
            s->topRow = uint16_t(rng() % rows);
            s->cursorRow = uint16_t(rng() % rows);
            s->cursorCol = uint16_t(rng() % cols);
        }
        cells->leftCol = runs->leftCol;
        cells->topRow = runs->topRow;
        cells->cursorRow = runs->cursorRow;
        cells->cursorCol = runs->cursorCol;
        std::size_t pos = 0;
        while (pos < input.size()) {
            const std::size_t n = 1 + rng() % 64;
            Feed(*runs, input.substr(pos, n));
            pos += n;
        }
        for (char ch : input)
            PutByte(*cells, uint8_t(ch));
        SCOPED_TRACE(::testing::Message() << "round " << round);
        ASSERT_EQ(ScreenText(*runs), ScreenText(*cells));
        ASSERT_EQ(runs->cursorRow, cells->cursorRow);
        ASSERT_EQ(runs->cursorCol, cells->cursorCol);
        ASSERT_EQ(runs->topRow, cells->topRow);
        ASSERT_EQ(runs->leftCol, cells->leftCol);
        ASSERT_EQ(runs->escapeState, cells->escapeState);
        ASSERT_EQ(Repainted(TakeDamage(*runs)), Repainted(TakeDamage(*cells)));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Interpreter, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InterpreterCells, HexCharCellValues) {
    auto s = MakeScreen(2, 8, 2);
    Feed(*s, "A ");
    const uint16_t expected[] = {'4', '1', 0x1041, ' ', '2', '0', ' ', ' '};
    for (uint16_t c = 0; c < 8; ++c)
        EXPECT_EQ(s->screenBuffer->At(0, c), expected[c]) << c;
}

TEST(InterpreterCells, LongScrollKeepsRowOrder) {
    // Many scrolls through the ring of rows must keep the newest lines in order at the bottom.
    auto s = MakeScreen(3, 4);
    for (int i = 0; i < 10; ++i)
        Feed(*s, std::string(1, char('0' + i)) + "\r\n");
    EXPECT_EQ(ScreenText(*s), "8|9|");
}

TEST(InterpreterCells, NoBufferTouchesNothing) {
    AppState s;
    s.numRows = 3;
    s.numCols = 4;
    PutByte(s, 'A');
    EXPECT_EQ(s.cursorCol, 0);
    EXPECT_FALSE(s.screenBuffer);
}

TEST(InterpreterCells, SizeChangedBeforeReallocationDropsBytes) {
    auto s = MakeScreen(2, 4);
    s->numRows = 50;  // the Options dialog has set a new size but not yet reallocated
    s->cursorRow = 1;
    Feed(*s, "\n\n\nABC");
    EXPECT_EQ(s->cursorRow, 1);
    EXPECT_EQ(s->cursorCol, 0);
}

TEST(InterpreterCells, EscapeStateOutsideRangeActsAsNormal) {
    auto s = MakeScreen(1, 4);
    s->escapeState = 7;
    Feed(*s, "[A");
    EXPECT_EQ(ScreenText(*s), "[A");
    EXPECT_EQ(s->escapeState, 0);
}

}  // namespace
}  // namespace vellor::testing
