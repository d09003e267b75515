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
    const std::string work = benchrig::MakeWorkDir("run-big");
    benchrig::MakeTree(work + "/src", 1, 1, 1LL << 30);
    benchrig::InstallDrives(work, work);
    benchrig::NoWindow window;

    benchrig::PrintRatiosVsFlushedCommand(
        "run_big_file_ratio_vs_cp", 5,
        [&] {
            benchrig::Shell("rm -rf '" + work + "/ours' '" + work + "/cp'; mkdir -p '" + work +
                            "/cp/d0'; sync; cat '" + work + "/src/d0/f0.bin' > /dev/null");
        },
        [&] {
            queue::QueueSession session(window);
            benchrig::QueueTree(session, "src", "ours", 1, 1, queue::ActionCopy);
            return benchrig::TimeRun(session);
        },
        "cp --reflink=never '" + work + "/src/d0/f0.bin' '" + work + "/cp/d0/'", work);
    benchrig::Shell("rm -rf '" + work + "'");
    return 0;
}
