#pragma once
// The program-wide run state shared by the runner, the copy engine and the
// status bar. Plain variables of the one GUI thread; no locking.

#include <QString>

#include <cstdint>

namespace queue {

enum QueueStateValue : std::int32_t {
    Stopped = 0,
    Running = 1,
    Stopping = 2,
    Aborting = 3,
};

// The status bar text of a state: "Stopped", "Running", "Stopping", "Aborting".
QString QueueStateName(std::int32_t state);

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

extern std::int32_t QueueState;
extern TRunCounters RunCounters;
// The last answer to the overwrite prompt of one queueing command (mrXxx, 0 none).
extern std::int32_t OverwriteAnswer;
extern bool AbortRequested;

// Back to the start-up values (tests).
void ResetRunState();

}  // namespace queue
