#pragma once

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "screen/screen_modes.h"

namespace vellor::testing {

// One case of tests/screen/interpreter_cases.txt (the format is described there).
struct InterpreterCase {
    std::string name;
    uint16_t rows = 0;
    uint16_t cols = 0;
    std::string mode;  // "text", "hex", "hexchar" or a stored number
    bool rxBit7 = false;
    bool rxCrLf = false;
    std::string input;
    std::string screen;
    uint16_t cursorRow = 0;
    uint16_t cursorCol = 0;
    int escapeState = 0;

    DisplayMode Mode() const {
        if (mode == "text") return DisplayMode::Text;
        if (mode == "hex") return DisplayMode::Hex;
        if (mode == "hexchar") return DisplayMode::HexChar;
        return DisplayMode(std::stoi(mode));
    }
};

// A quoted token with C escapes, from `in` at `pos` (at its opening quote).
inline std::string Unquote(const std::string& in, std::size_t& pos) {
    std::string out;
    for (++pos; pos < in.size() && in[pos] != '"'; ++pos) {
        if (in[pos] != '\\') {
            out += in[pos];
            continue;
        }
        const char e = in[++pos];
        static const std::string kFrom = "rnetab0\"\\";
        static const std::string kTo("\r\n\x1b\t\a\b\0\"\\", 9);
        if (e == 'x') {
            out += char(std::stoi(in.substr(pos + 1, 2), nullptr, 16));
            pos += 2;
        } else {
            out += kTo[kFrom.find(e)];
        }
    }
    ++pos;
    return out;
}

inline std::vector<InterpreterCase> LoadInterpreterCases() {
    std::ifstream file(VELLOR_TEST_DATA "/screen/interpreter_cases.txt");
    std::vector<InterpreterCase> cases;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        InterpreterCase c;
        std::istringstream head(line);
        std::string size;
        head >> c.name >> size >> c.mode;
        c.rows = uint16_t(std::stoi(size));
        c.cols = uint16_t(std::stoi(size.substr(size.find('x') + 1)));
        std::size_t pos = line.find('"');
        c.rxBit7 = line.substr(0, pos).find("rx-bit7") != std::string::npos;
        c.rxCrLf = line.substr(0, pos).find("rx-crlf") != std::string::npos;
        c.input = Unquote(line, pos);
        pos = line.find('"', pos);
        c.screen = Unquote(line, pos);
        std::istringstream tail(line.substr(pos));
        char comma;
        tail >> c.cursorRow >> comma >> c.cursorCol >> c.escapeState;
        cases.push_back(c);
    }
    return cases;
}

}  // namespace vellor::testing
