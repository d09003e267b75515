// One 1 GiB file queued as "Copy" and run through the queue runner against
// "cp --reflink=never" on the same file system, warm cache, interleaved,
// median of the per-round throughput ratios (ours / cp's).
//
// A run ends with its targets flushed, so the like-for-like reference is cp
// followed by "sync -f" of the target file system; the ratio against cp alone
// is printed before it.

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int Rounds = 5;
    const std::string work = benchrig::MakeWorkDir("run-big");
    benchrig::MakeTree(work + "/src", 1, 1, 1LL << 30);
    benchrig::InstallDrives(work, work);
    benchrig::NoWindow window;

    std::vector<double> flushed, plain;
    for (int round = 0; round < Rounds; ++round) {
        double ours = 0, cp = 0, sync = 0;
        for (int turn = 0; turn < 2; ++turn) {
            benchrig::Shell("rm -rf '" + work + "/ours' '" + work + "/cp'; mkdir -p '" + work +
                            "/cp/d0'; sync; cat '" + work + "/src/d0/f0.bin' > /dev/null");
            if ((turn == 0) == (round % 2 == 0)) {
                queue::QueueSession session(&window);
                benchrig::QueueTree(session, "src", "ours", 1, 1, queue::ActionCopy);
                ours = benchrig::TimeRun(session);
            } else {
                cp = benchrig::TimeShell("cp --reflink=never '" + work + "/src/d0/f0.bin' '" +
                                         work + "/cp/d0/'");
                sync = benchrig::TimeShell("sync -f '" + work + "/cp'");
            }
        }
        flushed.push_back((cp + sync) / ours);
        plain.push_back(cp / ours);
        std::printf("round %d: ours %.3f s, cp %.3f s + sync %.3f s\n", round + 1, ours, cp, sync);
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("run_big_file_ratio_vs_cp_without_its_flush: %.3f\n", benchrig::Median(plain));
    std::printf("run_big_file_ratio_vs_cp: %.3f\n", benchrig::Median(flushed));
    return 0;
}
