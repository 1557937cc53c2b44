#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "screen/screen.h"
#include "support/fake_host.h"

namespace vellor::testing {

// A fresh rows x cols screen of 8 x 16 pixel cells, viewed whole or through the given cells.
inline std::unique_ptr<AppState> MakeScreen(uint16_t rows, uint16_t cols,
                                            DisplayMode mode = DisplayMode::Text,
                                            uint16_t visibleRows = 0, uint16_t visibleCols = 0) {
    auto s = std::make_unique<AppState>();
    s->numRows = rows;
    s->numCols = cols;
    s->displayMode = mode;
    s->visibleRows = visibleRows ? visibleRows : rows;
    s->visibleCols = visibleCols ? visibleCols : cols;
    s->cellWidth = 8;
    s->cellHeight = 16;
    FakeHost host;
    if (AllocateScreen(*s, host) != 0) return nullptr;
    TakeDamage(*s);
    return s;
}

// Rows without trailing blanks, joined by '|'; cells as Latin-1, a marked one as '*' and it.
inline std::string ScreenText(const AppState& s) {
    std::lock_guard lock(s.screenMutex);
    std::string out;
    for (uint16_t r = 0; r < s.numRows; ++r) {
        std::string row;
        for (uint16_t c = 0; c < s.numCols; ++c) {
            const uint16_t cell = s.screenBuffer->At(r, c);
            if (cell >= ScreenBuffer::kMarked) row += '*';
            row += char(cell & 0xFF);
        }
        row.erase(row.find_last_not_of(' ') + 1);
        out += (r ? "|" : "") + row;
    }
    return out;
}

inline void Feed(AppState& s, std::string_view bytes) {
    PutBytes(s, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace vellor::testing
