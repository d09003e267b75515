#include "platform/AtomicFile.h"
#include "platform/ReplacementFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/HostFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

namespace {

using platform::AtomicFile;

using testsupport::ReadAll;
using testsupport::WriteAll;

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

TEST(AtomicFile, ReplacesWholeKeepingModeAndLinks) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    WriteAll(path, "old");
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0640), 0);
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(path, link));

    // Larger than the write buffer, in pieces of odd sizes.
    QByteArray expected;
    AtomicFile file(link);
    ASSERT_TRUE(file.Open());
    for (int i = 0; i < 40000; ++i) {
        const QByteArray piece = QByteArray::number(i) + QByteArray(i % 13, 'x') + "\r\n";
        expected += piece;
        ASSERT_TRUE(file.Write(piece));
    }
    const QByteArray big(300 * 1024, 'y');
    expected += big;
    ASSERT_TRUE(file.Write(big));
    EXPECT_EQ(ReadAll(path), "old");  // nothing visible before the commit
    ASSERT_TRUE(file.Commit());

    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir.path()), (QStringList{"link.ini", "settings.ini"}));
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporary) {
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain");
    WriteAll(plain, "x");
    const QString readOnly = dir.filePath("ro");
    WriteAll(readOnly, "keep");
    ASSERT_EQ(chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    const QString sub = dir.filePath("sub");
    QDir().mkdir(sub);

    struct Case {
        const char* name;
        QString path;
        int err;
    };
    const Case cases[] = {
        {"parent is a regular file", plain + "/f", ENOTDIR},
        {"read-only file", readOnly, EACCES},
        {"a directory", sub, EISDIR},
        {"missing directory", dir.filePath("none/f"), ENOENT},
        {"empty path", QString(), ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AtomicFile file(c.path);
        EXPECT_FALSE(file.Open());
        EXPECT_EQ(file.Error(), c.err);
        EXPECT_EQ(file.FailedStage(), AtomicFile::Stage::Create);
        EXPECT_FALSE(file.Write("more"));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error(), c.err);  // the first failure is the one reported
    }
    EXPECT_EQ(ReadAll(readOnly), "keep");

    // Dropped without a commit: the old content stays, the temporary goes.
    {
        AtomicFile file(plain);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("new"));
    }
    EXPECT_EQ(ReadAll(plain), "x");
    EXPECT_EQ(Entries(dir.path()), (QStringList{"plain", "ro", "sub"}));
}

TEST(AtomicFile, NewFileGetsTheUsualMode) {
    QTemporaryDir dir;
    const QString path = dir.filePath("new.csv");
    const mode_t mask = umask(022);
    AtomicFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Commit());
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(ReadAll(path), "");
}

TEST(AtomicFile, SaveInProgressHasNoNameAndStaleTemporariesGo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("queue.csv");
    WriteAll(path, "old");
    // Left by a process that is gone, by one still running, and a user's file.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const QString dead = QStringLiteral(".queue.csv.~%1.abcdef").arg(child);
    const QString alive = QStringLiteral(".queue.csv.~%1.abcdef").arg(getppid());
    for (const QString& name : {dead, alive, QStringLiteral(".queue.csv.mine")})
        WriteAll(dir.filePath(name), "stale");

    AtomicFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write(QByteArray(600 * 1024, 'n')));
    // A kill now would leave nothing: the new version has no name yet.
    EXPECT_EQ(Entries(dir.path()), (QStringList{".queue.csv.mine", alive, "queue.csv"}));
    ASSERT_TRUE(file.Commit());

    EXPECT_EQ(ReadAll(path), QByteArray(600 * 1024, 'n'));
    EXPECT_EQ(Entries(dir.path()), (QStringList{".queue.csv.mine", alive, "queue.csv"}));
}

// A batch of files named together ends each as its own commit would: a new
// file under its name, a new file whose name another program took meanwhile
// refused with that file untouched, a replacement over the old file; and no
// temporary left, whether the file system made unnamed files or hidden ones.
TEST(AtomicFile, FilesCommittedTogetherEndEachAsAlone) {
    using platform::ReplacementFile;
    for (const char* base : {"/tmp", "/dev/shm"}) {
        QTemporaryDir dir(QString::fromLatin1(base) + "/ferrovant-commit-XXXXXX");
        ASSERT_TRUE(dir.isValid());
        const auto host = [&](const char* name) { return QFile::encodeName(dir.filePath(name)); };
        WriteAll(dir.filePath("replaced"), "old");
        ReplacementFile fresh(ReplacementFile::Calls::Ring), taken(ReplacementFile::Calls::Ring),
            replacing(ReplacementFile::Calls::Ring);
        ASSERT_TRUE(fresh.Open(host("fresh"), 0644, ReplacementFile::Placement::New));
        ASSERT_TRUE(taken.Open(host("taken"), 0644, ReplacementFile::Placement::New));
        ASSERT_TRUE(replacing.Open(host("replaced"), 0644));
        ASSERT_EQ(write(fresh.fd(), "fresh", 5), 5);
        ASSERT_EQ(write(taken.fd(), "ours", 4), 4);
        ASSERT_EQ(write(replacing.fd(), "new", 3), 3);
        WriteAll(dir.filePath("taken"), "theirs");

        ReplacementFile* const files[] = {&fresh, &taken, &replacing};
        const auto results = ReplacementFile::CommitAll(files);
        EXPECT_TRUE(results[0]);
        ASSERT_FALSE(results[1]);
        EXPECT_EQ(results[1].error().code, EEXIST);
        EXPECT_TRUE(results[2]);
        EXPECT_EQ(ReadAll(dir.filePath("fresh")), "fresh");
        EXPECT_EQ(ReadAll(dir.filePath("taken")), "theirs");
        EXPECT_EQ(ReadAll(dir.filePath("replaced")), "new");
        EXPECT_EQ(Entries(dir.path()), (QStringList{"fresh", "replaced", "taken"}));
    }
}

}  // namespace
