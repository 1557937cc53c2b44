// The interpreter: the golden cases, whole runs against cell by cell, buffers it must not write.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "serial/receive_path.h"
#include "support/interpreter_cases.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

auto OutcomeOf(const AppState& s) {
    return std::tuple(ScreenText(s), s.cursorRow, s.cursorCol, int(s.escapeState), s.topRow,
                      s.leftCol);
}

class InterpreterCases : public ::testing::TestWithParam<InterpreterCase> {};

// Each case through the receive path, whole and byte by byte.
TEST_P(InterpreterCases, GiveTheirScreen) {
    const InterpreterCase& c = GetParam();
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size());
    for (const std::size_t piece : {bytes.size(), std::size_t(1)}) {
        auto s = MakeScreen(c.rows, c.cols, c.mode);
        std::tie(s->rxBit7, s->rxCrLf) = std::tuple(c.rxBit7, c.rxCrLf);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            ProcessReceivedBytes(*s, bytes.subspan(at, piece));
        EXPECT_EQ(OutcomeOf(*s),
                  std::tuple(c.screen, c.cursorRow, c.cursorCol, c.escapeState, 0, 0))
            << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, InterpreterCases, ::testing::ValuesIn(kInterpreterCases),
                         [](const auto& info) { return info.param.name; });

// Runs stored at once do what cell by cell does, wherever cursor and view stand.
TEST(InterpreterRuns, MatchCellByCellOnRandomStreams) {
    std::mt19937 rng(42);
    const std::string alphabet = "abcdefgh \r\n\b\x1b[ABCD\x7f\xe9\t";
    const auto repainted = [](const Damage& d) {  // 8 x 16 pixel cells, or {-1, -1} for all
        std::set<std::pair<int, int>> cells{{-1, -1}};
        if (d.WholeView()) return cells;
        cells.clear();
        for (const PixelRect& r : d.Rects())
            for (int y = r.top; y < r.bottom; y += 16)
                for (int x = r.left; x < r.right; x += 8)
                    cells.insert({y / 16, x / 8});
        return cells;
    };
    for (int round = 0; round < 400; ++round) {
        const uint16_t rows = uint16_t(1 + rng() % 6), cols = uint16_t(1 + rng() % 30);
        const uint16_t visibleRows = rng() % 8, visibleCols = rng() % 35, left = rng() % cols,
                       top = rng() % rows, row = rng() % rows, col = rng() % cols;
        const auto mode = DisplayMode(rng() % 3);
        auto runs = MakeScreen(rows, cols, mode), cells = MakeScreen(rows, cols, mode);
        for (AppState* s : {runs.get(), cells.get()})
            std::tie(s->visibleRows, s->visibleCols, s->leftCol, s->topRow, s->cursorRow,
                     s->cursorCol) = std::tie(visibleRows, visibleCols, left, top, row, col);
        std::string input;
        for (int i = int(rng() % 200); i > 0; --i)
            input += rng() % 4 == 0 ? char(rng()) : alphabet[rng() % alphabet.size()];
        for (std::size_t pos = 0, n = 0; pos < input.size(); pos += n)
            Feed(*runs, std::string_view(input).substr(pos, n = 1 + rng() % 64));
        for (char ch : input)
            PutByte(*cells, uint8_t(ch));
        ASSERT_EQ(OutcomeOf(*runs), OutcomeOf(*cells)) << "round " << round;
        ASSERT_EQ(repainted(TakeDamage(*runs)), repainted(TakeDamage(*cells))) << "round " << round;
    }
}

// Nothing is written without a buffer of the set size; an odd stored escape state is normal.
TEST(InterpreterEdges, NeverWritesWithoutAMatchingBufferAndResetsOddStates) {
    AppState none;
    PutByte(none, 'A');  // no buffer at all
    auto resized = MakeScreen(2, 4);
    std::tie(resized->numRows, resized->cursorRow) = std::tuple(50, 1);  // a size not yet had
    Feed(*resized, "\n\n\nABC");
    EXPECT_EQ(std::tuple(resized->cursorRow, resized->cursorCol), std::tuple(1, 0));
    auto odd = MakeScreen(1, 4);
    odd->escapeState = EscapeState(7);
    Feed(*odd, "[A");
    EXPECT_EQ(OutcomeOf(*odd), std::tuple("[A", 0, 2, 0, 0, 0));
}

}  // namespace
}  // namespace vellor::testing
