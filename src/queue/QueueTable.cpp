#include "queue/QueueTable.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "queue/Format.h"
#include "queue/JobKeyIndex.h"
#include "queue/Vocabulary.h"

#include <deque>
#include <map>
#include <vector>

namespace queue {

// Follows every change of the grid, whoever makes it (the queue operations,
// the runner, the queue file loader writing cells straight into the grid), so
// that the answers below are those of a full scan without the scan.
class QueueTable::Bookkeeping : public platform::StringGrid::Observer {
public:
    explicit Bookkeeping(platform::StringGrid& grid) : grid_(grid) {
        Rebuild();
        grid_.AddObserver(this);
    }
    ~Bookkeeping() override { grid_.RemoveObserver(this); }
    Bookkeeping(const Bookkeeping&) = delete;
    Bookkeeping& operator=(const Bookkeeping&) = delete;

    void CellChanged(int col, int row, const QString& oldText) override {
        if (row < grid_.FixedRows()) return;
        switch (col) {
            case colSourceDir:
            case colFileName:
            case colTargetDir:
                MarkKeyStale(row);
                break;
            case colStatus: {
                const bool was = oldText == StatusPending;
                const bool is = grid_.Cell(colStatus, row) == StatusPending;
                if (was && !is) ErasePending(grid_.RowSerial(row));
                if (!was && is) InsertPending(row);
                break;
            }
            case colRealSize:
                if (grid_.Cell(colStatus, row) == StatusPending) {
                    ErasePending(grid_.RowSerial(row));
                    InsertPending(row);
                }
                break;
            default:
                break;
        }
    }

    void RowsAboutToBeRemoved(int first, int count) override {
        // Most of the table going (a clear): counting the few rows that stay
        // afresh beats taking each leaving row out of the counts.
        if (count > grid_.RowCount() - count) {
            rebuildAfterRemoval_ = true;
            return;
        }
        for (int row = std::max(first, grid_.FixedRows()); row < first + count; ++row) {
            // The key counted for the row, which may be older than its cells.
            RemoveKey(indexed_[static_cast<std::size_t>(row)].key, 1);
            if (grid_.Cell(colStatus, row) == StatusPending) ErasePending(grid_.RowSerial(row));
        }
        const auto begin = indexed_.begin() + first;
        indexed_.erase(begin, begin + count);
    }

    void RowsRemoved(int /*first*/, int /*count*/) override {
        if (!rebuildAfterRemoval_) return;
        rebuildAfterRemoval_ = false;
        Rebuild();
    }

    void RowsInserted(int first, int count) override {
        indexed_.insert(indexed_.begin() + first, static_cast<std::size_t>(count), Indexed{});
        // New rows are empty, so they all share one key.
        const int dataRows = first + count - std::max(first, grid_.FixedRows());
        if (dataRows > 0) AddKey(Key{}, dataRows);
    }

    bool IsQueued(const QString& sourceDir, const QString& fileName,
                  const QString& targetDir) const {
        RefreshStaleKeys();
        const Key key{sourceDir, fileName, targetDir};
        if (IsEmpty(key)) return emptyKeyRows_ > 0;
        return keys_.Contains(key);
    }

    int FirstPendingRow() const {
        if (pending_.empty()) return -1;
        return grid_.RowOfSerial(pending_.begin()->first);
    }

    std::int64_t PendingCount() const { return static_cast<std::int64_t>(pending_.size()); }

    // The readable sizes add up modulo 2^64, as the counter of a scan would wrap.
    std::int64_t PendingBytes() {
        SyncLocale();
        return static_cast<std::int64_t>(pendingBytes_);
    }

    bool AnyPendingSizeUnreadable() {
        SyncLocale();
        return unreadable_ > 0;
    }

private:
    using Key = JobKey;
    static bool IsEmpty(const Key& k) {
        return k.sourceDir.isEmpty() && k.fileName.isEmpty() && k.targetDir.isEmpty();
    }
    // What the duplicate index counts for a row. A job is written cell by
    // cell, so the index is brought up to date only when it is asked, not for
    // each of the half-written keys on the way.
    struct Indexed {
        Key key;
        bool stale = false;
    };
    struct Size {
        std::uint64_t bytes = 0;
        bool readable = true;
    };

    Key KeyOf(int row) const {
        return Key{grid_.Cell(colSourceDir, row), grid_.Cell(colFileName, row),
                   grid_.Cell(colTargetDir, row)};
    }

    // Every appended row starts with the empty key: counting it apart keeps
    // each new row from adding a node to the hash and taking it out again.
    void AddKey(const Key& key, int count) const {
        if (IsEmpty(key)) {
            emptyKeyRows_ += count;
            return;
        }
        keys_.Add(key, count);
    }

    void RemoveKey(const Key& key, int count) const {
        if (IsEmpty(key)) {
            emptyKeyRows_ -= count;
            return;
        }
        keys_.Remove(key, count);
    }

    void MarkKeyStale(int row) {
        Indexed& entry = indexed_[static_cast<std::size_t>(row)];
        if (entry.stale) return;
        entry.stale = true;
        stale_.push_back(grid_.RowSerial(row));
    }

    void RefreshStaleKeys() const {
        for (const std::uint64_t serial : stale_) {
            const int row = grid_.RowOfSerial(serial);
            if (row < 0) continue;  // removed meanwhile, with the key it was counted under
            Indexed& entry = indexed_[static_cast<std::size_t>(row)];
            RemoveKey(entry.key, 1);
            entry.key = KeyOf(row);
            AddKey(entry.key, 1);
            entry.stale = false;
        }
        stale_.clear();
    }

    Size ReadRowSize(int row) const {
        try {
            return Size{static_cast<std::uint64_t>(ReadSize(grid_.Cell(colRealSize, row))), true};
        } catch (const platform::EConvertError&) {
            return Size{0, false};
        }
    }

    void Account(const Size& size, int sign) {
        if (!size.readable) {
            unreadable_ += sign;
            return;
        }
        if (sign > 0) {
            pendingBytes_ += size.bytes;
        } else {
            pendingBytes_ -= size.bytes;
        }
    }

    void InsertPending(int row) {
        SyncLocale();
        const Size size = ReadRowSize(row);
        // New jobs go to the end of the table, so the hint is mostly right.
        const std::size_t before = pending_.size();
        pending_.emplace_hint(pending_.end(), grid_.RowSerial(row), size);
        if (pending_.size() != before) Account(size, +1);
    }

    void ErasePending(std::uint64_t serial) {
        const auto it = pending_.find(serial);
        if (it == pending_.end()) return;
        Account(it->second, -1);
        pending_.erase(it);
    }

    // The sizes were read with the separators of the locale they were read in.
    void SyncLocale() {
        if (localeGeneration_ == platform::LocaleGeneration()) return;
        localeGeneration_ = platform::LocaleGeneration();
        pendingBytes_ = 0;
        unreadable_ = 0;
        for (auto& [serial, size] : pending_) {
            size = ReadRowSize(grid_.RowOfSerial(serial));
            Account(size, +1);
        }
    }

    void Rebuild() {
        keys_.Clear();
        emptyKeyRows_ = 0;
        indexed_.assign(static_cast<std::size_t>(grid_.RowCount()), Indexed{});
        stale_.clear();
        pending_.clear();
        pendingBytes_ = 0;
        unreadable_ = 0;
        localeGeneration_ = platform::LocaleGeneration();
        for (int row = grid_.FixedRows(); row < grid_.RowCount(); ++row) {
            indexed_[static_cast<std::size_t>(row)].key = KeyOf(row);
            AddKey(KeyOf(row), 1);
            if (grid_.Cell(colStatus, row) == StatusPending) InsertPending(row);
        }
    }

    platform::StringGrid& grid_;
    // Duplicate index: how many rows count each key. Brought up to date lazily
    // from the stale rows, which is why a const query may change it.
    mutable JobKeyIndex keys_;
    mutable std::int64_t emptyKeyRows_ = 0;
    mutable std::deque<Indexed> indexed_;  // one entry per grid row, same order
    mutable std::vector<std::uint64_t> stale_;
    // Pending rows by serial: the first entry is the topmost pending row.
    std::map<std::uint64_t, Size> pending_;
    std::uint64_t pendingBytes_ = 0;
    int unreadable_ = 0;
    int localeGeneration_ = 0;
    bool rebuildAfterRemoval_ = false;
};

QueueTable::QueueTable() : grid_(QueueColumnCount, 2) {
    for (int col = 0; col < QueueColumnCount; ++col) {
        grid_.SetCell(col, 0, ColumnTitle(col));
        grid_.SetColWidth(col, ColumnDesignWidth(col));
    }
    books_ = std::make_unique<Bookkeeping>(grid_);
}

QueueTable::~QueueTable() = default;

void QueueTable::SetRealSize(int row, double bytes) {
    grid_.SetCell(colRealSize, row, RealSizeText(bytes));
}

int QueueTable::AppendRow() {
    if (grid_.RowCount() >= 2 && grid_.Cell(colSourceDir, 1).isEmpty()) return 1;
    grid_.SetRowCount(grid_.RowCount() + 1);
    return grid_.RowCount() - 1;
}

void QueueTable::DropRow(int row) {
    // The header is no job: dropping it would shift every title into the data.
    if (row < grid_.FixedRows()) throw platform::EListError(row);
    if (grid_.RowCount() > 2) {
        grid_.DeleteRow(row);
        return;
    }
    (void)grid_.Cell(0, row);  // out of range fails here, before anything changes
    for (int col = 0; col < QueueColumnCount; ++col)
        grid_.SetCell(col, row, QString());
    grid_.SetRowSelected(row, false);
}

bool QueueTable::IsQueued(const QString& sourceDir, const QString& fileName,
                          const QString& targetDir) const {
    return books_->IsQueued(sourceDir, fileName, targetDir);
}

int QueueTable::AppendJob(const QueueJob& job) {
    const int row = AppendRow();
    grid_.SetCell(colRow, row, static_cast<long long>(row));
    grid_.SetCell(colSourceDir, row, job.sourceDir);
    grid_.SetCell(colFileName, row, job.fileName);
    grid_.SetCell(colTargetDir, row, job.targetDir);
    if (job.size) {
        SetRealSize(row, static_cast<double>(*job.size));
        grid_.SetCell(colFileSize, row, FormatSize(*job.size));
    } else {
        grid_.SetCell(colRealSize, row, QString());
        grid_.SetCell(colFileSize, row, QString());
    }
    grid_.SetCell(colAction, row, job.action);
    grid_.SetCell(colStatus, row, job.status);
    return row;
}

void QueueTable::ClearQueue(TRunCounters& counters) {
    grid_.SetRowCount(2);
    for (int col = 0; col < QueueColumnCount; ++col)
        grid_.SetCell(col, 1, QString());
    grid_.SetRowSelected(1, false);
    counters.CurrentAction.clear();
    counters.CurrentFileName.clear();
    counters.CurrentFileSize = 0;
    counters.CurrentFileDone = 0;
    counters.RunBytes = 0;
}

void QueueTable::RemoveSelectedRows() {
    // The same result as dropping each selected row from the bottom up, but a
    // run of adjacent selected rows goes in one deletion: a block selected in
    // the middle of a long queue would otherwise move the rows below it once
    // per row.
    int row = grid_.RowCount() - 1;
    while (row >= grid_.FixedRows() && grid_.SelectedCount() > 0) {
        if (!grid_.RowSelected(row)) {
            --row;
            continue;
        }
        int top = row;
        while (top - 1 >= grid_.FixedRows() && grid_.RowSelected(top - 1))
            --top;
        // The last data row is never deleted, only cleared: keep it out of the run.
        const bool takesAll = top == grid_.FixedRows() && row == grid_.RowCount() - 1;
        const int first = takesAll ? top + 1 : top;
        if (row >= first) grid_.DeleteRows(first, row - first + 1);
        if (takesAll) DropRow(top);
        row = top - 1;
    }
}

void QueueTable::CountPending(TRunCounters& counters) const {
    // Every pending row counts even when a size cannot be read, so the status
    // bar shows the true number of jobs beside the error.
    counters.PendingCount = books_->PendingCount();
    counters.PendingBytes = books_->PendingBytes();
    if (books_->AnyPendingSizeUnreadable()) {
        throw platform::EConvertError(QStringLiteral("Cell does not contain a float value"));
    }
}

int QueueTable::FirstPendingRow() const {
    return books_->FirstPendingRow();
}

void QueueTable::RefreshQueueView() {
    grid_.Repaint();
}

}  // namespace queue
