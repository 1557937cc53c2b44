// Feeds arbitrary bytes through the screen interpreter with random sizes, modes and views,
// interleaving clears, reallocations, mode switches, scrolls and re-measuring. Checks that the
// cursor never leaves the buffer and that storing whole runs (PutBytes) gives exactly what the
// cell-by-cell interpreter (PutByte) gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/screen.h"
#include "screen/viewport.h"

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

void CheckSame(const vellor::AppState& a, const vellor::AppState& b) {
    Require(a.cursorRow == b.cursorRow && a.cursorCol == b.cursorCol);
    Require(a.topRow == b.topRow && a.leftCol == b.leftCol && a.escapeState == b.escapeState);
    Require(bool(a.screenBuffer) == bool(b.screenBuffer));
    if (!a.screenBuffer) return;
    Require(a.cursorRow < a.numRows && a.cursorCol < a.numCols);
    for (uint16_t r = 0; r < a.numRows; ++r) {
        for (uint16_t c = 0; c < a.numCols; ++c) {
            Require(a.screenBuffer->At(r, c) == b.screenBuffer->At(r, c));
        }
    }
}

// Applies one UI-thread action to a state.
void Act(vellor::AppState& s, vellor::Host& host, uint8_t action) {
    switch (action % 6) {
        case 0:
            vellor::ClearScreen(s);
            break;
        case 1:
            s.numRows = uint16_t(action % 30);
            s.numCols = uint16_t((action * 7) % 70);
            if (vellor::AllocateScreen(s, host) != 0) {
                vellor::FitBufferToView(s);
                vellor::AllocateScreen(s, host);
            }
            break;
        case 2:
            s.displayMode = vellor::DisplayMode(action % 3);
            s.escapeState = vellor::EscapeState::Normal;
            break;
        case 3:
            vellor::HandleScroll(s, vellor::ScrollBar::Vertical, action % 9, action);
            break;
        case 4:
            vellor::HandleScroll(s, vellor::ScrollBar::Horizontal, action % 9, action);
            break;
        default:
            vellor::RecomputeViewMetrics(s, {7, 13}, {uint16_t(action * 5), uint16_t(action * 3)});
            break;
    }
    vellor::TakeDamage(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    vellor::NoWindowHost host;
    vellor::AppState runs;
    vellor::AppState cells;
    for (vellor::AppState* s : {&runs, &cells}) {
        s->numRows = uint16_t(data[0] % 40);  // 0 rows or columns must be refused cleanly
        s->numCols = uint16_t(data[1] % 90);
        s->displayMode =
            vellor::DisplayMode(int8_t(data[2]) % 4);  // stored values outside the enum too
        s->visibleRows = uint16_t(data[3] % 50);
        s->visibleCols = uint16_t(data[4] % 100);
        s->cellWidth = 7;
        s->cellHeight = 13;
        vellor::AllocateScreen(*s, host);
    }
    std::span<const uint8_t> rest(data + 5, size - 5);
    while (!rest.empty()) {
        // A 0xF5 byte followed by an action byte stands for an operation of the UI thread.
        std::size_t n = 0;
        while (n < rest.size() && rest[n] != 0xF5)
            ++n;
        vellor::PutBytes(runs, rest.first(n));
        for (uint8_t b : rest.first(n))
            vellor::PutByte(cells, b);
        CheckSame(runs, cells);
        rest = rest.subspan(n);
        if (rest.size() < 2) break;
        Act(runs, host, rest[1]);
        Act(cells, host, rest[1]);
        CheckSame(runs, cells);
        rest = rest.subspan(2);
    }
    return 0;
}
