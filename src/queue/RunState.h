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
};

// Legacy: only the old copy loop (CopyEngine.cpp) and the bridge to it still
// read and write these. They go when the copy takes its state as arguments;
// nothing new may use them.
extern TRunCounters RunCounters;
extern bool AbortRequested;
// Legacy, for the tests of that copy loop: back to the start-up values.
void ResetRunState();

}  // namespace queue
