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
    EXPECT_EQ(FileHandle::Create("D:\\Tgt\\x.bin").error().code, ENOENT);  // no directory made
    drives.makeDir("D:\\Tgt");
    Result<FileHandle> out = FileHandle::Create("D:\\Tgt\\x.bin");
    ASSERT_TRUE(out);
    EXPECT_EQ(*out->Write(data.constData(), data.size()), data.size());
    EXPECT_TRUE(out->Close());
    EXPECT_FALSE(out->valid());
    EXPECT_EQ(out->Close().error().code, EBADF);

    Result<FileHandle> in = FileHandle::OpenRead("d:\\Tgt\\\\x.bin");
    ASSERT_TRUE(in);
    in->AdviseSequential();
    QByteArray buffer(1'000'001, '\0');
    QByteArray back;
    std::vector<std::int64_t> chunks;
    for (;;) {
        const Result<std::int64_t> n = in->Read(buffer.data(), buffer.size());
        ASSERT_TRUE(n);
        if (*n == 0) break;
        chunks.push_back(*n);
        back.append(buffer.constData(), *n);
    }
    EXPECT_EQ(chunks, (std::vector<std::int64_t>{1'000'001, 1'000'001, 999'998}));
    EXPECT_EQ(back, data);

    // Replacing truncates; moving the handle carries the descriptor.
    Result<FileHandle> again = FileHandle::Create("D:\\Tgt\\x.bin");
    ASSERT_TRUE(again);
    FileHandle moved = std::move(*again);
    EXPECT_FALSE(again->valid());
    ASSERT_TRUE(moved.valid());
    EXPECT_EQ(moved.Stamp()->size, 0);
}

TEST(FileHandle, ReadOnlyAndLinkedTargets) {
    TempDrives drives;
    drives.writeFile("C:\\ro.txt", "keep");
    drives.setReadOnly("C:\\ro.txt", true);
    drives.writeFile("C:\\real.txt", "old");
    drives.makeSymlink("C:\\link.txt", "real.txt");
    drives.makeSymlink("C:\\dangling.txt", "../outside.txt");

    // A read-only file is never replaced, whoever runs the program.
    EXPECT_EQ(FileHandle::Create("C:\\ro.txt").error().code, EACCES);
    EXPECT_EQ(drives.readFile("C:\\ro.txt"), "keep");
    EXPECT_TRUE(FileHandle::OpenRead("C:\\ro.txt"));

    // A dangling link must not create a file wherever it points.
    EXPECT_FALSE(FileHandle::Create("C:\\dangling.txt"));
    struct stat st {};
    EXPECT_NE(::lstat(QByteArray(drives.root() + "/outside.txt").constData(), &st), 0);

    // A link to a regular file is written through, as cp does.
    Result<FileHandle> h = FileHandle::Create("C:\\link.txt");
    ASSERT_TRUE(h);
    EXPECT_EQ(*h->Write("new", 3), 3);
    EXPECT_TRUE(h->Close());
    EXPECT_EQ(drives.readFile("C:\\real.txt"), "new");

    EXPECT_EQ(FileHandle::OpenRead("C:\\missing.txt").error().code, ENOENT);
    EXPECT_EQ(FileHandle::OpenRead("Q:\\a.txt").error().step, Step::Resolve);
    FileHandle none;
    char c;
    EXPECT_EQ(none.Read(&c, 1).error().code, EBADF);
    EXPECT_EQ(none.Write(&c, 1).error().code, EBADF);
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

    EXPECT_EQ(DeleteFile("C:\\Dir\\ro.txt").error().code, EACCES);  // read-only resists deletion
    EXPECT_TRUE(drives.exists("C:\\Dir\\ro.txt"));
    drives.setReadOnly("C:\\Dir\\ro.txt", false);
    EXPECT_TRUE(DeleteFile("C:\\Dir\\ro.txt"));

    EXPECT_FALSE(DeleteFile("C:\\Keep\\Sub"));  // directories go through RemoveDir
    EXPECT_EQ(DeleteFile("C:\\Dir\\missing").error().code, ENOENT);
    EXPECT_FALSE(RemoveDir("C:\\Keep"));  // not empty
    EXPECT_TRUE(RemoveDir("C:\\Dir"));
    EXPECT_FALSE(drives.exists("C:\\Dir"));
}

TEST(FileSystem, RenameNeverReplaces) {
    TempDrives drives;
    drives.writeFile("C:\\a.txt", "a");
    drives.writeFile("C:\\b.txt", "b");
    EXPECT_EQ(RenameFile("C:\\a.txt", "C:\\b.txt").error().code, EEXIST);
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
    EXPECT_EQ(CreateDir("C:\\One").error().code, EEXIST);
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
