#pragma once

#include <string>

#include "screen/selection.h"

namespace vellor {

class ScreenBuffer;

// What copying takes from the buffer, character for character as the view draws the cells.

// The glyphs of a row up to its last non-blank cell.
std::u16string RowText(const ScreenBuffer& buffer, uint16_t row);

// The text of the cells in `range`: each row's part ends at the row's last non-blank cell, rows
// are joined by "\n", and rows left empty at the end are left out. Points beyond the buffer are
// taken as its end.
std::u16string RangeText(const ScreenBuffer& buffer, CellRange range);

}  // namespace vellor
