#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

struct SplitCase {
    const char* path;
    const char* dir;
    const char* name;
};

TEST(Paths, ExtractDirAndName) {
    const SplitCase cases[] = {
        {"C:\\Data\\a.txt", "C:\\Data", "a.txt"},           {"C:\\a.txt", "C:\\", "a.txt"},
        {"C:\\Data\\Sub\\", "C:\\Data\\Sub", ""},           {"C:\\", "C:\\", ""},
        {"\\\\server\\share\\f", "\\\\server\\share", "f"}, {"a.txt", "", "a.txt"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileDir(QString::fromUtf8(c.path)), QString::fromUtf8(c.dir));
        EXPECT_EQ(ExtractFileName(QString::fromUtf8(c.path)), QString::fromUtf8(c.name));
    }
}

TEST(Paths, JoinAndDriveRoot) {
    EXPECT_EQ(JoinPath("C:\\", "a"), "C:\\a");
    EXPECT_EQ(JoinPath("C:\\Data", "a"), "C:\\Data\\a");
    EXPECT_TRUE(IsDriveRoot("c:\\"));
    EXPECT_FALSE(IsDriveRoot("C:"));
    EXPECT_FALSE(IsDriveRoot("C:\\a"));
    EXPECT_FALSE(IsDriveRoot("1:\\"));
}

TEST(Paths, NormalizeDrivePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\", "C:\\"},
        {"c:", "C:\\"},
        {"d:\\Data\\\\Sub\\", "D:\\Data\\Sub"},
        {"C:/Data/Sub", "C:\\Data\\Sub"},
        {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
        {"C:\\..\\..\\etc", "C:\\etc"},  // never above the root
        {"C:\\Data\\Mixed Case", "C:\\Data\\Mixed Case"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(NormalizeDrivePath(QString::fromUtf8(in)), QString::fromUtf8(out));
    }
    for (const char* bad : {"", "a", "C:name", "\\\\server\\share", "\\Data", "1:\\"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(NormalizeDrivePath(QString::fromUtf8(bad)).has_value());
    }
}

TEST(Paths, MatchesMask) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"report.txt", "*.*", true},
        {"README", "*.*", true},
        {".", "*.*", true},
        {"..", "*.*", true},
        {"Report.TXT", "*.txt", true},
        {"report.txt", "*.doc", false},
        {"a.b.c", "*.c", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abc", "*", true},
        {"foo", "foo.*", true},
        {"foo.bar", "f*r", true},
        {"foo.bar", "f*z", false},
        {"", "*", true},
        {"x", "", false},
        {"aaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*c", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.mask);
        EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match);
    }
}

}  // namespace
