#pragma once
// The queue of one program run: the table, the counters and the runner, with
// the queueing commands (the four middle buttons) that add rows. It reaches
// the window only through QueueWindow (QueueRunner.h), so it builds and runs
// without any widget library; the main window implements that interface,
// tests implement it too.

#include "queue/QueueRunner.h"
#include "queue/QueueTable.h"
#include "queue/RunState.h"

#include "platform/Clock.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace queue {

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
    // No window given: one that shows nothing.
    explicit QueueSession(QueueWindow& window = NoWindow());
    QueueSession(const QueueSession&) = delete;
    QueueSession& operator=(const QueueSession&) = delete;

    QueueTable& Table() { return table_; }
    const QueueTable& Table() const { return table_; }
    TRunCounters& Counters() { return counters_; }
    const TRunCounters& Counters() const { return counters_; }
    QueueRunner& Runner() { return runner_; }
    QueueState State() const { return runner_.State(); }

    // PendingCount and PendingBytes afresh from the table (first activation,
    // after a queue file was loaded). Throws EConvertError like the table.
    void CountPending();
    // The status bar texts for the state and counters now.
    QueueStatistics Statistics() const;

    void QueueSelected(const QueueRequest& request);
    // sourceDirId: the identity the directory had when a tree walk listed the
    // file; the run then takes the file from that directory only. size: what
    // that walk listed; without it the file is measured.
    bool QueueFile(const QString& sourceDir, const QString& fileName, const QString& targetDir,
                   const QString& action, const platform::DirectoryId* sourceDirId = nullptr,
                   std::optional<std::int64_t> size = std::nullopt);
    void QueueRemoveDir(const QString& dir, const QString& action);

private:
    static QueueWindow& NoWindow();
    // Whether a file is at target, in dir; nullopt when the device did not
    // answer. dir is asked once per command whether it can be entered: no
    // file is below one that cannot.
    std::optional<bool> TargetExists(const QString& dir, const QString& target);

    QueueWindow& window_;
    TRunCounters counters_;
    QueueTable table_;
    QueueRunner runner_;
    // The answer to the last "exists, do you want to override it?" box; a
    // queueing command starts with none.
    std::int32_t overwriteAnswer_ = 0;
    // The target directories a queueing command asked about: a tree queued for
    // a place that does not exist yet costs one look-up per directory, not
    // one per file (each one a round trip on a share).
    // What entering each one gave: 0, or the errno.
    std::optional<QHash<QString, int>> targetDirs_;
};

QueueStatistics ComputeStatistics(QueueState state, const TRunCounters& counters,
                                  platform::TDateTime now);

}  // namespace queue
