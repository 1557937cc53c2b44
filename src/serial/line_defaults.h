#pragma once

#include <cstdint>

namespace vellor {

struct AppState;

inline constexpr char kDefaultPortName[] = "COM1";
inline constexpr uint32_t kDefaultBaudRate = 115200;

// Port "COM1", 115200 baud, 8 data bits, no parity, one stop bit, RTS/CTS handshake. Flag bits
// above 14 and every field not named here keep what the record holds.
void DefaultPortSettings(AppState& state);

}  // namespace vellor
