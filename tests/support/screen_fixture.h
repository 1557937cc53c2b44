#pragma once

#include <memory>
#include <string>

#include "app/app_state.h"
#include "screen/screen.h"
#include "support/recording_platform.h"

namespace vellor::testing {

// A fresh state with an allocated screen and a view of the given whole cells, 8 x 16 pixel cells.
inline std::unique_ptr<AppState> MakeScreen(uint16_t rows, uint16_t cols, int mode = 0,
                                            uint16_t visibleRows = 0, uint16_t visibleCols = 0) {
    auto s = std::make_unique<AppState>();
    s->numRows = rows;
    s->numCols = cols;
    s->displayMode = mode;
    s->visibleRows = visibleRows ? visibleRows : rows;
    s->visibleCols = visibleCols ? visibleCols : cols;
    s->cellWidth = 8;
    s->cellHeight = 16;
    RecordingPlatform platform;
    if (AllocateScreen(*s, platform) != 0) return nullptr;
    TakeDamage(*s);
    return s;
}

// Row r as text: cells below 0x100 as Latin-1 characters, marked cells as '*' + character.
inline std::string RowText(const AppState& s, uint16_t r) {
    std::string out;
    for (uint16_t c = 0; c < s.numCols; ++c) {
        const uint16_t cell = s.screenBuffer->At(r, c);
        if (cell >= ScreenBuffer::kMarked) {
            out += '*';
            out += char(cell & 0xFF);
        } else {
            out += char(cell);
        }
    }
    return out;
}

// The rows with trailing blanks removed, joined by '|'.
inline std::string ScreenText(const AppState& s) {
    std::string out;
    for (uint16_t r = 0; r < s.numRows; ++r) {
        std::string row = RowText(s, r);
        row.erase(row.find_last_not_of(' ') + 1);
        if (r) out += '|';
        out += row;
    }
    return out;
}

inline void Feed(AppState& s, const std::string& bytes) {
    PutBytes(s, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace vellor::testing
