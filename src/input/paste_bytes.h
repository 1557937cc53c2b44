#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

#include "input/hex_entry.h"

namespace vellor {

// Pasted text as typing it would give: each character one byte, a line break (LF, CR LF or CR)
// the Enter key's CR; with hex entry on, pairs of hexadecimal digits, anything else skipped, as
// the keyboard does. The LF that TX CR->CR LF adds after each CR is the sender's to add.
struct PastedBytes {
    std::vector<uint8_t> bytes;
    HexEntry hexInput = HexEntry::Off;  // hex entry as the text leaves it
    uint8_t keyByte = 0;                // with a digit still waiting for its pair
    bool operator==(const PastedBytes&) const = default;
};

// The first character that typing cannot give as one byte (above U+00FF; a malformed UTF-8
// byte counts as U+FFFD). Positions count characters from 1.
struct PasteRefusal {
    char32_t character = 0;
    std::size_t position = 0;
    std::size_t line = 0;
    std::size_t column = 0;
    bool operator==(const PasteRefusal&) const = default;
};

// Converts UTF-8 text, starting from the keyboard's hex entry state. A refusal converts nothing.
std::variant<PastedBytes, PasteRefusal> PasteBytes(std::string_view utf8, HexEntry hexInput,
                                                   uint8_t keyByte);

}  // namespace vellor
