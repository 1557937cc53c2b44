#pragma once

#include <cstdint>

namespace vellor {

// How bytes are shown. Stored as the number it is; a stored value outside these three (only a
// settings file can hold one) makes the screen drop every byte.
enum class DisplayMode : int32_t { Text = 0, Hex = 1, HexChar = 2 };

// Where the Text-mode interpreter is in a cursor-movement sequence. Any other value acts as
// Normal.
enum class EscapeState : int32_t { Normal = 0, AfterEsc = 1, AfterBracket = 2 };

}  // namespace vellor
