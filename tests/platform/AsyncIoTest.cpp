#include "platform/AsyncIo.h"
#include "platform/ChunkIo.h"
#include "platform/FileSystem.h"
#include "platform/ReplacementFile.h"
#include "platform/TreeRemoval.h"

#include "support/SlowDevice.h"
#include "support/TempDrives.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

using namespace platform;
using testsupport::TempDrives;

int Do(IoRequest r) {
    return AsyncIo::Instance().Run(std::move(r), std::chrono::seconds(30));
}

IoRequest At(IoOp op, const QByteArray& path, int flags = 0, std::uint32_t mode = 0) {
    IoRequest r;
    r.op = op;
    r.path = path;
    r.flags = flags;
    r.mode = mode;
    return r;
}

IoRequest OnFd(IoOp op, int fd) {
    IoRequest r;
    r.op = op;
    r.fd = fd;
    return r;
}

IoRequest Moving(IoOp op, const QByteArray& from, const QByteArray& to) {
    IoRequest r = At(op, from);
    r.path2 = to;
    return r;
}

class SynchronousScope {
public:
    explicit SynchronousScope(bool on) { AsyncIo::ForceSynchronous(on); }
    ~SynchronousScope() { AsyncIo::ForceSynchronous(false); }
};

// The calls a run makes give the same results through the ring and as plain calls.
TEST(AsyncIoTest, EveryOperationThroughTheRingAndWithout) {
    for (const bool synchronous : {false, true}) {
        SCOPED_TRACE(synchronous ? "plain calls" : "ring");
        SynchronousScope scope(synchronous);
        if (synchronous) {
            EXPECT_FALSE(AsyncIo::Instance().RingActive());
        }
        TempDrives drives;
        const QByteArray dir = drives.host("C:\\D");
        ASSERT_EQ(Do(At(IoOp::MkdirAt, dir, 0, 0755)), 0);
        EXPECT_EQ(Do(At(IoOp::MkdirAt, dir, 0, 0755)), -EEXIST);

        const int fd = Do(At(IoOp::OpenAt, dir + "/a", O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_GE(fd, 0);
        auto text = std::make_shared<QByteArray>("0123456789");
        IoRequest write = OnFd(IoOp::Write, fd);
        write.buffer = text->data();
        write.length = 10;
        write.offset = 0;
        write.keepAlive = text;
        EXPECT_EQ(Do(write), 10);
        for (IoOp op : {IoOp::Fsync, IoOp::Fdatasync, IoOp::SyncFileRange})
            EXPECT_EQ(Do(OnFd(op, fd)), 0);
        char back[4] = {};
        IoRequest read = OnFd(IoOp::Read, fd);
        read.buffer = back;
        read.length = 4;
        read.offset = 3;
        EXPECT_EQ(Do(read), 4);
        EXPECT_EQ(std::memcmp(back, "3456", 4), 0);
        IoRequest mark = OnFd(IoOp::FSetXattr, fd);
        mark.path = "user.test";
        mark.path2 = "v1";
        EXPECT_EQ(Do(mark), 0);
        IoRequest look = OnFd(IoOp::FGetXattr, fd);
        look.path = "user.test";
        look.buffer = back;
        look.length = 4;
        EXPECT_EQ(Do(look), 2);
        EXPECT_EQ(std::memcmp(back, "v1", 2), 0);
        EXPECT_EQ(Do(OnFd(IoOp::Close, fd)), 0);
        EXPECT_EQ(Do(OnFd(IoOp::Close, fd)), -EBADF);

        const IoTicket st = AsyncIo::Instance().Submit(At(IoOp::Statx, dir + "/a"));
        AsyncIo::Instance().Wait(st, std::chrono::seconds(30));
        EXPECT_EQ(st->result(), 0);
        EXPECT_EQ(st->stat().stx_size, 10u);

        EXPECT_EQ(Do(Moving(IoOp::LinkAt, dir + "/a", dir + "/b")), 0);
        EXPECT_EQ(Do(Moving(IoOp::RenameAt, dir + "/b", dir + "/c")), 0);
        EXPECT_EQ(Do(At(IoOp::UnlinkAt, dir + "/c")), 0);
        EXPECT_EQ(Do(At(IoOp::UnlinkAt, dir + "/c")), -ENOENT);
        EXPECT_EQ(Do(At(IoOp::UnlinkAt, dir, AT_REMOVEDIR)), -ENOTEMPTY);
        EXPECT_EQ(Do(At(IoOp::Statx, dir + "/none")), -ENOENT);
    }
}

// A read of the empty pipe fd, which never completes; it owns its buffer.
IoRequest NeverDone(int fd) {
    auto buffer = std::make_shared<std::array<char, 16>>();
    IoRequest read = OnFd(IoOp::Read, fd);
    read.buffer = buffer->data();
    read.length = 16;
    read.keepAlive = std::move(buffer);
    return read;
}

// A read that never completes (an empty pipe) is given up after the timeout,
// the events running meanwhile; its buffer stays alive until the kernel lets
// go of the request. Aborted instead, it is waited for while the device
// still writes, a grace at a time, and given up at the first grace in which
// it wrote nothing.
TEST(AsyncIoTest, AWaitThatNeverCompletesIsGivenUpWhileEventsRun) {
    AsyncIo& io = AsyncIo::Instance();
    if (!io.RingActive()) GTEST_SKIP() << "the kernel refuses io_uring here";
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const auto allLetGo = [&io] {
        for (int i = 0; i < 100 && io.Abandoned() > 0; ++i)
            PumpMessagesWaiting(std::chrono::milliseconds(50));
        return io.Abandoned() == 0;
    };
    IoRequest read = NeverDone(pipeFds[0]);
    std::weak_ptr<void> watch = read.keepAlive;
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });
    IoTicket ticket = io.Submit(std::move(read));
    EXPECT_FALSE(io.Wait(ticket, std::chrono::milliseconds(200)));
    EXPECT_TRUE(eventRan);
    EXPECT_TRUE(ticket->done());
    EXPECT_EQ(ticket->result(), -ETIMEDOUT);
    EXPECT_TRUE(allLetGo());
    EXPECT_TRUE(watch.expired());

    const bool aborted = true;
    int asked = 0;  // the first look, then three graces granted, then none
    AbortWatch abort{&aborted, std::chrono::milliseconds(20), std::nullopt,
                     [&] { return ++asked <= 4; }};
    ticket = io.Submit(NeverDone(pipeFds[0]));
    EXPECT_FALSE(io.WaitUnlessAborted(ticket, abort));
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(ticket->result(), -ECANCELED);
    EXPECT_TRUE(allLetGo());
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

// On the test device: a slow listing finds what a fast one does; a hung one
// is given up as a place that cannot be read, the events running meanwhile,
// and the device is left alone until it answers again.
TEST(AsyncIoTest, ListingsOnASlowAndOnAHungDevice) {
    TempDrives drives(QStringLiteral("CD"));
    drives.makeDir("C:\\backing");
    for (int i = 0; i < 100; ++i)
        drives.writeFile(QStringLiteral("C:\\backing\\f%1.txt").arg(i, 3, 10, QLatin1Char('0')),
                         "x");
    drives.makeDir("C:\\backing\\Sub");
    testsupport::SlowDevice device(drives.host("C:\\backing"), drives.host("D:\\"),
                                   {.latencyMs = 5});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();

    for (const bool synchronous : {false, true}) {
        SynchronousScope scope(synchronous);
        DirectorySearch search;
        SearchRec rec;
        int files = 0, dirs = 0;
        for (bool more = search.First("D:\\*.*", faDirectory, rec).ok(); more;
             more = search.Next(rec)) {
            (rec.attr & faDirectory ? dirs : files) += 1;
            if (!(rec.attr & faDirectory)) {
                EXPECT_EQ(rec.size, 1);
            }
        }
        EXPECT_EQ(files, 100);
        EXPECT_EQ(dirs, 1);  // Sub: a drive root has no "." and ".."
    }

    if (!AsyncIo::Instance().RingActive()) return;
    device.setHung(true);
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });
    const Result<void> entered = CanEnterDirectory("D:\\Sub");
    ASSERT_FALSE(entered);
    EXPECT_EQ(entered.error().code, ETIMEDOUT);
    EXPECT_TRUE(eventRan);
    // Known not to answer: the next look-up fails at once, without waiting.
    EXPECT_FALSE(DirectoryExists("D:\\Sub"));
    EXPECT_EQ(DriveFreeSpace("D:\\"), -1);
    device.answerAgain();
    EXPECT_TRUE(DirectoryExists("D:\\Sub"));
}

// Calls about names are made as plain calls only where the file system
// keeps its names in memory or on a local disk; the mount table behind that
// follows a device mounted while the program runs. A drive on such a device
// is checked against the mount table, not asked: its paths resolve while the
// device hangs, and another volume's device number is told apart.
TEST(AsyncIoTest, OnlyFileSystemsThatAskAServerTakeNameCallsThroughTheRing) {
    EXPECT_TRUE(AnswersFromMemory("/dev/shm/anything"));
    EXPECT_FALSE(AnswersFromMemory("relative/path"));
    TempDrives drives(QStringLiteral("CD"));
    drives.makeDir("C:\\backing");
    const QByteArray mount = drives.host("D:\\");
    const bool before = AnswersFromMemory(mount);
    {
        testsupport::SlowDevice device(drives.host("C:\\backing"), mount, {});
        if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
        EXPECT_FALSE(AnswersFromMemory(mount + "/file"));
        const QByteArray root = mount.endsWith('/') ? mount.chopped(1) : mount;
        EXPECT_EQ(MountPointOf(mount + "/file"), root);
        struct stat st {};
        ASSERT_EQ(::stat(root.constData(), &st), 0);
        EXPECT_EQ(MountedDeviceOf(root + "/file"), std::uint64_t(st.st_dev));
        Drive e;
        e.letter = u'E';
        e.hostRoot = root;
        e.device = st.st_dev;
        Drive f = e;
        f.letter = u'F';
        f.device = st.st_dev + 1;
        const DriveTable table({e, f});
        testsupport::HangWatch hang(device);
        hang.begin();
        EXPECT_EQ(table.toHost("E:\\x"), root + "/x");
        EXPECT_EQ(table.toHost("F:\\x"), std::nullopt);
        EXPECT_TRUE(hang.stillHung());
    }
    EXPECT_EQ(AnswersFromMemory(mount), before);
}

// On a file system that asks a server, names in a directory are asked from a
// hold on it, and a file begun there gets its name in that very directory,
// whatever became of its path meanwhile.
TEST(AsyncIoTest, NamesAreAskedFromAHeldDirectoryAndAFileStaysWhereItWasBegun) {
    TempDrives drives(QStringLiteral("CD"));
    drives.makeDir("C:\\backing\\dir");
    const QByteArray mount = drives.host("D:\\");
    testsupport::SlowDevice device(drives.host("C:\\backing"), mount, {});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
    const QByteArray root = mount.endsWith('/') ? mount.chopped(1) : mount;
    const QByteArray dir = root + "/dir";
    EXPECT_EQ(HeldDirectory::Of(drives.host("C:\\backing")), nullptr);
    const auto held = HeldDirectory::Of(dir);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(HeldDirectory::Of(dir), held);

    // Only paths that name the directory or an entry of it are related.
    const IoRequest entry = HeldDirectory::Relate(At(IoOp::Statx, dir + "/f"), held);
    EXPECT_NE(entry.dirFd, AT_FDCWD);
    EXPECT_EQ(entry.path, "f");
    EXPECT_EQ(entry.where(), dir + "/f");
    EXPECT_EQ(HeldDirectory::Relate(At(IoOp::OpenAt, dir), held).path, ".");
    EXPECT_EQ(HeldDirectory::Relate(At(IoOp::Statx, dir + "/sub/f"), held).dirFd, AT_FDCWD);
    IoRequest link = At(IoOp::LinkAt, "/proc/self/fd/3");
    link.path2 = dir + "/g";
    link = HeldDirectory::Relate(std::move(link), held);
    EXPECT_EQ(link.dirFd, AT_FDCWD);
    EXPECT_NE(link.dirFd2, AT_FDCWD);
    EXPECT_EQ(link.path2, "g");

    {
        ReplacementFile file(ReplacementFile::Calls::Ring);
        ASSERT_TRUE(file.Open(dir + "/f", 0644, ReplacementFile::Placement::New));
        ASSERT_EQ(::write(file.fd(), "x", 1), 1);
        HeldDirectory::LetGoAll();
        ASSERT_EQ(::rename(dir.constData(), (root + "/moved").constData()), 0);
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(QDir(QString::fromUtf8(root + "/moved"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("f")});
    EXPECT_EQ(HeldDirectory::Of(dir), nullptr);
}

// A tree on a device that hangs: its removal waits for the device by pumping,
// gives up and leaves the tree; once the device answers, the tree goes.
TEST(AsyncIoTest, ATreeOnAHungDeviceStaysAndTheWindowRunsMeanwhile) {
    TempDrives drives(QStringLiteral("CD"));
    drives.makeDir("C:\\backing\\tree\\sub");
    testsupport::SlowDevice device(drives.host("C:\\backing"), drives.host("D:\\"), {});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
    if (!AsyncIo::Instance().RingActive()) GTEST_SKIP() << "no io_uring here";
    testsupport::HangWatch hang(device);
    hang.begin();
    EXPECT_FALSE(RemoveDirectoryTree("D:\\tree", TreeContent::EmptyDirectoriesOnly, [] {}));
    EXPECT_GT(hang.ticksWhileHung(), 20);
    hang.end();
    EXPECT_TRUE(QFile::exists(QString::fromUtf8(drives.host("C:\\backing\\tree\\sub"))));
    EXPECT_TRUE(RemoveDirectoryTree("D:\\tree", TreeContent::EmptyDirectoriesOnly, [] {}));
    EXPECT_FALSE(QFile::exists(QString::fromUtf8(drives.host("C:\\backing\\tree"))));
}

// A chunk between two file systems is read and written through the ring, or
// with plain calls without it: the same bytes either way, and a source that
// ends early gives the count it had.
TEST(ChunkCopierTest, ReadsAndWritesAcrossFileSystemsWithAndWithoutTheRing) {
    TempDrives drives(QStringLiteral("C"));
    QTemporaryDir shm(QStringLiteral("/dev/shm/ferrovant-chunk-XXXXXX"));
    const QByteArray target = QFile::encodeName(shm.path()) + "/t.bin";
    if (!shm.isValid() || MountPointOf(target) == MountPointOf(drives.host("C:\\")))
        GTEST_SKIP() << "no second file system at /dev/shm";
    const QByteArray data = TempDrives::Pattern(2'500'000);
    drives.writeFile("C:\\s.bin", data);
    for (const bool synchronous : {false, true}) {
        SCOPED_TRACE(synchronous ? "plain calls" : "ring");
        SynchronousScope scope(synchronous);
        const int from = ::open(drives.host("C:\\s.bin").constData(), O_RDONLY | O_NONBLOCK);
        const int to = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, 0600);
        CopyBuffer buffer(1'000'001);
        ChunkCopier copier({from, to, drives.host("C:\\s.bin"), target, nullptr, nullptr}, buffer);
        const Result<std::int64_t> first = copier.Copy(2'000'000);
        ASSERT_TRUE(first);
        EXPECT_EQ(*first, 2'000'000);
        EXPECT_TRUE(copier.WriteBehind(0, 2'000'000, 1'000'000));
        const Result<std::int64_t> rest = copier.Copy(1'000'000);
        ASSERT_TRUE(rest);
        EXPECT_EQ(*rest, 500'000);
        ::close(from);
        ::close(to);
        QFile copy(QFile::decodeName(target));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == data);
    }
}

}  // namespace
