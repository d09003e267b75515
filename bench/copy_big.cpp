// The copy of one file against "cp --reflink=never" on the same 1 GiB file in the same
// directory, warm cache, runs interleaved. Prints the median of the per-round
// throughput ratios (ours / cp); 1.0 means as fast as cp. The ratio of CPU
// time (user + system) is printed as well: on a loaded machine the wall clock
// mostly measures the scheduler, the CPU time still the work done per byte.
//
// The directory is $FERROVANT_BENCH_DIR, else $TMPDIR, else /var/tmp; a tmpfs
// is avoided when possible because it measures memory copies, not a disk.

#include "platform/Drives.h"
#include "queue/RunState.h"
#include "queue/Transfer.h"

#include <QByteArray>
#include <QString>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr long long FileSize = 1LL << 30;
constexpr int Rounds = 9;
constexpr long TmpfsMagic = 0x01021994;

bool IsTmpfs(const std::string& dir) {
    struct statfs fs {};
    return ::statfs(dir.c_str(), &fs) == 0 && fs.f_type == TmpfsMagic;
}

std::string PickParent() {
    for (const char* var : {"FERROVANT_BENCH_DIR", "TMPDIR"}) {
        const char* value = std::getenv(var);
        if (value && *value && !IsTmpfs(value)) return value;
    }
    return "/var/tmp";
}

bool WriteSourceFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // Incompressible bytes, so no file system can shortcut the copy.
    std::vector<unsigned long long> block((1 << 20) / sizeof(unsigned long long));
    std::mt19937_64 random(42);
    bool ok = true;
    for (long long written = 0; ok && written < FileSize; written += 1 << 20) {
        for (auto& word : block)
            word = random();
        ok = std::fwrite(block.data(), 1, 1 << 20, f) == std::size_t(1) << 20;
    }
    return std::fclose(f) == 0 && ok;
}

void WarmCache(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::vector<char> buffer(1 << 20);
    while (std::fread(buffer.data(), 1, buffer.size(), f) > 0) {
    }
    std::fclose(f);
}

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double CpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// Both copies start from the same state: no earlier target, nothing dirty.
void Level(const std::string& a, const std::string& b) {
    ::unlink(a.c_str());
    ::unlink(b.c_str());
    ::sync();
}

Timing TimeCp(const std::string& from, const std::string& to) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("cp", "cp", "--reflink=never", from.c_str(), to.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    return {seconds, CpuSeconds(usage)};
}

Timing TimeOurs(queue::TransferEngine& engine, const QString& from, const QString& to) {
    queue::TRunCounters counters;
    bool abort = false;
    queue::CopyProgress progress{counters, abort};
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    const queue::CopyResult result = engine.Copy(progress, queue::ResolvePaths(from, to));
    const double seconds = Seconds(start);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    if (result != queue::CopyResult::Complete) {
        std::fprintf(stderr, "copy: %s\n", qPrintable(queue::StatusWord(result)));
        std::exit(1);
    }
    return {seconds, CpuSeconds(after) - CpuSeconds(before)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s/ferrovant-copy-big-XXXXXX", PickParent().c_str());
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    const std::string source = dir + "/source.bin";
    const std::string oursHost = dir + "/ours.bin";
    const std::string cpHost = dir + "/cp.bin";
    std::printf("directory: %s%s\n", dir.c_str(), IsTmpfs(dir) ? " (tmpfs)" : "");

    platform::Drive drive;
    drive.letter = 'C';
    drive.hostRoot = QByteArray::fromStdString(dir);
    platform::InstallDrives(platform::DriveTable({drive}));

    if (!WriteSourceFile(source)) {
        std::perror("writing the source file");
        return 1;
    }
    WarmCache(source);

    // One untimed copy each: whoever went first would otherwise also pay for
    // the kernel's first allocation of a gigabyte of cache pages.
    queue::TransferEngine engine;
    Level(oursHost, cpHost);
    TimeOurs(engine, QStringLiteral(R"(C:\source.bin)"), QStringLiteral(R"(C:\ours.bin)"));
    TimeCp(source, cpHost);

    std::vector<double> ratios;
    std::vector<double> cpuRatios;
    for (int round = 0; round < Rounds; ++round) {
        // Alternate who goes first so neither always meets the other's writeback.
        Timing ours;
        Timing cp;
        for (int turn = 0; turn < 2; ++turn) {
            Level(oursHost, cpHost);
            WarmCache(source);
            if ((turn == 0) == (round % 2 == 0)) {
                ours = TimeOurs(engine, QStringLiteral(R"(C:\source.bin)"),
                                QStringLiteral(R"(C:\ours.bin)"));
            } else {
                cp = TimeCp(source, cpHost);
            }
        }
        ratios.push_back(cp.wall / ours.wall);
        cpuRatios.push_back(cp.cpu / ours.cpu);
        std::printf(
            "round %d: ours %.3f s (%.0f MB/s, cpu %.3f s), cp %.3f s (%.0f MB/s, cpu %.3f s)\n",
            round + 1, ours.wall, FileSize / ours.wall / 1e6, ours.cpu, cp.wall,
            FileSize / cp.wall / 1e6, cp.cpu);
    }

    Level(oursHost, cpHost);
    ::unlink(source.c_str());
    ::rmdir(dir.c_str());

    std::printf("copy_big_cpu_ratio_vs_cp: %.3f\n", Median(cpuRatios));
    std::printf("copy_big_ratio_vs_cp: %.3f\n", Median(ratios));
    return 0;
}
