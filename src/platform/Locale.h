#pragma once
// The user's number and date conventions. Read once from the system locale;
// tests install their own (an English one and a "," decimal / "." thousands one).

#include "platform/Clock.h"

#include <QChar>
#include <QString>

namespace platform {

struct LocaleFormats {
    QChar decimalSeparator = u'.';
    QChar thousandSeparator = u',';  // QChar() when the locale groups no digits
    QString shortDateFormat = QStringLiteral("M/d/yyyy");  // QDateTime format syntax
    QString longTimeFormat = QStringLiteral("h:mm:ss AP");
    QString collationName = QStringLiteral("en_US");  // QLocale name used for sorting
};

LocaleFormats EnglishLocale();
// "," decimal and "." thousands, day-first dates, 24-hour times.
LocaleFormats CommaDecimalLocale();
LocaleFormats SystemLocale();

// The locale in force (the system's until a test installs another).
const LocaleFormats& CurrentLocale();
void SetLocale(const LocaleFormats& formats);

// Changes each time SetLocale runs, so that caches of parsed numbers know when to redo.
int LocaleGeneration();

// Dates and times as the user reads them.
QString FormatShortDate(TDateTime value);
QString FormatLongTime(TDateTime value);
// The short date, a blank and the long time; the date alone at exactly 00:00:00.
QString FormatDateTime(TDateTime value);

}  // namespace platform
