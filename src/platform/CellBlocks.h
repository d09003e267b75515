#pragma once
// The texts of a table, row after row, in large blocks: one allocation per
// tens of thousands of rows instead of one per row, and blocks large enough
// to be backed by huge pages once a table grows past its first block. Rows
// are appended at the end and erased anywhere; erasing moves the shorter
// side, so rows leaving at the top of a long table move nothing below.

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
        return blocks_[r >> kShift][(r & kMask) * static_cast<std::size_t>(cols_) +
                                    static_cast<std::size_t>(col)];
    }
    const QString& At(int row, int col) const {
        return const_cast<CellBlocks*>(this)->At(row, col);
    }

    // Appends count rows of empty texts.
    void AppendRows(int count);
    void EraseRows(int first, int count);
    // Widens with empty texts or narrows; the rows keep their first texts.
    void SetCols(int cols);

private:
    static constexpr int kShift = 15;
    static constexpr std::size_t kBlockRows = std::size_t(1) << kShift;
    static constexpr std::size_t kMask = kBlockRows - 1;

    void Swap(CellBlocks& other) noexcept;
    std::size_t BlockBytes() const;
    QString* NewBlock(bool first);
    void DestroyRow(int row);
    // Frees the blocks left without a live row at either end.
    void ReleaseEmptyBlocks();

    int cols_;
    int rows_ = 0;
    std::size_t first_ = 0;  // the place of row 0 in the first block
    std::deque<QString*> blocks_;
};

}  // namespace platform
