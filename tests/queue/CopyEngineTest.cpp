#include "queue/Transfer.h"

#include "platform/Pump.h"
#include "support/TempDrives.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <optional>

namespace {

class CopyEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives_.makeDir(R"(C:\Src)");
        drives_.makeDir(R"(D:\Tgt)");
        platform::SetPumpHook({});
    }
    void TearDown() override { platform::SetPumpHook({}); }

    // The status word the row would get, once the settle named its target.
    QString CopyOneFile(const QString& source, const QString& target) {
        const queue::CopyResult result =
            engine_.Copy(progress_, queue::ResolvePaths(source, target));
        engine_.SettleAll();
        return queue::StatusWord(result);
    }

    QByteArray Host(const QString& path) const { return drives_.host(path); }
    // The content, or nullopt when nothing is there. Read in one piece: these
    // files run to megabytes.
    std::optional<QByteArray> Read(const QString& path) const {
        QFile f(QFile::decodeName(Host(path)));
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        return f.readAll();
    }
    struct stat Stat(const QString& path) const {
        struct stat st {};
        EXPECT_EQ(::stat(Host(path).constData(), &st), 0) << path.toStdString();
        return st;
    }

    testsupport::TempDrives drives_;
    queue::TRunCounters counters_;
    bool abort_ = false;
    queue::CopyProgress progress_{counters_, abort_};
    queue::TransferEngine engine_;
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
        const QByteArray data = testsupport::TempDrives::Pattern(c.size);
        drives_.writeFile(Source, data);
        const timespec times[2] = {{1'600'000'000, 0}, {1'234'567'890, 123'456'789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Host(Source).constData(), times, 0), 0);
        // A stale target is replaced, not appended to. A new one has no name
        // until it is whole: a crash meanwhile leaves nothing under it.
        const bool stale = c.size % 2 == 0;
        ::unlink(Host(Target).constData());
        if (stale) drives_.writeFile(Target, testsupport::TempDrives::Pattern(5'000'000));
        counters_.RunBytes = 1000;
        counters_.CurrentFileDone = 77;
        abort_ = true;  // left over from an earlier abort
        platform::SetPumpHook(
            [&](std::int64_t) { EXPECT_EQ(drives_.exists(Target), stale) << "a partial file"; });

        EXPECT_EQ(CopyOneFile(Source, Target), "Complete");

        // Both times, read before the target is: some file systems ignore a
        // time left out of the call.
        const struct stat st = Stat(Target);
        EXPECT_EQ(st.st_mtim.tv_sec, 1'234'567'890);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
        EXPECT_EQ(st.st_atim.tv_sec, 1'600'000'000);
        EXPECT_EQ(platform::PumpCount(), c.pumps);
        EXPECT_EQ(Read(Target), data);
        EXPECT_EQ(counters_.CurrentFileDone, c.size);
        EXPECT_EQ(counters_.RunBytes, 1000 + c.size);
        EXPECT_FALSE(abort_);
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
    const QByteArray data = testsupport::TempDrives::Pattern(3'000'000);
    drives_.writeFile(Source, data);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abortAtPump);
        counters_.RunBytes = 500;
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == c.abortAtPump) abort_ = true;
        });

        EXPECT_EQ(CopyOneFile(Source, Target), "Aborted");

        EXPECT_EQ(platform::PumpCount(), c.abortAtPump);
        EXPECT_EQ(Read(Target), data.left(c.copied));
        EXPECT_EQ(counters_.CurrentFileDone, c.copied);
        EXPECT_EQ(counters_.RunBytes, 500 + c.copied);
        EXPECT_EQ(Read(Source), data);
    }
}

TEST_F(CopyEngineTest, SourceChangingDuringTheCopyEndsAtTheMeasuredSize) {
    struct Case {
        const char* name;
        qint64 newSize;  // the source's size once the first chunk is copied
        const char* status;
    };
    const Case cases[] = {
        // A file that shrank cannot be copied whole; no partial target is left.
        {"shrinks", 1'500'000, "Source Error"},
        {"truncated to nothing", 0, "Source Error"},
        // A file that grew is copied as far as it was measured.
        {"grows", 5'000'000, "Complete"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray data = testsupport::TempDrives::Pattern(3'000'000);
        drives_.writeFile(Source, data);
        const QByteArray host = Host(Source);
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == 1) {
                ASSERT_EQ(::truncate(host.constData(), c.newSize), 0);
            }
        });

        EXPECT_EQ(CopyOneFile(Source, Target), c.status);

        if (QString(c.status) == "Complete") {
            EXPECT_EQ(Read(Target), data);
            EXPECT_EQ(counters_.CurrentFileDone, 3'000'000);
        } else {
            EXPECT_FALSE(drives_.exists(Target));
        }
    }
}

TEST_F(CopyEngineTest, RefusedJobsLeaveEveryFileAsItWas) {
    drives_.makeFifo(R"(C:\Src\pipe)");
    drives_.makeSymlink(R"(D:\Tgt\alias.bin)", Host(Source));
    drives_.makeDir(R"(D:\Tgt\dir.bin)");
    drives_.writeFile(R"(D:\Tgt\locked.bin)", "keep me");
    drives_.setMode(R"(D:\Tgt\locked.bin)", 0444);
    const QByteArray data = testsupport::TempDrives::Pattern(2'500'000);
    drives_.writeFile(Source, data);

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
        abort_ = true;
        counters_.CurrentFileDone = 5;
        platform::SetPumpHook([](std::int64_t) {});

        EXPECT_EQ(CopyOneFile(c.source, c.target), c.status);

        EXPECT_EQ(platform::PumpCount(), 0);
        EXPECT_FALSE(abort_);
        EXPECT_EQ(counters_.CurrentFileDone, 0);
        EXPECT_EQ(Read(Source), data);
        EXPECT_FALSE(drives_.exists(R"(D:\Tgt\new.bin)"));
        EXPECT_FALSE(drives_.exists(R"(D:\Tgt\NoSuchDir)"));
        EXPECT_EQ(Read(R"(D:\Tgt\locked.bin)"), QByteArray("keep me"));
        EXPECT_FALSE(drives_.exists(R"(C:\Src\missing.bin)"));
    }
}

TEST_F(CopyEngineTest, ReadOnlySourceGivesReadOnlyTargetThatIsNotReplacedLater) {
    const QByteArray data = testsupport::TempDrives::Pattern(1'500'000);
    drives_.writeFile(Source, data);
    drives_.setMode(Source, 0440);

    EXPECT_EQ(CopyOneFile(Source, Target), "Complete");
    EXPECT_EQ(drives_.mode(Target), 0440u);

    // The same job queued again: the read-only copy is refused even for root,
    // who could write it, and keeps its bytes.
    drives_.setMode(Source, 0640);
    drives_.writeFile(Source, testsupport::TempDrives::Pattern(10));
    EXPECT_EQ(CopyOneFile(Source, Target), "Target Error");
    EXPECT_EQ(Read(Target), data);
}

TEST_F(CopyEngineTest, SetIdBitsNeverReachTheTarget) {
    // A copy belongs to whoever made it: the source owner's rights stay behind.
    // A move of such a file is a copy too, so it drops them the same way.
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        drives_.writeFile(Source, "x");
        drives_.setMode(Source, 06755);
        const queue::FilePaths paths = queue::ResolvePaths(Source, Target);
        EXPECT_EQ(move ? engine_.Move(progress_, paths) : engine_.Copy(progress_, paths),
                  queue::CopyResult::Complete);
        engine_.SettleAll();
        EXPECT_EQ(drives_.mode(Target), 0755u);
    }
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
    const QByteArray data = testsupport::TempDrives::Pattern(3'000'000);
    drives_.writeFile(Source, data);
    QString status;
    {
        // Room for the first chunk, not the second.
        FileSizeLimit limit(1'500'000);
        status = CopyOneFile(Source, Target);
    }
    EXPECT_EQ(status, "Target Error");
    EXPECT_EQ(Read(Source), data);
    // A partial target is not left behind to pass for the file.
    EXPECT_FALSE(drives_.exists(Target));
}

TEST_F(CopyEngineTest, ExistingTargetStaysWholeUntilItsReplacementIs) {
    struct Case {
        const char* name;
        std::int64_t abortAtPump;  // 0: none
        rlim_t sizeLimit;          // 0: none
        bool shrinkAtFirstPump;
        const char* status;
        qint64 targetBytes;  // -1: the old target, byte for byte
    };
    const Case cases[] = {
        {"complete", 0, 0, false, "Complete", 3'000'000},
        {"disk full part-way", 0, 1'500'000, false, "Target Error", -1},
        {"source shrinks", 0, 0, true, "Source Error", -1},
        // Abort keeps the partial data, under the target's name.
        {"aborted", 1, 0, false, "Aborted", 1'000'001},
    };
    const QByteArray data = testsupport::TempDrives::Pattern(3'000'000);
    const QByteArray old = "the old target, which the user agreed to replace";
    // Written through a link, the file it names is replaced and the link stays.
    drives_.makeSymlink(R"(D:\Tgt\alias.bin)", "file.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drives_.writeFile(Source, data);
        drives_.writeFile(Target, old);
        const QByteArray host = Host(Source);
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == c.abortAtPump) abort_ = true;
            if (n == 1 && c.shrinkAtFirstPump) {
                ASSERT_EQ(::truncate(host.constData(), 10), 0);
            }
        });
        QString status;
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit) limit.emplace(c.sizeLimit);
            status = CopyOneFile(Source, R"(D:\Tgt\alias.bin)");
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(Read(Target), c.targetBytes < 0 ? old : data.left(c.targetBytes));
        EXPECT_EQ(
            QDir(QFile::decodeName(Host(R"(D:\Tgt)")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList({"alias.bin", "file.bin"}));
    }
}

TEST_F(CopyEngineTest, ALargeFileCutShortGoesOnFromItsPartOnDisk) {
    struct Case {
        const char* name;
        bool sourceTouched;  // between the Abort and the next copy
        std::int64_t resumedAt;
    };
    const Case cases[] = {
        {"the same source", false, 3 * queue::CopyChunkSize},
        {"the source changed since", true, 0},
    };
    const QByteArray data = testsupport::TempDrives::Pattern(65 << 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drives_.writeFile(Source, data);
        ::unlink(Host(Target).constData());
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == 3) abort_ = true;
        });
        ASSERT_EQ(CopyOneFile(Source, Target), "Aborted");
        EXPECT_EQ(Read(Target), data.left(3 * queue::CopyChunkSize));
        if (c.sourceTouched) {
            const timespec times[2] = {{UTIME_OMIT, UTIME_OMIT}, {1'000'000'000, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, Host(Source).constData(), times, 0), 0);
        }

        std::int64_t firstProgress = -1;
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == 1) firstProgress = counters_.CurrentFileDone;
        });
        counters_.RunBytes = 0;
        EXPECT_EQ(CopyOneFile(Source, Target), "Complete");
        EXPECT_TRUE(Read(Target) == data);
        EXPECT_EQ(firstProgress, c.resumedAt + queue::CopyChunkSize);
        EXPECT_EQ(counters_.RunBytes, data.size() - c.resumedAt);
        // Nothing of the part is left beside the file.
        EXPECT_EQ(QDir(QFile::decodeName(Host(R"(D:\Tgt)"))).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"file.bin"}));
    }
}

}  // namespace
