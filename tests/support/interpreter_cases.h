#pragma once

#include <string>

#include "screen/screen_modes.h"

namespace vellor::testing {

using namespace std::string_literals;

// A stream received into a screen: the screen is its rows without trailing blanks joined by "|",
// a marked cell as "*" and its character.
struct InterpreterCase {
    const char* name;
    uint16_t rows, cols;
    const char* mode;  // a name, or a stored value no mode has
    std::string input, screen;
    uint16_t cursorRow, cursorCol, escapeState;
    bool rxBit7 = false, rxCrLf = false;

    DisplayMode Mode() const {
        const std::string m = mode;
        return m == "text"      ? DisplayMode::Text
               : m == "hex"     ? DisplayMode::Hex
               : m == "hexchar" ? DisplayMode::HexChar
                                : DisplayMode(std::stoi(m));
    }
};

inline const InterpreterCase kInterpreterCases[] = {
    {"LastRowFillScrolls", 3, 4, "text", "\n\nWXYZ", "|WXYZ|", 2, 0, 0},
    {"WrapMovesToNextRow", 3, 4, "text", "ABCDE", "ABCD|E|", 1, 1, 0},
    {"LfOnLastRowScrollsKeepsColumn", 2, 4, "text", "A\nB\nC", " B|  C", 1, 3, 0},
    {"DownAndRightStopAtTheEdges", 2, 4, "text", "\nABC\x1b[B\x1b[C", "|ABC", 1, 3, 0},
    {"UpAndLeftStopAtTheEdges", 2, 4, "text", "\x1b[A\x1b[DX", "X|", 0, 1, 0},
    {"UpAndLeftMove", 3, 4, "text", "\n\nAB\x1b[A\x1b[DX", "| X|AB", 1, 2, 0},
    {"BsBlanksButNeverLeavesItsRow", 2, 4, "text", "ABCDE\b\b", "ABCD|", 1, 0, 0},
    {"EscThenOrdinaryShowsIt", 1, 8, "text", "\x1bx", "x", 0, 1, 0},
    {"NumericParameterDropped", 1, 8, "text", "\x1b[2A", "A", 0, 1, 0},
    {"EscEscBracketStillMoves", 2, 8, "text", "\nQ\x1b\x1b[AZ", " Z|Q", 0, 2, 0},
    {"EscBracketPending", 1, 8, "text", "A\x1b[", "A", 0, 1, 2},
    {"ControlsShowAsBlanks", 1, 8, "text", "\0\a\tX"s, "   X", 0, 4, 0},
    {"Latin1AndDelStored", 1, 4, "text", "\xe9\xff\x7f", "\xe9\xff\x7f", 0, 3, 0},
    {"LongScrollKeepsRowOrder", 3, 4, "text", "0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n",
     "8|9|", 2, 0, 0},
    {"HexShowsEscapesAndLineEnds", 1, 16, "hex", "\x1b[A\r\n", "1B 5B 41 0D 0A", 0, 15, 0},
    {"HexSplitsAcrossRows", 2, 4, "hex", "AB", "41 4|2", 1, 2, 0},
    {"HexCharMarksCharacters", 3, 8, "hexchar", "A \r\xff", "41*A 20|0D  FF*\xff|", 2, 0, 0},
    {"StoredModeDrops", 1, 8, "3", "ABC\r\n", "", 0, 0, 0},
    {"RxCrLfPairGivesBlankLine", 3, 4, "text", "A\r\nB", "A||B", 2, 1, 0, false, true},
    {"RxBit7CrCountsForCrLf", 2, 4, "text", "x\x8dy", "x|y", 1, 1, 0, true, true}};

}  // namespace vellor::testing
