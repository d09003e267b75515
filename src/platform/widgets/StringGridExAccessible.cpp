// What assistive technology sees of a grid view: a table of the columns in
// view (a column out of view is not offered), whose rows are selected and read
// through the grid's own selection marks, not Qt's selection model (the view
// runs without one). Cells are made when asked for and forgotten when the
// rows or columns change.
#include "platform/Guard.h"
#include "platform/widgets/AccessibleEntries.h"
#include "platform/widgets/StringGridEx.h"
#include "platform/widgets/StringGridModel.h"

#include <QAccessibleWidget>
#include <QHeaderView>
#include <QPointer>

#include <map>
#include <utility>

namespace platform {

namespace {

class GridInterface;

// One cell, or a column title when row is -1.
class CellInterface : public AccessibleLeaf, public QAccessibleTableCellInterface {
public:
    CellInterface(GridInterface* table, int row, int column);

    bool isValid() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override {
        return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
    }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    bool isSelected() const override;
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

    // Press selects the cell's row alone, as a click does; Toggle adds or
    // removes it, as a Ctrl+click does.
    QStringList actionNames() const override {
        return row_ < 0 ? QStringList() : QStringList{pressAction(), toggleAction()};
    }
    void doAction(const QString& actionName) override;

private:
    GridInterface* table_;
    int row_;
    int column_;
};

class GridInterface : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridInterface(TStringGridEx* view)
        : QAccessibleWidget(view, QAccessible::Table), view_(view) {
        // Selection marks reach the view as changed rows: the cells a reader
        // holds hear that their selected state may have changed.
        watch_ = QObject::connect(
            view->model(), &QAbstractItemModel::dataChanged, view,
            [this](const QModelIndex& top, const QModelIndex& bottom, const QList<int>& roles) {
                if (roles.contains(Qt::BackgroundRole)) AnnounceSelection(top.row(), bottom.row());
            });
    }
    ~GridInterface() override {
        QObject::disconnect(watch_);
        Forget();
    }

    TStringGridEx* View() const { return view_; }
    StringGrid* Grid() const { return view_ ? view_->Grid() : nullptr; }
    int GridRow(int row) const { return view_->GridModel()->GridRow(row); }
    // The model column of a column in view.
    int ModelColumn(int column) const {
        for (int c = 0, seen = 0; view_ && c < view_->model()->columnCount(); ++c) {
            if (view_->isColumnHidden(c)) continue;
            if (seen++ == column) return c;
        }
        return -1;
    }
    QModelIndex Index(int row, int column) const {
        return view_->model()->index(row, ModelColumn(column));
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // Column titles first, then the cells row by row.
    int childCount() const override { return (rowCount() + 1) * columnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int columns = columnCount();
        if (index < 0 || index >= childCount()) return nullptr;
        return Cell(index / columns - 1, index % columns);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* cell = dynamic_cast<const CellInterface*>(child);
        if (!cell || cell->parent() != this) return -1;
        return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        if (!view_) return nullptr;
        const QModelIndex index = view_->indexAt(view_->viewport()->mapFromGlobal(QPoint(x, y)));
        if (!index.isValid()) return nullptr;
        for (int column = 0; column < columnCount(); ++column) {
            if (ModelColumn(column) == index.column()) return Cell(index.row(), column);
        }
        return nullptr;
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
        return Cell(row, column);
    }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (int row : selectedRows()) {
            for (int column = 0; column < columnCount(); ++column)
                cells << Cell(row, column);
        }
        return cells;
    }
    QString columnDescription(int column) const override {
        return view_ ? view_->model()->headerData(ModelColumn(column), Qt::Horizontal).toString()
                     : QString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return Grid() ? Grid()->SelectedCount() : 0; }
    int columnCount() const override {
        int count = 0;
        for (int c = 0; view_ && c < view_->model()->columnCount(); ++c)
            count += view_->isColumnHidden(c) ? 0 : 1;
        return count;
    }
    int rowCount() const override { return view_ ? view_->model()->rowCount() : 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (int row = 0; Grid() && rows.size() < selectedRowCount() && row < rowCount(); ++row) {
            if (isRowSelected(row)) rows << row;
        }
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override {
        return Grid() && row >= 0 && row < rowCount() && Grid()->RowSelected(GridRow(row));
    }
    bool selectRow(int row) override { return Mark(row, true); }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override { return Mark(row, false); }
    bool unselectColumn(int) override { return false; }
    // Rows or columns came or went: the cells handed out so far are stale.
    // A change of texts or selection marks leaves every cell where it is.
    void modelChange(QAccessibleTableModelChangeEvent* event) override {
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) Forget();
    }

    bool Mark(int row, bool selected) {
        if (!Grid() || row < 0 || row >= rowCount()) return false;
        Guard([&] { Grid()->SetRowSelected(GridRow(row), selected); });
        return true;
    }

private:
    void AnnounceSelection(int first, int last) {
        QAccessibleEvent within(view_, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&within);
        QAccessible::State changed;
        changed.selected = true;
        for (const auto& [key, id] : cells_) {
            if (key.first < first || key.first > last) continue;
            QAccessibleStateChangeEvent event(QAccessible::accessibleInterface(id), changed);
            QAccessible::updateAccessibility(&event);
        }
    }
    QAccessibleInterface* Cell(int row, int column) const {
        const auto key = std::make_pair(row, column);
        if (auto found = cells_.find(key); found != cells_.end())
            return QAccessible::accessibleInterface(found->second);
        auto* cell = new CellInterface(const_cast<GridInterface*>(this), row, column);
        cells_[key] = QAccessible::registerAccessibleInterface(cell);
        return cell;
    }
    void Forget() {
        for (const auto& [key, id] : cells_)
            QAccessible::deleteAccessibleInterface(id);
        cells_.clear();
    }

    QPointer<TStringGridEx> view_;
    QMetaObject::Connection watch_;
    mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

bool CellInterface::isValid() const {
    return table_->View() && row_ < table_->rowCount() && column_ < table_->columnCount();
}

CellInterface::CellInterface(GridInterface* table, int row, int column)
    : AccessibleLeaf(table), table_(table), row_(row), column_(column) {}

QAccessibleInterface* CellInterface::table() const {
    return table_;
}

void* CellInterface::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableCellInterface)
        return static_cast<QAccessibleTableCellInterface*>(this);
    return AccessibleLeaf::interface_cast(type);
}

QString CellInterface::text(QAccessible::Text t) const {
    if (t != QAccessible::Name || !isValid()) return QString();
    if (row_ < 0) return table_->columnDescription(column_);
    return table_->Index(row_, column_).data(Qt::DisplayRole).toString();
}

QRect CellInterface::rect() const {
    if (!isValid()) return QRect();
    TStringGridEx* view = table_->View();
    if (row_ < 0) {
        QHeaderView* header = view->horizontalHeader();
        const int column = table_->ModelColumn(column_);
        const QRect r(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                      header->height());
        return QRect(header->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    const QRect r = view->visualRect(table_->Index(row_, column_));
    return QRect(view->viewport()->mapToGlobal(r.topLeft()), r.size());
}

QAccessible::State CellInterface::state() const {
    QAccessible::State s;
    if (!isValid()) {
        s.invalid = true;
        return s;
    }
    if (row_ >= 0) {
        s.selectable = true;
        s.selected = isSelected();
    }
    const QRect area(table_->View()->mapToGlobal(QPoint(0, 0)), table_->View()->size());
    if (!area.intersects(rect())) s.invisible = true;
    return s;
}

bool CellInterface::isSelected() const {
    return row_ >= 0 && table_->isRowSelected(row_);
}

QList<QAccessibleInterface*> CellInterface::columnHeaderCells() const {
    return {table_->child(column_)};
}

void CellInterface::doAction(const QString& actionName) {
    if (!isValid() || row_ < 0) return;
    if (actionName == toggleAction()) table_->Mark(row_, !isSelected());
    if (actionName == pressAction())
        Guard([&] { table_->View()->SelectOnly(table_->GridRow(row_)); });
}

}  // namespace

QAccessibleInterface* NewGridAccessible(TStringGridEx* view) {
    return new GridInterface(view);
}

}  // namespace platform
