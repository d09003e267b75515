#include "app/richtext/PanelTimeFormat.h"

#include "platform/Locale.h"

namespace app {
namespace {

// The first character after the first field that is neither a letter nor a
// quote: the separator the locale writes between its fields.
QChar SeparatorOf(const QString& format, QChar fallback) {
    bool seenField = false;
    for (const QChar c : format) {
        if (c.isLetter()) {
            seenField = true;
            continue;
        }
        if (!seenField || c == u'\'' || c == u'"' || c.isSpace()) continue;
        return c;
    }
    return fallback;
}

QString Padded(int value, int digits) {
    return QString::number(value).rightJustified(digits, u'0');
}

}  // namespace

QString FormatPanelDateTime(const QString& format, platform::TDateTime value, QChar timeSeparator,
                            QChar dateSeparator) {
    const QDateTime moment = platform::FromDateTime(value);
    const QDate date = moment.date();
    const QTime time = moment.time();
    const bool twelveHour = format.contains(QLatin1String("am/pm"), Qt::CaseInsensitive);

    QString out;
    QChar lastField;
    qsizetype i = 0;
    const qsizetype n = format.size();
    auto runOf = [&](QChar letter) {
        qsizetype len = 0;
        while (i + len < n && format[i + len].toLower() == letter)
            ++len;
        return len;
    };
    while (i < n) {
        const QChar c = format[i];
        const QChar lower = c.toLower();
        if (c == u'\'' || c == u'"') {
            const qsizetype close = format.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? n : close;
            out += format.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == u':') {
            out += timeSeparator;
            ++i;
            continue;
        }
        if (c == u'/') {
            out += dateSeparator;
            ++i;
            continue;
        }
        if (format.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            const bool upper = c.isUpper();
            const QString marker = time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
            out += upper ? marker.toUpper() : marker;
            i += 5;
            continue;
        }
        if (!c.isLetter()) {
            out += c;
            ++i;
            continue;
        }
        const qsizetype len = runOf(lower);
        const bool two = len >= 2;
        if (lower == u'h') {
            int hour = time.hour();
            if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
            out += Padded(hour, two ? 2 : 1);
        } else if (lower == u'n' || (lower == u'm' && lastField == u'h')) {
            out += Padded(time.minute(), two ? 2 : 1);
        } else if (lower == u'm') {
            out += Padded(date.month(), two ? 2 : 1);
        } else if (lower == u's') {
            out += Padded(time.second(), two ? 2 : 1);
        } else if (lower == u'd') {
            out += Padded(date.day(), two ? 2 : 1);
        } else if (lower == u'y') {
            out += len >= 3 ? Padded(date.year(), 4) : Padded(date.year() % 100, 2);
        } else {
            out += format.mid(i, len);
        }
        lastField = lower;
        i += len;
    }
    return out;
}

QChar LocaleTimeSeparator() {
    return SeparatorOf(platform::CurrentLocale().longTimeFormat, u':');
}

QChar LocaleDateSeparator() {
    return SeparatorOf(platform::CurrentLocale().shortDateFormat, u'/');
}

QString FormatPanelDateTime(const QString& format, platform::TDateTime value) {
    return FormatPanelDateTime(format, value, LocaleTimeSeparator(), LocaleDateSeparator());
}

}  // namespace app
