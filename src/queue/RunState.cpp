#include "queue/RunState.h"

namespace queue {

TRunCounters RunCounters;
bool AbortRequested = false;

QString QueueStateText(QueueState state) {
    switch (state) {
        case QueueState::Stopped:
            return QStringLiteral("Stopped");
        case QueueState::Running:
            return QStringLiteral("Running");
        case QueueState::Stopping:
            return QStringLiteral("Stopping");
        case QueueState::Aborting:
            return QStringLiteral("Aborting");
    }
    // Only the four states exist; anything else is no state to show.
    return QString();
}

void ResetRunState() {
    RunCounters = TRunCounters{};
    AbortRequested = false;
}

}  // namespace queue
