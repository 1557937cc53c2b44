#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vellor {

// 32-bit numbers as the registry and the line-settings record store them: low byte first.
constexpr uint32_t LoadLe32(std::span<const uint8_t, 4> bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

constexpr std::array<uint8_t, 4> Le32(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

}  // namespace vellor
