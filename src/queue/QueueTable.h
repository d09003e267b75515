#pragma once
// The queue table: the one store of jobs. A StringGrid of eight columns whose
// cells are the state of each job, plus bookkeeping kept up to date as cells
// change (pending count and bytes, the topmost pending row, the duplicate
// check), so that none of them needs a scan of the table.

#include "platform/Result.h"
#include "platform/StringGrid.h"
#include "queue/CopyEngine.h"
#include "queue/RunState.h"
#include "queue/Vocabulary.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

namespace queue {

// One job as it is written into a row.
struct QueueJob {
    QString sourceDir;
    QString fileName;   // empty for a "RemoveDir" row
    QString targetDir;  // empty for a "RemoveDir" row
    // The size in bytes (-1 when it could not be read); none for a "RemoveDir"
    // row, whose size cells stay empty.
    std::optional<std::int64_t> size;
    QString action;
    QString status;
};

// A row read back for its turn in a run.
struct Job {
    Action action = Action::Copy;
    QString sourceDir;
    QString fileName;
    QString targetDir;
    std::int64_t size = 0;
    FilePaths paths;  // Copy and Move: sourceDir\fileName to targetDir\fileName
};

class QueueTable {
public:
    // Header titles, one vacant data row, the design column widths.
    QueueTable();
    ~QueueTable();
    QueueTable(const QueueTable&) = delete;
    QueueTable& operator=(const QueueTable&) = delete;

    platform::StringGrid& Grid() { return grid_; }
    const platform::StringGrid& Grid() const { return grid_; }

    // Cell access passes straight to the grid (and through the bookkeeping).
    const QString& Cell(int col, int row) const { return grid_.Cell(col, row); }
    void SetCell(int col, int row, const QString& text) { grid_.SetCell(col, row, text); }
    int RowCount() const { return grid_.RowCount(); }
    // Writes a size into column 4 as "%.2f" with the locale's decimal separator.
    void SetRealSize(int row, double bytes);

    int AppendRow();
    // The one place a job is written into the table: AppendRow, then the Row
    // cell with the index it returned, then every other cell. Returns the row.
    int AppendJob(const QueueJob& job);
    // The job of a row, or why it cannot be started at all ("Cannot start
    // queue row N: it has no target directory", ...). Only a queue file
    // edited by hand holds such rows.
    platform::Result<Job, QString> ReadJob(int row) const;
    void DropRow(int row);
    bool IsQueued(const QString& sourceDir, const QString& fileName,
                  const QString& targetDir) const;
    // Also empties the current file of the counters and zeroes RunBytes.
    void ClearQueue(TRunCounters& counters);
    void RemoveSelectedRows();
    // Sets PendingCount and PendingBytes; throws EConvertError when a pending
    // row's Real Size is not a number, as a scan would. The count then still
    // holds every pending row and the bytes the readable sizes.
    void CountPending(TRunCounters& counters) const;
    // The topmost data row whose Status is "Pending", -1 when none.
    int FirstPendingRow() const;
    void RefreshQueueView();

private:
    class Bookkeeping;
    platform::StringGrid grid_;
    std::unique_ptr<Bookkeeping> books_;
};

// CountPending for the end of a command: a size cell edited by hand must not
// cut the command short. The count of jobs is still right, so the command
// finishes and rethrows what this returns after.
std::exception_ptr CountPendingDeferringFailure(const QueueTable& table, TRunCounters& counters);
// A queue loaded after its program died (a kill, a power cut) may hold the
// row that program was working on, still "In Progress". Nothing is working on
// it now: a file row becomes "Aborted", as an Abort would have left it, so the
// next Start offers it again; a "RemoveDir" row becomes "Failed", as the
// runner writes for one it could not finish. A row "Complete" whose target
// was not yet known to be on disk becomes "Pending" and is done again (a
// moved source is deleted only after its row left the queue for good, so it
// is still there). Returns the rows changed.
int ReviveInterruptedRows(platform::StringGrid& grid);

// Reads a Real Size text leniently as a whole number of bytes (truncated
// toward zero); throws EConvertError "Cell does not contain a float value".
std::int64_t ReadSize(const QString& text);

// The "%.2f" text of a size with the locale's decimal separator (1048576.00).
QString RealSizeText(double bytes);

}  // namespace queue
