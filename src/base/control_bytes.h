#pragma once

#include <cstdint>

namespace vellor {

// The bytes the screen interpreter, the keyboard and the CR to CR LF options act on.
constexpr uint8_t kBS = 0x08;
constexpr uint8_t kLF = 0x0A;
constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kESC = 0x1B;
constexpr uint8_t kBracket = 0x5B;  // "[" after ESC starts a cursor-movement sequence

}  // namespace vellor
