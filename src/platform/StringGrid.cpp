#include "platform/StringGrid.h"

#include "platform/Errors.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {
constexpr int kDefaultColWidth = 64;
}  // namespace

StringGrid::StringGrid(int colCount, int rowCount, int fixedRows)
    : colCount_(std::max(colCount, 0)),
      fixedRows_(std::max(fixedRows, 0)),
      cells_(colCount_),
      widths_(static_cast<std::size_t>(colCount_), kDefaultColWidth),
      hidden_(static_cast<std::size_t>(colCount_), false) {
    SetRowCount(std::max(rowCount, fixedRows_));
}

void StringGrid::SetColCount(int count) {
    if (count < 1) throw EListError(count);
    if (count == colCount_) return;
    Notify([&](Observer* o) { o->ColumnCountAboutToChange(count); });
    const auto size = static_cast<std::size_t>(count);
    cells_.SetCols(count);
    widths_.resize(size, kDefaultColWidth);
    hidden_.resize(size, false);
    colCount_ = count;
    Notify([](Observer* o) { o->ColumnCountChanged(); });
}

void StringGrid::CheckRow(int row) const {
    if (row < 0 || row >= RowCount()) throw EListError(row);
}

void StringGrid::CheckCell(int col, int row) const {
    if (col < 0 || col >= colCount_) throw EListError(col);
    CheckRow(row);
}

void StringGrid::SetRowCount(int count) {
    // The fixed rows are part of the layout, not data: they cannot be cut away.
    if (count < fixedRows_) throw EListError(count);
    const int old = RowCount();
    if (count == old) return;
    if (count > old) {
        for (int i = old; i < count; ++i)
            rows_.push_back(Row{nextSerial_++, 0});
        cells_.AppendRows(count - old);
        Notify([&](Observer* o) { o->RowsInserted(old, count - old); });
        return;
    }
    Notify([&](Observer* o) { o->RowsAboutToBeRemoved(count, old - count); });
    for (int i = count; i < old; ++i) {
        if (rows_[static_cast<std::size_t>(i)].selected) --selectedCount_;
    }
    rows_.erase(rows_.begin() + count, rows_.end());
    cells_.EraseRows(count, old - count);
    Notify([&](Observer* o) { o->RowsRemoved(count, old - count); });
}

const QString& StringGrid::Cell(int col, int row) const {
    CheckCell(col, row);
    return cells_.At(row, col);
}

void StringGrid::SetCell(int col, int row, const QString& text) {
    SetCell(col, row, QString(text));
}

void StringGrid::SetCell(int col, int row, QString&& text) {
    CheckCell(col, row);
    QString& cell = cells_.At(row, col);
    if (cell == text) return;
    const QString old = std::exchange(cell, std::move(text));
    Notify([&](Observer* o) { o->CellChanged(col, row, old); });
}

void StringGrid::SetCell(int col, int row, long long value) {
    SetCell(col, row, QString::number(value));
}

void StringGrid::DeleteRow(int row) {
    DeleteRows(row, 1);
}

void StringGrid::DeleteRows(int first, int count) {
    if (count <= 0) return;
    CheckRow(first);
    CheckRow(first + count - 1);
    Notify([&](Observer* o) { o->RowsAboutToBeRemoved(first, count); });
    const auto begin = rows_.begin() + first;
    const auto end = begin + count;
    for (auto it = begin; it != end; ++it) {
        if (it->selected) --selectedCount_;
    }
    // std::deque moves the shorter side, so the top rows of a long queue go cheaply.
    rows_.erase(begin, end);
    cells_.EraseRows(first, count);
    Notify([&](Observer* o) { o->RowsRemoved(first, count); });
}

std::uint64_t StringGrid::RowSerial(int row) const {
    CheckRow(row);
    return rows_[static_cast<std::size_t>(row)].serial;
}

int StringGrid::RowOfSerial(std::uint64_t serial) const {
    if (rows_.empty() || serial < rows_.front().serial || serial > rows_.back().serial) return -1;
    // Serials grow by at least one per row, so a row is no further from the
    // top than its serial from the first serial, nor further from the bottom
    // than from the last one.
    const std::size_t n = rows_.size();
    const std::uint64_t fromTop = serial - rows_.front().serial;
    const std::uint64_t fromBottom = rows_.back().serial - serial;
    std::size_t low = fromBottom >= n ? 0 : n - 1 - static_cast<std::size_t>(fromBottom);
    const std::size_t last = fromTop >= n ? n - 1 : static_cast<std::size_t>(fromTop);
    // A row just appended is found at once.
    if (rows_[last].serial == serial) return static_cast<int>(last);
    // Galloping from the top: the runner asks for the topmost pending row, and
    // then only a few rows of a long table are touched.
    std::size_t high = low + 1;
    while (high < last && rows_[high].serial < serial) {
        low = high;
        high = low + (low + 1);
    }
    high = std::min(high, last) + 1;
    const auto it = std::lower_bound(rows_.begin() + static_cast<std::ptrdiff_t>(low),
                                     rows_.begin() + static_cast<std::ptrdiff_t>(high), serial,
                                     [](const Row& r, std::uint64_t s) { return r.serial < s; });
    if (it == rows_.begin() + static_cast<std::ptrdiff_t>(high) || it->serial != serial) return -1;
    return static_cast<int>(it - rows_.begin());
}

bool StringGrid::RowSelected(int row) const {
    CheckRow(row);
    return rows_[static_cast<std::size_t>(row)].selected;
}

void StringGrid::SetRowSelected(int row, bool selected) {
    CheckRow(row);
    if (row < fixedRows_) return;  // the header is never part of a selection
    Row& r = rows_[static_cast<std::size_t>(row)];
    if (bool(r.selected) == selected) return;
    r.selected = selected ? 1 : 0;
    selectedCount_ += selected ? 1 : -1;
    Notify([&](Observer* o) { o->SelectionChanged(row); });
}

void StringGrid::ClearSelection() {
    if (selectedCount_ == 0) return;
    for (Row& r : rows_)
        r.selected = 0;
    selectedCount_ = 0;
    Notify([&](Observer* o) { o->SelectionChanged(-1); });
}

void StringGrid::HideTableColumn(int col) {
    if (col < 0 || col >= colCount_) throw EListError(col);
    if (hidden_[static_cast<std::size_t>(col)]) return;
    hidden_[static_cast<std::size_t>(col)] = true;
    Notify([](Observer* o) { o->ColumnsChanged(); });
}

void StringGrid::ShowTableColumn(int col) {
    if (col < 0 || col >= colCount_) throw EListError(col);
    if (!hidden_[static_cast<std::size_t>(col)]) return;
    hidden_[static_cast<std::size_t>(col)] = false;
    Notify([](Observer* o) { o->ColumnsChanged(); });
}

bool StringGrid::ColumnHidden(int col) const {
    if (col < 0 || col >= colCount_) throw EListError(col);
    return hidden_[static_cast<std::size_t>(col)];
}

int StringGrid::ColWidth(int col) const {
    if (col < 0 || col >= colCount_) throw EListError(col);
    return widths_[static_cast<std::size_t>(col)];
}

void StringGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= colCount_) throw EListError(col);
    width = std::max(width, 0);
    if (widths_[static_cast<std::size_t>(col)] == width) return;
    widths_[static_cast<std::size_t>(col)] = width;
    Notify([](Observer* o) { o->ColumnsChanged(); });
}

void StringGrid::Repaint() {
    Notify([](Observer* o) { o->RepaintRequested(); });
}

void StringGrid::AddObserver(Observer* observer) {
    if (!observer) return;
    if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) return;
    observers_.push_back(observer);
}

void StringGrid::RemoveObserver(Observer* observer) {
    const auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    // An observer may leave while a notification is running: blank its slot
    // so the loop in Notify keeps its place, and compact afterwards.
    if (notifying_ > 0) {
        *it = nullptr;
        return;
    }
    observers_.erase(it);
}

void StringGrid::CompactObservers() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
}

}  // namespace platform
