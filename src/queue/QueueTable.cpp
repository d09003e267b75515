#include "queue/QueueTable.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "queue/Format.h"
#include "queue/JobKeyIndex.h"
#include "queue/Vocabulary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <vector>

namespace queue {

// Follows every change of the grid, whoever makes it (the queue operations,
// the runner, the queue file loader writing cells straight into the grid), so
// that the answers below are those of a full scan without the scan. A few
// bytes a row: at a million rows the bookkeeping must not outweigh the texts.
class QueueTable::Bookkeeping : public platform::StringGrid::Observer {
public:
    explicit Bookkeeping(platform::StringGrid& grid) : grid_(grid) {
        Rebuild();
        grid_.AddObserver(this);
        idle_.setSingleShot(true);
        idle_.setInterval(0);
        QObject::connect(&idle_, &QTimer::timeout, [this] { IndexWhileIdle(); });
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
                if (was != is) SetPending(row, is);
                break;
            }
            case colRealSize:
                SizeChanged(row, oldText);
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
        for (int row = first; row < first + count; ++row) {
            RowBooks& entry = books_[Index(row)];
            // The key counted for the row, which may be older than its cells.
            ForgetKey(entry.key);
            if (entry.pending) SetPending(row, false);
        }
        const auto begin = books_.begin() + first;
        books_.erase(begin, begin + count);
        // The rows between the gap and the first pending one were not pending.
        if (firstPending_ >= first + count) {
            firstPending_ -= count;
        } else if (firstPending_ > first) {
            firstPending_ = first;
        }
    }

    void RowsRemoved(int /*first*/, int /*count*/) override {
        if (!rebuildAfterRemoval_) return;
        rebuildAfterRemoval_ = false;
        Rebuild();
    }

    void RowsInserted(int first, int count) override {
        books_.insert(books_.begin() + first, static_cast<std::size_t>(count), RowBooks{});
        // New rows are empty, so the data rows among them share the empty key.
        for (int row = first; row < std::min(first + count, grid_.FixedRows()); ++row)
            books_[Index(row)].key = kNoKey;
        const int dataRows = first + count - std::max(first, grid_.FixedRows());
        if (dataRows > 0) emptyKeyRows_ += dataRows;
        if (firstPending_ >= first) firstPending_ += count;
    }

    bool IsQueued(const QString& sourceDir, const QString& fileName,
                  const QString& targetDir) const {
        RefreshStaleKeys(staleRows_);
        const Key key{sourceDir, fileName, targetDir};
        if (IsEmpty(key)) return emptyKeyRows_ > 0;
        return keys_.Contains(key);
    }

    int FirstPendingRow() const {
        if (pendingCount_ == 0) return -1;
        // Amortised: each row is passed over once until a row above it turns
        // pending again or goes.
        const int rows = grid_.RowCount();
        while (firstPending_ < rows && !books_[Index(firstPending_)].pending)
            ++firstPending_;
        return firstPending_ < rows ? firstPending_ : -1;
    }

    std::int64_t PendingCount() const { return pendingCount_; }

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
    // What a row is counted under in the duplicate index.
    static constexpr std::uint32_t kEmptyKey = 0xFFFFFFFE;  // the empty triple
    static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;     // a fixed row: none
    // Stale keys beyond this many are brought up to date while the program
    // waits for input, so that a queue just loaded is indexed before the
    // user queues more, without a long stall at the first new job.
    static constexpr std::size_t kIdleIndexFrom = 4096;
    static constexpr std::size_t kIdleStepRows = 2048;
    static constexpr qint64 kIdleSliceMs = 20;

    struct RowBooks {
        std::uint32_t key = kEmptyKey;
        bool stale = false;  // the cells of the key changed since it was counted
        bool pending = false;
    };

    static bool IsEmpty(const Key& k) {
        return k.sourceDir.isEmpty() && k.fileName.isEmpty() && k.targetDir.isEmpty();
    }
    static std::size_t Index(int row) { return static_cast<std::size_t>(row); }

    Key KeyOf(int row) const {
        return Key{grid_.Cell(colSourceDir, row), grid_.Cell(colFileName, row),
                   grid_.Cell(colTargetDir, row)};
    }

    // Every appended row starts with the empty key: counting it apart keeps
    // each new row from adding a node to the hash and taking it out again.
    std::uint32_t CountKey(const Key& key) const {
        if (IsEmpty(key)) {
            ++emptyKeyRows_;
            return kEmptyKey;
        }
        return keys_.Add(key, 1);
    }

    void ForgetKey(std::uint32_t key) const {
        if (key == kNoKey) return;
        if (key == kEmptyKey) {
            --emptyKeyRows_;
            return;
        }
        keys_.RemoveNumber(key, 1);
    }

    // A job is written cell by cell, so the index is brought up to date when
    // it is asked, not for each of the half-written keys on the way.
    void MarkKeyStale(int row) {
        RowBooks& entry = books_[Index(row)];
        if (entry.stale) return;
        entry.stale = true;
        const std::uint64_t serial = grid_.RowSerial(row);
        // Rows are written one after the other: runs of serials, not each one.
        if (!stale_.empty() && stale_.back().first + stale_.back().count == serial) {
            ++stale_.back().count;
        } else {
            stale_.push_back(StaleRun{serial, 1});
        }
        ++staleMarks_;
        if (++staleRows_ == kIdleIndexFrom && QCoreApplication::instance()) idle_.start();
    }

    // Counts the newest keys of the first `count` stale rows.
    void RefreshStaleKeys(std::size_t count) const {
        count = std::min(count, staleRows_);
        if (count == 0) return;
        // Room for the whole backlog at once, and half as much again: growing
        // the index slice by slice, or at the first job queued after a large
        // load, would move every key counted so far in one step.
        keys_.Reserve((keys_.Size() + staleRows_) * 3 / 2);
        staleRows_ -= count;
        while (count > 0) {
            StaleRun& run = stale_[staleDone_];
            const std::uint64_t take = std::min<std::uint64_t>(run.count, count);
            for (std::uint64_t serial = run.first; serial < run.first + take; ++serial) {
                const int row = grid_.RowOfSerial(serial);
                if (row < 0) continue;  // removed meanwhile, with the key it was counted under
                RowBooks& entry = books_[Index(row)];
                if (!entry.stale) continue;
                ForgetKey(entry.key);
                entry.key = CountKey(KeyOf(row));
                entry.stale = false;
            }
            run.first += take;
            run.count -= take;
            count -= static_cast<std::size_t>(take);
            if (run.count == 0) ++staleDone_;
        }
        if (staleRows_ == 0) {
            stale_.clear();
            staleDone_ = 0;
        }
    }

    // Slices short enough that the window goes on painting between them,
    // and only once the table is no longer being written (a file being read,
    // a tree being queued, with pumps in between): until then, the slices
    // would only lengthen that work.
    void IndexWhileIdle() {
        if (staleMarks_ != marksAtLastLook_) {
            marksAtLastLook_ = staleMarks_;
            idle_.start();
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (staleRows_ > 0 && clock.elapsed() < kIdleSliceMs)
            RefreshStaleKeys(kIdleStepRows);
        if (staleRows_ > 0) idle_.start();
    }

    // A size is read again from its cell to take it out of the sum: the cell
    // still holds it (a status change, a removal) or the observer is told
    // what it held (a change of the size).
    void AccountSize(const QString& text, int sign) {
        try {
            const auto bytes = static_cast<std::uint64_t>(ReadSize(text));
            if (sign > 0) {
                pendingBytes_ += bytes;
            } else {
                pendingBytes_ -= bytes;
            }
        } catch (const platform::EConvertError&) {
            unreadable_ += sign;
        }
    }

    void SetPending(int row, bool pending) {
        RowBooks& entry = books_[Index(row)];
        if (entry.pending == pending) return;
        SyncLocale();
        AccountSize(grid_.Cell(colRealSize, row), pending ? +1 : -1);
        pendingCount_ += pending ? 1 : -1;
        if (pending) firstPending_ = std::min(firstPending_, row);
        entry.pending = pending;
    }

    void SizeChanged(int row, const QString& oldText) {
        if (!books_[Index(row)].pending) return;
        // A recount reads the new size already.
        if (SyncLocale()) return;
        AccountSize(oldText, -1);
        AccountSize(grid_.Cell(colRealSize, row), +1);
    }

    // The sizes are read with the separators of the locale in use: when it
    // changes, the sum is made again. True when it was.
    bool SyncLocale() {
        if (localeGeneration_ == platform::LocaleGeneration()) return false;
        localeGeneration_ = platform::LocaleGeneration();
        pendingBytes_ = 0;
        unreadable_ = 0;
        for (int row = grid_.FixedRows(); row < grid_.RowCount(); ++row) {
            if (books_[Index(row)].pending) AccountSize(grid_.Cell(colRealSize, row), +1);
        }
        return true;
    }

    void Rebuild() {
        keys_.Clear();
        emptyKeyRows_ = 0;
        books_.assign(static_cast<std::size_t>(grid_.RowCount()), RowBooks{});
        stale_.clear();
        staleDone_ = 0;
        staleRows_ = 0;
        pendingCount_ = 0;
        pendingBytes_ = 0;
        unreadable_ = 0;
        firstPending_ = grid_.FixedRows();
        localeGeneration_ = platform::LocaleGeneration();
        for (int row = 0; row < grid_.RowCount(); ++row) {
            RowBooks& entry = books_[Index(row)];
            if (row < grid_.FixedRows()) {
                entry.key = kNoKey;
                continue;
            }
            entry.key = CountKey(KeyOf(row));
            if (grid_.Cell(colStatus, row) == StatusPending) SetPending(row, true);
        }
    }

    platform::StringGrid& grid_;
    // Duplicate index: how many rows count each key. Brought up to date lazily
    // from the stale rows, which is why a const query may change it.
    mutable JobKeyIndex keys_;
    mutable std::int64_t emptyKeyRows_ = 0;
    mutable std::deque<RowBooks> books_;  // one entry per grid row, same order
    // The rows whose keys changed, as runs of serials in the order they
    // changed; the first staleDone_ runs are up to date already.
    struct StaleRun {
        std::uint64_t first;
        std::uint64_t count;
    };
    mutable std::vector<StaleRun> stale_;
    mutable std::size_t staleDone_ = 0;
    mutable std::size_t staleRows_ = 0;  // in the runs from staleDone_ on
    std::uint64_t staleMarks_ = 0;       // rows marked stale, ever
    std::uint64_t marksAtLastLook_ = 0;  // ... when the idle indexing last looked
    QTimer idle_;
    std::int64_t pendingCount_ = 0;
    // No pending row lies above this one.
    mutable int firstPending_ = 1;
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

std::exception_ptr CountPendingDeferringFailure(const QueueTable& table, TRunCounters& counters) {
    try {
        table.CountPending(counters);
    } catch (const platform::EConvertError&) {
        return std::current_exception();
    }
    return nullptr;
}

platform::Result<Job, QString> QueueTable::ReadJob(int row) const {
    const auto problem = [row](const QString& what) {
        return QStringLiteral("Cannot start queue row %1: %2").arg(row).arg(what);
    };
    const QString& word = Cell(colAction, row);
    const std::optional<Action> action = ActionOf(word);
    if (!action) return problem(QStringLiteral("its action \"%1\" is unknown").arg(word));
    Job job;
    job.action = *action;
    job.sourceDir = Cell(colSourceDir, row);
    job.fileName = Cell(colFileName, row);
    job.targetDir = Cell(colTargetDir, row);
    if (job.sourceDir.isEmpty()) return problem(QStringLiteral("it has no source directory"));
    if (job.action == Action::RemoveDir) return job;
    if (job.targetDir.isEmpty()) return problem(QStringLiteral("it has no target directory"));
    try {
        job.size = ReadSize(Cell(colRealSize, row));
    } catch (const platform::EConvertError&) {
        return problem(QStringLiteral("its Real Size is not a number"));
    }
    job.paths =
        ResolvePaths(job.sourceDir + u'\\' + job.fileName, job.targetDir + u'\\' + job.fileName);
    return job;
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

int ReviveInterruptedRows(platform::StringGrid& grid) {
    if (grid.ColCount() < QueueColumnCount) return 0;
    int changed = 0;
    for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
        const QString& status = grid.Cell(colStatus, row);
        if (status == StatusComplete) {
            grid.SetCell(colStatus, row, StatusPending);
        } else if (status == StatusInProgress) {
            grid.SetCell(
                colStatus, row,
                grid.Cell(colAction, row) == ActionRemoveDir ? StatusFailed : StatusAborted);
        } else {
            continue;
        }
        ++changed;
    }
    return changed;
}

}  // namespace queue
