#pragma once
// Keeps the queue file current while the program runs, at a cost that does
// not grow with the queue: every change of the table is appended to a journal
// beside the queue file, and the journal is folded into the queue file (one
// whole rewrite) only at start and when the queue file is written anyway.
//
// The journal names the exact queue file it continues (inode, size and
// modification time), so a journal left behind by a crash between a rewrite
// of the queue file and the journal's removal is recognised as stale and
// never applied twice. Each line carries a checksum; replay stops at the first
// line that is torn or damaged, which is where a kill or a power cut ended it.

#include "platform/StringGrid.h"

#include <QByteArray>
#include <QString>

namespace persistence {

// "inode:size:mtime" of the file at hostPath, "none" when there is none.
QByteArray QueueFileIdentity(const QString& hostPath);

struct JournalReplay {
    bool matched = false;  // the journal continues the queue file given
    int applied = 0;       // records applied to the grid
};

// Applies the records of journal text to grid when its header names base;
// stops at the first line that is torn, damaged or does not fit the grid.
JournalReplay ReplayJournal(const QByteArray& journal, const QByteArray& base,
                            platform::StringGrid& grid);

class QueueJournal : public platform::StringGrid::Observer {
public:
    // Follows grid from construction on; journalPath is a host path.
    QueueJournal(platform::StringGrid& grid, QString queuePath, QString journalPath);
    ~QueueJournal() override;
    QueueJournal(const QueueJournal&) = delete;
    QueueJournal& operator=(const QueueJournal&) = delete;

    // At start, with the queue file (if any) loaded into the grid: applies a
    // journal that continues it, gives the rows a dead program left "In
    // Progress" a runnable status (queue::ReviveInterruptedRows) and folds
    // the result into the queue file.
    // Throws what SaveQueueFile throws; the journal then stays for the next try.
    JournalReplay Recover();
    // The queue file was just written whole from the grid: the journal starts
    // afresh against it (the old one is removed; nothing is written until the
    // next change).
    void Restart();

    bool Dirty() const { return !pending_.isEmpty(); }
    // Appends the changes recorded since the last flush. They survive a kill
    // of the process at once; Wait also waits until they are on the disk,
    // Start only starts the disk's writing, so a run never waits for a busy
    // disk (a power cut may then lose the last seconds, which at the next
    // start means those jobs are done again). False when the disk refused:
    // the changes are kept for the next try and the file is cut back to its
    // last whole line.
    enum class Durability { Wait, Start };
    bool Flush(Durability durability = Durability::Wait);
    // What the last refused flush met: "Unable to write to <journal>: <reason>".
    const QString& LastFailure() const { return lastFailure_; }

    // Total time spent recording and flushing, in nanoseconds (benchmarks).
    qint64 CostNs() const { return costNs_; }
    // The longest single flush, in nanoseconds.
    qint64 MaxFlushNs() const { return maxFlushNs_; }

    // StringGrid::Observer
    void CellChanged(int col, int row, const QString& oldText) override;
    void RowsRemoved(int first, int count) override;
    void RowsInserted(int first, int count) override;
    void ColumnCountChanged() override;

private:
    void Record(QByteArray line);

    platform::StringGrid& grid_;
    QString queuePath_;
    QString journalPath_;
    QByteArray base_;
    QByteArray pending_;
    QString lastFailure_;
    bool started_ = false;  // the journal file holds this generation's header
    qint64 fileSize_ = 0;   // length of the whole lines on disk
    qint64 costNs_ = 0;
    qint64 maxFlushNs_ = 0;
};

}  // namespace persistence
