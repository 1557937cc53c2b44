#pragma once

// The selection: a stream of cells of the screen buffer, from one boundary between cells to
// another in reading order, as a desktop terminal selects with the mouse. A press begins it by
// the cell boundary, the word or the row under the pointer (single, double, triple click); a drag
// or a Shift+click extends it from what that press covered.
//
// It lives in AppState under the screen lock, in buffer positions, so it stays on its text while
// the view scrolls. When new data scrolls the buffer up, the selection moves up with its text,
// as in a desktop terminal; once its first row leaves the buffer it is dropped, since only part of
// its text is left. Clearing or reallocating the screen drops it.
//
// Every change records damage for just the cells whose look changed. The first cells selected
// repaint the whole view instead, and so does a scroll of the buffer under a selection: the view
// may still show rows the buffer has since moved (it does not follow data arriving while the
// cursor is out of view), and the highlight must lie on the text that is shown and copied.

#include <compare>
#include <cstdint>
#include <string>

namespace vellor {

struct AppState;
class Host;

// The boundary before cell (row, col), in reading order; col may be the column count, the end of
// its row.
struct CellPoint {
    uint16_t row = 0;
    uint16_t col = 0;
    auto operator<=>(const CellPoint&) const = default;
};

// The cells from start up to, not including, end.
struct CellRange {
    CellPoint start;
    CellPoint end;
    bool Empty() const { return !(start < end); }
    bool operator==(const CellRange&) const = default;
};

// What one press selects, and the steps a drag from it extends by.
enum class SelectionUnit : uint8_t { Cell, Word, Row };

struct Selection {
    CellRange cells;
    CellRange anchor;  // what the press that began it covered
    SelectionUnit unit = SelectionUnit::Cell;
    bool anchored = false;  // a press began one; a plain click leaves it empty but anchored
    bool Empty() const { return !anchored || cells.Empty(); }
    bool operator==(const Selection&) const = default;
};

// The columns [from, to) of a row that are selected; from >= to when none.
struct ColumnSpan {
    uint16_t from = 0;
    uint16_t to = 0;
    bool Empty() const { return from >= to; }
};
ColumnSpan SelectedColumns(const Selection& selection, uint16_t row, uint16_t numCols);

// Mouse operations at a point in view client pixels. Each takes the screen lock and returns
// whether the selected cells changed. Extending without an anchor begins a cell selection.
bool BeginSelection(AppState& state, int x, int y, SelectionUnit unit);
bool ExtendSelection(AppState& state, int x, int y);
// Every cell of the buffer.
bool SelectAll(AppState& state);
// Exactly these cells (a match that was found).
bool SelectCells(AppState& state, CellRange cells);

// The buffer has scrolled up one row: the selection follows its text or is dropped. The caller
// holds the lock.
void SelectionScrolledUp(AppState& state);

bool HasSelection(const AppState& state);
// The selected text in UTF-8, as the view shows it: each row's part ends at the row's last
// non-blank cell, rows are joined by "\n", trailing empty rows are left out. "" when nothing is
// selected. Takes the lock.
std::string SelectedText(const AppState& state);
// Puts the selected text on the PRIMARY selection, where middle clicks paste it; nothing when
// nothing is selected. UI thread.
void PublishSelection(const AppState& state, Host& host);

}  // namespace vellor
