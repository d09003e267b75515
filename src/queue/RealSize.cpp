// The Real Size column: the exact byte count of a job as "%.2f" text, and the
// lenient reading of that text back into bytes. Hand-edited queue files reach
// ReadSize, so every text must either read or fail with EConvertError.

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "queue/QueueTable.h"

#include <charconv>
#include <cstddef>
#include <string>
#include <system_error>

namespace queue {

namespace {

[[noreturn]] void NotAFloat() {
    throw platform::EConvertError(QStringLiteral("Cell does not contain a float value"));
}

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when s is an optional sign, digits with an optional fraction (at least
// one digit in all), and an optional exponent with at least one digit.
bool IsDecimalNumber(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i]))
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == s.size();
}

// For a well-formed number that did not fit a double: true when it is tiny
// (underflow, reads as 0) rather than huge. The decimal magnitude is the
// exponent plus the place of the first non-zero digit.
bool IsTiny(const std::string& s) {
    std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    long long place = 0;  // the power of ten of the first non-zero digit
    bool found = false;
    long long intDigits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        if (!found && s[i] != '0') found = true;
        if (found) ++intDigits;
    }
    if (found) {
        place = intDigits - 1;
    } else if (i < s.size() && s[i] == '.') {
        long long zeros = 0;
        for (++i; i < s.size() && IsDigit(s[i]); ++i) {
            if (s[i] != '0') {
                found = true;
                break;
            }
            ++zeros;
        }
        place = -zeros - 1;
    }
    if (!found) return true;
    const std::size_t e = s.find_first_of("eE");
    long long exponent = 0;
    if (e != std::string::npos) {
        std::size_t j = e + 1;
        const bool negative = j < s.size() && s[j] == '-';
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        for (; j < s.size(); ++j) {
            // Saturate: anything past a billion is out of every range anyway.
            if (exponent < 1'000'000'000LL) exponent = exponent * 10 + (s[j] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return place + exponent < 0;
}

}  // namespace

std::int64_t ReadSize(const QString& text) {
    const platform::LocaleFormats& locale = platform::CurrentLocale();
    const QChar decimal = locale.decimalSeparator;
    const QChar thousands = locale.thousandSeparator;
    const auto isThousands = [&](QChar c) { return !thousands.isNull() && c == thousands; };

    bool negative = text.size() >= 2 && text.front() == u'(' && text.back() == u')';

    qsizetype begin = 0;
    const qsizetype end = text.size();
    while (end - begin >= 2) {
        const QChar c = text[begin];
        if (IsAsciiDigit(c) || c == u'E' || c == u'e' || isThousands(c) || c == decimal) break;
        if (c == u'-') negative = true;
        ++begin;
    }

    std::string kept;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text[i];
        if (isThousands(c)) continue;
        if (c == decimal) {
            kept += '.';
        } else if (IsAsciiDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u'E' ||
                   c == u'e') {
            kept += static_cast<char>(c.unicode());
        } else {
            break;
        }
    }
    if (negative) kept.insert(kept.begin(), '-');
    if (kept.empty() || kept == "-") return 0;
    if (!IsDecimalNumber(kept)) NotAFloat();

    // from_chars reads no leading "+" and no locale: both are settled above.
    const char* first = kept.data() + (kept[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, kept.data() + kept.size(), value);
    if (ec == std::errc::result_out_of_range) {
        if (IsTiny(kept)) return 0;
        NotAFloat();
    }
    if (ec != std::errc() || ptr != kept.data() + kept.size()) NotAFloat();
    // A byte count beyond 64 bits is no size the program can hold.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) NotAFloat();
    return static_cast<std::int64_t>(value);
}

QString RealSizeText(double bytes) {
    // to_chars, not printf: the C library's locale must not pick the separator.
    char buffer[400];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, bytes, std::chars_format::fixed, 2);
    if (ec != std::errc()) return QString();
    QString text = QString::fromLatin1(buffer, ptr - buffer);
    text.replace(u'.', platform::CurrentLocale().decimalSeparator);
    return text;
}

}  // namespace queue
