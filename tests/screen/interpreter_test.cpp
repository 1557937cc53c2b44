#include <gtest/gtest.h>

#include <random>
#include <set>

#include "serial/receive_path.h"
#include "support/interpreter_cases.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// The cells a damage record repaints (8 x 16 pixel cells), or {-1, -1} for the whole view.
std::set<std::pair<int, int>> Repainted(const Damage& d) {
    if (d.WholeView()) return {{-1, -1}};
    std::set<std::pair<int, int>> cells;
    for (const PixelRect& r : d.Rects())
        for (int y = r.top; y < r.bottom; y += 16)
            for (int x = r.left; x < r.right; x += 8)
                cells.insert({y / 16, x / 8});
    return cells;
}

struct Outcome {
    std::string screen;
    uint16_t cursorRow, cursorCol;
    EscapeState escape;
    bool operator==(const Outcome&) const = default;
};

Outcome OutcomeOf(const AppState& s) {
    return {ScreenText(s), s.cursorRow, s.cursorCol, s.escapeState};
}

class InterpreterCases : public ::testing::TestWithParam<InterpreterCase> {};

// Each case through the receive path: whole, byte by byte and in random pieces, the same screen,
// cursor and escape state, and byte by byte the same cells repainted as whole.
TEST_P(InterpreterCases, SameOutcomeHoweverTheBytesArrive) {
    const InterpreterCase& c = GetParam();
    const Outcome expected{c.screen, c.cursorRow, c.cursorCol, EscapeState(c.escapeState)};
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size());
    std::mt19937 random(1234);
    std::set<std::pair<int, int>> wholeDamage;
    for (int way = 0; way < 4; ++way) {  // whole, byte by byte, two random splits
        auto s = MakeScreen(c.rows, c.cols, c.Mode());
        s->rxBit7 = c.rxBit7;
        s->rxCrLf = c.rxCrLf;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = way == 0 ? bytes.size()
                                  : way == 1
                                      ? 1
                                      : std::min<std::size_t>(1 + random() % 4, bytes.size() - at);
            ProcessReceivedBytes(*s, bytes.subspan(at, n));
            at += n;
        }
        EXPECT_EQ(OutcomeOf(*s), expected) << "way " << way;
        if (way == 0) wholeDamage = Repainted(TakeDamage(*s));
        if (way == 1) {
            EXPECT_EQ(Repainted(TakeDamage(*s)), wholeDamage);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, InterpreterCases, ::testing::ValuesIn(LoadInterpreterCases()),
                         [](const auto& info) { return info.param.name; });

// Whole runs stored at once must match the cell-by-cell interpreter in every visible effect:
// screen, cursor, view offsets and what gets repainted, wherever cursor and view stand.
TEST(InterpreterRuns, MatchCellByCellOnRandomStreams) {
    std::mt19937 rng(42);
    const std::string alphabet = "abcdefgh \r\n\b\x1b[ABCD\x7f\xe9\t";
    for (int round = 0; round < 400; ++round) {
        const uint16_t rows = uint16_t(1 + rng() % 6);
        const uint16_t cols = uint16_t(1 + rng() % 30);
        const auto mode = DisplayMode(rng() % 3);
        std::string input;
        for (int i = int(rng() % 200); i > 0; --i)
            input += rng() % 4 == 0 ? char(rng()) : alphabet[rng() % alphabet.size()];
        auto runs = MakeScreen(rows, cols, mode);
        auto cells = MakeScreen(rows, cols, mode);
        const uint16_t view[] = {uint16_t(rng() % 8),    uint16_t(rng() % 35),
                                 uint16_t(rng() % cols), uint16_t(rng() % rows),
                                 uint16_t(rng() % rows), uint16_t(rng() % cols)};
        for (AppState* s : {runs.get(), cells.get()}) {
            s->visibleRows = view[0];
            s->visibleCols = view[1];
            s->leftCol = view[2];
            s->topRow = view[3];
            s->cursorRow = view[4];
            s->cursorCol = view[5];
        }
        for (std::size_t pos = 0, n = 0; pos < input.size(); pos += n) {
            n = 1 + rng() % 64;
            Feed(*runs, std::string_view(input).substr(pos, n));
        }
        for (char ch : input)
            PutByte(*cells, uint8_t(ch));
        SCOPED_TRACE(::testing::Message() << "round " << round);
        ASSERT_EQ(OutcomeOf(*runs), OutcomeOf(*cells));
        ASSERT_EQ(runs->topRow, cells->topRow);
        ASSERT_EQ(runs->leftCol, cells->leftCol);
        ASSERT_EQ(Repainted(TakeDamage(*runs)), Repainted(TakeDamage(*cells)));
    }
}

// No buffer, a size changed but not yet reallocated, or a stored escape state out of range: no
// cell is written outside the block, and odd states act as normal.
TEST(InterpreterEdges, NeverWritesWithoutAMatchingBufferAndResetsOddStates) {
    AppState none;
    none.numRows = 3;
    none.numCols = 4;
    PutByte(none, 'A');
    EXPECT_EQ(none.cursorCol, 0);

    auto resized = MakeScreen(2, 4);
    resized->numRows = 50;  // the Options dialog set a size it has not allocated yet
    resized->cursorRow = 1;
    Feed(*resized, "\n\n\nABC");
    EXPECT_EQ(resized->cursorRow, 1);
    EXPECT_EQ(resized->cursorCol, 0);

    auto odd = MakeScreen(1, 4);
    odd->escapeState = EscapeState(7);
    Feed(*odd, "[A");
    EXPECT_EQ(ScreenText(*odd), "[A");
    EXPECT_EQ(odd->escapeState, EscapeState::Normal);
}

}  // namespace
}  // namespace vellor::testing
