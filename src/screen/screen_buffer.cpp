#include "screen/screen_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vellor {

std::unique_ptr<ScreenBuffer> ScreenBuffer::Allocate(uint16_t rows, uint16_t cols) {
    const std::size_t bytes = std::size_t(rows) * cols * sizeof(uint16_t);
    if (bytes == 0 || bytes > kMaxBytes) return nullptr;
    std::unique_ptr<uint16_t[]> cells(new (std::nothrow) uint16_t[std::size_t(rows) * cols]());
    std::unique_ptr<uint16_t[]> blankRow(new (std::nothrow) uint16_t[cols]);
    if (!cells || !blankRow) return nullptr;
    std::fill(blankRow.get(), blankRow.get() + cols, kBlank);
    return std::unique_ptr<ScreenBuffer>(
        new ScreenBuffer(rows, cols, std::move(cells), std::move(blankRow)));
}

void ScreenBuffer::ScrollUp() {
    std::memcpy(Row(0), blankRow_.get(), std::size_t(cols_) * sizeof(uint16_t));
    firstRow_ = firstRow_ + 1 == rows_ ? 0 : firstRow_ + 1;
}

void ScreenBuffer::Fill(uint16_t value) {
    std::fill(cells_.get(), cells_.get() + std::size_t(rows_) * cols_, value);
    firstRow_ = 0;
}

}  // namespace vellor
