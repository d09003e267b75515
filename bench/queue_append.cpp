// How the cost of queueing grows with the length of the queue: for each new
// job the duplicate check, then a new row and its eight cells. Linear growth
// gives a ratio of 10 between 100,000 and 10,000 jobs.

#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include "BenchClock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace {

using bench::CpuSeconds;

struct Job {
    QString sourceDir;
    QString fileName;
    QString targetDir;
};

std::vector<Job> Jobs(int count) {
    std::vector<Job> jobs;
    jobs.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        jobs.push_back(Job{QStringLiteral("C:\\Data\\Photos\\%1").arg(i / 250),
                           QStringLiteral("IMG_%1.jpg").arg(i),
                           QStringLiteral("D:\\Backup\\Photos\\%1").arg(i / 250)});
    }
    return jobs;
}

double QueueSeconds(const std::vector<Job>& jobs) {
    queue::QueueTable table;
    const double start = CpuSeconds();
    for (const Job& job : jobs) {
        if (table.IsQueued(job.sourceDir, job.fileName, job.targetDir)) {
            throw std::logic_error("distinct jobs reported as queued");
        }
        table.AppendJob(queue::QueueJob{job.sourceDir, job.fileName, job.targetDir, 123456,
                                        queue::ActionMove, queue::StatusPending});
    }
    const double took = CpuSeconds() - start;
    if (table.RowCount() != static_cast<int>(jobs.size()) + 1) throw std::logic_error("rows lost");
    return took;
}

}  // namespace

int main() {
    const std::vector<Job> smallJobs = Jobs(10000);
    const std::vector<Job> largeJobs = Jobs(100000);
    // Rounds interleave the two sizes so that both meet the same load on a
    // shared machine; the best of each size counts.
    double small = 1e300;
    double large = 1e300;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 3; ++i)
            small = std::min(small, QueueSeconds(smallJobs));
        large = std::min(large, QueueSeconds(largeJobs));
    }
    std::printf("queueing %d jobs: %.6f s (best of 15)\n", 10000, small);
    std::printf("queueing %d jobs: %.6f s (best of 5)\n", 100000, large);
    std::printf("queue_append_ratio_100k_vs_10k: %.2f\n", large / small);
    return 0;
}
