#pragma once
// The Qt model face of a StringGrid: the grid's fixed row 0 becomes the
// horizontal header, data rows 1..RowCount-1 become model rows 0..n-1. The
// grid stays the one store of texts and of selection marks; every grid change
// is passed on as the narrowest model signal so a view of 100,000 rows only
// repaints what changed.

#include "platform/StringGrid.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>

namespace platform {

class StringGridModel : public QAbstractTableModel, private StringGrid::Observer {
    Q_OBJECT
public:
    static QColor BandColor() { return QColor(0xE2, 0xED, 0xFA); }      // every second data row
    static QColor SelectedColor() { return QColor(0xB6, 0xCA, 0xEA); }  // with black text

    // The grid (not owned) must outlive the model or be replaced by SetGrid(nullptr).
    explicit StringGridModel(StringGrid* grid = nullptr, QObject* parent = nullptr);
    ~StringGridModel() override;

    void SetGrid(StringGrid* grid);
    StringGrid* Grid() const { return grid_; }

    // Grid row of a model row and back (the header rows are not model rows).
    int GridRow(int modelRow) const { return modelRow + HeaderRows(); }
    int ModelRow(int gridRow) const { return gridRow - HeaderRows(); }

    // The font of the header titles (headerData's FontRole), which styles
    // honour where some ignore the header widget's own font.
    void SetHeaderFont(const QFont& font) { headerFont_ = font; }

    // Selection changes between these calls reach the views as one signal.
    void BeginSelectionBatch();
    void EndSelectionBatch();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // Column visibility or width changed in the grid.
    void columnsChanged();
    void repaintRequested();

private:
    int HeaderRows() const;
    void EmitRowsChanged(int firstModelRow, int lastModelRow, const QList<int>& roles);

    void CellChanged(int col, int row, const QString& oldText) override;
    void RowsAboutToBeRemoved(int first, int count) override;
    void RowsRemoved(int first, int count) override;
    void RowsInserted(int first, int count) override;
    void SelectionChanged(int row) override;
    void ColumnsChanged() override;
    void ColumnCountAboutToChange(int count) override;
    void ColumnCountChanged() override;
    void RepaintRequested() override;

    StringGrid* grid_ = nullptr;
    QFont headerFont_;
    bool resetting_ = false;
    int batchDepth_ = 0;
    int batchFirst_ = -1;
    int batchLast_ = -1;
};

}  // namespace platform
