// How the statistics update grows with the length of the queue: 1,000,000
// queued rows over 10,000 target directories against 100,000 rows over the
// same directories. Linear growth gives a ratio of 10.

#include "platform/StringGrid.h"
#include "queue/QueueTable.h"
#include "queue/StatsTable.h"
#include "queue/Vocabulary.h"

#include "BenchClock.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr int kTargets = 10000;

// Targets three levels deep below five drives, so that ancestors are shared.
void FillQueue(platform::StringGrid& queue, int rows) {
    queue.SetRowCount(1 + rows);
    for (int i = 0; i < rows; ++i) {
        const int row = 1 + i;
        const int target = i % kTargets;
        queue.SetCell(queue::colSourceDir, row, QStringLiteral("C:\\Src"));
        queue.SetCell(queue::colFileName, row, QStringLiteral("file%1.dat").arg(i));
        queue.SetCell(queue::colTargetDir, row,
                      QStringLiteral("%1:\\Backup\\Set%2\\Dir%3")
                          .arg(QChar(u'D' + target % 5))
                          .arg(target / 100)
                          .arg(target));
        queue.SetCell(queue::colRealSize, row, queue::RealSizeText(1000.0 + i % 977));
        queue.SetCell(queue::colAction, row, i % 3 ? queue::ActionCopy : queue::ActionMove);
        queue.SetCell(queue::colStatus, row, queue::StatusPending);
    }
}

double UpdateSeconds(const platform::StringGrid& queue) {
    platform::StringGrid stats(queue::StatsColumnCount, 2);
    queue::InitStatsTable(stats);
    const double start = bench::CpuSeconds();
    queue::UpdateQueueStats(queue, stats);
    const double took = bench::CpuSeconds() - start;
    if (stats.RowCount() < kTargets) throw std::logic_error("too few statistics rows");
    return took;
}

}  // namespace

int main() {
    platform::StringGrid small(queue::QueueColumnCount, 2);
    platform::StringGrid large(queue::QueueColumnCount, 2);
    FillQueue(small, 100'000);
    FillQueue(large, 1'000'000);
    // Interleaved rounds meet the same load on a shared machine; the best counts.
    double smallBest = 1e300;
    double largeBest = 1e300;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i)
            smallBest = std::min(smallBest, UpdateSeconds(small));
        largeBest = std::min(largeBest, UpdateSeconds(large));
    }
    std::printf("update over %d rows: %.6f s (best of 9)\n", 100'000, smallBest);
    std::printf("stats_update_1m_rows_s: %.6f\n", largeBest);
    std::printf("stats_update_ratio_1m_vs_100k: %.2f\n", largeBest / smallBest);
    return 0;
}
