#pragma once
// A queue of pending copy jobs, a hundred files per directory, for the
// benchmarks that measure the table and its file at scale.

#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

namespace bench {

enum class CommaDirs { No, Yes };

// Appends `rows` pending jobs. With CommaDirs::Yes every hundredth job has a
// comma in its source directory, so writing the queue file has to quote it.
inline void FillPendingJobs(queue::QueueTable& table, int rows, CommaDirs commas) {
    for (int i = 0; i < rows; ++i) {
        const bool comma = commas == CommaDirs::Yes && i % 100 == 0;
        table.AppendJob(queue::QueueJob{comma ? QStringLiteral("C:\\Src\\Dir, %1").arg(i / 100)
                                              : QStringLiteral("C:\\Src\\Dir%1").arg(i / 100),
                                        QStringLiteral("file%1.dat").arg(i),
                                        QStringLiteral("D:\\Tgt\\Dir%1").arg(i / 100), 1000 + i,
                                        queue::ActionCopy, queue::StatusPending});
    }
}

}  // namespace bench
