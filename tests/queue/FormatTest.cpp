#include "platform/Errors.h"
#include "queue/Format.h"
#include "queue/QueueTable.h"
#include "support/LocaleGuard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

using platform::CommaDecimalLocale;
using platform::EnglishLocale;
using testsupport::LocaleGuard;

namespace {

struct SizeCase {
    std::int64_t value;
    const char* text;
};

platform::LocaleFormats Ungrouped() {
    platform::LocaleFormats f = EnglishLocale();
    f.thousandSeparator = QChar();
    return f;
}

}  // namespace

TEST(FormatSize, PicksTheUnitByStrictThresholdsAndRoundsHalfUp) {
    LocaleGuard locale(EnglishLocale());
    const std::vector<SizeCase> cases = {
        {-1, "-1 Bytes"},
        {0, "0 Bytes"},
        {1, "1 Bytes"},
        {1000, "1,000 Bytes"},
        {1024, "1,024 Bytes"},
        {1025, "1.00 KB"},
        {1152, "1.13 KB"},
        {1536, "1.50 KB"},
        {1000000, "976.60 KB"},
        {1048064, "1,024.00 KB"},
        {1048576, "1,024.00 KB"},
        {1048577, "1.00 MB"},
        {123456789, "117.70 MB"},
        {1073741824, "1,024.00 MB"},
        {1073741825, "1.00 GB"},
        {5000000000LL, "4.66 GB"},
        {10737418240000LL, "1E04 GB"},
        {13255342817280LL, "1.235E04 GB"},
        // Beyond the documented rows: the largest count, and large negative
        // counts, which keep their sign also in exponent form.
        {std::numeric_limits<std::int64_t>::max(), "8.59E09 GB"},
        {-5000, "-5,000 Bytes"},
        {-5000000000000LL, "-5E12 Bytes"},
        {std::numeric_limits<std::int64_t>::min(), "-9.223E18 Bytes"},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(queue::FormatSize(c.value).toStdString(), c.text) << c.value;
    }
}

TEST(FormatDuration, PicksTheUnitByStrictThresholds) {
    LocaleGuard locale(EnglishLocale());
    const std::vector<SizeCase> cases = {
        {0, "0 sec"},
        {45, "45 sec"},
        {60, "60 sec"},
        {61, "1.02 min"},
        {90, "1.50 min"},
        {3600, "60.00 min"},
        {3601, "1.00 hrs"},
        {5400, "1.50 hrs"},
        {86400, "24.00 hrs"},
        {35999999, "1E04 hrs"},
        {100000000, "2.778E04 hrs"},
        {-30, "-30 sec"},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(queue::FormatDuration(c.value).toStdString(), c.text) << c.value;
    }
}

TEST(FormatFigure, FollowsTheLocaleSeparators) {
    struct Case {
        platform::LocaleFormats locale;
        double value;
        int decimals;
        const char* text;
    };
    const std::vector<Case> cases = {
        {CommaDecimalLocale(), 976.5625, 2, "976,60"},
        {CommaDecimalLocale(), 1024, 0, "1.024"},
        {CommaDecimalLocale(), 1023.5, 2, "1.024,00"},
        {CommaDecimalLocale(), 12345, 2, "1,235E04"},
        {Ungrouped(), 1024, 2, "1024.00"},
        {Ungrouped(), 9999.9, 0, "1E04"},
        {EnglishLocale(), 0.5, 0, "1"},
        {EnglishLocale(), 0.4, 0, "0"},
        {EnglishLocale(), -0.4, 0, "0"},  // no "-0"
        {EnglishLocale(), 0.005, 2, "0.01"},
        {EnglishLocale(), 0.00049, 2, "0.00"},
        {EnglishLocale(), 1.125, 2, "1.13"},
        {EnglishLocale(), 99.995, 2, "100.00"},  // the double lies just above .995
    };
    for (const Case& c : cases) {
        LocaleGuard locale(c.locale);
        EXPECT_EQ(queue::FormatFigure(c.value, c.decimals).toStdString(), c.text) << c.value;
    }
}

TEST(FormatSize, CommaDecimalLocaleSwapsTheSeparators) {
    LocaleGuard locale(CommaDecimalLocale());
    EXPECT_EQ(queue::FormatSize(1000000), QStringLiteral("976,60 KB"));
    EXPECT_EQ(queue::FormatSize(1024), QStringLiteral("1.024 Bytes"));
}

TEST(ReadSize, ReadsLenientlyAndFailsOnlyOnMalformedNumbers) {
    struct Case {
        platform::LocaleFormats locale;
        const char* text;
        std::int64_t bytes;  // ignored when the reading fails
        bool fails;
    };
    const std::vector<Case> cases = {
        {EnglishLocale(), "1048576.00", 1048576, false},
        {EnglishLocale(), "(12)", -12, false},
        {EnglishLocale(), "  1,234.00 ", 1234, false},
        {EnglishLocale(), "1-2", 0, true},
        {EnglishLocale(), "-", 0, false},
        {EnglishLocale(), "", 0, false},
        {EnglishLocale(), "abc", 0, false},
        {EnglishLocale(), "1e3", 1000, false},
        {EnglishLocale(), "-1.00", -1, false},
        {EnglishLocale(), "1.99", 1, false},
        {EnglishLocale(), "-1.99", -1, false},
        {EnglishLocale(), "$ 1,000", 1000, false},
        {EnglishLocale(), "12 KB", 12, false},
        {EnglishLocale(), "1.2.3", 0, true},
        {EnglishLocale(), "1e", 0, true},
        {EnglishLocale(), "1e-400", 0, false},
        {EnglishLocale(), "1e400", 0, true},  // no 64-bit byte count
        {EnglishLocale(), "1e19", 0, true},   // no 64-bit byte count
        {EnglishLocale(), "9007199254740992", 9007199254740992LL, false},
        {CommaDecimalLocale(), "1048576,00", 1048576, false},
        {CommaDecimalLocale(), "1.234,99", 1234, false},
        {CommaDecimalLocale(), "1048576.00", 104857600, false},  // "." groups digits here
        {CommaDecimalLocale(), "(7,5)", -7, false},
        {CommaDecimalLocale(), "1,2,3", 0, true},
    };
    for (const Case& c : cases) {
        LocaleGuard locale(c.locale);
        const QString text = QString::fromUtf8(c.text);
        if (c.fails) {
            try {
                (void)queue::ReadSize(text);
                ADD_FAILURE() << "'" << c.text << "' was read";
            } catch (const platform::EConvertError& e) {
                EXPECT_EQ(e.message(), QStringLiteral("Cell does not contain a float value"));
            }
            continue;
        }
        EXPECT_EQ(queue::ReadSize(text), c.bytes) << "'" << c.text << "'";
    }
}

TEST(ReadSize, ReadsBackWhatRealSizeTextWrote) {
    for (const auto& formats : {EnglishLocale(), CommaDecimalLocale()}) {
        LocaleGuard locale(formats);
        for (double bytes : {0.0, -1.0, 1.0, 1048576.0, 5000000000.0, 4503599627370496.0}) {
            EXPECT_EQ(queue::ReadSize(queue::RealSizeText(bytes)),
                      static_cast<std::int64_t>(bytes));
        }
    }
}
