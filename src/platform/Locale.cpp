#include "platform/Locale.h"

#include <QLocale>

#include <optional>

namespace platform {
namespace {
std::optional<LocaleFormats> current;
int generation = 0;
}  // namespace

LocaleFormats EnglishLocale() {
    return LocaleFormats{};
}

LocaleFormats CommaDecimalLocale() {
    LocaleFormats f;
    f.decimalSeparator = u',';
    f.thousandSeparator = u'.';
    f.shortDateFormat = QStringLiteral("dd.MM.yyyy");
    f.longTimeFormat = QStringLiteral("HH:mm:ss");
    f.collationName = QStringLiteral("de_DE");
    return f;
}

LocaleFormats SystemLocale() {
    const QLocale system = QLocale::system();
    // The C locale (no LANG set) reads as English, as a desktop user would expect.
    if (system.language() == QLocale::C) return EnglishLocale();
    LocaleFormats f;
    f.decimalSeparator = system.decimalPoint().isEmpty() ? QChar(u'.') : system.decimalPoint()[0];
    const QString group = system.groupSeparator();
    f.thousandSeparator = group.isEmpty() ? QChar() : group[0];
    f.shortDateFormat = system.dateFormat(QLocale::ShortFormat);
    f.longTimeFormat = system.timeFormat(QLocale::LongFormat);
    // Qt's long time format names the zone ("t"); the program's long time has none.
    f.longTimeFormat.remove(QLatin1Char('t'));
    f.longTimeFormat = f.longTimeFormat.trimmed();
    f.collationName = system.name();
    return f;
}

const LocaleFormats& CurrentLocale() {
    if (!current) current = SystemLocale();
    return *current;
}

void SetLocale(const LocaleFormats& formats) {
    current = formats;
    ++generation;
}

int LocaleGeneration() {
    return generation;
}

QString FormatShortDate(TDateTime value) {
    return QLocale::c().toString(DatePart(value), CurrentLocale().shortDateFormat);
}

QString FormatLongTime(TDateTime value) {
    return QLocale::c().toString(TimePart(value), CurrentLocale().longTimeFormat);
}

QString FormatDateTime(TDateTime value) {
    if (TimePart(value) == QTime(0, 0)) return FormatShortDate(value);
    return FormatShortDate(value) + u' ' + FormatLongTime(value);
}

}  // namespace platform
