#pragma once

#include <string>

#include "screen/screen_modes.h"

namespace vellor::testing {

// A stream received: screen rows without trailing blanks joined by "|", a marked cell "*" + char.
struct InterpreterCase {
    const char* name;
    uint16_t rows, cols;
    DisplayMode mode;
    std::string input, screen;
    uint16_t cursorRow, cursorCol, escapeState;
    bool rxBit7 = false, rxCrLf = false;
};

constexpr auto kText = DisplayMode::Text, kHex = DisplayMode::Hex, kHexChar = DisplayMode::HexChar;

inline const InterpreterCase kInterpreterCases[] = {
    {"LastRowFillScrolls", 3, 4, kText, "\n\nWXYZ", "|WXYZ|", 2, 0, 0},
    {"WrapMovesToNextRow", 3, 4, kText, "ABCDE", "ABCD|E|", 1, 1, 0},
    {"LfOnLastRowScrollsKeepsColumn", 2, 4, kText, "A\nB\nC", " B|  C", 1, 3, 0},
    {"DownAndRightStopAtTheEdges", 2, 4, kText, "\nABC\x1b[B\x1b[C", "|ABC", 1, 3, 0},
    {"UpAndLeftStopAtTheEdges", 2, 4, kText, "\x1b[A\x1b[DX", "X|", 0, 1, 0},
    {"UpAndLeftMove", 3, 4, kText, "\n\nAB\x1b[A\x1b[DX", "| X|AB", 1, 2, 0},
    {"BsBlanksButNeverLeavesItsRow", 2, 4, kText, "ABCDE\b\b", "ABCD|", 1, 0, 0},
    {"EscThenOrdinaryShowsIt", 1, 8, kText, "\x1bx", "x", 0, 1, 0},
    {"NumericParameterDropped", 1, 8, kText, "\x1b[2A", "A", 0, 1, 0},
    {"EscEscBracketStillMoves", 2, 8, kText, "\nQ\x1b\x1b[AZ", " Z|Q", 0, 2, 0},
    {"EscBracketPending", 1, 8, kText, "A\x1b[", "A", 0, 1, 2},
    {"ControlsShowAsBlanks", 1, 8, kText, std::string("\0\a\tX", 4), "   X", 0, 4, 0},
    {"Latin1AndDelStored", 1, 4, kText, "\xe9\xff\x7f", "\xe9\xff\x7f", 0, 3, 0},
    {"LongScrollKeepsRowOrder", 3, 4, kText, "0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n", "4|5|", 2, 0, 0},
    {"HexShowsEscapesAndLineEnds", 1, 16, kHex, "\x1b[A\r\n", "1B 5B 41 0D 0A", 0, 15, 0},
    {"HexSplitsAcrossRows", 2, 4, kHex, "AB", "41 4|2", 1, 2, 0},
    {"HexCharMarksCharacters", 3, 8, kHexChar, "A \r\xff", "41*A 20|0D  FF*\xff|", 2, 0, 0},
    {"StoredModeDrops", 1, 8, DisplayMode(3), "ABC\r\n", "", 0, 0, 0},
    {"RxCrLfPairGivesBlankLine", 3, 4, kText, "A\r\nB", "A||B", 2, 1, 0, false, true},
    {"RxBit7CrCountsForCrLf", 2, 4, kText, "x\x8dy", "x|y", 1, 1, 0, true, true}};

}  // namespace vellor::testing
