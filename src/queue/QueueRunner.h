#pragma once
// The runner: one run of the queue from Running back to Stopped, the run
// state, the abort request and the file work of the runs, with the controls
// of the queue toolbar.
//
// Everything runs on the one GUI thread. A run pumps events between steps
// (platform::PumpMessages), and every other command, Stop and Abort
// included, runs inside those pumps: they change the state and the abort
// request, which the runner and the copy read after every pump. The runner
// finds its row again by serial number after every pump.

#include "queue/QueueTable.h"
#include "queue/RunState.h"
#include "queue/Transfer.h"

#include <QHash>

#include <functional>

#include <cstdint>

namespace queue {

// What the engine asks of the window. Every call may come from inside a pump
// of a running queue.
class QueueWindow {
public:
    virtual ~QueueWindow() = default;
    // Recomputes the status bar from ComputeStatistics, then ShowFreeSpace.
    virtual void RefreshStatistics() = 0;
    // Repaints the queue table (the window may rate-limit this).
    virtual void RefreshQueueView() = 0;
    // TimerQueue on or off.
    virtual void SetQueueTimer(bool enabled) = 0;
    // The end of a run: repaint the left and the right directory lists.
    virtual void RepaintDirectoryLists() = 0;
    // After Start returns: re-read the left pane's directory list and file
    // list, then the right pane's.
    virtual void RereadPanes() = 0;
    // The busy cursor while a queueing command walks the ticked entries.
    virtual void SetBusyCursor(bool busy) = 0;
};

// A window that shows nothing, for queues that need no screen (benchmarks,
// harnesses, tests that look only at the table).
class NoQueueWindow : public QueueWindow {
public:
    void RefreshStatistics() override {}
    void RefreshQueueView() override {}
    void SetQueueTimer(bool) override {}
    void RepaintDirectoryLists() override {}
    void RereadPanes() override {}
    void SetBusyCursor(bool) override {}
};

class QueueRunner {
public:
    QueueRunner(QueueTable& table, TRunCounters& counters, QueueWindow& window);
    QueueRunner(const QueueRunner&) = delete;
    QueueRunner& operator=(const QueueRunner&) = delete;

    QueueState State() const { return state_; }
    bool AbortRequested() const { return abortRequested_; }
    // The file work of the runs (tests and benchmarks choose how moves are done).
    TransferEngine& Transfer() { return transfer_; }

    // A row queued from a walked tree, by serial: the identity its source
    // directory had when listed. The run then takes the file from there only.
    void RememberSourceDir(std::uint64_t serial, const platform::DirectoryId& id);
    // Makes the table's changes durable (the window's journal, waiting for
    // the disk); true when they are. A run calls it at every settle, after the
    // finished rows left the table and before their moved sources are
    // deleted. Without it, the table's changes count as recorded.
    void SetDurableRecord(std::function<bool()> record) { durableRecord_ = std::move(record); }

    void RunQueue();
    void StopQueue();
    void AbortQueue();
    // The whole handlers of the queue toolbar; the window calls them inside its Guard.
    void btnStartClick();
    void btnStopClick();
    void btnAbortClick();
    void btnClearAllClick();
    void btnRemoveClick();
    void TimerQueueTimer();

private:
    class RunScope;
    class RowSettling;
    enum class SettleWhen { Due, Now };
    // Settles the run's finished files into the table (Transfer.h).
    void Settle(SettleWhen when);
    enum class RowStart { Started, EndRun };
    bool RestartAborted();
    void RunRemoveDir(int row, const QString& dir);
    RowStart RunFileRow(int row, const Job& job);

    QueueTable& table_;
    TRunCounters& counters_;
    QueueWindow& window_;
    QueueState state_ = QueueState::Stopped;
    bool abortRequested_ = false;
    TransferEngine transfer_;
    platform::RoomCheck room_;
    std::function<bool()> durableRecord_;
    // Rows read from a queue file have no identity.
    QHash<std::uint64_t, platform::DirectoryId> sourceDirIds_;
};

}  // namespace queue
