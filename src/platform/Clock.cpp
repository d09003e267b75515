#include "platform/Clock.h"

#include <cmath>

namespace platform {
namespace {
std::function<TDateTime()> testClock;
const QDate epoch(1899, 12, 30);
constexpr double msPerDay = 86'400'000.0;
}  // namespace

TDateTime ToDateTime(const QDateTime& local) {
    // Days by calendar plus the time of day, so that DST shifts do not bend the fraction.
    const double days = static_cast<double>(epoch.daysTo(local.date()));
    const double fraction = local.time().msecsSinceStartOfDay() / msPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime FromDateTime(TDateTime value) {
    const double wholeDays = value >= 0 ? std::floor(value) : std::ceil(value);
    double fraction = std::abs(value - wholeDays);
    auto ms = static_cast<qint64>(std::llround(fraction * msPerDay));
    if (ms >= static_cast<qint64>(msPerDay)) ms = static_cast<qint64>(msPerDay) - 1;
    const QDate date = epoch.addDays(static_cast<qint64>(wholeDays));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime Now() {
    if (testClock) return testClock();
    return ToDateTime(QDateTime::currentDateTime());
}

void SetClock(std::function<TDateTime()> clock) {
    testClock = std::move(clock);
}

}  // namespace platform
