#include "queue/TreeWalk.h"

#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/Pump.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using queue::CollectTree;
using queue::Force;
using queue::RemoveTree;

// C: mapped to a fresh directory; "Outside" is a sibling of that drive's root,
// reachable only through links.
class TreeWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        ASSERT_TRUE(QDir(tmp_.path()).mkpath("c/Src"));
        ASSERT_TRUE(QDir(tmp_.path()).mkpath("Outside"));
        platform::Drive c;
        c.letter = 'C';
        c.hostRoot = QFile::encodeName(tmp_.path()) + "/c";
        platform::InstallDrives(platform::DriveTable({c}));
        platform::SetPumpHook({});
    }
    void TearDown() override {
        platform::SetPumpHook({});
        platform::ResetDrives();
    }

    static QByteArray Host(const QString& path) { return platform::Drives().toHost(path).value(); }
    static void MakeDir(const QString& path) {
        ASSERT_EQ(::mkdir(Host(path).constData(), 0755), 0);
    }
    static void MakeFile(const QString& path) {
        QFile f(QFile::decodeName(Host(path)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    static bool Exists(const QString& path) {
        struct stat st {};
        return ::lstat(Host(path).constData(), &st) == 0;
    }
    QByteArray OutsideHost() const { return QFile::encodeName(tmp_.path()) + "/Outside"; }
    // Five canary files in the directory outside the drive.
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

    QTemporaryDir tmp_;
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
    ASSERT_EQ(::symlink(OutsideHost().constData(), Host(R"(C:\Src\Link)").constData()), 0);
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
    ASSERT_EQ(::mkfifo(Host(R"(C:\Src\T\pipe)").constData(), 0600), 0);

    QStringList dirs, files;
    CollectTree(R"(C:\Src\T)", "*.*", dirs, files);
    EXPECT_EQ(files, QStringList({R"(C:\Src\T\pipe)"}));

    EXPECT_FALSE(RemoveTree(R"(C:\Src\T)", Force::No));
    EXPECT_TRUE(Exists(R"(C:\Src\T\pipe)"));
    EXPECT_TRUE(RemoveTree(R"(C:\Src\T)", Force::Yes));
    EXPECT_FALSE(Exists(R"(C:\Src\T)"));
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
    ASSERT_EQ(::symlink(OutsideHost().constData(), Host(R"(C:\Src\T\Sub\Link)").constData()), 0);

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
    ASSERT_EQ(::symlink(OutsideHost().constData(), Host(R"(C:\Src\Link)").constData()), 0);

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

}  // namespace
