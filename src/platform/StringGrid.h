#pragma once
// A table of texts addressed by (column, row), the data behind every grid of
// the program. Row 0 is the fixed header row. Rows are appended at the end and
// deleted anywhere; deleting near the top does not move the rows below.
// Columns can be taken out of view and brought back; a hidden column keeps its
// index, its cells and its width. Observers follow every change, which is how
// the queue keeps its counts and how a view repaints.

#include "platform/CellBlocks.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace platform {

class StringGrid {
public:
    class Observer {
    public:
        virtual ~Observer() = default;
        // Called after the cell changed; oldText is what it held before.
        virtual void CellChanged(int col, int row, const QString& oldText) {
            (void)col, (void)row, (void)oldText;
        }
        // Called before rows [first, first + count) are deleted.
        virtual void RowsAboutToBeRemoved(int first, int count) { (void)first, (void)count; }
        virtual void RowsRemoved(int first, int count) { (void)first, (void)count; }
        // Called after empty rows were appended at [first, first + count).
        virtual void RowsInserted(int first, int count) { (void)first, (void)count; }
        // row is -1 when the marks of many rows changed at once (ClearSelection).
        virtual void SelectionChanged(int row) { (void)row; }
        virtual void ColumnsChanged() {}  // visibility or width
        // Called around a change of the column count.
        virtual void ColumnCountAboutToChange(int count) { (void)count; }
        virtual void ColumnCountChanged() {}
        virtual void RepaintRequested() {}
    };

    StringGrid(int colCount, int rowCount, int fixedRows = 1);

    int ColCount() const { return colCount_; }
    // Widens (new columns empty, shown, default width) or narrows the table.
    void SetColCount(int count);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    int FixedRows() const { return fixedRows_; }
    // Grows with empty rows at the end or deletes rows from the end.
    void SetRowCount(int count);

    // Empty for a cell never written. Out of range: EListError.
    const QString& Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    void SetCell(int col, int row, QString&& text);
    void SetCell(int col, int row, long long value);  // decimal text

    // Deletes one row; the rows below move up with their texts and selection marks.
    void DeleteRow(int row);
    // Deletes rows [first, first + count) at once, with one notification.
    void DeleteRows(int first, int count);

    // A serial number given to each row when it is created; serials grow with
    // the row position, so a row can be found again after rows above it went.
    std::uint64_t RowSerial(int row) const;
    // The current index of the row with that serial, -1 when it is gone.
    int RowOfSerial(std::uint64_t serial) const;

    // Whole-row selection of data rows; the marks belong to the rows.
    bool RowSelected(int row) const;
    void SetRowSelected(int row, bool selected);
    int SelectedCount() const { return selectedCount_; }
    void ClearSelection();

    // Columns out of view. Hiding a hidden column or showing a shown one does nothing.
    void HideTableColumn(int col);
    void ShowTableColumn(int col);
    bool ColumnHidden(int col) const;
    // Width in pixels (the width kept for a hidden column while it is out of view).
    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int height) { rowHeight_ = height; }

    // Asks the views to repaint at once.
    void Repaint();

    void AddObserver(Observer* observer);
    void RemoveObserver(Observer* observer);

private:
    // Eight bytes a row: serials never come near 2^63.
    struct Row {
        std::uint64_t serial : 63;
        std::uint64_t selected : 1;
    };
    void CheckCell(int col, int row) const;
    void CheckRow(int row) const;
    void CompactObservers();

    // Calls f for each observer; observers may add or remove observers meanwhile.
    template <class F>
    void Notify(F&& f) {
        struct Depth {
            StringGrid* grid;
            ~Depth() {
                if (--grid->notifying_ == 0) grid->CompactObservers();
            }
        };
        ++notifying_;
        Depth depth{this};
        for (std::size_t i = 0; i < observers_.size(); ++i) {
            if (observers_[i]) f(observers_[i]);
        }
    }

    int colCount_;
    int fixedRows_;
    int rowHeight_ = 21;
    int selectedCount_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::deque<Row> rows_;  // one per row, beside its cells
    CellBlocks cells_;
    std::vector<int> widths_;
    std::vector<bool> hidden_;
    std::vector<Observer*> observers_;
    int notifying_ = 0;
};

}  // namespace platform
