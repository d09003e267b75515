#include "platform/Clock.h"

#include <cmath>

namespace platform {
namespace {
std::function<TDateTime()> testClock;
const QDate epoch(1899, 12, 30);
constexpr double msPerDay = 86'400'000.0;

double WholeDays(TDateTime value) {
    return value >= 0 ? std::floor(value) : std::ceil(value);
}
}  // namespace

TDateTime ToDateTime(const QDate& date, const QTime& time) {
    // Days by calendar plus the time of day, so that DST shifts do not bend the fraction.
    const double days = static_cast<double>(epoch.daysTo(date));
    const double fraction = time.msecsSinceStartOfDay() / msPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

TDateTime ToDateTime(const QDateTime& local) {
    return ToDateTime(local.date(), local.time());
}

QDate DatePart(TDateTime value) {
    return epoch.addDays(static_cast<qint64>(WholeDays(value)));
}

QTime TimePart(TDateTime value) {
    const double fraction = std::abs(value - WholeDays(value));
    auto ms = static_cast<qint64>(std::llround(fraction * msPerDay));
    if (ms >= static_cast<qint64>(msPerDay)) ms = static_cast<qint64>(msPerDay) - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QDateTime FromDateTime(TDateTime value) {
    return QDateTime(DatePart(value), TimePart(value));
}

TDateTime Now() {
    if (testClock) return testClock();
    return ToDateTime(QDateTime::currentDateTime());
}

void SetClock(std::function<TDateTime()> clock) {
    testClock = std::move(clock);
}

}  // namespace platform
