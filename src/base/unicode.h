#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vellor {

// The first character of non-empty UTF-8 text: its code point and length in bytes. A malformed
// sequence (overlong, a surrogate, beyond U+10FFFF, cut short, a stray continuation byte) is
// one byte long and not valid.
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 1;
    bool valid = false;
};
Utf8Char FirstUtf8Char(std::string_view text);

// Appends a code point (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

// Appends a code point as one UTF-16 unit, or a surrogate pair beyond U+FFFF.
void AppendUtf16(std::u16string& out, char32_t code);

// UTF-8 to UTF-16; fails on malformed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; fails on an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
// Number of characters (code points) in well-formed UTF-16.
std::size_t CountCharacters(std::u16string_view text);

}  // namespace vellor
