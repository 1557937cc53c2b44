#pragma once

#include <cstdint>

namespace vellor {

// Entry of typed bytes as pairs of hexadecimal digits. Stored as the number it is; any value
// other than Off and AwaitHigh (only a settings file can hold one) acts as AwaitLow.
enum class HexEntry : int32_t { Off = 0, AwaitHigh = 1, AwaitLow = 2 };

// Value of a hexadecimal digit (either case), or -1 for any other byte.
constexpr int HexDigitValue(uint8_t b) {
    if (b >= '0' && b <= '9') return b - '0';
    if (b >= 'A' && b <= 'F') return b - 'A' + 10;
    if (b >= 'a' && b <= 'f') return b - 'a' + 10;
    return -1;
}

// One typed byte while hex entry is on (`entry` is not Off). A digit is shifted into `keyByte`;
// true when it completed the byte there. Anything else changes nothing.
constexpr bool EnterHexDigit(HexEntry& entry, uint8_t& keyByte, uint8_t typed) {
    const int digit = HexDigitValue(typed);
    if (digit < 0) return false;
    keyByte = uint8_t(keyByte * 16 + digit);
    if (entry == HexEntry::AwaitHigh) {
        entry = HexEntry::AwaitLow;
        return false;
    }
    // AwaitLow, or any other value a stored setting left behind: the byte is complete.
    entry = HexEntry::AwaitHigh;
    return true;
}

}  // namespace vellor
