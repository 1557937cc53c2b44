#pragma once

#include <cstdint>
#include <optional>

#include "screen/selection.h"

namespace vellor {

struct AppState;

// A measured cell (the view font's height and character advance) and a client area, in pixels.
struct CellSize {
    uint16_t width = 0;
    uint16_t height = 0;
};
struct ClientSize {
    uint16_t width = 0;
    uint16_t height = 0;
};

// One scroll bar's set-up for the view to apply.
struct ScrollBarSetup {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
    // Show the bar disabled rather than hiding it when the range fits in the page.
    bool disableNoScroll = false;
    // Whether there is anywhere to scroll to: the last page start lies beyond min.
    bool Enabled() const { return max - min - (page > 0 ? page - 1 : 0) > 0; }
    // A bar without disableNoScroll disappears while there is nowhere to scroll to.
    bool Visible() const { return disableNoScroll || Enabled(); }
    bool operator==(const ScrollBarSetup&) const = default;
};
struct ScrollBars {
    ScrollBarSetup vertical;
    ScrollBarSetup horizontal;
    bool operator==(const ScrollBars&) const = default;
};

enum class ScrollBar { Vertical, Horizontal };

// Scroll codes of the view's two bars.
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kTop = 6,
    kBottom = 7,
    kEndScroll = 8,
};

// Moves topRow (leftCol) by delta, limited to the buffer; repaints the whole view and marks the
// bar position changed only when the offset changes. The caller holds the screen lock.
void ScrollRows(AppState& state, int delta);
void ScrollColumns(AppState& state, int delta);

// Moves the view by the least amount that brings the cursor into it. The caller holds the lock.
void EnsureCursorVisible(AppState& state);
// Moves the view by the least amount that brings the cells from `first` to `last` (both included,
// in reading order) into it; when they do not fit, their start is shown. The caller holds the
// lock.
void EnsureCellsVisible(AppState& state, CellPoint first, CellPoint last);

// Start-up measuring: visible rows and columns from the cell and client sizes. Takes the lock.
void InitViewMetrics(AppState& state, CellSize cell, ClientSize client);
// Resize and zoom measuring: the same, then re-anchors a cursor that was on a row that no longer
// fits and clamps topRow to the buffer. Takes the lock.
void RecomputeViewMetrics(AppState& state, CellSize cell, ClientSize client);

// The bars as they should be shown now. Takes the lock.
ScrollBars UpdateScrollBars(const AppState& state);
// The bars before the screen exists.
ScrollBars ResetScrollBars();

// The delta a scroll code asks for, or nothing for codes that are not handled (thumb tracking,
// end of scroll, unknown). The caller holds the lock.
std::optional<int> ScrollDelta(const AppState& state, ScrollBar bar, int code, uint16_t thumbPos);
// Applies a scroll-bar action from the view. Takes the lock.
void HandleScroll(AppState& state, ScrollBar bar, int code, uint16_t thumbPos);

}  // namespace vellor
