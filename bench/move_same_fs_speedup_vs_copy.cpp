// 20,000 files of 4 KiB run through the queue runner as "Move" within one file
// system (renames) against a "Copy" of the same files, interleaved, median of
// the per-round ratios (copy time / move time). Both runs end with their
// flush, as every run does.

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int Dirs = 20, FilesPerDir = 1000, Rounds = 5;
    const std::string work = benchrig::MakeWorkDir("move-same-fs");
    benchrig::MakeTree(work + "/src", Dirs, FilesPerDir, 4096);
    benchrig::InstallDrives(work, work);
    benchrig::NoWindow window;

    std::vector<double> speedups;
    for (int round = 0; round < Rounds; ++round) {
        double copy = 0, move = 0;
        for (int turn = 0; turn < 2; ++turn) {
            benchrig::Shell("rm -rf '" + work + "/copy'; sync");
            queue::QueueSession session(window);
            if ((turn == 0) == (round % 2 == 0)) {
                benchrig::QueueTree(session, "src", "copy", Dirs, FilesPerDir, queue::ActionCopy);
                copy = benchrig::TimeRun(session);
            } else {
                benchrig::QueueTree(session, "src", "moved", Dirs, FilesPerDir, queue::ActionMove);
                move = benchrig::TimeRun(session);
                // The same files back where the next round expects them.
                benchrig::Shell("rm -rf '" + work + "/src' && mv '" + work + "/moved' '" + work +
                                "/src'");
            }
        }
        speedups.push_back(copy / move);
        std::printf("round %d: copy %.3f s, move %.3f s\n", round + 1, copy, move);
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("move_same_fs_speedup_vs_copy: %.1f\n", benchrig::Median(speedups));
    return 0;
}
