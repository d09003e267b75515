#include "queue/CopyEngine.h"

#include "platform/Drives.h"
#include "platform/Pump.h"
#include "queue/RunState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <optional>

namespace {

using queue::CopyOneFile;

// C: and D: mapped to two fresh directories.
class CopyEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        const QByteArray root = QFile::encodeName(tmp_.path());
        ASSERT_TRUE(QDir(tmp_.path()).mkpath("c/Src"));
        ASSERT_TRUE(QDir(tmp_.path()).mkpath("d/Tgt"));
        platform::Drive c;
        c.letter = 'C';
        c.hostRoot = root + "/c";
        platform::Drive d;
        d.letter = 'D';
        d.hostRoot = root + "/d";
        platform::InstallDrives(platform::DriveTable({c, d}));
        queue::ResetRunState();
        platform::SetPumpHook({});
    }
    void TearDown() override {
        platform::SetPumpHook({});
        platform::ResetDrives();
    }

    static QByteArray Host(const QString& path) { return platform::Drives().toHost(path).value(); }

    // Bytes that differ from chunk to chunk, so a chunk written twice or out
    // of place shows.
    static QByteArray Pattern(qint64 size) {
        QByteArray data(size, Qt::Uninitialized);
        char* out = data.data();
        for (qint64 i = 0; i < size; ++i)
            out[i] = char((i * 7 + i / 1000003) & 0xFF);
        return data;
    }
    static void Write(const QString& path, const QByteArray& data) {
        QFile f(QFile::decodeName(Host(path)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(data), data.size());
    }
    static std::optional<QByteArray> Read(const QString& path) {
        QFile f(QFile::decodeName(Host(path)));
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        return f.readAll();
    }
    static bool Exists(const QString& path) {
        struct stat st {};
        return ::lstat(Host(path).constData(), &st) == 0;
    }
    static struct stat Stat(const QString& path) {
        struct stat st {};
        EXPECT_EQ(::stat(Host(path).constData(), &st), 0) << path.toStdString();
        return st;
    }

    QTemporaryDir tmp_;
};

const QString Source = QStringLiteral(R"(C:\Src\file.bin)");
const QString Target = QStringLiteral(R"(D:\Tgt\file.bin)");

TEST_F(CopyEngineTest, CopiesWholeFileChunkByChunkWithDateAndCounters) {
    struct Case {
        qint64 size;
        std::int64_t pumps;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {1'000'001, 1}, {1'000'002, 2}, {3'000'000, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const QByteArray data = Pattern(c.size);
        Write(Source, data);
        const timespec times[2] = {{1'600'000'000, 0}, {1'234'567'890, 123'456'789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Host(Source).constData(), times, 0), 0);
        // A stale target is replaced, not appended to.
        Write(Target, Pattern(5'000'000));
        queue::RunCounters.RunBytes = 1000;
        queue::RunCounters.CurrentFileDone = 77;
        queue::AbortRequested = true;  // left over from an earlier abort
        platform::SetPumpHook([](std::int64_t) {});

        EXPECT_EQ(CopyOneFile(Source, Target), "Complete");

        EXPECT_EQ(platform::PumpCount(), c.pumps);
        EXPECT_EQ(Read(Target), data);
        EXPECT_EQ(queue::RunCounters.CurrentFileDone, c.size);
        EXPECT_EQ(queue::RunCounters.RunBytes, 1000 + c.size);
        EXPECT_FALSE(queue::AbortRequested);
        const struct stat st = Stat(Target);
        EXPECT_EQ(st.st_mtim.tv_sec, 1'234'567'890);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
        EXPECT_EQ(Read(Source), data);
    }
}

TEST_F(CopyEngineTest, AbortDuringAPumpKeepsThePartialTarget) {
    struct Case {
        std::int64_t abortAtPump;
        qint64 copied;
    };
    // Abort during the second chunk's pump, and during the last one: the flag
    // is read after the pump, so even a finished copy ends "Aborted".
    const Case cases[] = {{1, 1'000'001}, {2, 2'000'002}, {3, 3'000'000}};
    const QByteArray data = Pattern(3'000'000);
    Write(Source, data);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abortAtPump);
        queue::RunCounters.RunBytes = 500;
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == c.abortAtPump) queue::AbortRequested = true;
        });

        EXPECT_EQ(CopyOneFile(Source, Target), "Aborted");

        EXPECT_EQ(platform::PumpCount(), c.abortAtPump);
        EXPECT_EQ(Read(Target), data.left(c.copied));
        EXPECT_EQ(queue::RunCounters.CurrentFileDone, c.copied);
        EXPECT_EQ(queue::RunCounters.RunBytes, 500 + c.copied);
        EXPECT_EQ(Read(Source), data);
    }
}

TEST_F(CopyEngineTest, RefusedJobsLeaveEveryFileAsItWas) {
    ASSERT_EQ(::mkfifo(Host(R"(C:\Src\pipe)").constData(), 0600), 0);
    ASSERT_EQ(::symlink(Host(Source).constData(), Host(R"(D:\Tgt\alias.bin)").constData()), 0);
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(Host(R"(D:\Tgt\dir.bin)"))));
    Write(R"(D:\Tgt\locked.bin)", "keep me");
    ASSERT_EQ(::chmod(Host(R"(D:\Tgt\locked.bin)").constData(), 0444), 0);
    const QByteArray data = Pattern(2'500'000);
    Write(Source, data);

    struct Case {
        const char* source;
        const char* target;
        const char* status;
    };
    const Case cases[] = {
        {R"(C:\Src\file.bin)", R"(C:\Src\file.bin)", "Skipped"},
        {R"(C:\Src\missing.bin)", R"(C:\Src\missing.bin)", "Skipped"},
        // Another spelling of the same file must not truncate it.
        {R"(C:\Src\file.bin)", R"(c:\Src\file.bin)", "Skipped"},
        {R"(C:\Src\file.bin)", R"(D:\Tgt\alias.bin)", "Skipped"},
        {R"(C:\Src\missing.bin)", R"(D:\Tgt\new.bin)", "Source Error"},
        {R"(C:\Src\pipe)", R"(D:\Tgt\new.bin)", "Source Error"},
        {R"(C:\Src)", R"(D:\Tgt\new.bin)", "Source Error"},
        {R"(Q:\Src\file.bin)", R"(D:\Tgt\new.bin)", "Source Error"},
        {R"(C:\Src\file.bin)", R"(D:\Tgt\NoSuchDir\new.bin)", "Target Error"},
        {R"(C:\Src\file.bin)", R"(Q:\Tgt\new.bin)", "Target Error"},
        {R"(C:\Src\file.bin)", R"(D:\Tgt\dir.bin)", "Target Error"},
        {R"(C:\Src\file.bin)", R"(D:\Tgt\locked.bin)", "Target Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        queue::AbortRequested = true;
        queue::RunCounters.CurrentFileDone = 5;
        platform::SetPumpHook([](std::int64_t) {});

        EXPECT_EQ(CopyOneFile(c.source, c.target), c.status);

        EXPECT_EQ(platform::PumpCount(), 0);
        EXPECT_FALSE(queue::AbortRequested);
        EXPECT_EQ(queue::RunCounters.CurrentFileDone, 0);
        EXPECT_EQ(Read(Source), data);
        EXPECT_FALSE(Exists(R"(D:\Tgt\new.bin)"));
        EXPECT_FALSE(Exists(R"(D:\Tgt\NoSuchDir)"));
        EXPECT_EQ(Read(R"(D:\Tgt\locked.bin)"), QByteArray("keep me"));
        EXPECT_FALSE(Exists(R"(C:\Src\missing.bin)"));
    }
}

TEST_F(CopyEngineTest, ReadOnlySourceGivesReadOnlyTargetThatIsNotReplacedLater) {
    const QByteArray data = Pattern(1'500'000);
    Write(Source, data);
    ASSERT_EQ(::chmod(Host(Source).constData(), 0440), 0);

    EXPECT_EQ(CopyOneFile(Source, Target), "Complete");
    EXPECT_EQ(Stat(Target).st_mode & 07777, 0440u);

    // The same job queued again: the read-only copy is refused even for root,
    // who could write it, and keeps its bytes.
    ASSERT_EQ(::chmod(Host(Source).constData(), 0640), 0);
    Write(Source, Pattern(10));
    EXPECT_EQ(CopyOneFile(Source, Target), "Target Error");
    EXPECT_EQ(Read(Target), data);
}

// Writes past RLIMIT_FSIZE fail short with EFBIG once SIGXFSZ is ignored.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(CopyEngineTest, ShortWriteNeverEndsComplete) {
    const QByteArray data = Pattern(3'000'000);
    Write(Source, data);
    QString status;
    {
        // Room for the first chunk, not the second.
        FileSizeLimit limit(1'500'000);
        status = CopyOneFile(Source, Target);
    }
    EXPECT_EQ(status, "Target Error");
    EXPECT_EQ(Read(Source), data);
    // A partial target is not left behind to pass for the file.
    EXPECT_FALSE(Exists(Target));
}

}  // namespace
