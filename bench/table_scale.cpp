// How the cost of a queue run grows with the length of the queue. Each step
// is what the runner does per row: find the topmost pending row, mark it
// "In Progress", write "Complete", drop it and recount the pending totals.
// Linear growth gives a ratio of 10 between 100,000 and 10,000 rows.

#include "queue/QueueTable.h"
#include "queue/RunState.h"
#include "queue/Vocabulary.h"

#include "BenchClock.h"
#include "QueueFill.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace {

using bench::CommaDirs;
using bench::CpuSeconds;
using bench::FillPendingJobs;

double RunSeconds(int rows) {
    queue::QueueTable table;
    queue::TRunCounters counters;
    FillPendingJobs(table, rows, CommaDirs::No);
    const double start = CpuSeconds();
    int done = 0;
    for (int row = table.FirstPendingRow(); row >= 0; row = table.FirstPendingRow()) {
        table.SetCell(queue::colStatus, row, queue::StatusInProgress);
        table.SetCell(queue::colStatus, row, queue::StatusComplete);
        table.DropRow(row);
        table.CountPending(counters);
        ++done;
    }
    const double took = CpuSeconds() - start;
    if (done != rows || counters.PendingCount != 0) throw std::logic_error("bad run");
    return took;
}

}  // namespace

int main() {
    // Rounds interleave the two sizes so that both meet the same load on a
    // shared machine; the best of each size counts.
    double small = 1e300;
    double large = 1e300;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 3; ++i)
            small = std::min(small, RunSeconds(10000));
        large = std::min(large, RunSeconds(100000));
    }
    std::printf("run over %d rows: %.6f s (best of 15)\n", 10000, small);
    std::printf("run over %d rows: %.6f s (best of 5)\n", 100000, large);
    std::printf("table_scale_ratio_100k_vs_10k: %.2f\n", large / small);
    return 0;
}
