#pragma once

#include <cstdint>

namespace vellor {

// A Hex + Char cell that carries its character in the low byte, drawn alone in red.
constexpr bool IsMarkedCell(uint16_t cell) {
    return (cell & 0xFF00) == 0x1000;
}

// Shown for cells whose character has no visible glyph of one cell's width, so that every cell
// covers exactly its own place on the grid.
constexpr char16_t kNoGlyph = u'\u25A1';

// The character the view draws for a cell, and so the one a copy gives: a marked cell shows its
// low byte; control characters, DEL and the C1 range show a box; the soft hyphen, which a text
// run would give no width, shows as a hyphen.
constexpr char16_t CellGlyph(uint16_t cell) {
    const uint16_t c = IsMarkedCell(cell) ? uint16_t(cell & 0xFF) : cell;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return kNoGlyph;
    if (c == 0xAD) return u'-';
    if (c > 0xFF) return kNoGlyph;
    return char16_t(c);
}

}  // namespace vellor
