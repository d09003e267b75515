// The status bar texts of the queue: state, totals, speed, remaining time,
// arrival and the current file, computed afresh from the state each time.

#include "platform/Locale.h"
#include "queue/Format.h"
#include "queue/QueueSession.h"

#include <algorithm>

namespace queue {
namespace {

int StateImage(QueueState state) {
    switch (state) {
        case QueueState::Running:
            return 1;
        case QueueState::Stopping:
        case QueueState::Aborting:
            return 2;
        case QueueState::Stopped:
            break;
    }
    return 3;
}

constexpr double SecondsPerDay = 86400.0;

}  // namespace

QueueStatistics ComputeStatistics(QueueState state, const TRunCounters& counters,
                                  platform::TDateTime now) {
    QueueStatistics out;
    out.stateImage = StateImage(state);
    out.stateText = QueueStateText(state);
    out.fileCount = QString::number(counters.PendingCount);
    out.pendingSize = FormatSize(counters.PendingBytes);
    if (state == QueueState::Stopped) return out;  // progress 0, no current file

    const QString calculating = QStringLiteral("Calculating");
    // The first two ticks are too few for an average worth showing.
    std::int64_t speed = 0;
    if (counters.Ticks <= 2) {
        out.speed = calculating;
    } else {
        speed = counters.RunBytes / std::max(counters.Ticks, counters.SecondsRun);
        out.speed = FormatSize(speed) + QStringLiteral("/s");
    }

    if (speed <= 0) {
        out.remaining = calculating;
        out.arrival = calculating;
    } else {
        // The totals hold the whole current file until its row is done.
        const std::int64_t remaining =
            std::max<std::int64_t>(0, counters.PendingBytes - counters.CurrentFileDone);
        const std::int64_t seconds = remaining / speed;
        out.remaining = FormatDuration(seconds);
        out.arrival = platform::FormatLongTime(now + static_cast<double>(seconds) / SecondsPerDay);
    }

    std::int64_t percent = 100;
    if (counters.CurrentFileSize > 0)
        percent = counters.CurrentFileDone * 100 / counters.CurrentFileSize;
    // A file that grew after it was queued still reads full, not beyond.
    out.progress = static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100));
    out.currentFile = counters.CurrentAction + u' ' + counters.CurrentFileName;
    return out;
}

}  // namespace queue
