#pragma once

#include <QChar>
#include <cstdint>

#include "screen/cell_glyph.h"

namespace vellor {

// The character drawn for a cell (see CellGlyph).
constexpr QChar GlyphFor(uint16_t cell) {
    return QChar(CellGlyph(cell));
}

}  // namespace vellor
