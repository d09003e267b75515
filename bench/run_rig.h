#pragma once
// What the run benchmarks share: trees of files on the host, a queue session
// with a window that does nothing, rows queued through QueueFile and run
// through RunQueue, the reference tools run in this process's turn, and the
// median of per-round ratios. Wall time, interleaved with the reference, since
// the figure is a throughput against that tool on the same disk.

#include "platform/Drives.h"
#include "platform/FileCopy.h"
#include "platform/Pump.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace benchrig {

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Wall seconds of one shell command.
inline double TimeShell(const std::string& command) {
    const double start = Now();
    Shell(command);
    return Now() - start;
}

inline bool IsTmpfs(const std::string& dir) {
    struct statfs fs {};
    return ::statfs(dir.c_str(), &fs) == 0 && fs.f_type == 0x01021994;
}

// A fresh directory below $FERROVANT_BENCH_DIR, $TMPDIR or /var/tmp (a tmpfs
// would measure memory copies, not a disk).
inline std::string MakeWorkDir(const char* name) {
    // Each round's line shows as soon as it is done, also into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string parent = "/var/tmp";
    for (const char* var : {"FERROVANT_BENCH_DIR", "TMPDIR"}) {
        const char* value = std::getenv(var);
        if (value && *value && !IsTmpfs(value)) {
            parent = value;
            break;
        }
    }
    std::string pattern = parent + "/ferrovant-" + name + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return pattern;
}

// dirs subdirectories d0, d1 ... of filesPerDir files of `size` incompressible bytes.
inline void MakeTree(const std::string& root, int dirs, int filesPerDir, long long size) {
    std::mt19937_64 random(7);
    std::vector<unsigned long long> block(std::size_t(std::min<long long>(size, 1 << 20) + 7) / 8);
    ::mkdir(root.c_str(), 0755);
    for (int d = 0; d < dirs; ++d) {
        const std::string dir = root + "/d" + std::to_string(d);
        ::mkdir(dir.c_str(), 0755);
        for (int f = 0; f < filesPerDir; ++f) {
            const std::string path = dir + "/f" + std::to_string(f) + ".bin";
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (long long written = 0; written < size;) {
                for (auto& word : block)
                    word = random();
                const long long n = std::min<long long>(size - written, 1 << 20);
                if (::write(fd, block.data(), std::size_t(n)) != n) {
                    std::perror("writing the tree");
                    std::exit(1);
                }
                written += n;
            }
            ::close(fd);
        }
    }
}

// Drive C: is one host directory, D: another (possibly another file system).
inline void InstallDrives(const std::string& c, const std::string& d) {
    std::vector<platform::Drive> drives(2);
    drives[0].letter = 'C';
    drives[0].hostRoot = QByteArray::fromStdString(c);
    drives[1].letter = 'D';
    drives[1].hostRoot = QByteArray::fromStdString(d);
    platform::InstallDrives(platform::DriveTable(drives));
}

using NoWindow = queue::NoQueueWindow;

// Queues every file of the tree C:\<from> (as MakeTree made it) to D:\<to>.
inline void QueueTree(queue::QueueSession& session, const QString& from, const QString& to,
                      int dirs, int filesPerDir, const QString& action) {
    for (int d = 0; d < dirs; ++d) {
        const QString sub = QStringLiteral("\\d%1").arg(d);
        const QString dir = QStringLiteral("C:\\") + from + sub;
        // As a walk of the tree would queue them: each row knows its directory.
        const std::optional<platform::DirectoryId> id = platform::IdentifyDirectory(dir);
        for (int f = 0; f < filesPerDir; ++f) {
            session.QueueFile(dir, QStringLiteral("f%1.bin").arg(f),
                              QStringLiteral("D:\\") + to + sub, action, id ? &*id : nullptr);
        }
    }
}

// The longest wall time between two pumps, while installed.
class PumpGaps {
public:
    PumpGaps() {
        platform::SetPumpHook([this](std::int64_t) {
            const double now = Now();
            if (last_ > 0) longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    ~PumpGaps() { platform::SetPumpHook({}); }
    void Restart() { last_ = 0; }
    double LongestMs() const { return longest_ * 1000; }

private:
    double last_ = 0;
    double longest_ = 0;
};

// One run of whatever is queued; seconds from Start until the run (its flush
// included) is over. Every row must have completed.
inline double TimeRun(queue::QueueSession& session) {
    const double start = Now();
    session.Runner().RunQueue();
    const double seconds = Now() - start;
    if (session.Table().FirstPendingRow() >= 0 || session.Table().RowCount() > 2) {
        std::fprintf(stderr, "the run left rows behind\n");
        std::exit(1);
    }
    return seconds;
}

// Rounds of our run against a reference command followed by "sync -f" of
// flushDir, who goes first alternating, level() before each; prints the
// median ratio against the command alone, then (last) against command + flush.
inline void PrintRatiosVsFlushedCommand(const char* name, int rounds,
                                        const std::function<void()>& level,
                                        const std::function<double()>& ours,
                                        const std::string& command, const std::string& flushDir) {
    std::vector<double> flushed, plain;
    for (int round = 0; round < rounds; ++round) {
        double us = 0, cp = 0, sync = 0;
        for (int turn = 0; turn < 2; ++turn) {
            level();
            if ((turn == 0) == (round % 2 == 0)) {
                us = ours();
            } else {
                cp = TimeShell(command);
                sync = TimeShell("sync -f '" + flushDir + "'");
            }
        }
        flushed.push_back((cp + sync) / us);
        plain.push_back(cp / us);
        std::printf("round %d: ours %.3f s, cp %.3f s + sync %.3f s\n", round + 1, us, cp, sync);
    }
    std::printf("%s_without_its_flush: %.3f\n", name, Median(plain));
    std::printf("%s: %.3f\n", name, Median(flushed));
}

// Two file systems for moves between them: two ext4 images on loop devices
// when root, else the work directory and a directory on /dev/shm, else one
// file system with moves forced through the copy path (separate is false).
class TwoFileSystems {
public:
    TwoFileSystems(const std::string& work, const char* imageSize) : work_(work) {
        a = work + "/a";
        b = work + "/b";
        if (::geteuid() == 0 && MountImage("a", imageSize) && MountImage("b", imageSize)) {
            separate = true;
            how = "two ext4 images on loop devices";
            return;
        }
        ::mkdir(a.c_str(), 0755);
        std::string shm = "/dev/shm/ferrovant-bench-XXXXXX";
        struct statfs one {
        }, other{};
        if (::mkdtemp(shm.data()) && ::statfs(a.c_str(), &one) == 0 &&
            ::statfs(shm.c_str(), &other) == 0 && one.f_type != other.f_type) {
            b = shm;
            shm_ = shm;
            separate = true;
            how = "the work directory and /dev/shm (not root: no loop images)";
            return;
        }
        ::mkdir(b.c_str(), 0755);
        how = "one file system, moves forced through the copy path (no second file system)";
    }
    ~TwoFileSystems() {
        for (const std::string& m : mounted_)
            std::system(("umount '" + m + "'").c_str());
        if (!shm_.empty()) std::system(("rm -rf '" + shm_ + "'").c_str());
    }

    std::string a, b;
    bool separate = false;
    std::string how;

private:
    bool MountImage(const char* name, const char* size) {
        const std::string image = work_ + "/" + name + ".img";
        const std::string dir = work_ + "/" + name;
        const std::string command = "truncate -s " + std::string(size) + " '" + image +
                                    "' && mkfs.ext4 -q -F '" + image + "' && mkdir -p '" + dir +
                                    "' && mount -o loop '" + image + "' '" + dir + "'";
        if (std::system(command.c_str()) != 0) return false;
        mounted_.push_back(dir);
        return true;
    }

    std::string work_;
    std::string shm_;
    std::vector<std::string> mounted_;
};

// A durable move of the tree a/src to b against "cp -r", "sync -f" of b and
// "rm -r" of the source; median of the per-round ratios (theirs / ours).
inline double DurableMoveRatio(const char* name, int dirs, int filesPerDir, long long size,
                               int rounds) {
    const std::string work = MakeWorkDir(name);
    double median = 0;
    {
        TwoFileSystems fs(work, size > (1 << 20) ? "3G" : "1G");
        std::printf("file systems: %s\n", fs.how.c_str());
        MakeTree(fs.a + "/src", dirs, filesPerDir, size);
        InstallDrives(fs.a, fs.b);
        NoWindow window;
        const std::string src = "'" + fs.a + "/src'";
        std::vector<double> ratios;
        double longestGap = 0;
        for (int round = 0; round < rounds; ++round) {
            double ours = 0, theirs = 0;
            for (int turn = 0; turn < 2; ++turn) {
                Shell("sync");
                if ((turn == 0) == (round % 2 == 0)) {
                    queue::QueueSession session(window);
                    if (!fs.separate)
                        session.Runner().Transfer().SetSameFileSystemMove(
                            queue::SameFileSystemMove::Copy);
                    QueueTree(session, "src", "ours", dirs, filesPerDir, queue::ActionMove);
                    PumpGaps gaps;
                    ours = TimeRun(session);
                    longestGap = std::max(longestGap, gaps.LongestMs());
                    Shell("rm -rf " + src + " && cp -r '" + fs.b + "/ours' " + src +
                          " && rm -rf '" + fs.b + "/ours'");
                } else {
                    theirs = TimeShell("cp -r " + src + " '" + fs.b + "/cp' && sync -f '" + fs.b +
                                       "/cp' && rm -r " + src);
                    Shell("cp -r '" + fs.b + "/cp' " + src + " && rm -rf '" + fs.b + "/cp'");
                }
            }
            ratios.push_back(theirs / ours);
            std::printf("round %d: ours %.3f s, cp + sync + rm %.3f s\n", round + 1, ours, theirs);
        }
        median = Median(ratios);
        // The batched flushes run between two pumps.
        std::printf("longest pump gap of the moves: %.1f ms\n", longestGap);
    }
    Shell("rm -rf '" + work + "'");
    return median;
}

}  // namespace benchrig
