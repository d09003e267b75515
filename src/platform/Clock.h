#pragma once
// Local date-times as days plus a fraction of a day since 1899-12-30 00:00,
// the form the program's dates are held in. The clock is injectable for tests.

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <functional>

namespace platform {

using TDateTime = double;

// The current local date-time (or the test clock's).
TDateTime Now();

// Tests: replaces the clock; an empty function restores the system clock.
void SetClock(std::function<TDateTime()> clock);

TDateTime ToDateTime(const QDateTime& local);
QDateTime FromDateTime(TDateTime value);

// The same by calendar date and wall-clock time, without a QDateTime: a wall
// time that a change to summer time skips is still a valid value here.
TDateTime ToDateTime(const QDate& date, const QTime& time);
QDate DatePart(TDateTime value);
QTime TimePart(TDateTime value);  // to the millisecond

}  // namespace platform
