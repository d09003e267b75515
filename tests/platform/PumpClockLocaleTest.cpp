#include "platform/Clock.h"
#include "platform/Locale.h"
#include "platform/Pump.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PumpTest, HookSeesEachPumpNumberAndPendingEventsRun) {
    std::vector<std::int64_t> seen;
    platform::SetPumpHook([&](std::int64_t n) { seen.push_back(n); });
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    platform::PumpMessages();
    platform::PumpMessages();
    platform::SetPumpHook({});
    EXPECT_TRUE(fired);
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2}));
}

TEST(PumpTest, HookMayRemoveItself) {
    int calls = 0;
    platform::SetPumpHook([&](std::int64_t) {
        ++calls;
        platform::SetPumpHook({});
    });
    platform::PumpMessages();
    platform::PumpMessages();
    EXPECT_EQ(calls, 1);
}

TEST(PumpTest, PacedPumpPumpsAtItsFirstStepThenOncePerInterval) {
    const struct {
        std::chrono::steady_clock::duration interval;
        std::int64_t pumps;
    } cases[] = {{std::chrono::hours(1), 1}, {std::chrono::steady_clock::duration::zero(), 3}};
    for (const auto& c : cases) {
        platform::SetPumpHook([](std::int64_t) {});
        platform::PacedPump pump(c.interval);
        for (int step = 0; step < 3; ++step)
            pump.Step();
        EXPECT_EQ(platform::PumpCount(), c.pumps);
    }
    platform::SetPumpHook({});
}

TEST(ClockTest, DaysSinceTheEpochWithFractionOfDay) {
    const QDateTime noon(QDate(1900, 1, 1), QTime(12, 0));
    EXPECT_DOUBLE_EQ(platform::ToDateTime(noon), 2.5);
    const QDateTime back = platform::FromDateTime(46000.75);
    EXPECT_EQ(back.date(), QDate(1899, 12, 30).addDays(46000));
    EXPECT_EQ(back.time(), QTime(18, 0));
    // Round trip to the millisecond.
    const QDateTime t(QDate(2026, 12, 9), QTime(5, 49, 15, 250));
    EXPECT_EQ(platform::FromDateTime(platform::ToDateTime(t)), t);
}

TEST(ClockTest, TestClockReplacesTheSystemClock) {
    platform::SetClock([] { return 1234.5; });
    EXPECT_DOUBLE_EQ(platform::Now(), 1234.5);
    platform::SetClock({});
    EXPECT_GT(platform::Now(), 46000.0);
}

TEST(LocaleTest, DatesAndTimesFollowTheInstalledLocale) {
    const platform::TDateTime t =
        platform::ToDateTime(QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)));
    const int before = platform::LocaleGeneration();
    platform::SetLocale(platform::EnglishLocale());
    EXPECT_NE(platform::LocaleGeneration(), before);
    EXPECT_EQ(platform::FormatShortDate(t), "3/7/2026");
    EXPECT_EQ(platform::FormatLongTime(t), "2:05:09 PM");
    platform::SetLocale(platform::CommaDecimalLocale());
    EXPECT_EQ(platform::CurrentLocale().decimalSeparator, u',');
    EXPECT_EQ(platform::CurrentLocale().thousandSeparator, u'.');
    EXPECT_EQ(platform::FormatShortDate(t), "07.03.2026");
    EXPECT_EQ(platform::FormatLongTime(t), "14:05:09");
    // Date and time together; the date alone at exactly midnight.
    EXPECT_EQ(platform::FormatDateTime(t), "07.03.2026 14:05:09");
    EXPECT_EQ(platform::FormatDateTime(std::floor(t)), "07.03.2026");
    EXPECT_EQ(platform::FormatDateTime(std::floor(t) + 1.0 / 86400), "07.03.2026 00:00:01");
    platform::SetLocale(platform::EnglishLocale());
}

}  // namespace
