#pragma once

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/screen.h"

namespace vellor {

// A rows x cols buffer seen through a typical window of 40 x 100 cells that follows the cursor,
// as it does while data streams in.
inline void PrepareScreen(AppState& state, DisplayMode mode, uint16_t rows, uint16_t cols) {
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = rows;
        state.numCols = cols;
        state.visibleRows = 40;
        state.visibleCols = 100;
        state.cellWidth = 8;
        state.cellHeight = 17;
        state.displayMode = mode;
    }
    NoWindowHost host;
    if (AllocateScreen(state, host) != 0) std::abort();
}

// Console text: `lines` 80-column lines of varying printable characters, each ended by CR LF.
inline std::vector<uint8_t> ConsoleLines(std::size_t lines) {
    std::vector<uint8_t> bytes;
    bytes.reserve(lines * 82);
    uint32_t seed = 1;
    for (std::size_t line = 0; line < lines; ++line) {
        for (int c = 0; c < 80; ++c) {
            seed = seed * 1103515245u + 12345u;
            bytes.push_back(uint8_t(0x20 + (seed >> 16) % 95));
        }
        bytes.push_back('\r');
        bytes.push_back('\n');
    }
    return bytes;
}

}  // namespace vellor
