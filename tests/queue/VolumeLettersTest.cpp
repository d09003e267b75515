// Volumes plugged and unplugged for real, in a private mount namespace: a row
// queued to a volume's letter reaches that volume whatever came and went
// meanwhile, and a row whose volume is absent writes nowhere. Needs root (mounts,
// loop devices); skipped otherwise.
#include "SessionRig.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr int kSkip = 77;

bool Sh(const QByteArray& command) {
    return std::system(("{ " + command + "; } >/dev/null 2>&1").constData()) == 0;
}

// Waits for the mount watcher to bring the drive table to the state asked for.
bool WaitFor(const std::function<bool()>& ready) {
    QDeadlineTimer deadline(20000);
    while (!ready()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return true;
}

QChar LetterOf(const QByteArray& hostRoot) {
    for (const platform::Drive& d : platform::Drives().drives()) {
        if (d.ready && d.hostRoot == hostRoot) return d.letter;
    }
    return QChar();
}

QString Status(queue::QueueSession& session) {
    return session.Table().RowCount() > 1 ? session.Table().Cell(queue::colStatus, 1) : QString();
}

// Runs in the child, inside its own mount namespace.
void PlugAndUnplug() {
    ASSERT_TRUE(Sh("mkdir -p /mnt/work/src /mnt/stick /mnt/elsewhere /mnt/aaa"));
    for (const char* image : {"/mnt/work/a.img", "/mnt/work/b.img"}) {
        // Both carry the same label: only the file system's UUID tells them apart.
        ASSERT_TRUE(
            Sh(QByteArray("truncate -s 2M ") + image + " && mkfs.ext4 -q -F -L SAME " + image));
    }
    ASSERT_TRUE(Sh("echo payload > /mnt/work/src/f.txt"));
    ASSERT_TRUE(Sh("mount -o loop /mnt/work/a.img /mnt/stick"));
    qputenv("XDG_STATE_HOME", "/mnt/work/state");
    platform::ResetDrives();
    int changes = 0;
    QObject context;
    platform::WatchDrives(&context, [&] { ++changes; });

    const QChar work = LetterOf("/mnt");
    const QChar a = LetterOf("/mnt/stick");
    ASSERT_FALSE(work.isNull());
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(platform::Drives().find(a)->label, "SAME");
    testsupport::RecordingWindow window;
    queue::QueueSession session(window);
    session.Table().AppendJob(queue::QueueJob{
        QString(work) + QStringLiteral(":\\work\\src"), QStringLiteral("f.txt"),
        QString(a) + QStringLiteral(":\\in"), 8, queue::ActionCopy, queue::StatusPending});

    // Volume a goes. Before the table has heard of it, a's letter already
    // leads nowhere: not into the bare mount point on the disk below.
    ASSERT_TRUE(Sh("umount /mnt/stick"));
    EXPECT_FALSE(platform::Drives().toHost(QString(a) + QStringLiteral(":\\in")).has_value());
    EXPECT_EQ(platform::DriveFreeSpace(QString(a) + QStringLiteral(":\\")), -1);
    // Another comes at an earlier mount point, and volume b at a's.
    ASSERT_TRUE(Sh("mount -t tmpfs tmpfs /mnt/aaa && mount -o loop /mnt/work/b.img /mnt/stick"));
    ASSERT_TRUE(WaitFor(
        [&] { return !LetterOf("/mnt/stick").isNull() && !LetterOf("/mnt/aaa").isNull(); }));
    EXPECT_GT(changes, 0);
    EXPECT_NE(LetterOf("/mnt/stick"), a);
    EXPECT_EQ(LetterOf("/mnt"), work);
    ASSERT_NE(platform::Drives().entry(a), nullptr);
    EXPECT_FALSE(platform::Drives().entry(a)->ready);
    {
        testsupport::ScriptedDialogs dialogs;
        dialogs.ExpectMessage(platform::MsgKind::Error,
                              QStringLiteral("Not enough space on drive ") + a, platform::mrOk,
                              platform::mbOK);
        session.Runner().RunQueue();
    }
    EXPECT_EQ(Status(session), queue::StatusPending);
    EXPECT_FALSE(QFile::exists("/mnt/stick/in"));

    // Volume a comes back somewhere else: the row follows it.
    ASSERT_TRUE(
        Sh("umount /mnt/stick && umount /mnt/aaa && "
           "mount -o loop /mnt/work/a.img /mnt/elsewhere"));
    ASSERT_TRUE(WaitFor([&] { return LetterOf("/mnt/elsewhere") == a; }));
    session.Runner().RunQueue();
    EXPECT_EQ(Status(session), QString());  // done rows leave the table
    QFile copied("/mnt/elsewhere/in/f.txt");
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "payload\n");
    EXPECT_FALSE(QFile::exists("/mnt/stick/in"));
    EXPECT_FALSE(QFile::exists("/mnt/aaa/in"));
}

TEST(VolumeLetters, ARowFollowsItsVolumeAndWritesNowhereWhileItIsAbsent) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for mounts and loop devices";
    if (!Sh("command -v mkfs.ext4")) GTEST_SKIP() << "needs mkfs.ext4";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/mnt", "tmpfs", 0, "size=32m") != 0 ||
            !Sh("mkdir -p /mnt/work && truncate -s 1M /mnt/work/probe.img && "
                "mkfs.ext4 -q -F /mnt/work/probe.img && mkdir /mnt/probe && "
                "mount -o loop /mnt/work/probe.img /mnt/probe && umount /mnt/probe"))
            ::_exit(kSkip);
        PlugAndUnplug();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kSkip) GTEST_SKIP() << "no private mounts or loop devices here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failures above came from the child";
}

}  // namespace
