#include "platform/FileSystem.h"

#include "support/TempDrives.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>

namespace {

using namespace platform;
using testsupport::TempDrives;

class CurrentDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives.makeDir("C:\\Src\\Dir\\Sub");
        drives.makeDir("D:\\Tgt");
        drives.writeFile("C:\\Src\\file.txt", "f");
        drives.makeSymlink("C:\\Src\\Link", "Dir");
    }
    TempDrives drives;
};

TEST_F(CurrentDirTest, SetCurrentDirSteps) {
    struct Step {
        const char* dir;
        bool ok;
        const char* after;
    };
    const Step steps[] = {
        {"C:\\Src\\Dir", true, "C:\\Src\\Dir"},
        {"..", true, "C:\\Src"},
        {"Dir\\Sub", true, "C:\\Src\\Dir\\Sub"},
        {"..\\..\\..", true, "C:\\"},
        {"..", true, "C:\\"},  // a root stays a root
        {"Src", true, "C:\\Src"},
        {"file.txt", false, "C:\\Src"},  // not a directory
        {"Missing", false, "C:\\Src"},
        {"c:\\src", false, "C:\\Src"},  // the volume is case-sensitive
        {"", false, "C:\\Src"},
        {"\\\\server\\share", false, "C:\\Src"},
        {"Q:\\", false, "C:\\Src"},
        {"d:\\Tgt\\\\", true, "D:\\Tgt"},  // letter up, separators tidied
        {"\\", true, "D:\\"},              // root of the current drive
        {"C:", true, "C:\\"},
        {"c:\\Src\\.\\Dir\\", true, "C:\\Src\\Dir"},
        {"Link", false, "C:\\Src\\Dir"},           // no such entry below Dir
        {"C:\\Src\\Link", true, "C:\\Src\\Link"},  // a link to a directory can be entered
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.dir);
        EXPECT_EQ(SetCurrentDir(QString::fromUtf8(s.dir)), s.ok);
        EXPECT_EQ(GetCurrentDir(), QString::fromUtf8(s.after));
    }
}

TEST_F(CurrentDirTest, RelativePathsFollowTheCurrentDirectory) {
    ASSERT_TRUE(SetCurrentDir("C:\\Src"));
    EXPECT_EQ(ExpandFileName("file.txt"), "C:\\Src\\file.txt");
    EXPECT_EQ(ExpandFileName("..\\x"), "C:\\x");
    EXPECT_EQ(ExpandFileName("\\x"), "C:\\x");
    EXPECT_EQ(ExpandFileName("D:x"), "D:\\x");  // D: remembers no directory yet
    EXPECT_EQ(ExpandFileName("C:x"), "C:\\Src\\x");
    EXPECT_EQ(ExpandFileName("\\\\server\\share"), "");
    EXPECT_EQ(ExpandFileName(""), "");
    EXPECT_TRUE(FileExists("file.txt"));
    EXPECT_EQ(FileSizeOf("file.txt"), 1);

    ASSERT_TRUE(SetCurrentDir("D:\\Tgt"));
    EXPECT_EQ(DriveCurrentDir(u'c'), "C:\\Src");  // each drive keeps its own
    EXPECT_EQ(DriveCurrentDir(u'D'), "D:\\Tgt");
    EXPECT_EQ(DriveCurrentDir(u'E'), "E:\\");
    EXPECT_EQ(ExpandFileName("C:file.txt"), "C:\\Src\\file.txt");
    EXPECT_FALSE(FileExists("file.txt"));
}

TEST_F(CurrentDirTest, ClosedDirectoryCannotBeEntered) {
    drives.setMode("C:\\Src\\Dir", 0600);
    const auto check = [] {
        const Result<void> entered = CanEnterDirectory("C:\\Src\\Dir");
        return !entered && entered.error().code == EACCES && !SetCurrentDir("C:\\Src\\Dir") &&
               GetCurrentDir() == "C:\\" && CanEnterDirectory("C:\\Src").ok();
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    // A privileged user may enter any directory: ask as an unprivileged one.
    ASSERT_EQ(::chmod(drives.root().constData(), 0755), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(CurrentDirTest, TheHostWorkingDirectoryNeverMoves) {
    char before[4096], after[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    ASSERT_TRUE(SetCurrentDir("C:\\Src\\Dir"));
    ASSERT_NE(::getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

}  // namespace
