#include "platform/widgets/StringGridEx.h"

#include "platform/widgets/Fonts.h"
#include "platform/widgets/StringGridModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <optional>
#include <vector>

namespace platform {

namespace {

const QColor kGridLineColor(0xC0, 0xC0, 0xC0);  // silver

constexpr int kTextIndent = 2;

// The view itself runs without Qt's selection (the grid holds it), so the
// delegate paints the model's row colours, never the style's highlight or
// focus frame, and draws the grid lines so their colour does not depend on the
// style. Painting by hand rather than through the style keeps a repaint cheap
// enough to do after every row the runner finishes.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect r = option.rect;
        painter->save();
        painter->fillRect(r, index.data(Qt::BackgroundRole).value<QColor>());
        painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
        painter->setFont(option.font);
        // Long texts are cut at the cell's edge, not spilled into the next one.
        const QRect textRect = r.adjusted(kTextIndent, 0, -kTextIndent, -1);
        painter->setClipRect(textRect);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
        painter->setClipping(false);
        painter->setPen(kGridLineColor);
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

std::optional<double> AsNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return 0.0;
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (ok) return v;
    v = t.toDouble(&ok);
    if (ok) return v;
    return std::nullopt;
}

}  // namespace

TStringGridEx::TStringGridEx(StringGrid* grid, QWidget* parent)
    : QTableView(parent), model_(new StringGridModel(nullptr, this)) {
    setFont(ProgramFont());
    setItemDelegate(new RowDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    // Fixed heights keep the view from measuring rows: 100,000 rows cost nothing.
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* cols = horizontalHeader();
    QFont bold = ProgramFont();
    bold.setBold(true);
    cols->setFont(bold);
    model_->SetHeaderFont(bold);
    cols->setHighlightSections(false);
    cols->setSectionsClickable(true);
    cols->setSectionResizeMode(QHeaderView::Interactive);
    cols->setStretchLastSection(false);
    cols->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cols->setMinimumSectionSize(0);

    setModel(model_);
    connect(model_, &StringGridModel::columnsChanged, this, &TStringGridEx::SyncColumns);
    connect(model_, &StringGridModel::modelReset, this, &TStringGridEx::SyncColumns);
    // Repaint now, not at the next event loop pass: the runner keeps the
    // thread busy and only pumps between steps.
    connect(model_, &StringGridModel::repaintRequested, this, [this] { viewport()->repaint(); });
    connect(cols, &QHeaderView::sectionResized, this, &TStringGridEx::ColumnResized);
    connect(cols, &QHeaderView::sectionClicked, this, &TStringGridEx::HeaderClicked);

    SetGrid(grid);
}

TStringGridEx::~TStringGridEx() = default;

void TStringGridEx::SetGrid(StringGrid* grid) {
    model_->SetGrid(grid);
    anchorSerial_ = 0;
    SyncColumns();
}

StringGrid* TStringGridEx::Grid() const {
    return model_->Grid();
}

void TStringGridEx::SyncColumns() {
    StringGrid* grid = Grid();
    if (!grid) return;
    syncing_ = true;
    const int height = grid->DefaultRowHeight();
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(grid->FixedRows() > 0 ? height : 0);
    horizontalHeader()->setVisible(grid->FixedRows() > 0);
    for (int col = 0; col < grid->ColCount(); ++col) {
        const bool hidden = grid->ColumnHidden(col);
        if (isColumnHidden(col) != hidden) setColumnHidden(col, hidden);
        if (!hidden && columnWidth(col) != grid->ColWidth(col))
            setColumnWidth(col, grid->ColWidth(col));
    }
    syncing_ = false;
}

void TStringGridEx::ColumnResized(int col, int /*oldWidth*/, int newWidth) {
    StringGrid* grid = Grid();
    // Hiding a section reports it as resized to 0; the grid keeps the width
    // the column had in view.
    if (syncing_ || !grid || col < 0 || col >= grid->ColCount() || grid->ColumnHidden(col)) return;
    syncing_ = true;
    grid->SetColWidth(col, newWidth);
    syncing_ = false;
}

int TStringGridEx::GridRowAt(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? model_->GridRow(index.row()) : -1;
}

int TStringGridEx::CurrentGridRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? model_->GridRow(index.row()) : -1;
}

void TStringGridEx::SetAnchor(int gridRow) {
    StringGrid* grid = Grid();
    anchorSerial_ = grid && gridRow >= 0 ? grid->RowSerial(gridRow) : 0;
}

int TStringGridEx::AnchorRow() const {
    StringGrid* grid = Grid();
    return grid && anchorSerial_ != 0 ? grid->RowOfSerial(anchorSerial_) : -1;
}

void TStringGridEx::SelectOnly(int gridRow) {
    StringGrid* grid = Grid();
    if (!grid) return;
    model_->BeginSelectionBatch();
    grid->ClearSelection();
    grid->SetRowSelected(gridRow, true);
    model_->EndSelectionBatch();
}

void TStringGridEx::SelectRange(int from, int to, bool keepOthers) {
    StringGrid* grid = Grid();
    if (!grid) return;
    if (from < 0) from = to;
    if (from > to) std::swap(from, to);
    from = std::max(from, grid->FixedRows());
    to = std::min(to, grid->RowCount() - 1);
    model_->BeginSelectionBatch();
    if (!keepOthers) grid->ClearSelection();
    for (int row = from; row <= to; ++row)
        grid->SetRowSelected(row, true);
    model_->EndSelectionBatch();
}

void TStringGridEx::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    dragging_ = false;
    StringGrid* grid = Grid();
    const int row = GridRowAt(event->position().toPoint());
    if (!grid || row < 0 || event->button() != Qt::LeftButton) return;

    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ShiftModifier) {
        SelectRange(AnchorRow(), row, mods & Qt::ControlModifier);
        if (AnchorRow() < 0) SetAnchor(row);
        return;
    }
    if (mods & Qt::ControlModifier) {
        grid->SetRowSelected(row, !grid->RowSelected(row));
        SetAnchor(row);
        return;
    }
    SelectOnly(row);
    SetAnchor(row);
    dragging_ = true;
}

void TStringGridEx::mouseMoveEvent(QMouseEvent* event) {
    QTableView::mouseMoveEvent(event);
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    const int row = GridRowAt(event->position().toPoint());
    if (row >= 0) SelectRange(AnchorRow(), row, false);
}

void TStringGridEx::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QTableView::mouseReleaseEvent(event);
}

void TStringGridEx::keyPressEvent(QKeyEvent* event) {
    StringGrid* grid = Grid();
    if (!grid) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectRange(grid->FixedRows(), grid->RowCount() - 1, false);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->key() == Qt::Key_Space && (mods & Qt::ControlModifier)) {
        const int row = CurrentGridRow();
        if (row >= 0) {
            grid->SetRowSelected(row, !grid->RowSelected(row));
            SetAnchor(row);
        }
        return;
    }

    const int before = CurrentGridRow();
    QTableView::keyPressEvent(event);
    const int after = CurrentGridRow();
    if (after < 0 || after == before) return;
    if (mods & Qt::ShiftModifier) {
        SelectRange(AnchorRow() >= 0 ? AnchorRow() : before, after, mods & Qt::ControlModifier);
        if (AnchorRow() < 0) SetAnchor(before >= 0 ? before : after);
        return;
    }
    if (mods & Qt::ControlModifier) return;  // moves the focus row only
    SelectOnly(after);
    SetAnchor(after);
}

void TStringGridEx::HeaderClicked(int col) {
    StringGrid* grid = Grid();
    if (!headerSort_ || !grid || grid->RowCount() - grid->FixedRows() < 2) return;
    const Qt::SortOrder order = col == sortColumn_ && sortOrder_ == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    SortRows(col, order);
    SetSortMark(col, order);
}

void TStringGridEx::SetSortMark(int col, Qt::SortOrder order) {
    sortColumn_ = col;
    sortOrder_ = order;
    horizontalHeader()->setSortIndicatorShown(col >= 0);
    horizontalHeader()->setSortIndicator(col, order);
}

void TStringGridEx::SortRows(int col, Qt::SortOrder order) {
    StringGrid* grid = Grid();
    if (!grid || col < 0 || col >= grid->ColCount()) return;
    const int first = grid->FixedRows();
    const int count = grid->RowCount() - first;
    if (count < 2) return;

    struct Entry {
        std::vector<QString> cells;
        double number = 0;
    };
    std::vector<Entry> rows(static_cast<std::size_t>(count));
    bool numeric = true;
    for (int i = 0; i < count; ++i) {
        Entry& e = rows[static_cast<std::size_t>(i)];
        for (int c = 0; c < grid->ColCount(); ++c)
            e.cells.push_back(grid->Cell(c, first + i));
        const auto n = AsNumber(e.cells[static_cast<std::size_t>(col)]);
        if (n)
            e.number = *n;
        else
            numeric = false;
    }
    const auto key = static_cast<std::size_t>(col);
    const auto less = [&](const Entry& a, const Entry& b) {
        if (numeric) return a.number < b.number;
        return QString::localeAwareCompare(a.cells[key], b.cells[key]) < 0;
    };
    // Reversing the comparison (not the result) keeps equal rows in their order.
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const Entry& a, const Entry& b) { return less(b, a); });

    // The marks belong to rows, and rewriting texts would leave them on the
    // wrong ones.
    grid->ClearSelection();
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < grid->ColCount(); ++c)
            grid->SetCell(c, first + i,
                          rows[static_cast<std::size_t>(i)].cells[static_cast<std::size_t>(c)]);
}

}  // namespace platform
