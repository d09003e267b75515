// 20,000 files of 4 KiB queued as "Copy" and run through the queue runner
// (table bookkeeping, statistics, pumps and row drops included) against
// "cp -r" of the same tree on the same file system, interleaved, median of
// the per-round throughput ratios (ours / cp's; 1.0 is as fast as cp).
//
// A run ends with its targets flushed (a user who sees "Stopped" may pull the
// stick), so the like-for-like reference is cp followed by "sync -f" of the
// target file system; the ratio against cp alone is printed before it.

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int Dirs = 20, FilesPerDir = 1000;
    const std::string work = benchrig::MakeWorkDir("run-small");
    benchrig::MakeTree(work + "/src", Dirs, FilesPerDir, 4096);
    benchrig::InstallDrives(work, work);
    benchrig::NoWindow window;

    benchrig::PrintRatiosVsFlushedCommand(
        "run_small_files_ratio_vs_cp", 5,
        [&] { benchrig::Shell("rm -rf '" + work + "/ours' '" + work + "/cp'; sync"); },
        [&] {
            queue::QueueSession session(window);
            benchrig::QueueTree(session, "src", "ours", Dirs, FilesPerDir, queue::ActionCopy);
            return benchrig::TimeRun(session);
        },
        "cp -r '" + work + "/src' '" + work + "/cp'", work);
    benchrig::Shell("rm -rf '" + work + "'");
    return 0;
}
