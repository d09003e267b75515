#pragma once
// The run state of the queue and the counters that the runner, the copy and
// the status bar share. A QueueSession owns one of each.

#include <QString>

#include <cstdint>

namespace queue {

enum class QueueState : std::int32_t {
    Stopped = 0,
    Running = 1,
    Stopping = 2,
    Aborting = 3,
};

// The status bar text of a state: "Stopped", "Running", "Stopping", "Aborting".
QString QueueStateText(QueueState state);

struct TRunCounters {
    std::int64_t Ticks = 0;
    std::int64_t RunBytes = 0;
    std::int64_t CurrentFileDone = 0;
    std::int64_t CurrentFileSize = 0;
    QString CurrentAction;
    QString CurrentFileName;
    std::int64_t PendingCount = 0;
    std::int64_t PendingBytes = 0;
    // Whole seconds since the run began by the clock, where the caller keeps
    // one (0 otherwise): a stalled thread misses timer ticks, and an average
    // over ticks alone would keep the speed from before the stall.
    std::int64_t SecondsRun = 0;
};

}  // namespace queue
