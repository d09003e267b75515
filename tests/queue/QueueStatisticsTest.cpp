#include "queue/QueueSession.h"

#include "support/LocaleGuard.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using queue::QueueState;

struct Case {
    const char* name;
    QueueState state;
    queue::TRunCounters counters;
    int image;
    std::optional<QString> speed, remaining, arrival;
    int progress;
    QString currentFile;
};

TEST(ComputeStatistics, FollowsThePanelRules) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    const platform::TDateTime noon = 45000.5;
    const QString calc = QStringLiteral("Calculating");
    // Ticks, RunBytes, CurrentFileDone, CurrentFileSize, CurrentAction,
    // CurrentFileName, PendingCount, PendingBytes.
    const Case cases[] = {
        {"stopped writes no figures",
         QueueState::Stopped,
         {9, 30'000'000, 5, 10, "Copy", "a", 2, 2048},
         3,
         {},
         {},
         {},
         0,
         ""},
        {"first tick",
         QueueState::Running,
         {1, 10'000'000, 0, 10, "Copy", "a", 1, 10},
         1,
         calc,
         calc,
         calc,
         0,
         "Copy a"},
        {"second tick",
         QueueState::Stopping,
         {2, 10'000'000, 5, 10, "Copy", "a", 1, 10},
         2,
         calc,
         calc,
         calc,
         50,
         "Copy a"},
        {"third tick shows figures",
         QueueState::Aborting,
         {3, 30'000'000, 0, 1000, "Move", "report.doc", 4, 95'367'432},
         2,
         "9.54 MB/s",
         "9 sec",
         "12:00:09 PM",
         0,
         "Move report.doc"},
        {"less than a byte a tick",
         QueueState::Running,
         {3, 2, 0, 0, "Copy", "z", 1, 100},
         1,
         "0 Bytes/s",
         calc,
         calc,
         100,
         "Copy z"},
        {"a grown file reads full",
         QueueState::Running,
         {10, 1000, 1500, 1000, "Copy", "g", 1, 1000},
         1,
         "100 Bytes/s",
         "0 sec",
         "12:00:00 PM",
         100,
         "Copy g"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const queue::QueueStatistics s = queue::ComputeStatistics(c.state, c.counters, noon);
        EXPECT_EQ(s.stateImage, c.image);
        EXPECT_EQ(s.stateText, queue::QueueStateText(c.state));
        EXPECT_EQ(s.fileCount, QString::number(c.counters.PendingCount));
        EXPECT_EQ(s.speed, c.speed);
        EXPECT_EQ(s.remaining, c.remaining);
        EXPECT_EQ(s.arrival, c.arrival);
        EXPECT_EQ(s.progress, c.progress);
        EXPECT_EQ(s.currentFile, c.currentFile);
    }
    EXPECT_EQ(queue::ComputeStatistics(QueueState::Stopped, {0, 0, 0, 0, {}, {}, 2, 2048}, noon)
                  .pendingSize,
              "2.00 KB");
}

}  // namespace
