// The longest wall time between two event pumps while the queue runner copies
// 20,000 files of 4 KiB and then one 1 GiB file: how long a click can wait
// for the window to answer during a run. The pumps inside a wait for the
// kernel's ring are not counted (Pump.h): the window's answer, sampled every
// 100 ms (AnswerSampler.h), is printed beside the gap.

#include "AnswerSampler.h"
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
    double answer = 0;
    benchrig::AnswerSampler sampler;
    for (const char* tree : {"small", "big"}) {
        queue::QueueSession session(window);
        const bool small = std::string(tree) == "small";
        benchrig::QueueTree(session, tree, QStringLiteral("%1-copy").arg(tree), small ? 20 : 1,
                            small ? 1000 : 1, queue::ActionCopy);
        benchrig::PumpGaps gaps;
        sampler.Start();
        benchrig::TimeRun(session);
        const double late = sampler.Stop().second;
        std::printf("%s files: longest gap %.1f ms, answer max %.0f ms\n", tree, gaps.LongestMs(),
                    late);
        answer = std::max(answer, late);
        longest = std::max(longest, gaps.LongestMs());
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("run_answer_max_ms: %.0f\n", answer);
    std::printf("pump_gap_max_ms: %.1f\n", longest);
    return 0;
}
