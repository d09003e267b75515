#include "platform/FileSystem.h"

#include "support/SlowDevice.h"
#include "support/TempDrives.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

using namespace platform;
using testsupport::TempDrives;

struct Found {
    QString name;
    std::int32_t attr;
    std::int64_t size;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
    *os << f.name.toStdString() << " attr=0x" << std::hex << f.attr << std::dec
        << " size=" << f.size;
}

std::vector<Found> Search(const QString& pattern, std::int32_t filter) {
    std::vector<Found> out;
    DirectorySearch search;
    SearchRec rec;
    for (bool more = search.First(pattern, filter, rec).ok(); more; more = search.Next(rec))
        out.push_back({rec.name, rec.attr, rec.size});
    return out;
}

std::vector<QString> Names(const std::vector<Found>& found) {
    std::vector<QString> out;
    for (const Found& f : found)
        out.push_back(f.name);
    return out;
}

// C:\Dir holds one entry of every kind the search tells apart.
class DirectorySearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives.writeFile("C:\\Dir\\a.txt", "hello");
        drives.writeFile("C:\\Dir\\.hidden", "xy");
        drives.makeDir("C:\\Dir\\Sub");
        drives.makeDir("C:\\Dir\\.HiddenDir");
        drives.makeFifo("C:\\Dir\\fifo");
        drives.makeSymlink("C:\\Dir\\LinkDir", "Sub");
        drives.makeSymlink("C:\\Dir\\LinkFile", "a.txt");
        drives.makeSymlink("C:\\Dir\\Broken", "nowhere");
    }
    TempDrives drives;
};

TEST_F(DirectorySearchTest, AttributeFilterAndOrder) {
    const Found dot{".", faDirectory, 0}, dotdot{"..", faDirectory, 0};
    const Found a{"a.txt", faArchive, 5}, hidden{".hidden", faArchive | faHidden, 2};
    const Found hiddenDir{".HiddenDir", faDirectory | faHidden, 0};
    const Found broken{"Broken", faArchive, 0}, fifo{"fifo", faSysFile, 0};
    const Found linkDir{"LinkDir", faDirectory | faSymLink, 0}, linkFile{"LinkFile", faArchive, 5};
    const Found sub{"Sub", faDirectory, 0};
    struct Case {
        std::int32_t filter;
        std::vector<Found> expected;
    };
    const Case cases[] = {
        {0, {a, broken, linkFile}},
        {faReadOnly | faArchive, {a, broken, linkFile}},
        {faHidden, {hidden, a, broken, linkFile}},
        {faSysFile, {a, broken, fifo, linkFile}},
        {faDirectory, {dot, dotdot, a, broken, linkDir, linkFile, sub}},
        {faDirectory | faHidden,
         {dot, dotdot, hidden, hiddenDir, a, broken, linkDir, linkFile, sub}},
        {faAnyFile, {dot, dotdot, hidden, hiddenDir, a, broken, fifo, linkDir, linkFile, sub}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(Search("C:\\Dir\\*.*", c.filter), c.expected);
    }
}

TEST_F(DirectorySearchTest, DotEntriesOnlyBelowADriveRoot) {
    drives.writeFile("D:\\top.txt", "t");
    const std::pair<const char*, std::vector<QString>> cases[] = {
        {"C:\\*.*", {"Dir"}},
        {"D:\\*.*", {"top.txt"}},
        {"C:\\Dir\\Sub\\*.*", {".", ".."}},
        {"C:\\Dir\\Sub\\*", {".", ".."}},
    };
    for (const auto& [pattern, names] : cases) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(Names(Search(QString::fromUtf8(pattern), faAnyFile)), names);
    }
}

TEST_F(DirectorySearchTest, MasksAndPlainPaths) {
    drives.writeFile("C:\\Dir\\B.TXT", "bb");
    const std::pair<const char*, std::vector<QString>> cases[] = {
        {"C:\\Dir\\*.txt", {"a.txt", "B.TXT"}},  // masks ignore case
        {"C:\\Dir\\?.TXT", {"a.txt", "B.TXT"}},
        {"C:\\Dir\\L*", {"LinkDir", "LinkFile"}},
        {"c:\\dir\\*.*", {}},           // the volume itself is case-sensitive
        {"C:\\Dir\\a.txt", {"a.txt"}},  // a plain path names one entry
        {"C:\\Dir\\A.TXT", {}},
        {"C:\\Dir\\Sub", {"Sub"}},
        {"C:\\Dir\\\\a.txt", {"a.txt"}},
        {"C:\\Missing\\*.*", {}},
        {"C:\\", {}},
        {"Q:\\*.*", {}},
        {"\\\\server\\share\\*.*", {}},
    };
    for (const auto& [pattern, names] : cases) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(Names(Search(QString::fromUtf8(pattern), faAnyFile)), names);
    }
}

TEST_F(DirectorySearchTest, FailureCarriesErrno) {
    DirectorySearch search;
    SearchRec rec;
    EXPECT_EQ(search.First("C:\\Missing\\*.*", faAnyFile, rec).error().code, ENOENT);
    EXPECT_EQ(search.First("C:\\Dir\\a.txt\\*.*", faAnyFile, rec).error().code, ENOTDIR);
}

TEST_F(DirectorySearchTest, NamesThatCannotBeWrittenAreSkipped) {
    const QByteArray dir = drives.host("C:\\Dir\\Sub");
    for (const char* name : {"back\\slash", "bad\xff", "good"})
        std::ofstream(QByteArray(dir + '/' + name).toStdString()) << "x";
    EXPECT_EQ(Names(Search("C:\\Dir\\Sub\\*.*", faAnyFile)),
              (std::vector<QString>{".", "..", "good"}));
}

TEST_F(DirectorySearchTest, FifoIsSystemAndNeverOpened) {
    EXPECT_EQ(FileGetAttr("C:\\Dir\\fifo"), faSysFile);
    drives.makeSymlink("C:\\Dir\\LinkFifo", "fifo");
    EXPECT_EQ(FileGetAttr("C:\\Dir\\LinkFifo"), faSysFile);
    // Opening a FIFO for reading would wait for a writer: these must return at once.
    for (const char* path : {"C:\\Dir\\fifo", "C:\\Dir\\LinkFifo", "C:\\Dir\\Sub"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FileHandle::OpenRead(path).error().code, EACCES);
        EXPECT_FALSE(FileHandle::Create(path));
    }
}

TEST_F(DirectorySearchTest, FileSizeOf) {
    drives.makeSparseFile("D:\\big.bin", 5LL << 30);
    drives.writeFile("D:\\empty", "");
    drives.writeFile("D:\\b!.txt", "1234567");
    drives.writeFile("D:\\b?.txt", "123");  // a legal name here, and not a pattern
    const std::pair<const char*, std::int64_t> cases[] = {
        {"C:\\Dir\\a.txt", 5},  {"C:\\Dir\\.hidden", 2}, {"C:\\Dir\\LinkFile", 5},
        {"C:\\Dir\\Broken", 0}, {"C:\\Dir\\Sub", 0},     {"D:\\big.bin", 5LL << 30},
        {"D:\\empty", 0},       {"D:\\missing", -1},     {"Q:\\a.txt", -1},
        {"C:\\Dir\\*.txt", 5},  // the first entry found
        {"D:\\b?.txt", 3},      {"D:\\b*.txt", 7},
    };
    for (const auto& [path, size] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FileSizeOf(QString::fromUtf8(path)), size);
    }
}

TEST(DriveFreeSpace, LooksAtTheFirstCharacterOnly) {
    TempDrives drives;
    drives.setFreeSpace(u'D', 123456789012LL);
    const std::pair<const char*, std::int64_t> cases[] = {
        {"D:\\", 123456789012LL},
        {"d:\\Backup\\x", 123456789012LL},
        {"Dxyz", 123456789012LL},
        {"Q:\\", -1},
        {"\\\\server\\share", -1},
        {"", -1},
        {"1:\\", -1},
        {"ü", -1},
    };
    for (const auto& [path, bytes] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(DriveFreeSpace(QString::fromUtf8(path)), bytes);
    }
    // Without an override the file system answers.
    EXPECT_GE(DriveFreeSpace("C:\\"), 0);
    drives.setFreeSpace(u'D', std::nullopt);
    EXPECT_GE(DriveFreeSpace("D:\\"), 0);
    EXPECT_NE(DriveFreeSpace("D:\\"), 123456789012LL);
}

// On a share (the test device over a 4 MiB file system) the run's check may
// trust a recent answer, but never once what the run wrote since leaves too
// little: then it asks again, and a device filled meanwhile has no room.
TEST(RoomCheck, AsksAgainOnceWhatTheRunWroteLeavesTooLittle) {
    TempDrives drives(QStringLiteral("CD"));
    drives.makeDir("C:\\backing");
    const std::string backing = drives.host("C:\\backing").toStdString();
    if (::geteuid() != 0 || std::system(("mount -t tmpfs -o size=4m tmpfs " + backing).c_str()))
        GTEST_SKIP() << "needs root to mount a small file system";
    {
        testsupport::SlowDevice device(drives.host("C:\\backing"), drives.host("D:\\"), {});
        if (device.mounted()) {
            const std::int64_t free = DriveFreeSpace("D:\\");
            ASSERT_GT(free, 2 << 20);
            RoomCheck room;
            EXPECT_TRUE(room.HasRoom("D:\\", 1 << 20, 0));
            // Filled behind the program's back.
            std::ofstream(backing + "/fill", std::ios::binary)
                << std::string(std::size_t(free - (64 << 10)), 'x');
            EXPECT_FALSE(room.HasRoom("D:\\", 1 << 20, free - (1 << 20) + 1));
            EXPECT_FALSE(room.HasRoom("D:\\", 1 << 20, free));
        }
    }
    std::system(("umount " + backing).c_str());
}

}  // namespace
