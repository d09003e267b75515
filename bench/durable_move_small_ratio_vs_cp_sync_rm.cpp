// 20,000 files of 4 KiB moved through the queue runner to another file system
// (each target flushed before its source goes) against "cp -r", "sync -f" and
// "rm -r" of the same tree; median of the per-round ratios (theirs / ours).

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double ratio = benchrig::DurableMoveRatio("durable-small", 20, 1000, 4096, 3);
    std::printf("durable_move_small_ratio_vs_cp_sync_rm: %.3f\n", ratio);
    return 0;
}
