#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vellor {

struct AppState;

// Handles received bytes in order: clears bit 7 when rxBit7 is on, appends to the capture file
// when rxCapture is on and a capture is open, shows the byte, and after a CR (as stripped) with
// rxCrLf on sends an LF the same way. The capture lock and the screen lock are each taken once per
// piece of up to kReceiveSlice bytes, never once per byte. Does not flush the capture file: the
// caller does that once per burst.
void ProcessReceivedBytes(AppState& state, std::span<const uint8_t> chunk);

// The most input bytes handled under one hold of each lock.
inline constexpr std::size_t kReceiveSlice = 4096;

}  // namespace vellor
