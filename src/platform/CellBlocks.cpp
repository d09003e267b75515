#include "platform/CellBlocks.h"

#include <algorithm>
#include <new>
#include <utility>

namespace platform {

namespace {
// A few megabytes a block: three huge pages at eight columns.
constexpr std::size_t kBlockTargetBytes = std::size_t(6) << 20;
constexpr int kMostRowsShift = 15;
constexpr int kFirstRowsShift = 6;
}  // namespace

CellBlocks::CellBlocks(int cols) : cols_(std::max(cols, 1)) {
    Layout(static_cast<std::size_t>(cols_));
}

void CellBlocks::Layout(std::size_t stride) {
    stride_ = stride;
    fullShift_ = 0;
    while (fullShift_ < kMostRowsShift &&
           (std::size_t(2) << fullShift_) * stride_ * sizeof(QString) <= kBlockTargetBytes)
        ++fullShift_;
    shift_ = std::min(fullShift_, kFirstRowsShift);
    mask_ = (std::size_t(1) << shift_) - 1;
}

void CellBlocks::GrowFirstBlock() {
    const int shift = shift_ + 1;
    QString* block = Blocks().allocate((std::size_t(1) << shift) * stride_);
    for (int row = 0; row < rows_; ++row) {
        QString* cells = &At(row, 0);
        for (int col = 0; col < cols_; ++col) {
            new (block + std::size_t(row) * stride_ + std::size_t(col))
                QString(std::move(cells[col]));
            cells[col].~QString();
        }
    }
    FreeBlock(blocks_.front());
    blocks_.front() = block;
    first_ = 0;
    shift_ = shift;
    mask_ = (std::size_t(1) << shift_) - 1;
}

CellBlocks::CellBlocks(const CellBlocks& other) : cols_(other.cols_) {
    Layout(static_cast<std::size_t>(cols_));
    AppendRows(other.rows_);
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < cols_; ++col)
            At(row, col) = other.At(row, col);
    }
}

CellBlocks::CellBlocks(CellBlocks&& other) noexcept : cols_(other.cols_) {
    Layout(static_cast<std::size_t>(cols_));
    Swap(other);
}

CellBlocks& CellBlocks::operator=(CellBlocks other) noexcept {
    Swap(other);
    return *this;
}

void CellBlocks::Swap(CellBlocks& other) noexcept {
    std::swap(cols_, other.cols_);
    std::swap(stride_, other.stride_);
    std::swap(shift_, other.shift_);
    std::swap(fullShift_, other.fullShift_);
    std::swap(mask_, other.mask_);
    std::swap(rows_, other.rows_);
    std::swap(first_, other.first_);
    std::swap(blocks_, other.blocks_);
}

CellBlocks::~CellBlocks() {
    for (int row = 0; row < rows_; ++row)
        DestroyRow(row);
    for (QString* block : blocks_)
        FreeBlock(block);
}

// A block of a large table spans megabytes: the allocator asks for huge
// pages behind it, and a small table's first block is an ordinary one.
QString* CellBlocks::NewBlock() {
    return Blocks().allocate((mask_ + 1) * stride_);
}

void CellBlocks::FreeBlock(QString* block) {
    Blocks().deallocate(block, (mask_ + 1) * stride_);
}

void CellBlocks::AppendRows(int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t r = first_ + static_cast<std::size_t>(rows_);
        if ((r >> shift_) >= blocks_.size()) {
            if (blocks_.size() == 1 && shift_ < fullShift_) {
                GrowFirstBlock();
                --i;  // the row's place moved with the block
                continue;
            }
            blocks_.push_back(NewBlock());
        }
        QString* cells = &blocks_[r >> shift_][(r & mask_) * stride_];
        for (int col = 0; col < cols_; ++col)
            new (cells + col) QString();
        ++rows_;
    }
}

void CellBlocks::DestroyRow(int row) {
    for (int col = 0; col < cols_; ++col)
        At(row, col).~QString();
}

void CellBlocks::EraseRows(int first, int count) {
    if (count <= 0) return;
    const int last = first + count;
    if (first < rows_ - last) {
        // Fewer rows above: they move down over the gap. A moved text swaps
        // with the one it replaces, so the erased texts end at the top.
        for (int row = first - 1; row >= 0; --row) {
            for (int col = 0; col < cols_; ++col)
                At(row + count, col) = std::move(At(row, col));
        }
        for (int row = 0; row < count; ++row)
            DestroyRow(row);
        first_ += static_cast<std::size_t>(count);
    } else {
        for (int row = last; row < rows_; ++row) {
            for (int col = 0; col < cols_; ++col)
                At(row - count, col) = std::move(At(row, col));
        }
        for (int row = rows_ - count; row < rows_; ++row)
            DestroyRow(row);
    }
    rows_ -= count;
    ReleaseEmptyBlocks();
}

void CellBlocks::ReleaseEmptyBlocks() {
    while (first_ > mask_) {
        FreeBlock(blocks_.front());
        blocks_.pop_front();
        first_ -= mask_ + 1;
    }
    if (rows_ == 0) first_ = 0;
    const std::size_t used =
        rows_ == 0 ? 0 : ((first_ + static_cast<std::size_t>(rows_) - 1) >> shift_) + 1;
    while (blocks_.size() > used) {
        FreeBlock(blocks_.back());
        blocks_.pop_back();
    }
    if (blocks_.empty()) {  // emptied: small again
        shift_ = std::min(fullShift_, kFirstRowsShift);
        mask_ = (std::size_t(1) << shift_) - 1;
    }
}

void CellBlocks::SetCols(int cols) {
    cols = std::max(cols, 1);
    if (cols == cols_) return;
    if (static_cast<std::size_t>(cols) <= stride_) {
        for (int row = 0; row < rows_; ++row) {
            QString* cells = &At(row, 0);
            for (int col = cols_; col < cols; ++col)
                new (cells + col) QString();
            for (int col = cols; col < cols_; ++col)
                cells[col].~QString();
        }
        cols_ = cols;
        return;
    }
    // Room for twice as many: a file read field by field widens one column
    // at a time.
    CellBlocks wider(cols);
    wider.Layout(std::max(static_cast<std::size_t>(cols), stride_ * 2));
    wider.AppendRows(rows_);
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < cols_; ++col)
            wider.At(row, col) = std::move(At(row, col));
    }
    Swap(wider);
}

}  // namespace platform
