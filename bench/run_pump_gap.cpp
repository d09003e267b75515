// The longest wall time between two event pumps while the queue runner copies
// 20,000 files of 4 KiB and then one 1 GiB file: how long a click can wait
// for the window to answer during a run.

#include "run_rig.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string work = benchrig::MakeWorkDir("pump-gap");
    benchrig::MakeTree(work + "/small", 20, 1000, 4096);
    benchrig::MakeTree(work + "/big", 1, 1, 1LL << 30);
    benchrig::InstallDrives(work, work);
    benchrig::Shell("sync");
    benchrig::NoWindow window;

    double longest = 0;
    for (const char* tree : {"small", "big"}) {
        queue::QueueSession session(window);
        const bool small = std::string(tree) == "small";
        benchrig::QueueTree(session, tree, QStringLiteral("%1-copy").arg(tree), small ? 20 : 1,
                            small ? 1000 : 1, queue::ActionCopy);
        benchrig::PumpGaps gaps;
        benchrig::TimeRun(session);
        std::printf("%s files: longest gap %.1f ms\n", tree, gaps.LongestMs());
        longest = std::max(longest, gaps.LongestMs());
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("pump_gap_max_ms: %.1f\n", longest);
    return 0;
}
