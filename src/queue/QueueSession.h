#pragma once
// The queue at work: the table, the run state and the counters of one
// program run, with the commands that change them (queueing, the runner and
// its controls). It reaches the window only through QueueWindow, so it builds
// and runs without any widget library; the main window implements that
// interface, tests implement it too.
//
// Everything runs on the one GUI thread. Long work pumps events between steps
// (platform::PumpMessages), and every other command, Stop and Abort included,
// runs inside those pumps and talks to the runner only through State() and
// AbortRequested.

#include "queue/QueueTable.h"
#include "queue/RunState.h"
#include "queue/Transfer.h"

#include "platform/Clock.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

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

// A window that shows nothing, for runs that need no screen (benchmarks,
// harnesses).
class NoQueueWindow : public QueueWindow {
public:
    void RefreshStatistics() override {}
    void RefreshQueueView() override {}
    void SetQueueTimer(bool) override {}
    void RepaintDirectoryLists() override {}
    void RereadPanes() override {}
    void SetBusyCursor(bool) override {}
};

// One entry of the source pane's file list, by its position in the list.
struct QueueEntry {
    QString text;  // as listed: "name", "[dir]", "[.]", "[..]"
    bool ticked = false;
    bool isDirectory = false;  // what the disk said, not the brackets
};

// The input of one queueing command: what the four middle buttons hand over.
struct QueueRequest {
    QString action;     // ActionCopy or ActionMove
    QString sourceDir;  // the source file list's directory
    QString targetDir;  // the other pane's directory list's directory
    std::vector<QueueEntry> entries;
    // Unticks entry i of the source file list; called for each ticked entry
    // before anything else is decided about it.
    std::function<void(int index)> untick;
};

// The status bar texts of the queue, computed afresh from the state. Panels 4
// to 6 are not written while the queue is Stopped: they are empty optionals then.
struct QueueStatistics {
    int stateImage = 3;  // traffic light: 1 green, 2 amber, 3 red
    QString stateText;   // QueueStateText
    QString fileCount;
    QString pendingSize;
    std::optional<QString> speed;
    std::optional<QString> remaining;
    std::optional<QString> arrival;
    int progress = 0;  // 0 to 100
    QString currentFile;
};

class QueueSession {
public:
    explicit QueueSession(QueueWindow* window = nullptr);
    ~QueueSession();
    QueueSession(const QueueSession&) = delete;
    QueueSession& operator=(const QueueSession&) = delete;

    void SetWindow(QueueWindow* window) { window_ = window; }

    QueueTable& Table() { return table_; }
    const QueueTable& Table() const { return table_; }
    QueueState State() const { return state_; }
    void SetState(QueueState state) { state_ = state; }
    TRunCounters& Counters() { return counters_; }
    const TRunCounters& Counters() const { return counters_; }
    std::int32_t OverwriteAnswer = 0;
    bool AbortRequested = false;

    // PendingCount and PendingBytes afresh from the table (first activation,
    // after a queue file was loaded). Throws EConvertError like the table.
    void CountPending();
    // The status bar texts for the state and counters now.
    QueueStatistics Statistics() const;
    // The file work of the runs; the window settles it at close.
    TransferEngine& Transfer() { return transfer_; }

    // Queueing (the four middle buttons).
    void QueueSelected(const QueueRequest& request);
    // sourceDir: the identity the directory had when a tree walk listed the
    // file; the run then takes the file from that directory only.
    bool QueueFile(const QString& sourceDir, const QString& fileName, const QString& targetDir,
                   const QString& action, const platform::DirectoryId* sourceDirId = nullptr);
    void QueueRemoveDir(const QString& dir, const QString& action);

    // The runner and its controls. The btn... members are the whole handlers
    // of the queue toolbar; the window calls them inside its Guard.
    void RunQueue();
    void StopQueue();
    void AbortQueue();
    void btnStartClick();
    void btnStopClick();
    void btnAbortClick();
    void btnClearAllClick();
    void btnRemoveClick();
    void TimerQueueTimer();

private:
    class RunScope;
    enum class RowStart { Started, EndRun };
    void RefreshStatistics();
    void RefreshQueueView();
    std::exception_ptr CountPendingDeferringFailure();
    bool RestartAborted();
    void RunRemoveDir(int row, const QString& dir);
    RowStart RunFileRow(int row, const Job& job);

    QueueWindow* window_;
    TRunCounters counters_;
    QueueState state_ = QueueState::Stopped;
    QueueTable table_;
    TransferEngine transfer_;
    // Rows queued from a walked tree, by row serial: the identity their source
    // directory had when listed. Rows read from a queue file have none.
    QHash<std::uint64_t, platform::DirectoryId> sourceDirIds_;
};

// Joins two path parts with exactly one "\" between them.
QString JoinPath(const QString& first, const QString& second);

QueueStatistics ComputeStatistics(QueueState state, const TRunCounters& counters,
                                  platform::TDateTime now);

}  // namespace queue
