// One 1 GiB file moved through the queue runner to another file system (the
// target flushed before the source goes) against "cp", "sync -f" and "rm" of
// the same file; median of the per-round ratios (theirs / ours).

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double ratio = benchrig::DurableMoveRatio("durable-big", 1, 1, 1LL << 30, 3);
    std::printf("durable_move_big_ratio_vs_cp_sync_rm: %.3f\n", ratio);
    return 0;
}
