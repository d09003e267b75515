#pragma once
// Date-time format texts of the status bar's clock and date panels ("hh:mm:ss",
// "mm/dd/yyyy"). Letters pick fields; ":" and "/" stand for the user's time and
// date separators, so one design-time format reads right in every locale.

#include "platform/Clock.h"

#include <QChar>
#include <QString>

namespace app {

// Fields: h/hh hour (0-23; 1-12 when "am/pm" is present), n/nn minute, m/mm
// minute right after an hour field and month otherwise, s/ss second, d/dd day,
// yy/yyyy year, "am/pm" the marker; text in '...' or "..." is copied as is.
QString FormatPanelDateTime(const QString& format, platform::TDateTime value, QChar timeSeparator,
                            QChar dateSeparator);

// The separators of the locale in force, read from its long time and short
// date formats (":" and "/" when a format shows none).
QChar LocaleTimeSeparator();
QChar LocaleDateSeparator();

// FormatPanelDateTime with the separators of the locale in force.
QString FormatPanelDateTime(const QString& format, platform::TDateTime value);

}  // namespace app
