#include "queue/TreeWalk.h"

#include "platform/FileSystem.h"
#include "platform/Pump.h"
#include "support/TempDrives.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace {

using queue::CollectTree;
using queue::Force;
using queue::RemoveTree;

// "Outside" is a sibling of the drives' directories, reachable only through links.
class TreeWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives_.makeDir(R"(C:\Src)");
        ASSERT_EQ(::mkdir(OutsideHost().constData(), 0755), 0);
        platform::SetPumpHook({});
    }
    void TearDown() override { platform::SetPumpHook({}); }

    QByteArray Host(const QString& path) const { return drives_.host(path); }
    void MakeDir(const QString& path) { drives_.makeDir(path); }
    void MakeFile(const QString& path) { drives_.writeFile(path, "x"); }
    bool Exists(const QString& path) const { return drives_.exists(path); }
    QByteArray OutsideHost() const { return drives_.root() + "/Outside"; }
    // Five canary files and a directory in the directory outside the drives.
    void FillOutside() {
        for (int i = 0; i < 5; ++i) {
            QFile f(QFile::decodeName(OutsideHost()) + QStringLiteral("/canary%1").arg(i));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir(QFile::decodeName(OutsideHost())).mkdir("nested"));
    }
    int OutsideEntries() const {
        return int(QDir(QFile::decodeName(OutsideHost()))
                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                       .size());
    }

    testsupport::TempDrives drives_;
};

// The worked example: C:\Src\Dir holds a.txt, Sub (b.txt and the empty Deep) and z.txt.
TEST_F(TreeWalkTest, ListsFilesWhereMetAndDirectoriesAfterTheirContents) {
    MakeDir(R"(C:\Src\Dir)");
    MakeFile(R"(C:\Src\Dir\a.txt)");
    MakeDir(R"(C:\Src\Dir\Sub)");
    MakeFile(R"(C:\Src\Dir\Sub\b.txt)");
    MakeDir(R"(C:\Src\Dir\Sub\Deep)");
    MakeFile(R"(C:\Src\Dir\z.txt)");
    ASSERT_TRUE(platform::SetCurrentDir(R"(C:\)"));

    QStringList dirs{"kept"};
    QStringList files{"kept"};
    CollectTree(R"(C:\Src\Dir)", "*.*", dirs, files);

    EXPECT_EQ(dirs, QStringList({"kept", R"(C:\Src\Dir\Sub\Deep)", R"(C:\Src\Dir\Sub)"}));
    EXPECT_EQ(files, QStringList({"kept", R"(C:\Src\Dir\a.txt)", R"(C:\Src\Dir\Sub\b.txt)",
                                  R"(C:\Src\Dir\z.txt)"}));
    EXPECT_EQ(platform::GetCurrentDir(), R"(C:\Src)");
}

TEST_F(TreeWalkTest, PathsAndFinalDirectoryDoNotDependOnWhatThePumpsDo) {
    MakeDir(R"(C:\Src\Dir)");
    MakeDir(R"(C:\Src\Dir\Sub)");
    MakeFile(R"(C:\Src\Dir\Sub\b.txt)");
    MakeFile(R"(C:\Src\Dir\a.txt)");
    MakeDir(R"(C:\Other)");
    // Something run inside a pump (a pane command, say) moves the current directory.
    platform::SetPumpHook([](std::int64_t) { platform::SetCurrentDir(R"(C:\Other)"); });

    QStringList dirs, files;
    CollectTree(R"(C:\Src\Dir)", "*.*", dirs, files);
    platform::SetPumpHook({});

    EXPECT_EQ(dirs, QStringList({R"(C:\Src\Dir\Sub)"}));
    files.sort();
    EXPECT_EQ(files, QStringList({R"(C:\Src\Dir\Sub\b.txt)", R"(C:\Src\Dir\a.txt)"}));
    EXPECT_EQ(platform::GetCurrentDir(), R"(C:\Src)");
}

TEST_F(TreeWalkTest, CurrentDirectoryEndsAtTheParentOrStaysWhenNothingWasEntered) {
    MakeDir(R"(C:\Src\Dir)");
    MakeFile(R"(C:\Src\file.txt)");
    drives_.makeSymlink(R"(C:\Src\Link)", OutsideHost());
    struct Case {
        const char* dir;
        const char* current;
    };
    const Case cases[] = {
        {R"(C:\Src\Dir)", R"(C:\Src)"},
        {R"(C:\Src)", R"(C:\)"},
        {R"(C:\)", R"(C:\)"},
        {R"(C:\Src\Missing)", R"(C:\Src\Dir)"},
        {R"(C:\Src\file.txt)", R"(C:\Src\Dir)"},
        {R"(C:\Src\Link)", R"(C:\Src\Dir)"},
        {R"(Q:\Src)", R"(C:\Src\Dir)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        ASSERT_TRUE(platform::SetCurrentDir(R"(C:\Src\Dir)"));
        QStringList dirs, files;
        CollectTree(c.dir, "*.*", dirs, files);
        EXPECT_EQ(platform::GetCurrentDir(), c.current);
    }
}

TEST_F(TreeWalkTest, RemovalWithoutForceTakesOnlyTreesWithoutFiles) {
    struct Case {
        const char* name;
        QStringList dirs;   // below C:\Src\T, created in order
        QStringList files;  // below C:\Src\T
        Force force;
        bool removed;
    };
    const QString five = R"(a\b\c\d\e)";
    const Case cases[] = {
        {"empty", {}, {}, Force::No, true},
        {"nested empty", {"a", R"(a\b)", R"(a\b\c)"}, {}, Force::No, true},
        {"file five levels down",
         {"a", R"(a\b)", R"(a\b\c)", R"(a\b\c\d)", five},
         {five + R"(\f.txt)"},
         Force::No,
         false},
        {"file five levels down, forced",
         {"a", R"(a\b)", R"(a\b\c)", R"(a\b\c\d)", five},
         {five + R"(\f.txt)"},
         Force::Yes,
         true},
        {"hidden file", {"x"}, {R"(x\.hidden)"}, Force::No, false},
        {"hidden file, forced",
         {"x", R"(x\.cache)"},
         {R"(x\.hidden)", R"(x\.cache\.y)"},
         Force::Yes,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString top = R"(C:\Src\T)";
        MakeDir(top);
        for (const QString& d : c.dirs)
            MakeDir(top + "\\" + d);
        for (const QString& f : c.files)
            MakeFile(top + "\\" + f);

        QStringList dirs, files;
        CollectTree(top, "*.*", dirs, files);
        EXPECT_EQ(files.size(), c.files.size());
        EXPECT_EQ(dirs.size(), c.dirs.size());

        EXPECT_EQ(RemoveTree(top, c.force), c.removed);
        EXPECT_EQ(Exists(top), !c.removed);
        // A refusal deletes nothing at all.
        for (const QString& d : c.dirs) {
            EXPECT_EQ(Exists(top + "\\" + d), !c.removed) << d.toStdString();
        }
        for (const QString& f : c.files) {
            EXPECT_EQ(Exists(top + "\\" + f), !c.removed) << f.toStdString();
        }
        if (Exists(top)) {
            ASSERT_TRUE(RemoveTree(top, Force::Yes));
        }
    }
}

TEST_F(TreeWalkTest, SystemEntriesAreListedAndForcedAway) {
    MakeDir(R"(C:\Src\T)");
    drives_.makeFifo(R"(C:\Src\T\pipe)");

    QStringList dirs, files;
    CollectTree(R"(C:\Src\T)", "*.*", dirs, files);
    EXPECT_EQ(files, QStringList({R"(C:\Src\T\pipe)"}));

    EXPECT_FALSE(RemoveTree(R"(C:\Src\T)", Force::No));
    EXPECT_TRUE(Exists(R"(C:\Src\T\pipe)"));
    EXPECT_TRUE(RemoveTree(R"(C:\Src\T)", Force::Yes));
    EXPECT_FALSE(Exists(R"(C:\Src\T)"));
}

TEST_F(TreeWalkTest, ForcedRemovalStopsAtTheFirstFileThatIsRefused) {
    MakeFile(R"(C:\Src\T\a.txt)");
    MakeFile(R"(C:\Src\T\b.txt)");
    MakeFile(R"(C:\Src\T\c.txt)");
    drives_.setReadOnly(R"(C:\Src\T\b.txt)", true);

    EXPECT_FALSE(RemoveTree(R"(C:\Src\T)", Force::Yes));
    EXPECT_FALSE(Exists(R"(C:\Src\T\a.txt)"));
    EXPECT_TRUE(Exists(R"(C:\Src\T\b.txt)"));
    EXPECT_TRUE(Exists(R"(C:\Src\T\c.txt)"));
}

TEST_F(TreeWalkTest, MissingDirectoryListsNothingAndIsNotRemoved) {
    QStringList dirs, files;
    CollectTree(R"(C:\Src\Missing)", "*.*", dirs, files);
    EXPECT_TRUE(dirs.isEmpty());
    EXPECT_TRUE(files.isEmpty());
    EXPECT_FALSE(RemoveTree(R"(C:\Src\Missing)", Force::No));
    EXPECT_FALSE(RemoveTree(R"(C:\Src\Missing)", Force::Yes));
}

TEST_F(TreeWalkTest, LinkInsideTheTreeIsRemovedItselfNeverFollowed) {
    FillOutside();
    MakeDir(R"(C:\Src\T)");
    MakeDir(R"(C:\Src\T\Sub)");
    drives_.makeSymlink(R"(C:\Src\T\Sub\Link)", OutsideHost());

    QStringList dirs, files;
    CollectTree(R"(C:\Src\T)", "*.*", dirs, files);
    EXPECT_EQ(dirs, QStringList({R"(C:\Src\T\Sub)"}));
    EXPECT_EQ(files, QStringList({R"(C:\Src\T\Sub\Link)"}));

    // The link is an entry left in the tree: no silent removal of a tree that
    // still leads somewhere.
    EXPECT_FALSE(RemoveTree(R"(C:\Src\T)", Force::No));
    EXPECT_TRUE(Exists(R"(C:\Src\T\Sub\Link)"));

    EXPECT_TRUE(RemoveTree(R"(C:\Src\T)", Force::Yes));
    EXPECT_FALSE(Exists(R"(C:\Src\T)"));
    EXPECT_EQ(OutsideEntries(), 6);
}

TEST_F(TreeWalkTest, LinkGivenAsTheTreeIsNotFollowed) {
    FillOutside();
    drives_.makeSymlink(R"(C:\Src\Link)", OutsideHost());

    QStringList dirs, files;
    CollectTree(R"(C:\Src\Link)", "*.*", dirs, files);
    EXPECT_TRUE(dirs.isEmpty());
    EXPECT_TRUE(files.isEmpty());

    EXPECT_FALSE(RemoveTree(R"(C:\Src\Link)", Force::Yes));
    EXPECT_FALSE(RemoveTree(R"(C:\Src\Link\)", Force::Yes));
    EXPECT_EQ(OutsideEntries(), 6);
}

TEST_F(TreeWalkTest, RelativeTreeIsRemovedWhereItWas) {
    MakeDir(R"(C:\Src\A)");
    MakeDir(R"(C:\Src\A\B)");
    MakeFile(R"(C:\Src\A\B\f.txt)");
    MakeDir(R"(C:\Src\A\A)");
    MakeDir(R"(C:\Src\A\A\B)");  // where "A\B" would point after the walk moved up a level
    ASSERT_TRUE(platform::SetCurrentDir(R"(C:\Src)"));

    EXPECT_TRUE(RemoveTree(R"(A\B)", Force::Yes));
    EXPECT_FALSE(Exists(R"(C:\Src\A\B)"));
    EXPECT_TRUE(Exists(R"(C:\Src\A\A\B)"));
}

// Trees that would lead a removal by path astray: what lies outside stays.
TEST_F(TreeWalkTest, ForcedRemovalNeverLeavesTheTree) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::function<void()> atFirstPump;
        bool removed;
    };
    const QString top = R"(C:\Src\T)";
    const Case cases[] = {
        {"3,000 levels deep",
         [this] {
             int fd = ::open(Host(R"(C:\Src\T)").constData(), O_RDONLY | O_DIRECTORY);
             for (int i = 0; i < 3000 && fd >= 0; ++i) {
                 ::mkdirat(fd, "d", 0755);
                 const int sub = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
                 ::close(fd);
                 fd = sub;
             }
             ASSERT_GE(fd, 0);
             ::close(::openat(fd, "f", O_CREAT | O_WRONLY, 0644));
             ::close(fd);
         },
         {},
         true},
        // The files' names are the canaries' names: a removal that rebuilt
        // paths would delete the canaries through the link.
        {"directory swapped for a link while the walk pumps",
         [this] {
             for (int i = 0; i < 5; ++i)
                 MakeFile(QStringLiteral(R"(C:\Src\T\Sub\canary%1)").arg(i));
         },
         [this] {
             ASSERT_EQ(
                 ::rename(Host(R"(C:\Src\T\Sub)").constData(), Host(R"(C:\Src\Moved)").constData()),
                 0);
             drives_.makeSymlink(R"(C:\Src\T\Sub)", OutsideHost());
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillOutside();
        MakeDir(top);
        c.prepare();
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == 1 && c.atFirstPump) c.atFirstPump();
        });

        EXPECT_EQ(RemoveTree(top, Force::Yes), c.removed);

        platform::SetPumpHook({});
        EXPECT_EQ(OutsideEntries(), 6);
        ASSERT_EQ(std::system(("rm -rf " + Host(top) + " " + Host(R"(C:\Src\Moved)") + " " +
                               OutsideHost() + "/*")
                                  .constData()),
                  0);
    }
}

TEST_F(TreeWalkTest, MountPointInsideTheTreeIsLeftWithItsContent) {
    FillOutside();
    MakeFile(R"(C:\Src\T\a.txt)");
    MakeDir(R"(C:\Src\T\Mnt)");
    const QByteArray mountPoint = Host(R"(C:\Src\T\Mnt)");
    if (::mount(OutsideHost().constData(), mountPoint.constData(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts need privileges";

    const bool removed = RemoveTree(R"(C:\Src\T)", Force::Yes);
    const int outside = OutsideEntries();
    const bool mountPointLeft = Exists(R"(C:\Src\T\Mnt)");
    ::umount2(mountPoint.constData(), MNT_DETACH);

    EXPECT_FALSE(removed);
    EXPECT_EQ(outside, 6);
    EXPECT_TRUE(mountPointLeft);
}

}  // namespace
