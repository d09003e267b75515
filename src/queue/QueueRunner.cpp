// The runner and the controls of the queue toolbar.

#include "queue/QueueRunner.h"

#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Pump.h"
#include "queue/TreeWalk.h"
#include "queue/Vocabulary.h"

#include <optional>

namespace queue {
namespace {

void Notice(const QString& text) {
    platform::MessageDlg(text, platform::MsgKind::Confirmation, platform::mbOK);
}

void RunError(const QString& text) {
    platform::MessageDlg(text, platform::MsgKind::Error, platform::mbOK);
}

bool Ask(const QString& text) {
    return platform::MessageDlg(text, platform::MsgKind::Confirmation,
                                platform::mbYes | platform::mbNo) == platform::mrYes;
}

// Runs work and passes its result on. A failure that cuts it short gives the
// row the status first: no row may read "In Progress" once the run is over.
template <class Work>
auto CutShortAs(QueueTable& table, std::uint64_t serial, const QString& status, Work&& work) {
    try {
        return work();
    } catch (...) {
        if (const int row = table.Grid().RowOfSerial(serial); row >= 0)
            table.SetCell(colStatus, row, status);
        throw;
    }
}

}  // namespace

// Brings what a settle found into the table: a row whose file is on disk
// leaves it, any other gets its status word and stays.
class QueueRunner::RowSettling : public SettleLog {
public:
    explicit RowSettling(QueueRunner& runner) : runner_(runner) {}
    void Settled(std::uint64_t serial, CopyResult outcome) override {
        if (outcome == CopyResult::Complete) runner_.sourceDirIds_.remove(serial);
        const int row = runner_.table_.Grid().RowOfSerial(serial);
        if (row < 0) return;
        if (outcome == CopyResult::Complete) {
            runner_.table_.DropRow(row);
        } else {
            runner_.table_.SetCell(colStatus, row, StatusWord(outcome));
        }
        changed_ = true;
    }
    bool Record() override {
        if (changed_) runner_.window_.RefreshQueueView();
        return !runner_.durableRecord_ || runner_.durableRecord_();
    }

private:
    QueueRunner& runner_;
    bool changed_ = false;
};

void QueueRunner::Settle(SettleWhen when) {
    RowSettling log(*this);
    if (when == SettleWhen::Now) {
        transfer_.SettleAll(&log);
    } else {
        transfer_.SettleIfDue(&log);
    }
}

// One run, from Running back to Stopped. Whatever way the run ends, an
// exception included, the finished files are settled (so a user who sees
// "Stopped" finds every moved file on disk exactly once, and the queue
// without its finished rows), the state reads Stopped and the timer is off.
class QueueRunner::RunScope {
public:
    explicit RunScope(QueueRunner& runner) : runner_(runner) {
        runner_.state_ = QueueState::Running;
        runner_.window_.SetQueueTimer(true);
        runner_.counters_.Ticks = 0;
        runner_.counters_.CurrentFileDone = 0;
        runner_.counters_.RunBytes = 0;
    }

    // The ordinary end, where a failure to settle is reported.
    void Finish() {
        finished_ = true;
        runner_.Settle(SettleWhen::Now);
    }

    ~RunScope() {
        // On the way out of an exception, which is already being reported.
        if (!finished_) {
            try {
                runner_.Settle(SettleWhen::Now);
            } catch (...) {
            }
        }
        try {
            runner_.transfer_.EndRun();
        } catch (...) {
        }
        runner_.state_ = QueueState::Stopped;
        try {
            runner_.window_.SetQueueTimer(false);
        } catch (...) {
        }
    }

    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    QueueRunner& runner_;
    bool finished_ = false;
};

QueueRunner::QueueRunner(QueueTable& table, TRunCounters& counters, QueueWindow& window)
    : table_(table), counters_(counters), window_(window) {}

void QueueRunner::RememberSourceDir(std::uint64_t serial, const platform::DirectoryId& id) {
    sourceDirIds_.insert(serial, id);
}

bool QueueRunner::RestartAborted() {
    const QueueTable& table = table_;
    bool anyAborted = false;
    for (int row = 1; row < table.RowCount() && !anyAborted; ++row)
        anyAborted = table.Cell(colStatus, row) == StatusAborted;
    if (!anyAborted) return true;

    const int answer = platform::MessageDlg(
        QStringLiteral("Would you like to restart aborted files?"), platform::MsgKind::Confirmation,
        platform::mbYes | platform::mbNo | platform::mbCancel);
    if (answer == platform::mrNo) return true;
    if (answer != platform::mrYes) return false;
    for (int row = 1; row < table_.RowCount(); ++row) {
        if (table_.Cell(colStatus, row) == StatusAborted)
            table_.SetCell(colStatus, row, StatusPending);
    }
    return true;
}

void QueueRunner::RunQueue() {
    if (state_ != QueueState::Stopped) {
        Notice(QStringLiteral("The queue is currently running!"));
        return;
    }
    if (!RestartAborted()) return;
    if (table_.FirstPendingRow() < 0) {
        Notice(QStringLiteral("There is nothing pending in the queue!"));
        return;
    }

    {
        RunScope run(*this);
        for (;;) {
            platform::PumpMessages();
            const int row = table_.FirstPendingRow();
            if (row < 0) break;
            const platform::Result<Job, QString> job = table_.ReadJob(row);
            if (!job) {
                // The run ends here. The rows finished before leave the queue
                // first, so the message numbers the row as the user sees it.
                Settle(SettleWhen::Now);
                RunError(table_.ReadJob(table_.FirstPendingRow()).error());
                break;
            }
            // Stop and Abort are looked at only after a copy row.
            if (job->action == Action::RemoveDir) {
                RunRemoveDir(row, job->sourceDir);
                continue;
            }
            if (RunFileRow(row, *job) == RowStart::EndRun) break;
            if (state_ == QueueState::Stopping || state_ == QueueState::Aborting) break;
        }
        run.Finish();
    }
    window_.RepaintDirectoryLists();
}

void QueueRunner::RunRemoveDir(int row, const QString& dir) {
    // The moved files of the tree must be gone before the tree can be. The
    // settle drops finished rows: the row is found again after it.
    const std::uint64_t serial = table_.Grid().RowSerial(row);
    Settle(SettleWhen::Now);
    row = table_.Grid().RowOfSerial(serial);
    table_.SetCell(colStatus, row, StatusInProgress);
    window_.RefreshQueueView();

    const bool removed =
        CutShortAs(table_, serial, StatusFailed, [&] { return RemoveTree(dir, Force::No); });
    // The walk pumps: find the row again rather than trust its old position.
    row = table_.Grid().RowOfSerial(serial);
    if (row >= 0) {
        if (removed) {
            table_.DropRow(row);
        } else {
            table_.SetCell(colStatus, row, StatusFailed);
        }
    }
    window_.RefreshQueueView();
}

QueueRunner::RowStart QueueRunner::RunFileRow(int row, const Job& job) {
    const std::uint64_t serial = table_.Grid().RowSerial(row);
    // A file finished earlier in this run gets its name only at a settle:
    // a row that reads or writes that name waits for it.
    if (transfer_.Awaits(job.paths)) {
        Settle(SettleWhen::Now);
        row = table_.Grid().RowOfSerial(serial);
    }
    if (!room_.HasRoom(job.targetDir, job.size, counters_.RunBytes)) {
        RunError(QStringLiteral("Not enough space on drive ") + job.targetDir.left(1));
        return RowStart::EndRun;
    }
    // A device that gives no answer about the directory is left to the row,
    // which fails on it: that is no directory that could not be made.
    if (!transfer_.TargetDirectoryMade(job.paths) &&
        !platform::AskDirectoryExists(job.targetDir).value_or(true) &&
        !platform::ForceDirectories(job.targetDir)) {
        RunError(QStringLiteral("Could not create \"") + job.targetDir + u'"');
        return RowStart::EndRun;
    }

    counters_.CurrentAction = job.action == Action::Move ? ActionMove : ActionCopy;
    counters_.CurrentFileName = job.fileName;
    counters_.CurrentFileSize = job.size;
    window_.RefreshStatistics();
    table_.SetCell(colStatus, row, StatusInProgress);
    window_.RefreshQueueView();

    // The next row's target is looked up and begun on its device while this
    // row's file is copied.
    if (const int next = table_.FirstPendingRow(); next >= 0) {
        const platform::Result<Job, QString> nextJob = table_.ReadJob(next);
        if (nextJob && nextJob->action != Action::RemoveDir)
            transfer_.PrepareNext(nextJob->paths, nextJob->action == Action::Move, nextJob->size);
    }

    counters_.CurrentFileDone = 0;
    CopyProgress progress{counters_, abortRequested_};
    // A row from a walked tree is taken from the very directory the walk
    // listed: one replaced since (by a link to elsewhere, say) is not followed.
    // Copied out: queueing inside the pumps may grow the table of identities.
    const auto id = sourceDirIds_.constFind(serial);
    const std::optional<platform::DirectoryId> sourceDirId =
        id != sourceDirIds_.cend() ? std::optional(*id) : std::nullopt;
    // A copy cut short by a failure is offered again at the next Start, like
    // an aborted one.
    const CopyResult result = CutShortAs(table_, serial, StatusAborted, [&] {
        return job.action == Action::Move
                   ? transfer_.Move(progress, job.paths, sourceDirId, serial)
                   : transfer_.Copy(progress, job.paths, sourceDirId, serial);
    });
    // The copy pumps: find the row again rather than trust its old position.
    // A Complete row leaves the table at the settle that finds its file on disk.
    row = table_.Grid().RowOfSerial(serial);
    if (row >= 0) table_.SetCell(colStatus, row, StatusWord(result));
    Settle(SettleWhen::Due);

    // A size edited by hand further down is that row's problem when its turn comes.
    (void)CountPendingDeferringFailure(table_, counters_);
    window_.RefreshQueueView();
    platform::PumpMessages();
    return RowStart::Started;
}

void QueueRunner::StopQueue() {
    if (state_ == QueueState::Stopped) {
        Notice(QStringLiteral("The queue is not currently running!"));
        return;
    }
    state_ = QueueState::Stopping;
}

void QueueRunner::AbortQueue() {
    if (state_ == QueueState::Stopped) {
        Notice(QStringLiteral("The queue is not currently running!"));
        return;
    }
    state_ = QueueState::Aborting;
    abortRequested_ = true;
}

void QueueRunner::btnStartClick() {
    RunQueue();
    window_.RefreshQueueView();
    // A Start refused during a run must not stop the running queue's clock.
    if (state_ == QueueState::Stopped) window_.SetQueueTimer(false);
    const std::exception_ptr unreadable = CountPendingDeferringFailure(table_, counters_);
    window_.RefreshStatistics();
    window_.RereadPanes();
    if (unreadable) std::rethrow_exception(unreadable);
}

void QueueRunner::btnStopClick() {
    StopQueue();
    window_.RefreshQueueView();
}

void QueueRunner::btnAbortClick() {
    AbortQueue();
    window_.RefreshQueueView();
}

void QueueRunner::btnClearAllClick() {
    if (state_ != QueueState::Stopped) {
        Notice(QStringLiteral("Cannot clear queue while it is currently running!"));
        return;
    }
    if (!Ask(QStringLiteral("Clear queue?"))) return;
    table_.ClearQueue(counters_);
    window_.RefreshQueueView();
    table_.CountPending(counters_);
    window_.RefreshStatistics();
}

void QueueRunner::btnRemoveClick() {
    if (state_ != QueueState::Stopped) {
        Notice(QStringLiteral("Cannot remove queue rows while it is currently running!"));
        return;
    }
    const int selected = table_.Grid().SelectedCount();
    if (selected == 0) {
        Notice(QStringLiteral("Select queue rows to remove"));
        return;
    }
    if (!Ask(QStringLiteral("Remove ") + QString::number(selected) +
             QStringLiteral(" selected rows from queue?"))) {
        return;
    }
    table_.RemoveSelectedRows();
    window_.RefreshQueueView();
    const std::exception_ptr unreadable = CountPendingDeferringFailure(table_, counters_);
    window_.RefreshStatistics();
    if (unreadable) std::rethrow_exception(unreadable);
}

void QueueRunner::TimerQueueTimer() {
    ++counters_.Ticks;
    window_.RefreshStatistics();
}

}  // namespace queue
