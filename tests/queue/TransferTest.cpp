#include "queue/Transfer.h"

#include "platform/FileCopy.h"
#include "platform/Pump.h"
#include "support/TempDrives.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using queue::CopyResult;
using testsupport::TempDrives;

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives_.makeDir(R"(C:\Src)");
        drives_.makeDir(R"(D:\Tgt)");
        platform::SetPumpHook({});
        platform::SetFlushHook([this](const QByteArray&) {
            ++flushes_;
            if (onFlush_) onFlush_();
            return !failFlush_;
        });
    }
    void TearDown() override {
        platform::SetPumpHook({});
        platform::SetFlushHook({});
    }

    ino_t Inode(const QString& path) const {
        struct stat st {};
        return ::lstat(drives_.host(path).constData(), &st) == 0 ? st.st_ino : 0;
    }
    QString Source(int i) const { return QStringLiteral(R"(C:\Src\f%1.bin)").arg(i); }
    QString Target(int i) const { return QStringLiteral(R"(D:\Tgt\f%1.bin)").arg(i); }

    TempDrives drives_;
    queue::TRunCounters counters_;
    bool abort_ = false;
    queue::CopyProgress progress_{counters_, abort_};
    queue::TransferEngine engine_;
    int flushes_ = 0;
    std::function<void()> onFlush_;
    bool failFlush_ = false;
};

TEST_F(TransferTest, MoveWithinOneFileSystemIsARenameWithTheCopysRefusals) {
    const QByteArray data = TempDrives::Pattern(2'500'000);
    struct Case {
        const char* name;
        std::function<void(TempDrives&)> prepare;
        CopyResult result;
        bool renamed;     // the target is the source's own inode
        bool sourceGone;  // once settled
    };
    const Case cases[] = {
        {"nothing there", [](TempDrives&) {}, CopyResult::Complete, true, true},
        {"replaces a file", [](TempDrives& d) { d.writeFile(R"(D:\Tgt\f.bin)", "old"); },
         CopyResult::Complete, true, true},
        {"read-only target",
         [](TempDrives& d) {
             d.writeFile(R"(D:\Tgt\f.bin)", "old");
             d.setReadOnly(R"(D:\Tgt\f.bin)", true);
         },
         CopyResult::TargetError, false, false},
        {"target is a directory", [](TempDrives& d) { d.makeDir(R"(D:\Tgt\f.bin)"); },
         CopyResult::TargetError, false, false},
        {"target is the source",
         [](TempDrives& d) { d.makeSymlink(R"(D:\Tgt\f.bin)", d.host(R"(C:\Src\f.bin)")); },
         CopyResult::Skipped, false, false},
        // A copy leaves a read-only source in place; so does the move.
        {"read-only source", [](TempDrives& d) { d.setReadOnly(R"(C:\Src\f.bin)", true); },
         CopyResult::Complete, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drives_.writeFile(R"(C:\Src\f.bin)", data);
        drives_.setMTime(R"(C:\Src\f.bin)", 1'234'567'890);
        c.prepare(drives_);
        const ino_t inode = Inode(R"(C:\Src\f.bin)");
        counters_.RunBytes = 100;

        EXPECT_EQ(
            engine_.Move(progress_, queue::ResolvePaths(R"(C:\Src\f.bin)", R"(D:\Tgt\f.bin)")),
            c.result);
        engine_.SettleAll();

        EXPECT_EQ(!drives_.exists(R"(C:\Src\f.bin)"), c.sourceGone);
        EXPECT_EQ(Inode(R"(D:\Tgt\f.bin)") == inode, c.renamed);
        if (c.result == CopyResult::Complete) {
            EXPECT_EQ(drives_.readFile(R"(D:\Tgt\f.bin)"), data);
            EXPECT_EQ(drives_.mtime(R"(D:\Tgt\f.bin)"), 1'234'567'890);
            EXPECT_EQ(counters_.CurrentFileDone, data.size());
            EXPECT_EQ(counters_.RunBytes, 100 + data.size());
        }
        if (c.result != CopyResult::Skipped) {
            EXPECT_TRUE(drives_.exists(R"(C:\Src\f.bin)") || drives_.exists(R"(D:\Tgt\f.bin)"));
        }
        ASSERT_EQ(std::system(("rm -rf " + drives_.host(R"(D:\Tgt)") + "/* " +
                               drives_.host(R"(C:\Src)") + "/*")
                                  .constData()),
                  0);
    }
}

TEST_F(TransferTest, AMoveRowBroughtBackAfterItsRenameFindsItsFileMoved) {
    const auto paths = queue::ResolvePaths(Source(0), Target(0));
    drives_.writeFile(Source(0), "moved");
    {
        // Renamed, then the program dies before the settle records the row.
        queue::TransferEngine killed;
        ASSERT_EQ(killed.Move(progress_, paths), CopyResult::Complete);
    }
    // Run again: the file is at its target, and a source that merely went
    // missing is still a Source Error.
    ASSERT_EQ(engine_.Move(progress_, paths), CopyResult::Complete);
    drives_.writeFile(Source(1), "other");
    ::unlink(drives_.host(Source(1)).constData());
    drives_.writeFile(Target(1), "unrelated");
    EXPECT_EQ(engine_.Move(progress_, queue::ResolvePaths(Source(1), Target(1))),
              CopyResult::SourceError);
    engine_.SettleAll();
    EXPECT_EQ(drives_.readFile(Target(0)), "moved");
    // Once the move is durably done, the file carries no mark of it.
    char mark[64];
    EXPECT_LT(::getxattr(drives_.host(Target(0)).constData(), "user.ferrovant.moved-from", mark,
                         sizeof mark),
              0);
}

TEST_F(TransferTest, MovedSourcesGoOnlyOnceTheirTargetsAreFlushed) {
    engine_.SetSameFileSystemMove(queue::SameFileSystemMove::Copy);
    constexpr int Files = 3;
    for (int i = 0; i < Files; ++i)
        drives_.writeFile(Source(i), TempDrives::Pattern(1000 * i));
    onFlush_ = [&] {
        for (int i = 0; i < Files; ++i)
            EXPECT_TRUE(drives_.exists(Source(i))) << "deleted before its target was flushed";
    };

    for (int i = 0; i < Files; ++i) {
        ASSERT_EQ(engine_.Move(progress_, queue::ResolvePaths(Source(i), Target(i))),
                  CopyResult::Complete);
        EXPECT_TRUE(drives_.exists(Source(i)));
    }
    EXPECT_EQ(engine_.PendingDeletions(), Files);
    // Changed after its copy: the newer data is not what the target holds.
    drives_.writeFile(Source(1), "rewritten since");
    // A plain copy's file system is flushed by the same settle.
    drives_.writeFile(R"(C:\Src\copy.bin)", "copied");
    ASSERT_EQ(engine_.Copy(progress_, queue::ResolvePaths(R"(C:\Src\copy.bin)", R"(C:\copy.bin)")),
              CopyResult::Complete);

    engine_.SettleAll();

    EXPECT_EQ(flushes_, 2);  // one file system: the data, then the new names
    EXPECT_EQ(engine_.PendingDeletions(), 0);
    EXPECT_FALSE(drives_.exists(Source(0)));
    EXPECT_EQ(drives_.readFile(Source(1)), "rewritten since");
    EXPECT_FALSE(drives_.exists(Source(2)));
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(drives_.readFile(Target(i)), TempDrives::Pattern(1000 * i));

    // Nothing written since: nothing to flush.
    engine_.SettleAll();
    EXPECT_EQ(flushes_, 2);

    // Enough finished files make a settle due, which names them; the next
    // one, whose flush takes the names to the disk, lets their sources go.
    for (std::size_t i = 0; i < queue::TransferEngine::SettleEveryFiles; ++i) {
        drives_.writeFile(Source(int(i)), "x");
        ASSERT_EQ(engine_.Move(progress_, queue::ResolvePaths(Source(int(i)), Target(int(i)))),
                  CopyResult::Complete);
        engine_.SettleIfDue();
    }
    EXPECT_GE(flushes_, 3);
    // The last one finished is named at most: its source waits.
    EXPECT_GT(engine_.PendingDeletions(), 0);
    EXPECT_TRUE(drives_.exists(Source(int(queue::TransferEngine::SettleEveryFiles) - 1)));
    engine_.SettleAll();
    EXPECT_FALSE(drives_.exists(Source(0)));
    EXPECT_EQ(engine_.PendingFiles(), 0);
}

// What a settle reports, and when the queue is asked to record it.
struct SettleRecorder : queue::SettleLog {
    std::vector<std::pair<std::uint64_t, CopyResult>> settled;
    bool recorded = true;
    std::function<void()> onRecord;
    void Settled(std::uint64_t ticket, CopyResult outcome) override {
        settled.emplace_back(ticket, outcome);
    }
    bool Record() override {
        if (onRecord) onRecord();
        return recorded;
    }
};

TEST_F(TransferTest, ARowIsDoneAndItsMovedSourceGoesOnlyWhenTargetAndSourceHold) {
    engine_.SetSameFileSystemMove(queue::SameFileSystemMove::Copy);
    const QByteArray data = TempDrives::Pattern(100'000);
    // Another program at work between the copy and the settle.
    const auto replace = [](const QByteArray& host, const QByteArray& bytes) {
        const QByteArray other = host + ".new";
        FILE* f = std::fopen(other.constData(), "wb");
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f);
        std::fclose(f);
        std::rename(other.constData(), host.constData());
    };
    const auto rewriteKeepingTimes = [](const QByteArray& host) {
        struct stat before {};
        ::stat(host.constData(), &before);
        // Past the coarse clock of the file system's time stamps.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int fd = ::open(host.constData(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "NEW", 3, 0), 3);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ::futimens(fd, times);
        ::close(fd);
    };
    struct Case {
        const char* name;
        bool move;
        std::function<void(const QByteArray& source, const QByteArray& target)> meddle;
        bool named;  // meddle once the target has its name, not before the settle
        bool flushFails;
        bool recordFails;
        CopyResult outcome;
        bool sourceGone;
    };
    const Case cases[] = {
        {"move, all holds", true, {}, false, false, false, CopyResult::Complete, true},
        {"move, the flush fails", true, {}, false, true, false, CopyResult::TargetError, false},
        {"move, the queue cannot record it",
         true,
         {},
         false,
         false,
         true,
         CopyResult::Complete,
         false},
        {"move, target removed", true,
         [](const QByteArray&, const QByteArray& target) { ::unlink(target.constData()); }, true,
         false, false, CopyResult::TargetError, false},
        {"move, target replaced", true,
         [&](const QByteArray&, const QByteArray& target) { replace(target, data); }, true, false,
         false, CopyResult::TargetError, false},
        {"move, another file took the target's name first", true,
         [&](const QByteArray&, const QByteArray& target) { replace(target, "theirs"); }, false,
         false, false, CopyResult::TargetError, false},
        {"move, source rewritten with its times put back", true,
         [&](const QByteArray& source, const QByteArray&) { rewriteKeepingTimes(source); }, false,
         false, false, CopyResult::SourceError, false},
        {"copy, all holds", false, {}, false, false, false, CopyResult::Complete, false},
        {"copy, the flush fails", false, {}, false, true, false, CopyResult::TargetError, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drives_.writeFile(Source(0), data);
        const auto paths = queue::ResolvePaths(Source(0), Target(0));
        ASSERT_EQ(c.move ? engine_.Move(progress_, paths, std::nullopt, 7)
                         : engine_.Copy(progress_, paths, std::nullopt, 7),
                  CopyResult::Complete);
        if (c.meddle && !c.named) c.meddle(*paths.sourceHost, *paths.targetHost);
        onFlush_ = [&] {
            if (c.meddle && c.named && drives_.exists(Target(0)))
                c.meddle(*paths.sourceHost, *paths.targetHost);
        };
        failFlush_ = c.flushFails;
        SettleRecorder log;
        log.recorded = !c.recordFails;
        // The queue forgets the row before its source goes, never after.
        log.onRecord = [&] { EXPECT_TRUE(drives_.exists(Source(0))); };

        engine_.SettleAll(&log);

        ASSERT_EQ(log.settled.size(), 1u);
        EXPECT_EQ(log.settled[0].first, 7u);
        EXPECT_EQ(log.settled[0].second, c.outcome);
        EXPECT_EQ(!drives_.exists(Source(0)), c.sourceGone);
        // A target whose flush failed does not stay to pass for the file.
        if (c.flushFails) {
            EXPECT_FALSE(drives_.exists(Target(0)));
        }
        // The other program's file keeps its name and its bytes.
        if (QByteArray(c.name).contains("took")) {
            EXPECT_EQ(drives_.readFile(Target(0)), "theirs");
        }
        EXPECT_EQ(engine_.PendingFiles(), 0);
        ASSERT_EQ(std::system(("rm -rf " + drives_.host(R"(D:\Tgt)") + "/* " +
                               drives_.host(R"(C:\Src)") + "/*")
                                  .constData()),
                  0);
    }
    failFlush_ = false;
    onFlush_ = {};
}

// A stick whose device loses what it is given once written: an ext4 volume
// on a loop device backed by a file on a 6 MiB tmpfs, which fills up while
// the page cache writes the copies out.
TEST_F(TransferTest, DataTheDeviceLosesAtTheFlushFailsItsRowsAndKeepsTheirSources) {
    const std::string target = drives_.host(R"(D:\Tgt)").toStdString();
    const std::string backing = target + ".backing";
    const auto sh = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    if (::geteuid() != 0 || !sh("mkdir -p '" + backing + "' && mount -t tmpfs -o size=6m tmpfs '" +
                                backing + "' 2>/dev/null"))
        GTEST_SKIP() << "needs root to mount a small file system";
    const std::string loop = backing + "/loop";
    const bool mounted =
        sh("truncate -s 64M '" + backing +
           "/img' && mkfs.ext4 -q -F -O ^has_journal -E "
           "lazy_itable_init=1 '" +
           backing + "/img' && losetup -f --show '" + backing + "/img' > '" + loop +
           "' && mount -o noinit_itable \"$(cat '" + loop + "')\" '" + target + "'");
    struct Unmount {
        std::string target, backing, loop;
        ~Unmount() {
            std::system(("umount '" + target + "'; losetup -d \"$(cat '" + loop + "')\"; umount '" +
                         backing + "'")
                            .c_str());
        }
    } unmount{target, backing, loop};
    if (!mounted) GTEST_SKIP() << "no loop device";
    engine_.SetSameFileSystemMove(queue::SameFileSystemMove::Copy);
    constexpr int Files = 6;
    for (int i = 0; i < Files; ++i) {
        drives_.writeFile(Source(i), TempDrives::Pattern(2'000'000 + i));
        ASSERT_EQ(engine_.Move(progress_, queue::ResolvePaths(Source(i), Target(i)), std::nullopt,
                               std::uint64_t(i)),
                  CopyResult::Complete);
    }
    SettleRecorder log;
    engine_.SettleAll(&log);

    // The device failed its flush: each row fails, its source kept and no
    // name given to data the device may not hold.
    ASSERT_EQ(int(log.settled.size()), Files);
    for (const auto& [ticket, outcome] : log.settled) {
        const int i = int(ticket);
        EXPECT_EQ(outcome, CopyResult::TargetError) << i;
        EXPECT_EQ(drives_.readFile(Source(i)), TempDrives::Pattern(2'000'000 + i)) << i;
        EXPECT_FALSE(drives_.exists(Target(i))) << i;
    }
}

TEST_F(TransferTest, SourceChangedDuringItsMoveStaysAndGivesSourceError) {
    engine_.SetSameFileSystemMove(queue::SameFileSystemMove::Copy);
    const QByteArray data = TempDrives::Pattern(2'500'000);
    struct Case {
        const char* name;
        std::function<void(const QByteArray& host)> change;
    };
    const Case cases[] = {
        {"appended to",
         [](const QByteArray& host) {
             FILE* f = std::fopen(host.constData(), "ab");
             std::fputs("more", f);
             std::fclose(f);
         }},
        {"replaced by a rename",
         [](const QByteArray& host) {
             const QByteArray other = host + ".new";
             FILE* f = std::fopen(other.constData(), "wb");
             std::fputs("a newer file", f);
             std::fclose(f);
             std::rename(other.constData(), host.constData());
         }},
        {"rewritten in place",
         [](const QByteArray& host) {
             const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
             ::utimensat(AT_FDCWD, host.constData(), times, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drives_.writeFile(Source(0), data);
        const QByteArray host = drives_.host(Source(0));
        platform::SetPumpHook([&](std::int64_t n) {
            if (n == 1) c.change(host);
        });

        EXPECT_EQ(engine_.Move(progress_, queue::ResolvePaths(Source(0), Target(0))),
                  CopyResult::SourceError);
        engine_.SettleAll();

        EXPECT_TRUE(drives_.exists(Source(0)));
        EXPECT_FALSE(drives_.exists(Target(0)));
        EXPECT_EQ(engine_.PendingDeletions(), 0);
    }
}

}  // namespace
