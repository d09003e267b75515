#include "platform/CellBlocks.h"

#include "platform/HugePages.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace platform {

CellBlocks::CellBlocks(int cols) : cols_(std::max(cols, 1)) {}

CellBlocks::CellBlocks(const CellBlocks& other) : cols_(other.cols_) {
    AppendRows(other.rows_);
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < cols_; ++col)
            At(row, col) = other.At(row, col);
    }
}

CellBlocks::CellBlocks(CellBlocks&& other) noexcept : cols_(other.cols_) {
    Swap(other);
}

CellBlocks& CellBlocks::operator=(CellBlocks other) noexcept {
    Swap(other);
    return *this;
}

void CellBlocks::Swap(CellBlocks& other) noexcept {
    std::swap(cols_, other.cols_);
    std::swap(rows_, other.rows_);
    std::swap(first_, other.first_);
    std::swap(blocks_, other.blocks_);
}

CellBlocks::~CellBlocks() {
    for (int row = 0; row < rows_; ++row)
        DestroyRow(row);
    for (QString* block : blocks_)
        std::free(block);
}

std::size_t CellBlocks::BlockBytes() const {
    const std::size_t bytes = kBlockRows * static_cast<std::size_t>(cols_) * sizeof(QString);
    return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}

QString* CellBlocks::NewBlock(bool first) {
    const std::size_t bytes = BlockBytes();
    void* block = std::aligned_alloc(kHugePageBytes, bytes);
    if (!block) throw std::bad_alloc();
    // A small table never touches more of its first block than it uses, in
    // small pages; the blocks after it are filled by large tables only, where
    // huge pages save a fault every 4 KiB. Advice only.
    if (!first) PreferHugePages(block, bytes);
    return static_cast<QString*>(block);
}

void CellBlocks::AppendRows(int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t r = first_ + static_cast<std::size_t>(rows_);
        if ((r >> kShift) >= blocks_.size()) blocks_.push_back(NewBlock(blocks_.empty()));
        QString* cells = &blocks_[r >> kShift][(r & kMask) * static_cast<std::size_t>(cols_)];
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
    while (first_ >= kBlockRows) {
        std::free(blocks_.front());
        blocks_.pop_front();
        first_ -= kBlockRows;
    }
    if (rows_ == 0) first_ = 0;
    const std::size_t used =
        rows_ == 0 ? 0 : ((first_ + static_cast<std::size_t>(rows_) - 1) >> kShift) + 1;
    while (blocks_.size() > used) {
        std::free(blocks_.back());
        blocks_.pop_back();
    }
}

void CellBlocks::SetCols(int cols) {
    cols = std::max(cols, 1);
    if (cols == cols_) return;
    CellBlocks wider(cols);
    wider.AppendRows(rows_);
    const int kept = std::min(cols, cols_);
    for (int row = 0; row < rows_; ++row) {
        for (int col = 0; col < kept; ++col)
            wider.At(row, col) = std::move(At(row, col));
    }
    Swap(wider);
}

}  // namespace platform
