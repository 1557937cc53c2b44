#pragma once

#include <cstdint>

namespace vellor {

// Entry of typed bytes as pairs of hexadecimal digits. Stored as the number it is; any value
// other than Off and AwaitHigh (only a settings file can hold one) acts as AwaitLow.
enum class HexEntry : int32_t { Off = 0, AwaitHigh = 1, AwaitLow = 2 };

}  // namespace vellor
