// How the cost of saving and loading the queue file grows with the queue.
// Each round fills a table, saves it, drops it and loads the file into a
// fresh table, as a close and the next start do. Linear growth gives a ratio
// of 10 between 1,000,000 and 100,000 rows.

#include "persistence/QueueFile.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include "BenchClock.h"
#include "QueueFill.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace {

using bench::CommaDirs;
using bench::CpuSeconds;
using bench::FillPendingJobs;

double RoundSeconds(int rows, const QString& path) {
    auto table = std::make_unique<queue::QueueTable>();
    FillPendingJobs(*table, rows, CommaDirs::Yes);
    double start = CpuSeconds();
    persistence::SaveQueueFile(*table, path);
    double took = CpuSeconds() - start;
    table.reset();

    auto loaded = std::make_unique<queue::QueueTable>();
    start = CpuSeconds();
    persistence::LoadQueueFile(*loaded, path);
    took += CpuSeconds() - start;
    if (loaded->RowCount() != rows + 1 || loaded->FirstPendingRow() != 1) {
        throw std::logic_error("bad load");
    }
    return took;
}

double Best(int rows, int repetitions, const QString& path) {
    double best = 1e300;
    for (int i = 0; i < repetitions; ++i)
        best = std::min(best, RoundSeconds(rows, path));
    std::printf("save and load of %d rows: %.6f s (best of %d)\n", rows, best, repetitions);
    return best;
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString path = dir.filePath("ferrovant.csv");
    const double small = Best(100000, 5, path);
    const double large = Best(1000000, 2, path);
    std::printf("queue_file_scale_ratio_1m_vs_100k: %.2f\n", large / small);
    return 0;
}
