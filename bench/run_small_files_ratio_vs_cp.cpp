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
    constexpr int Dirs = 20, FilesPerDir = 1000, Rounds = 5;
    const std::string work = benchrig::MakeWorkDir("run-small");
    benchrig::MakeTree(work + "/src", Dirs, FilesPerDir, 4096);
    benchrig::InstallDrives(work, work);
    benchrig::NoWindow window;

    std::vector<double> flushed, plain;
    for (int round = 0; round < Rounds; ++round) {
        double ours = 0, cp = 0, sync = 0;
        for (int turn = 0; turn < 2; ++turn) {
            benchrig::Shell("rm -rf '" + work + "/ours' '" + work + "/cp'; sync");
            if ((turn == 0) == (round % 2 == 0)) {
                queue::QueueSession session(&window);
                benchrig::QueueTree(session, "src", "ours", Dirs, FilesPerDir, queue::ActionCopy);
                ours = benchrig::TimeRun(session);
            } else {
                cp = benchrig::TimeShell("cp -r '" + work + "/src' '" + work + "/cp'");
                sync = benchrig::TimeShell("sync -f '" + work + "/cp'");
            }
        }
        flushed.push_back((cp + sync) / ours);
        plain.push_back(cp / ours);
        std::printf("round %d: ours %.3f s, cp %.3f s + sync %.3f s\n", round + 1, ours, cp, sync);
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("run_small_files_ratio_vs_cp_without_its_flush: %.3f\n", benchrig::Median(plain));
    std::printf("run_small_files_ratio_vs_cp: %.3f\n", benchrig::Median(flushed));
    return 0;
}
