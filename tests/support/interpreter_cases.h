#pragma once

#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "screen/screen_modes.h"

namespace vellor::testing {

// One line of tests/screen/interpreter_cases.txt (the format is described there).
struct InterpreterCase {
    std::string name, mode, input, screen;
    bool rxBit7, rxCrLf;
    uint16_t rows, cols, cursorRow, cursorCol, escapeState;

    DisplayMode Mode() const {
        return mode == "text"      ? DisplayMode::Text
               : mode == "hex"     ? DisplayMode::Hex
               : mode == "hexchar" ? DisplayMode::HexChar
                                   : DisplayMode(std::stoi(mode));
    }
};

// Undoes the C escapes the cases write.
inline std::string Unescape(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
        } else if (in[++i] == 'x') {
            out += char(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += std::string("\r\n\x1b\t\a\b\0\"\\", 9)[std::string("rnetab0\"\\").find(in[i])];
        }
    }
    return out;
}

inline std::vector<InterpreterCase> LoadInterpreterCases() {
    static const std::regex kCase(
        R"re((\w+) +(\d+)x(\d+) +(\S+)( +rx-bit7)?( +rx-crlf)? +"((?:[^"\\]|\\.)*)" +"((?:[^"\\]|\\.)*)" +(\d+),(\d+) +(\d+))re");
    std::ifstream file(VELLOR_TEST_DATA "/screen/interpreter_cases.txt");
    std::vector<InterpreterCase> cases;
    std::smatch m;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (!std::regex_match(line, m, kCase)) throw std::invalid_argument("bad case: " + line);
        const auto number = [&](int i) { return uint16_t(std::stoi(m[i])); };
        cases.push_back({m[1], m[4], Unescape(m[7]), Unescape(m[8]), m[5].matched, m[6].matched,
                         number(2), number(3), number(9), number(10), number(11)});
    }
    return cases;
}

}  // namespace vellor::testing
