#include "platform/FileSystem.h"

#include "support/TempDrives.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>

namespace {

using namespace platform;
using testsupport::TempDrives;

TEST(FileHandle, CreateWriteReadBack) {
    TempDrives drives;
    const QByteArray data = TempDrives::Pattern(3'000'000);
    {
        FileHandle out = FileHandle::Create("D:\\Tgt\\x.bin");
        EXPECT_FALSE(out.valid());  // the directory is not created for it
        EXPECT_EQ(LastOsError(), ENOENT);
    }
    drives.makeDir("D:\\Tgt");
    FileHandle out = FileHandle::Create("D:\\Tgt\\x.bin");
    ASSERT_TRUE(out.valid());
    EXPECT_EQ(out.Write(data.constData(), data.size()), data.size());
    EXPECT_EQ(out.Size(), data.size());
    const timespec when{1'000'000'000, 123'456'789};
    EXPECT_TRUE(out.SetModificationTime(when));
    EXPECT_TRUE(out.Close());
    EXPECT_FALSE(out.valid());
    EXPECT_FALSE(out.Close());

    FileHandle in = FileHandle::OpenRead("d:\\Tgt\\\\x.bin");
    ASSERT_TRUE(in.valid());
    in.AdviseSequential();
    const std::optional<timespec> read = in.ModificationTime();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->tv_sec, when.tv_sec);
    EXPECT_EQ(read->tv_nsec, when.tv_nsec);

    QByteArray buffer(1'000'001, '\0');
    QByteArray back;
    std::int64_t n;
    std::vector<std::int64_t> chunks;
    while ((n = in.Read(buffer.data(), buffer.size())) > 0) {
        chunks.push_back(n);
        back.append(buffer.constData(), n);
    }
    EXPECT_EQ(n, 0);
    EXPECT_EQ(chunks, (std::vector<std::int64_t>{1'000'001, 1'000'001, 999'998}));
    EXPECT_EQ(back, data);
    EXPECT_TRUE(in.SeekToStart());
    EXPECT_EQ(in.Read(buffer.data(), 4), 4);
    EXPECT_EQ(buffer.left(4), data.left(4));

    // Replacing truncates; moving the handle carries the descriptor.
    FileHandle again = FileHandle::Create("D:\\Tgt\\x.bin");
    FileHandle moved = std::move(again);
    EXPECT_FALSE(again.valid());
    ASSERT_TRUE(moved.valid());
    EXPECT_EQ(moved.Size(), 0);
}

TEST(FileHandle, ReadOnlyAndLinkedTargets) {
    TempDrives drives;
    drives.writeFile("C:\\ro.txt", "keep");
    drives.setReadOnly("C:\\ro.txt", true);
    drives.writeFile("C:\\real.txt", "old");
    drives.makeSymlink("C:\\link.txt", "real.txt");
    drives.makeSymlink("C:\\dangling.txt", "../outside.txt");

    // A read-only file is never replaced, whoever runs the program.
    EXPECT_FALSE(FileHandle::Create("C:\\ro.txt").valid());
    EXPECT_EQ(LastOsError(), EACCES);
    EXPECT_EQ(drives.readFile("C:\\ro.txt"), "keep");
    EXPECT_TRUE(FileHandle::OpenRead("C:\\ro.txt").valid());

    // A dangling link must not create a file wherever it points.
    EXPECT_FALSE(FileHandle::Create("C:\\dangling.txt").valid());
    struct stat st {};
    EXPECT_NE(::lstat(QByteArray(drives.root() + "/outside.txt").constData(), &st), 0);

    // A link to a regular file is written through, as cp does.
    FileHandle h = FileHandle::Create("C:\\link.txt");
    ASSERT_TRUE(h.valid());
    EXPECT_EQ(h.Write("new", 3), 3);
    EXPECT_TRUE(h.Close());
    EXPECT_EQ(drives.readFile("C:\\real.txt"), "new");

    EXPECT_FALSE(FileHandle::OpenRead("C:\\missing.txt").valid());
    EXPECT_EQ(LastOsError(), ENOENT);
    EXPECT_FALSE(FileHandle::OpenRead("Q:\\a.txt").valid());
    FileHandle none;
    char c;
    EXPECT_EQ(none.Read(&c, 1), -1);
    EXPECT_EQ(none.Write(&c, 1), -1);
    EXPECT_EQ(none.Size(), -1);
}

TEST(FileSystem, Attributes) {
    TempDrives drives;
    drives.writeFile("C:\\Dir\\a.txt", "a");
    drives.writeFile("C:\\Dir\\.rc", "r");
    drives.writeFile("C:\\Dir\\ro.txt", "r");
    drives.setReadOnly("C:\\Dir\\ro.txt", true);
    drives.makeDir("C:\\Dir\\.git");
    drives.makeSymlink("C:\\Dir\\up", "..");
    drives.makeFifo("C:\\Dir\\pipe");
    const std::pair<const char*, std::int32_t> cases[] = {
        {"C:\\Dir\\a.txt", faArchive},
        {"C:\\Dir\\.rc", faArchive | faHidden},
        {"C:\\Dir\\ro.txt", faArchive | faReadOnly},
        {"C:\\Dir", faDirectory},
        {"C:\\Dir\\.git", faDirectory | faHidden},
        {"C:\\Dir\\up", faDirectory | faSymLink},
        {"C:\\Dir\\pipe", faSysFile},
        {"C:\\", faDirectory},
        {"C:\\Dir\\missing", -1},
        {"Q:\\", -1},
    };
    for (const auto& [path, attr] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FileGetAttr(QString::fromUtf8(path)), attr);
    }

    // Read-only takes every write bit away and gives back what a new file would get.
    drives.setMode("C:\\Dir\\a.txt", 0664);
    EXPECT_TRUE(FileSetAttr("C:\\Dir\\a.txt", faReadOnly | faArchive));
    EXPECT_EQ(drives.mode("C:\\Dir\\a.txt"), 0444u);
    EXPECT_TRUE(FileSetAttr("C:\\Dir\\a.txt", faArchive));
    EXPECT_TRUE(drives.mode("C:\\Dir\\a.txt") & S_IWUSR);
    drives.setMode("C:\\Dir\\a.txt", 0640);
    EXPECT_TRUE(FileSetAttr("C:\\Dir\\a.txt", faArchive));  // already writable: untouched
    EXPECT_EQ(drives.mode("C:\\Dir\\a.txt"), 0640u);
    EXPECT_FALSE(FileSetAttr("C:\\Dir\\missing", faArchive));
    EXPECT_EQ(LastOsError(), ENOENT);

    // Permissions travel to a copy, but never set-user-ID or set-group-ID.
    drives.setMode("C:\\Dir\\ro.txt", 06750);
    EXPECT_TRUE(CopyPermissions("C:\\Dir\\ro.txt", "C:\\Dir\\.rc"));
    EXPECT_EQ(drives.mode("C:\\Dir\\.rc"), 0750u);
    EXPECT_FALSE(CopyPermissions("C:\\Dir\\missing", "C:\\Dir\\.rc"));
}

TEST(FileSystem, ExistenceTests) {
    TempDrives drives;
    drives.writeFile("C:\\Dir\\a.txt", "a");
    drives.makeSymlink("C:\\Dir\\toFile", "a.txt");
    drives.makeSymlink("C:\\Dir\\toDir", "/");
    drives.makeSymlink("C:\\Dir\\broken", "nowhere");
    struct Case {
        const char* path;
        bool file, dir;
    };
    const Case cases[] = {
        {"C:\\Dir\\a.txt", true, false},
        {"C:\\Dir", false, true},
        {"C:\\", false, true},
        {"c:\\dir", false, false},
        {"C:\\Dir\\toFile", true, false},
        {"C:\\Dir\\toDir", false, false},
        {"C:\\Dir\\broken", true, false},
        {"C:\\Dir\\missing", false, false},
        {"Q:\\", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileExists(QString::fromUtf8(c.path)), c.file);
        EXPECT_EQ(DirectoryExists(QString::fromUtf8(c.path)), c.dir);
    }
}

TEST(FileSystem, DeleteNeverLeavesTheTree) {
    TempDrives drives;
    drives.writeFile("C:\\Keep\\target.txt", "t");
    drives.makeDir("C:\\Keep\\Sub");
    drives.makeSymlink("C:\\Dir\\fileLink", "../Keep/target.txt");
    drives.makeSymlink("C:\\Dir\\dirLink", "../Keep/Sub");
    drives.writeFile("C:\\Dir\\ro.txt", "r");
    drives.setReadOnly("C:\\Dir\\ro.txt", true);

    EXPECT_TRUE(DeleteFile("C:\\Dir\\fileLink"));
    EXPECT_FALSE(drives.exists("C:\\Dir\\fileLink"));
    EXPECT_TRUE(drives.exists("C:\\Keep\\target.txt"));

    EXPECT_FALSE(RemoveDir("C:\\Dir\\dirLink"));  // a link is not a directory to remove
    EXPECT_TRUE(drives.exists("C:\\Keep\\Sub"));
    EXPECT_TRUE(DeleteFile("C:\\Dir\\dirLink"));
    EXPECT_TRUE(drives.exists("C:\\Keep\\Sub"));

    EXPECT_FALSE(DeleteFile("C:\\Dir\\ro.txt"));  // read-only resists deletion
    EXPECT_EQ(LastOsError(), EACCES);
    EXPECT_TRUE(drives.exists("C:\\Dir\\ro.txt"));
    drives.setReadOnly("C:\\Dir\\ro.txt", false);
    EXPECT_TRUE(DeleteFile("C:\\Dir\\ro.txt"));

    EXPECT_FALSE(DeleteFile("C:\\Keep\\Sub"));  // directories go through RemoveDir
    EXPECT_FALSE(DeleteFile("C:\\Dir\\missing"));
    EXPECT_EQ(LastOsError(), ENOENT);
    EXPECT_FALSE(RemoveDir("C:\\Keep"));  // not empty
    EXPECT_TRUE(RemoveDir("C:\\Dir"));
    EXPECT_FALSE(drives.exists("C:\\Dir"));
}

TEST(FileSystem, RenameNeverReplaces) {
    TempDrives drives;
    drives.writeFile("C:\\a.txt", "a");
    drives.writeFile("C:\\b.txt", "b");
    EXPECT_FALSE(RenameFile("C:\\a.txt", "C:\\b.txt"));
    EXPECT_EQ(LastOsError(), EEXIST);
    EXPECT_EQ(drives.readFile("C:\\a.txt"), "a");
    EXPECT_EQ(drives.readFile("C:\\b.txt"), "b");
    EXPECT_TRUE(RenameFile("C:\\a.txt", "C:\\a.txt"));
    EXPECT_TRUE(RenameFile("C:\\a.txt", "C:\\A.txt"));  // another name on this volume
    EXPECT_EQ(drives.readFile("C:\\A.txt"), "a");
    EXPECT_FALSE(RenameFile("C:\\missing", "C:\\c.txt"));
    EXPECT_FALSE(RenameFile("C:\\b.txt", "Q:\\b.txt"));
}

TEST(FileSystem, CreateAndForceDirectories) {
    TempDrives drives;
    EXPECT_TRUE(CreateDir("C:\\One"));
    EXPECT_FALSE(CreateDir("C:\\One"));
    EXPECT_EQ(LastOsError(), EEXIST);
    EXPECT_FALSE(CreateDir("C:\\Two\\Three"));
    EXPECT_TRUE(ForceDirectories("C:\\Two\\\\Three\\Four\\"));
    EXPECT_TRUE(DirectoryExists("C:\\Two\\Three\\Four"));
    EXPECT_TRUE(ForceDirectories("C:\\Two\\Three"));
    EXPECT_TRUE(ForceDirectories("D:\\"));
    drives.writeFile("C:\\file", "f");
    EXPECT_FALSE(ForceDirectories("C:\\file\\Sub"));
    EXPECT_FALSE(ForceDirectories("Q:\\x"));
    EXPECT_FALSE(ForceDirectories(""));
}

}  // namespace
