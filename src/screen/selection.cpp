#include "screen/selection.h"

#include <algorithm>
#include <mutex>

#include "app/app_state.h"
#include "app/host.h"
#include "base/unicode.h"
#include "screen/cell_glyph.h"
#include "screen/screen.h"
#include "screen/screen_text.h"

namespace vellor {

namespace {

// The buffer's own size bounds every position, whatever numRows/numCols say mid-change.
struct Extent {
    int rows = 0;
    int cols = 0;
};
Extent BufferExtent(const AppState& s) {
    const ScreenBuffer* buf = s.screenBuffer.get();
    if (buf == nullptr) return {};
    return {std::min<int>(s.numRows, buf->Rows()), std::min<int>(s.numCols, buf->Cols())};
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Double clicks take runs of letters, digits and the marks of paths and addresses, as terminals
// do; a run of blanks is taken whole, any other character alone.
enum class CharClass { Blank, Word, Other };
CharClass ClassOf(char16_t c) {
    if (c == u' ') return CharClass::Blank;
    const bool latinLetter = c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7;
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
        latinLetter ||
        std::u16string_view(u"-#%&+,./=?@\\_~:").find(c) != std::u16string_view::npos)
        return CharClass::Word;
    return CharClass::Other;
}

CellRange WordAt(const ScreenBuffer& buf, int cols, CellPoint cell) {
    const uint16_t* cells = buf.Row(cell.row);
    const CharClass cls = ClassOf(CellGlyph(cells[cell.col]));
    int from = cell.col;
    int to = cell.col + 1;
    if (cls != CharClass::Other) {
        while (from > 0 && ClassOf(CellGlyph(cells[from - 1])) == cls)
            --from;
        while (to < cols && ClassOf(CellGlyph(cells[to])) == cls)
            ++to;
    }
    return {{cell.row, uint16_t(from)}, {cell.row, uint16_t(to)}};
}

// What a press of `unit` at a point covers: the nearest boundary between cells, or the word or
// the row under the pointer. Above the buffer means its start, below it its end. The caller has
// checked that a buffer exists.
CellRange UnitAt(const AppState& s, Extent e, int x, int y, SelectionUnit unit) {
    const int cw = std::max<int>(1, s.cellWidth);
    const int ch = std::max<int>(1, s.cellHeight);
    const int row = FloorDiv(y, ch) + s.topRow;
    if (row < 0 || row >= e.rows) {
        const CellPoint p =
            row < 0 ? CellPoint{} : CellPoint{uint16_t(e.rows - 1), uint16_t(e.cols)};
        return {p, p};
    }
    const int xInRow = x + s.leftCol * cw;
    if (unit == SelectionUnit::Cell) {
        const int col = std::clamp(FloorDiv(xInRow + cw / 2, cw), 0, e.cols);
        const CellPoint p{uint16_t(row), uint16_t(col)};
        return {p, p};
    }
    if (unit == SelectionUnit::Row) return {{uint16_t(row), 0}, {uint16_t(row), uint16_t(e.cols)}};
    const int col = std::clamp(FloorDiv(xInRow, cw), 0, e.cols - 1);
    return WordAt(*s.screenBuffer, e.cols, {uint16_t(row), uint16_t(col)});
}

// View pixels of the cells from a to b in reading order: the rest of a's row, the whole rows
// between, the start of b's row.
void DamageCells(AppState& s, CellPoint a, CellPoint b, int cols) {
    if (!(a < b)) return;
    const int cw = s.cellWidth;
    const int ch = s.cellHeight;
    const auto rect = [&](int row0, int row1, int col0, int col1) {
        if (col0 >= col1 || row0 > row1) return;
        InvalidateRect(s, {(col0 - s.leftCol) * cw, (row0 - s.topRow) * ch, (col1 - s.leftCol) * cw,
                           (row1 + 1 - s.topRow) * ch});
    };
    if (a.row == b.row) {
        rect(a.row, a.row, a.col, b.col);
        return;
    }
    rect(a.row, a.row, a.col, cols);
    rect(a.row + 1, b.row - 1, 0, cols);
    rect(b.row, b.row, 0, b.col);
}

// Stores the new selection and repaints what it changes. Returns whether the cells changed.
bool Replace(AppState& s, const Selection& next, int cols) {
    const Selection old = s.selection;
    s.selection = next;
    const bool wasShown = !old.Empty();
    const bool shown = !next.Empty();
    if (!wasShown && !shown) return false;
    if (!wasShown) {
        InvalidateWholeView(s);
        return true;
    }
    if (!shown) {
        DamageCells(s, old.cells.start, old.cells.end, cols);
        return true;
    }
    const CellRange& a = old.cells;
    const CellRange& b = next.cells;
    if (a == b) return false;
    DamageCells(s, std::min(a.start, b.start), std::max(a.start, b.start), cols);
    DamageCells(s, std::min(a.end, b.end), std::max(a.end, b.end), cols);
    return true;
}

}  // namespace

ColumnSpan SelectedColumns(const Selection& sel, uint16_t row, uint16_t numCols) {
    if (sel.Empty() || row < sel.cells.start.row || row > sel.cells.end.row) return {};
    return {row == sel.cells.start.row ? sel.cells.start.col : uint16_t(0),
            row == sel.cells.end.row ? sel.cells.end.col : numCols};
}

bool BeginSelection(AppState& s, int x, int y, SelectionUnit unit) {
    std::lock_guard lock(s.screenMutex);
    const Extent e = BufferExtent(s);
    if (e.rows == 0 || e.cols == 0) return false;
    Selection next;
    next.anchor = UnitAt(s, e, x, y, unit);
    next.cells = next.anchor;
    next.unit = unit;
    next.anchored = true;
    return Replace(s, next, e.cols);
}

bool ExtendSelection(AppState& s, int x, int y) {
    {
        std::lock_guard lock(s.screenMutex);
        const Extent e = BufferExtent(s);
        if (e.rows == 0 || e.cols == 0) return false;
        if (s.selection.anchored) {
            Selection next = s.selection;
            const CellRange reach = UnitAt(s, e, x, y, next.unit);
            next.cells = {std::min(next.anchor.start, reach.start),
                          std::max(next.anchor.end, reach.end)};
            return Replace(s, next, e.cols);
        }
    }
    return BeginSelection(s, x, y, SelectionUnit::Cell);
}

bool SelectAll(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    const Extent e = BufferExtent(s);
    if (e.rows == 0 || e.cols == 0) return false;
    Selection next;
    next.cells = {{}, {uint16_t(e.rows - 1), uint16_t(e.cols)}};
    next.anchor = next.cells;
    next.anchored = true;
    return Replace(s, next, e.cols);
}

bool SelectCells(AppState& s, CellRange cells) {
    std::lock_guard lock(s.screenMutex);
    const Extent e = BufferExtent(s);
    if (e.rows == 0 || e.cols == 0) return false;
    Selection next;
    next.cells = cells;
    next.anchor = cells;
    next.anchored = true;
    return Replace(s, next, e.cols);
}

void SelectionScrolledUp(AppState& s) {
    Selection& sel = s.selection;
    if (!sel.anchored) return;
    const bool shown = !sel.Empty();
    if (sel.cells.start.row == 0 || sel.anchor.start.row == 0) {
        sel = Selection{};
    } else {
        for (CellPoint* p : {&sel.cells.start, &sel.cells.end, &sel.anchor.start, &sel.anchor.end})
            --p->row;
    }
    if (shown) InvalidateWholeView(s);
}

bool HasSelection(const AppState& s) {
    std::lock_guard lock(s.screenMutex);
    return !s.selection.Empty();
}

std::string SelectedText(const AppState& s) {
    std::lock_guard lock(s.screenMutex);
    if (s.selection.Empty() || !s.screenBuffer) return {};
    // Glyphs are single UTF-16 units outside the surrogates, so the conversion cannot fail.
    return Utf16ToUtf8(RangeText(*s.screenBuffer, s.selection.cells)).value_or(std::string());
}

void PublishSelection(const AppState& s, Host& host) {
    if (!HasSelection(s)) return;
    host.SetClipboardText(ClipboardKind::Selection, SelectedText(s));
}

}  // namespace vellor
