#include "queue/QueueSession.h"

#include "support/LocaleGuard.h"

#include <gtest/gtest.h>

namespace {

using queue::QueueState;

struct Case {
    QueueState state;
    queue::TRunCounters counters;
    int image;
    const char* figures;  // speed|remaining|arrival, nullptr when not written
    int progress;
    const char* currentFile;
};

queue::TRunCounters Counters(std::int64_t ticks, std::int64_t runBytes, std::int64_t done,
                             std::int64_t size, const char* action, const char* name,
                             std::int64_t pendingCount, std::int64_t pendingBytes,
                             std::int64_t secondsRun = 0) {
    return {ticks, runBytes, done, size, action, name, pendingCount, pendingBytes, secondsRun};
}

QString Figures(const queue::QueueStatistics& s) {
    if (!s.speed && !s.remaining && !s.arrival) return "none";
    return s.speed.value_or("?") + u'|' + s.remaining.value_or("?") + u'|' +
           s.arrival.value_or("?");
}

TEST(ComputeStatistics, FollowsThePanelRules) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    const platform::TDateTime noon = 45000.5;
    const Case cases[] = {
        {QueueState::Stopped, Counters(9, 30'000'000, 5, 10, "Copy", "a", 2, 2048), 3, nullptr, 0,
         ""},
        {QueueState::Running, Counters(1, 10'000'000, 0, 10, "Copy", "a", 1, 10), 1,
         "Calculating|Calculating|Calculating", 0, "Copy a"},
        {QueueState::Stopping, Counters(2, 10'000'000, 5, 10, "Copy", "a", 1, 10), 2,
         "Calculating|Calculating|Calculating", 50, "Copy a"},
        {QueueState::Aborting,
         Counters(3, 30'000'000, 0, 1000, "Move", "report.doc", 4, 95'367'432), 2,
         "9.54 MB/s|9 sec|12:00:09 PM", 0, "Move report.doc"},
        // Three ticks handled in 30 s: a stall. The average counts the seconds
        // that passed, not the ticks, and so does the time left.
        {QueueState::Running,
         Counters(3, 30'000'000, 0, 1000, "Move", "report.doc", 4, 95'367'432, 30), 1,
         "976.60 KB/s|1.58 min|12:01:35 PM", 0, "Move report.doc"},
        // Less than a byte a tick: no speed to divide by.
        {QueueState::Running, Counters(3, 2, 0, 0, "Copy", "z", 1, 100), 1,
         "0 Bytes/s|Calculating|Calculating", 100, "Copy z"},
        // A file grown past its queued size; totals older than the current file.
        {QueueState::Running, Counters(10, 1000, 1500, 1000, "Copy", "g", 1, 1000), 1,
         "100 Bytes/s|0 sec|12:00:00 PM", 100, "Copy g"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(queue::QueueStateText(c.state).toStdString() + " " + c.currentFile);
        const queue::QueueStatistics s = queue::ComputeStatistics(c.state, c.counters, noon);
        EXPECT_EQ(s.stateImage, c.image);
        EXPECT_EQ(s.stateText, queue::QueueStateText(c.state));
        EXPECT_EQ(s.fileCount, QString::number(c.counters.PendingCount));
        EXPECT_EQ(Figures(s), c.figures ? c.figures : "none");
        EXPECT_EQ(s.progress, c.progress);
        EXPECT_EQ(s.currentFile, c.currentFile);
    }
    EXPECT_EQ(queue::ComputeStatistics(QueueState::Stopped, {0, 0, 0, 0, {}, {}, 2, 2048}, noon)
                  .pendingSize,
              "2.00 KB");
}

}  // namespace
