#include "platform/widgets/StringGridModel.h"

#include <algorithm>

namespace platform {

StringGridModel::StringGridModel(StringGrid* grid, QObject* parent) : QAbstractTableModel(parent) {
    SetGrid(grid);
}

StringGridModel::~StringGridModel() {
    if (grid_) grid_->RemoveObserver(this);
}

void StringGridModel::SetGrid(StringGrid* grid) {
    if (grid == grid_) return;
    beginResetModel();
    if (grid_) grid_->RemoveObserver(this);
    grid_ = grid;
    if (grid_) grid_->AddObserver(this);
    endResetModel();
    emit columnsChanged();
}

int StringGridModel::HeaderRows() const {
    return grid_ ? grid_->FixedRows() : 0;
}

int StringGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !grid_) return 0;
    return std::max(grid_->RowCount() - HeaderRows(), 0);
}

int StringGridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !grid_) return 0;
    return grid_->ColCount();
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const {
    if (!grid_ || !index.isValid()) return {};
    const int row = GridRow(index.row());
    const int col = index.column();
    // Views may ask while a change is being announced; never let that throw.
    if (row < 0 || row >= grid_->RowCount() || col < 0 || col >= grid_->ColCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return grid_->Cell(col, row);
        case Qt::BackgroundRole:
            if (grid_->RowSelected(row)) return SelectedColor();
            // The first data row is white, the next blue, and so on.
            return index.row() % 2 == 0 ? QColor(Qt::white) : BandColor();
        case Qt::ForegroundRole:
            return QColor(Qt::black);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !grid_ || HeaderRows() == 0) return {};
    if (section < 0 || section >= grid_->ColCount()) return {};
    if (role == Qt::DisplayRole) return grid_->Cell(section, 0);
    if (role == Qt::FontRole) return headerFont_;
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void StringGridModel::BeginSelectionBatch() {
    ++batchDepth_;
}

void StringGridModel::EndSelectionBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0) return;
    if (batchFirst_ >= 0) EmitRowsChanged(batchFirst_, batchLast_, {Qt::BackgroundRole});
    batchFirst_ = batchLast_ = -1;
}

void StringGridModel::EmitRowsChanged(int first, int last, const QList<int>& roles) {
    const int rows = rowCount();
    first = std::max(first, 0);
    last = std::min(last, rows - 1);
    if (first > last || columnCount() == 0) return;
    emit dataChanged(index(first, 0), index(last, columnCount() - 1), roles);
}

void StringGridModel::CellChanged(int col, int row, const QString& /*oldText*/) {
    if (row < HeaderRows()) {
        if (row == 0) emit headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    const QModelIndex cell = index(ModelRow(row), col);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::ToolTipRole});
}

void StringGridModel::RowsAboutToBeRemoved(int first, int count) {
    if (count <= 0) return;
    if (first < HeaderRows()) {
        resetting_ = true;
        beginResetModel();
        return;
    }
    beginRemoveRows(QModelIndex(), ModelRow(first), ModelRow(first + count - 1));
}

void StringGridModel::RowsRemoved(int /*first*/, int count) {
    if (count <= 0) return;
    if (resetting_) {
        resetting_ = false;
        endResetModel();
        return;
    }
    endRemoveRows();
}

void StringGridModel::RowsInserted(int first, int count) {
    if (count <= 0) return;
    // The grid has already grown; the views learn of it in one step, which
    // is all they need since nothing of theirs refers to the new rows yet.
    if (first < HeaderRows()) {
        beginResetModel();
        endResetModel();
        return;
    }
    beginInsertRows(QModelIndex(), ModelRow(first), ModelRow(first + count - 1));
    endInsertRows();
}

void StringGridModel::SelectionChanged(int row) {
    const int first = row < 0 ? 0 : ModelRow(row);
    const int last = row < 0 ? rowCount() - 1 : first;
    if (batchDepth_ > 0) {
        batchFirst_ = batchFirst_ < 0 ? first : std::min(batchFirst_, first);
        batchLast_ = std::max(batchLast_, last);
        return;
    }
    EmitRowsChanged(first, last, {Qt::BackgroundRole});
}

void StringGridModel::ColumnsChanged() {
    emit columnsChanged();
}

void StringGridModel::ColumnCountAboutToChange(int /*count*/) {
    beginResetModel();
}

void StringGridModel::ColumnCountChanged() {
    endResetModel();
    emit columnsChanged();
}

void StringGridModel::RepaintRequested() {
    emit repaintRequested();
}

}  // namespace platform
