#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellor {

// UTF-8 to UTF-16; fails on malformed UTF-8 (overlong forms, surrogates, beyond U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; fails on an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// Number of characters (code points) in well-formed UTF-16.
std::size_t CountCharacters(std::u16string_view text);

// The bytes of a REG_SZ value: the units little-endian, then a terminating zero unit.
std::vector<uint8_t> RegSzBytes(std::u16string_view text);

// The text of a REG_SZ value: its whole units up to the first zero unit (or the end).
std::u16string RegSzText(std::span<const uint8_t> bytes);

}  // namespace vellor
