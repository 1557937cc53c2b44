#include "screen/screen_buffer.h"

#include <algorithm>
#include <new>

namespace vellor {

std::unique_ptr<ScreenBuffer> ScreenBuffer::Allocate(uint16_t rows, uint16_t cols) {
    const std::size_t bytes = std::size_t(rows) * cols * sizeof(uint16_t);
    if (bytes == 0 || bytes > kMaxBytes) return nullptr;
    std::unique_ptr<uint16_t[]> cells(new (std::nothrow) uint16_t[std::size_t(rows) * cols]());
    if (!cells) return nullptr;
    return std::unique_ptr<ScreenBuffer>(new ScreenBuffer(rows, cols, std::move(cells)));
}

void ScreenBuffer::ScrollUp() {
    uint16_t* old = Row(0);
    std::fill(old, old + cols_, kBlank);
    firstRow_ = firstRow_ + 1 == rows_ ? 0 : firstRow_ + 1;
}

void ScreenBuffer::Fill(uint16_t value) {
    std::fill(cells_.get(), cells_.get() + std::size_t(rows_) * cols_, value);
    firstRow_ = 0;
}

}  // namespace vellor
