#pragma once
// The texts of a table, row after row, in large blocks: one allocation per
// many thousand rows instead of one per row, and blocks large enough to be
// backed by huge pages once a table grows past its first block. Rows are
// appended at the end and erased anywhere; erasing moves the shorter side, so
// rows leaving at the top of a long table move nothing below. A block holds
// as many rows as fit in a few megabytes, however wide the rows are.

#include "platform/HugePages.h"

#include <QString>

#include <cstddef>
#include <deque>

namespace platform {

class CellBlocks {
public:
    explicit CellBlocks(int cols);
    ~CellBlocks();
    CellBlocks(const CellBlocks& other);
    CellBlocks(CellBlocks&& other) noexcept;
    CellBlocks& operator=(CellBlocks other) noexcept;

    int Cols() const { return cols_; }
    int Rows() const { return rows_; }

    QString& At(int row, int col) {
        const std::size_t r = first_ + static_cast<std::size_t>(row);
        return blocks_[r >> shift_][(r & mask_) * stride_ + static_cast<std::size_t>(col)];
    }
    const QString& At(int row, int col) const {
        return const_cast<CellBlocks*>(this)->At(row, col);
    }

    // Appends count rows of empty texts.
    void AppendRows(int count);
    void EraseRows(int first, int count);
    // Widens with empty texts or narrows; the rows keep their first texts.
    // Widening column by column (a file read field by field) costs a pass
    // over the rows each time, not a copy of the table.
    void SetCols(int cols);

private:
    // Room for cols texts a row, without moving any.
    void Layout(std::size_t stride);
    void Swap(CellBlocks& other) noexcept;
    // Every block has room for 2^shift_ rows when it is made or freed.
    static HugePageAllocator<QString> Blocks() { return {}; }
    QString* NewBlock();
    void FreeBlock(QString* block);
    // While the table has one block, that block grows by doubling, so a
    // small table takes a few kilobytes, not a large block.
    void GrowFirstBlock();
    void DestroyRow(int row);
    // Frees the blocks left without a live row at either end.
    void ReleaseEmptyBlocks();

    int cols_;
    std::size_t stride_ = 0;  // texts a row has room for, cols_ or more
    int shift_ = 0;           // a block holds 2^shift_ rows
    int fullShift_ = 0;       // ... once the table has outgrown its first block
    std::size_t mask_ = 0;
    int rows_ = 0;
    std::size_t first_ = 0;  // the place of row 0 in the first block
    std::deque<QString*> blocks_;
};

}  // namespace platform
