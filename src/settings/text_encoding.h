#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/unicode.h"  // registry text is UTF-16; the program's is UTF-8

namespace vellor {

// The bytes of a REG_SZ value: the units little-endian, then a terminating zero unit.
std::vector<uint8_t> RegSzBytes(std::u16string_view text);

// The text of a REG_SZ value: its whole units up to the first zero unit (or the end).
std::u16string RegSzText(std::span<const uint8_t> bytes);

}  // namespace vellor
