#pragma once

#include <cstdint>
#include <memory>

namespace vellor {

// numRows x numCols cells of 16 bits in one block, each row's cells contiguous and in column
// order. Rows form a ring inside the block so that scrolling up one row costs one row, not the
// whole block: logical row r lives at physical row (firstRow + r) mod numRows.
class ScreenBuffer {
  public:
    static constexpr uint16_t kBlank = 0x0020;
    static constexpr uint16_t kMarked = 0x1000;
    // Refuse blocks larger than this; a stored or typed size beyond it is treated as a failed
    // allocation rather than a gamble on the allocator.
    static constexpr std::size_t kMaxBytes = std::size_t(1) << 30;

    // Zero-filled block, or null when the size is 0 in either direction, too large, or the memory
    // cannot be had.
    static std::unique_ptr<ScreenBuffer> Allocate(uint16_t rows, uint16_t cols);

    uint16_t Rows() const { return rows_; }
    uint16_t Cols() const { return cols_; }

    uint16_t* Row(uint16_t r) { return cells_.get() + std::size_t(Physical(r)) * cols_; }
    const uint16_t* Row(uint16_t r) const {
        return cells_.get() + std::size_t(Physical(r)) * cols_;
    }
    uint16_t At(uint16_t r, uint16_t c) const { return Row(r)[c]; }

    // Drops row 0, moves every row up one and blanks the new last row.
    void ScrollUp();
    void Fill(uint16_t value);

  private:
    ScreenBuffer(uint16_t rows, uint16_t cols, std::unique_ptr<uint16_t[]> cells,
                 std::unique_ptr<uint16_t[]> blankRow)
        : rows_(rows), cols_(cols), cells_(std::move(cells)), blankRow_(std::move(blankRow)) {}
    uint32_t Physical(uint16_t r) const {
        uint32_t p = firstRow_ + r;
        return p >= rows_ ? p - rows_ : p;
    }

    uint16_t rows_;
    uint16_t cols_;
    uint32_t firstRow_ = 0;
    std::unique_ptr<uint16_t[]> cells_;
    // One row of blanks, copied over the row a scroll recycles: a block copy beats a fill loop.
    std::unique_ptr<uint16_t[]> blankRow_;
};

}  // namespace vellor
