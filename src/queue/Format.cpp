#include "queue/Format.h"

#include "platform/Locale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace queue {

namespace {

// A non-negative decimal value as digits d1 d2 d3 ... meaning 0.d1d2d3... x 10^exponent;
// an empty digit string is zero.
struct Digits {
    std::string digits;
    int exponent = 0;
};

Digits Decompose(double magnitude) {
    // 18 significant digits, correctly rounded: "d.ddddddddddddddddde+XX".
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
    (void)ec;  // a finite double always fits 64 characters
    const std::string text(buffer, ptr);
    const std::size_t e = text.find('e');
    Digits d;
    d.digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.exponent = std::stoi(text.substr(e + 1)) + 1;
    if (d.digits.find_first_not_of('0') == std::string::npos) d.digits.clear();
    return d;
}

// Keeps the first `keep` digits, rounding half up on the next one.
Digits RoundTo(Digits d, int keep) {
    if (keep < 0 || d.digits.empty()) return Digits{};
    const bool up = static_cast<std::size_t>(keep) < d.digits.size() &&
                    d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(std::min(d.digits.size(), static_cast<std::size_t>(keep)));
    if (up) {
        int i = static_cast<int>(d.digits.size()) - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') {
            d.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i >= 0) {
            ++d.digits[static_cast<std::size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty()) return Digits{};
    return d;
}

char DigitAt(const Digits& d, int place) {
    // place 0 is the first digit after the leading "0." of the representation.
    if (place < 0 || place >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<std::size_t>(place)];
}

QString ExponentForm(const Digits& d, bool negative, QChar decimal) {
    QString out;
    if (negative) out += u'-';
    out += QLatin1Char(d.digits[0]);
    if (d.digits.size() > 1) {
        out += decimal;
        out += QString::fromLatin1(d.digits.substr(1));
    }
    out += u'E';
    out += QStringLiteral("%1").arg(d.exponent - 1, 2, 10, QLatin1Char('0'));
    return out;
}

}  // namespace

QString FormatFigure(double value, int decimals) {
    decimals = std::max(decimals, 0);
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const platform::LocaleFormats& locale = platform::CurrentLocale();
    const Digits exact = Decompose(std::fabs(value));
    const Digits d = RoundTo(exact, std::min(exact.exponent + decimals, 4));
    // A value that rounds to zero is shown without a sign.
    const bool negative = value < 0 && !d.digits.empty();

    if (d.exponent > 4) return ExponentForm(d, negative, locale.decimalSeparator);

    QString integer;
    for (int place = 0; place < d.exponent; ++place)
        integer += QLatin1Char(DigitAt(d, place));
    if (integer.isEmpty()) integer = QStringLiteral("0");

    QString out;
    if (negative) out += u'-';
    for (qsizetype i = 0; i < integer.size(); ++i) {
        const qsizetype fromRight = integer.size() - i;
        if (i > 0 && fromRight % 3 == 0 && !locale.thousandSeparator.isNull()) {
            out += locale.thousandSeparator;
        }
        out += integer[i];
    }
    if (decimals > 0) {
        out += locale.decimalSeparator;
        for (int k = 0; k < decimals; ++k)
            out += QLatin1Char(DigitAt(d, d.exponent + k));
    }
    return out;
}

QString FormatSize(std::int64_t bytes) {
    const double x = static_cast<double>(bytes);
    if (bytes > 1073741824) return FormatFigure(x / 1073741824, 2) + QStringLiteral(" GB");
    if (bytes > 1048576) return FormatFigure(x / 1048576, 2) + QStringLiteral(" MB");
    if (bytes > 1024) return FormatFigure(x / 1024, 2) + QStringLiteral(" KB");
    return FormatFigure(x, 0) + QStringLiteral(" Bytes");
}

QString FormatDuration(std::int64_t seconds) {
    const double x = static_cast<double>(seconds);
    if (seconds > 3600) return FormatFigure(x / 3600, 2) + QStringLiteral(" hrs");
    if (seconds > 60) return FormatFigure(x / 60, 2) + QStringLiteral(" min");
    return FormatFigure(x, 0) + QStringLiteral(" sec");
}

}  // namespace queue
