#pragma once

#include <cstdint>
#include <span>

#include "screen/damage.h"

namespace vellor {

struct AppState;
class Host;

// Hexadecimal digit for 0-15, upper case.
constexpr uint16_t HexDigit(unsigned v) {
    return uint16_t(v < 10 ? '0' + v : 'A' + v - 10);
}

// Shows one byte by the display mode, as a received byte would be shown. Takes the screen lock.
void PutByte(AppState& state, uint8_t byte);

// Shows a run of bytes in order under one hold of the screen lock; the same result as PutByte on
// each of them.
void PutBytes(AppState& state, std::span<const uint8_t> bytes);

// The interpreter for one cell. The caller holds the screen lock.
void PutChar(AppState& state, uint16_t cell);
// PutByte with the screen lock already held.
void PutByteLocked(AppState& state, uint8_t byte);

// Blanks every cell, homes cursor and view and asks for an immediate repaint. Takes the lock.
void ClearScreen(AppState& state);
void ClearScreenLocked(AppState& state);

// Replaces the buffer with a cleared one of numRows x numCols. On failure (no memory, a zero size,
// or a size beyond ScreenBuffer::kMaxBytes) shows "AllocMem Failed" and returns -1 with no
// buffer left. Takes the lock, but never holds it while the message is shown.
int AllocateScreen(AppState& state, Host& host);

// numRows, numCols := visibleRows, visibleCols. Does not allocate. Takes the lock.
void FitBufferToView(AppState& state);

// The cursor lies in the whole rows and columns of the view. The caller holds the lock.
bool CursorInView(const AppState& state);
// The cursor cell in view client pixels. The caller holds the lock.
PixelRect CursorCellRect(const AppState& state);

// Records damage and tells the observer when it is the first since the view last took it. The
// caller holds the lock.
void InvalidateRect(AppState& state, const PixelRect& rect);
void InvalidateWholeView(AppState& state);

// Hands the recorded damage to the view and starts a new record. Takes the lock.
Damage TakeDamage(AppState& state);

}  // namespace vellor
