#include "queue/RunState.h"

namespace queue {

std::int32_t QueueState = Stopped;
TRunCounters RunCounters;
std::int32_t OverwriteAnswer = 0;
bool AbortRequested = false;

QString QueueStateName(std::int32_t state) {
    switch (state) {
        case Stopped:
            return QStringLiteral("Stopped");
        case Running:
            return QStringLiteral("Running");
        case Stopping:
            return QStringLiteral("Stopping");
        case Aborting:
            return QStringLiteral("Aborting");
        default:
            // Only the four states exist; anything else is no state to show.
            return QString();
    }
}

void ResetRunState() {
    QueueState = Stopped;
    RunCounters = TRunCounters{};
    OverwriteAnswer = 0;
    AbortRequested = false;
}

}  // namespace queue
