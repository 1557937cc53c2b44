#include "screen/viewport.h"

#include <algorithm>

#include "app/app_state.h"
#include "screen/screen.h"

namespace vellor {

namespace {

// Moves one offset by delta within [0, count - visible]; returns whether it changed.
bool ScrollOffset(uint16_t& offset, int delta, uint16_t count, uint16_t visible) {
    const int upper = count > visible ? int(count) - int(visible) : 0;
    const int wanted = std::clamp(int(offset) + delta, 0, upper);
    if (wanted == offset) return false;
    offset = uint16_t(wanted);
    return true;
}

void ScrollBy(AppState& s, uint16_t& offset, int delta, uint16_t count, uint16_t visible) {
    if (!ScrollOffset(offset, delta, count, visible)) return;
    InvalidateWholeView(s);
    s.damage.MarkScrollPositionsChanged();
}

void Measure(AppState& s, CellSize cell, ClientSize client) {
    s.cellWidth = cell.width;
    s.cellHeight = cell.height;
    s.visibleRows = cell.height ? uint16_t(client.height / cell.height) : 0;
    s.visibleCols = cell.width ? uint16_t(client.width / cell.width) : 0;
}

}  // namespace

void ScrollRows(AppState& s, int delta) {
    ScrollBy(s, s.topRow, delta, s.numRows, s.visibleRows);
}

void ScrollColumns(AppState& s, int delta) {
    ScrollBy(s, s.leftCol, delta, s.numCols, s.visibleCols);
}

void EnsureCursorVisible(AppState& s) {
    if (CursorInView(s)) return;
    const int row = s.cursorRow;
    const int top = s.topRow;
    if (row < top) {
        ScrollRows(s, row - top);
    } else if (row > top + s.visibleRows - 1) {
        ScrollRows(s, row - top - s.visibleRows + 1);
    }
    const int col = s.cursorCol;
    const int left = s.leftCol;
    if (col < left) {
        ScrollColumns(s, col - left);
    } else if (col > left + s.visibleCols - 1) {
        ScrollColumns(s, col - left - s.visibleCols + 1);
    }
}

void EnsureCellsVisible(AppState& s, CellPoint first, CellPoint last) {
    // The amount that brings [lo, hi] into [offset, offset + visible), or lo when it cannot fit.
    const auto delta = [](int lo, int hi, int offset, int visible) {
        if (lo < offset) return lo - offset;
        if (hi > offset + visible - 1) return std::min(hi - offset - visible + 1, lo - offset);
        return 0;
    };
    if (const int d = delta(first.row, last.row, s.topRow, s.visibleRows)) ScrollRows(s, d);
    // Columns only make sense along one row; across rows the first cell's column is the target.
    const int lastCol = last.row == first.row ? last.col : first.col;
    if (const int d = delta(first.col, lastCol, s.leftCol, s.visibleCols)) ScrollColumns(s, d);
}

void InitViewMetrics(AppState& s, CellSize cell, ClientSize client) {
    std::lock_guard lock(s.screenMutex);
    Measure(s, cell, client);
}

void RecomputeViewMetrics(AppState& s, CellSize cell, ClientSize client) {
    std::lock_guard lock(s.screenMutex);
    const bool wasInView = CursorInView(s);
    Measure(s, cell, client);
    // Keep a visible cursor on the new last row when the view became too short to hold it.
    if (wasInView && int(s.cursorRow) >= int(s.topRow) + int(s.visibleRows)) {
        s.topRow = uint16_t(s.cursorRow - s.visibleRows + 1);
    }
    if (int(s.topRow) + int(s.visibleRows) > int(s.numRows)) {
        s.topRow = s.numRows > s.visibleRows ? uint16_t(s.numRows - s.visibleRows) : 0;
    }
}

ScrollBars UpdateScrollBars(const AppState& s) {
    std::lock_guard lock(s.screenMutex);
    ScrollBars bars;
    bars.vertical = {0, int(s.numRows) - 1, int(s.visibleRows), int(s.topRow),
                     s.numRows <= s.visibleRows};
    bars.horizontal = {0, int(s.numCols) - 1, int(s.visibleCols), int(s.leftCol), false};
    return bars;
}

ScrollBars ResetScrollBars() {
    ScrollBars bars;
    bars.vertical = {0, 0, 0, 0, true};
    bars.horizontal = {0, 0, 0, 0, false};
    return bars;
}

std::optional<int> ScrollDelta(const AppState& s, ScrollBar bar, int code, uint16_t thumbPos) {
    const bool vertical = bar == ScrollBar::Vertical;
    const int visible = vertical ? s.visibleRows : s.visibleCols;
    const int count = vertical ? s.numRows : s.numCols;
    const int offset = vertical ? s.topRow : s.leftCol;
    switch (code) {
        case kLineUp:
            return -1;
        case kLineDown:
            return 1;
        case kPageUp:
            return 1 - visible;
        case kPageDown:
            return visible - 1;
        case kThumbPosition:
            return int(thumbPos) - offset;
        case kTop:
            return -count;
        case kBottom:
            return count;
        default:
            return std::nullopt;  // thumb tracking scrolls only on release
    }
}

void HandleScroll(AppState& s, ScrollBar bar, int code, uint16_t thumbPos) {
    std::lock_guard lock(s.screenMutex);
    const std::optional<int> delta = ScrollDelta(s, bar, code, thumbPos);
    if (!delta) return;
    if (bar == ScrollBar::Vertical) {
        ScrollRows(s, *delta);
    } else {
        ScrollColumns(s, *delta);
    }
}

}  // namespace vellor
