#pragma once
// The program's table widget over a StringGrid: 21-px rows, silver grid lines,
// banded rows, whole-row selection of any set of rows kept in the grid (so the
// marks move with the rows), resizable columns whose widths live in the grid,
// columns out of view through the grid, no editing.
//
// Mouse and keys select the way a desktop list does: a click selects one row,
// Ctrl+click toggles a row, Shift+click extends from the anchor row, dragging
// selects a range; arrows move (Shift extends, Ctrl moves without selecting),
// Ctrl+Space toggles the current row, Ctrl+A selects every row.

#include "platform/StringGrid.h"

#include <QTableView>

class QAccessibleInterface;

#include <cstdint>

namespace platform {

class StringGridModel;

class TStringGridEx : public QTableView {
    Q_OBJECT
public:
    // The grid (not owned) must outlive the widget or be replaced by SetGrid(nullptr).
    explicit TStringGridEx(StringGrid* grid = nullptr, QWidget* parent = nullptr);
    ~TStringGridEx() override;

    void SetGrid(StringGrid* grid);
    StringGrid* Grid() const;
    StringGridModel* GridModel() const { return model_; }

    // Clicking a column title sorts the data rows by that column (ascending,
    // then reversing on the same title) when enabled and there are at least
    // two data rows. Off by default: the order of some tables is their meaning.
    void SetHeaderSortEnabled(bool enabled) { headerSort_ = enabled; }
    // Shows the sort mark on a title; col -1 removes it.
    void SetSortMark(int col, Qt::SortOrder order);
    int SortMarkColumn() const { return sortColumn_; }
    Qt::SortOrder SortMarkOrder() const { return sortOrder_; }
    // Stable sort of the data rows by one column: as numbers when every cell
    // of the column reads as one, else as locale-aware text. Clears the selection.
    void SortRows(int col, Qt::SortOrder order);

    // The grid row under a point of the viewport, -1 when none.
    int GridRowAt(const QPoint& viewportPos) const;
    // Selects that one row, as a click on it does.
    void SelectOnly(int gridRow);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SyncColumns();
    void ColumnResized(int col, int oldWidth, int newWidth);
    void HeaderClicked(int col);
    void SelectRange(int fromGridRow, int toGridRow, bool keepOthers);
    void SetAnchor(int gridRow);
    int AnchorRow() const;
    int CurrentGridRow() const;

    StringGridModel* model_;
    bool syncing_ = false;
    bool dragging_ = false;
    bool dragKeeps_ = false;
    bool headerSort_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::uint64_t anchorSerial_ = 0;
};

// What assistive technology sees of a grid view: a table of the columns in
// view whose row selection is the grid's. InstallAccessibleEntries registers it.
QAccessibleInterface* NewGridAccessible(TStringGridEx* view);

}  // namespace platform
