#include "serial/receive_path.h"

#include <algorithm>
#include <array>

#include "app/app_state.h"
#include "base/control_bytes.h"
#include "screen/screen.h"

namespace vellor {

void ProcessReceivedBytes(AppState& state, std::span<const uint8_t> chunk) {
    // Every input byte can become two (CR LF), so the output of one slice fits twice its size.
    std::array<uint8_t, 2 * kReceiveSlice> out;
    while (!chunk.empty()) {
        const std::span<const uint8_t> slice = chunk.first(std::min(chunk.size(), kReceiveSlice));
        chunk = chunk.subspan(slice.size());

        // The options are read once per slice: a change made meanwhile applies from the next one.
        const uint8_t mask = state.rxBit7.load() != 0 ? 0x7F : 0xFF;
        const bool crLf = state.rxCrLf.load() != 0;
        const bool capture = state.rxCapture.load() != 0;

        std::span<const uint8_t> shown = slice;  // with both options off the bytes pass as they are
        if (mask != 0xFF || crLf) {
            std::size_t n = 0;
            for (uint8_t b : slice) {
                b &= mask;
                out[n++] = b;
                if (b == kCR && crLf) out[n++] = kLF;
            }
            shown = std::span<const uint8_t>(out.data(), n);
        }
        // The capture file gets exactly the bytes the screen is given, in the same order.
        if (capture) state.captureFile.Append(shown);
        PutBytes(state, shown);
    }
}

}  // namespace vellor
