#include "screen/screen.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/host.h"
#include "base/control_bytes.h"
#include "base/system_reason.h"
#include "screen/selection.h"
#include "screen/viewport.h"

namespace vellor {

namespace {

// The buffer the interpreter may write, or null. A size changed but not yet reallocated would
// let the cursor run past the block, so such a buffer is treated as absent.
ScreenBuffer* WritableBuffer(AppState& s) {
    ScreenBuffer* buf = s.screenBuffer.get();
    if (buf == nullptr || buf->Rows() != s.numRows || buf->Cols() != s.numCols) return nullptr;
    return buf;
}

void Store(AppState& s, ScreenBuffer& buf, uint16_t cell) {
    buf.Row(s.cursorRow)[s.cursorCol] = cell;
    ++s.cursorCol;
}

// Final byte of ESC "[" x: the four cursor moves, which never wrap or scroll.
void MoveCursor(AppState& s, uint16_t c) {
    switch (c) {
        case 'A':
            if (s.cursorRow > 0) --s.cursorRow;
            break;
        case 'B':
            if (++s.cursorRow == s.numRows) s.cursorRow = s.numRows - 1;
            break;
        case 'C':
            if (++s.cursorCol == s.numCols) s.cursorCol = s.numCols - 1;
            break;
        case 'D':
            if (s.cursorCol > 0) --s.cursorCol;
            break;
        default:
            break;
    }
}

// Text mode, no sequence pending. BS moves R along with the cursor.
void Interpret(AppState& s, ScreenBuffer& buf, uint16_t c, PixelRect& r) {
    switch (c) {
        case kBS:
            if (s.cursorCol > 0) {
                --s.cursorCol;
                buf.Row(s.cursorRow)[s.cursorCol] = ScreenBuffer::kBlank;
                r.left -= s.cellWidth;
                r.right -= s.cellWidth;
            }
            break;
        case kLF:
            ++s.cursorRow;
            break;
        case kCR:
            s.cursorCol = 0;
            break;
        case kESC:
            s.escapeState = EscapeState::AfterEsc;
            break;
        default:
            Store(s, buf, c < 0x20 ? ScreenBuffer::kBlank : c);
            break;
    }
}

void Notify(AppState& s, bool wasEmpty) {
    if (wasEmpty && s.screenObserver != nullptr) s.screenObserver->DamageAdded();
}

}  // namespace

bool CursorInView(const AppState& s) {
    return s.topRow <= s.cursorRow && int(s.cursorRow) < int(s.topRow) + int(s.visibleRows) &&
           s.leftCol <= s.cursorCol && int(s.cursorCol) < int(s.leftCol) + int(s.visibleCols);
}

PixelRect CursorCellRect(const AppState& s) {
    const int left = (int(s.cursorCol) - int(s.leftCol)) * int(s.cellWidth);
    const int top = (int(s.cursorRow) - int(s.topRow)) * int(s.cellHeight);
    return {left, top, left + int(s.cellWidth), top + int(s.cellHeight)};
}

void InvalidateRect(AppState& s, const PixelRect& rect) {
    const bool wasEmpty = s.damage.Empty();
    s.damage.AddRect(rect);
    Notify(s, wasEmpty);
}

void InvalidateWholeView(AppState& s) {
    const bool wasEmpty = s.damage.Empty();
    s.damage.AddWholeView();
    Notify(s, wasEmpty);
}

Damage TakeDamage(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    Damage taken = std::move(s.damage);
    s.damage = Damage{};
    return taken;
}

void PutChar(AppState& s, uint16_t c) {
    ScreenBuffer* buf = WritableBuffer(s);
    if (buf == nullptr) return;
    const bool wasInView = CursorInView(s);
    PixelRect r = CursorCellRect(s);

    if (s.displayMode != DisplayMode::Text) {
        Store(s, *buf, c);
    } else if (s.escapeState == EscapeState::AfterEsc) {
        if (c == kBracket) {
            s.escapeState = EscapeState::AfterBracket;
        } else {
            s.escapeState = EscapeState::Normal;  // the ESC leaves no trace; c is ordinary
            Interpret(s, *buf, c, r);
        }
    } else if (s.escapeState == EscapeState::AfterBracket) {
        s.escapeState = EscapeState::Normal;
        MoveCursor(s, c);
    } else {
        s.escapeState = EscapeState::Normal;
        Interpret(s, *buf, c, r);
    }

    // Wrap before anything else looks at the cursor, so it never rests past the last column.
    if (s.cursorCol == s.numCols) {
        s.cursorCol = 0;
        ++s.cursorRow;
    }
    if (s.cursorRow == s.numRows) {
        buf->ScrollUp();
        if (s.selection.anchored) SelectionScrolledUp(s);
        s.cursorRow = s.numRows - 1;
        if (wasInView) InvalidateWholeView(s);
    }
    if (wasInView && !CursorInView(s)) {
        EnsureCursorVisible(s);
        InvalidateWholeView(s);
    }
    InvalidateRect(s, r);
}

void PutByteLocked(AppState& s, uint8_t b) {
    switch (s.displayMode) {
        case DisplayMode::Text:
            PutChar(s, b);
            break;
        case DisplayMode::Hex:
            PutChar(s, HexDigit(b >> 4));
            PutChar(s, HexDigit(b & 0x0F));
            PutChar(s, ScreenBuffer::kBlank);
            break;
        case DisplayMode::HexChar:
            PutChar(s, HexDigit(b >> 4));
            PutChar(s, HexDigit(b & 0x0F));
            PutChar(s, b > 0x20 ? uint16_t(ScreenBuffer::kMarked + b) : ScreenBuffer::kBlank);
            PutChar(s, ScreenBuffer::kBlank);
            break;
        default:
            break;  // an unknown stored mode shows nothing
    }
}

void PutByte(AppState& s, uint8_t b) {
    std::lock_guard lock(s.screenMutex);
    PutByteLocked(s, b);
}

namespace {

// Cells per byte in the two hexadecimal modes.
int CellsPerByte(DisplayMode mode) {
    return mode == DisplayMode::Hex ? 3 : 4;
}

// How many bytes from the front of `bytes` can be stored along the cursor row without reaching
// its last column, so that no cell of the run wraps, scrolls or is special. 0 when the next byte
// must go through the interpreter.
std::size_t RunLength(const AppState& s, std::span<const uint8_t> bytes) {
    const int room = int(s.numCols) - 1 - int(s.cursorCol);
    if (room <= 0) return 0;
    if (s.displayMode == DisplayMode::Text) {
        // Any state but Normal goes through the interpreter, which also resets odd stored values.
        if (s.escapeState != EscapeState::Normal) return 0;
        const std::size_t limit = std::min<std::size_t>(bytes.size(), std::size_t(room));
        std::size_t k = 0;
        while (k < limit && bytes[k] >= 0x20)
            ++k;
        return k;
    }
    if (s.displayMode == DisplayMode::Hex || s.displayMode == DisplayMode::HexChar) {
        return std::min<std::size_t>(bytes.size(), std::size_t(room / CellsPerByte(s.displayMode)));
    }
    return 0;
}

// Stores a run found by RunLength. Within one row the cursor only moves right, so the outcome of
// going cell by cell is: the old cursor cells form one rectangle, and the view follows (to where
// following cell by cell would leave it) exactly when the cursor crossed the view's right edge
// from a column inside or left of it.
void PutRun(AppState& s, ScreenBuffer& buf, std::span<const uint8_t> run) {
    const int startCol = s.cursorCol;
    PixelRect r = CursorCellRect(s);
    uint16_t* const rowStart = buf.Row(s.cursorRow);
    uint16_t* cell = rowStart + startCol;
    if (s.displayMode == DisplayMode::Text) {
        for (uint8_t b : run)
            *cell++ = b;
    } else {
        const bool withChar = s.displayMode == DisplayMode::HexChar;
        for (uint8_t b : run) {
            *cell++ = HexDigit(b >> 4);
            *cell++ = HexDigit(b & 0x0F);
            if (withChar) {
                *cell++ = b > 0x20 ? uint16_t(ScreenBuffer::kMarked + b) : ScreenBuffer::kBlank;
            }
            *cell++ = ScreenBuffer::kBlank;
        }
    }
    const int endCol = int(cell - rowStart);
    s.cursorCol = uint16_t(endCol);
    r.right += (endCol - startCol - 1) * int(s.cellWidth);

    const bool rowInView =
        s.topRow <= s.cursorRow && int(s.cursorRow) < int(s.topRow) + int(s.visibleRows);
    const int viewEnd = int(s.leftCol) + int(s.visibleCols);  // first column past the view
    if (rowInView && s.visibleCols > 0 && startCol < viewEnd && endCol >= viewEnd) {
        EnsureCursorVisible(s);
        InvalidateWholeView(s);
    }
    InvalidateRect(s, r);
}

}  // namespace

void PutBytes(AppState& s, std::span<const uint8_t> bytes) {
    std::lock_guard lock(s.screenMutex);
    while (!bytes.empty()) {
        ScreenBuffer* buf = WritableBuffer(s);
        const std::size_t run = buf ? RunLength(s, bytes) : 0;
        if (run > 0) {
            PutRun(s, *buf, bytes.first(run));
            bytes = bytes.subspan(run);
        } else {
            PutByteLocked(s, bytes.front());
            bytes = bytes.subspan(1);
        }
    }
}

void ClearScreenLocked(AppState& s) {
    if (s.screenBuffer) s.screenBuffer->Fill(ScreenBuffer::kBlank);
    s.topRow = 0;
    s.leftCol = 0;
    s.cursorRow = 0;
    s.cursorCol = 0;
    s.selection = Selection{};  // its text is gone
    const bool wasEmpty = s.damage.Empty();
    s.damage.AddWholeView();
    s.damage.RequestImmediateRepaint();
    Notify(s, wasEmpty);
}

void ClearScreen(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    ClearScreenLocked(s);
}

int AllocateScreen(AppState& s, Host& host) {
    {
        std::lock_guard lock(s.screenMutex);
        s.screenBuffer.reset();  // give the old block back before asking for the new one
        s.selection = Selection{};
        s.screenBuffer = ScreenBuffer::Allocate(s.numRows, s.numCols);
        if (s.screenBuffer) {
            ClearScreenLocked(s);
            return 0;
        }
    }
    // Shown without the lock: the box runs an event loop in which the view paints.
    host.ShowMessage(MessageOwner::MainWindow, "AllocMem Failed", kErrorCaption);
    return -1;
}

void FitBufferToView(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    s.numRows = s.visibleRows;
    s.numCols = s.visibleCols;
}

}  // namespace vellor
