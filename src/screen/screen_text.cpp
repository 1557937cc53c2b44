#include "screen/screen_text.h"

#include <algorithm>

#include "screen/cell_glyph.h"
#include "screen/screen_buffer.h"

namespace vellor {

std::u16string RowText(const ScreenBuffer& buffer, uint16_t row) {
    const uint16_t* cells = buffer.Row(row);
    std::size_t length = buffer.Cols();
    while (length > 0 && CellGlyph(cells[length - 1]) == u' ')
        --length;
    std::u16string text(length, u' ');
    std::transform(cells, cells + length, text.begin(), CellGlyph);
    return text;
}

std::u16string RangeText(const ScreenBuffer& buffer, CellRange range) {
    std::u16string text;
    std::size_t kept = 0;  // the text up to the last row part that was not empty
    const int lastRow = std::min<int>(range.end.row, buffer.Rows() - 1);
    for (int r = range.start.row; r <= lastRow; ++r) {
        if (r > range.start.row) text += u'\n';
        const std::u16string row = RowText(buffer, uint16_t(r));
        const std::size_t from = r == range.start.row ? range.start.col : 0;
        const std::size_t to =
            std::min<std::size_t>(r == range.end.row ? range.end.col : buffer.Cols(), row.size());
        if (from >= to) continue;
        text.append(row, from, to - from);
        kept = text.size();
    }
    text.resize(kept);
    return text;
}

}  // namespace vellor
