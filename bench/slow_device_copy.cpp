// Runs onto the test device (tests/tools/slowfs.c) from the local disk, each
// against "cp -r" of the same files in this process's turn, with the window's
// answer sampled every 100 ms during our runs (AnswerSampler.h):
//
//   a USB stick (5 MB/s): one 40 MiB file, and 300 files of 100 KiB;
//   a share (10 ms an operation): 2,000 files of 4 KiB (argv[1] another count);
//   a device at 20 MB/s that hangs in the middle of a 100 MiB file: the time
//   from Abort until the run is Stopped;
//   the share stopping for 2 s at moments spread over a small file's calls:
//   how long the window went without answering;
//   a USB stick whose data waits in the page cache (Stick, below): one file
//   of 40 MiB and 300 of 100 KiB against cp -r and its flush, then an Abort
//   in a 100 MiB file.
// argv[2], when given, runs that one part only: usb, hang, share, sharehang
// or stick.
//
// Ratios are our throughput over cp's (cp's time / ours); our runs end with
// their flush, cp's do not. Needs root and /dev/fuse; elsewhere it says so and
// prints no figure.

#include "AnswerSampler.h"
#include "run_rig.h"
#include "support/SlowDevice.h"

#include "platform/AsyncIo.h"

#include <QTimer>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Device {
    std::string work;
    std::string mount;
    std::unique_ptr<testsupport::SlowDevice> device;

    Device(const std::string& root, const char* name, testsupport::SlowDeviceOptions options)
        : work(root), mount(root + "/" + name) {
        benchrig::Shell("mkdir -p '" + mount + "' '" + Backing() + "'");
        device = std::make_unique<testsupport::SlowDevice>(
            QByteArray::fromStdString(Backing()), QByteArray::fromStdString(mount), options);
        if (device->mounted()) benchrig::InstallDrives(work, mount);
    }
    ~Device() {
        device.reset();
        platform::ResetDrives();
    }
    std::string Backing() const { return mount + "-backing"; }
    // Removed behind the device's back: through it, each file would cost its latency.
    void Clear() { benchrig::Shell("rm -rf '" + Backing() + "'/*"); }
};

struct Figures {
    double ratio = 0;
    double answerMax = 0;
    double answerP99 = 0;
};

// A USB stick as the kernel sees one: an ext4 image on a loop device whose
// writes the block layer lets through at 5 MB/s (cgroup v1's blkio
// throttle), so written data waits in the page cache for the device, as it
// does on a real stick, where the FUSE device writes through.
struct Stick {
    std::string work;
    std::string mount;
    std::string loop;

    explicit Stick(const std::string& root) : work(root), mount(root + "/stick") {
        const std::string image = root + "/stick.img";
        benchrig::Shell("truncate -s 1G '" + image + "' && mkfs.ext4 -q -F '" + image +
                        "' && mkdir -p '" + mount + "'");
        FILE* p = ::popen(("losetup -f --show '" + image + "' 2>/dev/null").c_str(), "r");
        char line[64] = {};
        if (p && std::fgets(line, sizeof line, p)) loop = line;
        if (p) ::pclose(p);
        if (!loop.empty() && loop.back() == '\n') loop.pop_back();
        struct stat st {};
        if (loop.empty() || ::stat(loop.c_str(), &st) != 0 ||
            std::system(("mount '" + loop + "' '" + mount + "'").c_str()) != 0) {
            loop.clear();
            return;
        }
        throttle_ = std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        if (!Throttle(5'000'000)) return;
        benchrig::InstallDrives(work, mount);
    }
    ~Stick() {
        if (!throttle_.empty()) Throttle(0);
        if (!loop.empty()) benchrig::Shell("umount '" + mount + "'; losetup -d '" + loop + "'");
        platform::ResetDrives();
    }
    bool ready() const { return throttled_; }
    void Clear() { benchrig::Shell("rm -rf '" + mount + "'/*; sync -f '" + mount + "'"); }

private:
    bool Throttle(long long bytesPerSecond) {
        FILE* f = std::fopen("/sys/fs/cgroup/blkio/blkio.throttle.write_bps_device", "w");
        if (!f) return false;
        std::fprintf(f, "%s %lld\n", throttle_.c_str(), bytesPerSecond);
        throttled_ = std::fclose(f) == 0 && bytesPerSecond > 0;
        return throttled_;
    }
    std::string throttle_;
    bool throttled_ = false;
};

// The tree src/d0 (files of size bytes) copied onto the device by a run and by
// cp -r, in turns; the median ratio and our runs' worst answer. Where the
// device keeps written data in the page cache, cp's time includes its flush.
template <class Dev>
Figures RatioVsCp(Dev& dev, int files, long long size, int rounds, bool flushCp = false) {
    benchrig::Shell("rm -rf '" + dev.work + "/src'");
    benchrig::MakeTree(dev.work + "/src", 1, files, size);
    benchrig::Shell("cat '" + dev.work + "/src/d0/'* > /dev/null");
    benchrig::NoWindow window;
    benchrig::AnswerSampler sampler;
    std::vector<double> ratios;
    Figures figures;
    for (int round = 0; round < rounds; ++round) {
        double ours = 0, cp = 0;
        for (int turn = 0; turn < 2; ++turn) {
            dev.Clear();
            if ((turn == 0) == (round % 2 == 0)) {
                queue::QueueSession session(window);
                benchrig::QueueTree(session, "src", "ours", 1, files, queue::ActionCopy);
                sampler.Start();
                ours = benchrig::TimeRun(session);
                const auto [p99, max] = sampler.Stop();
                figures.answerP99 = std::max(figures.answerP99, p99);
                figures.answerMax = std::max(figures.answerMax, max);
            } else {
                cp = benchrig::TimeShell("cp -r '" + dev.work + "/src/d0' '" + dev.mount + "/'" +
                                         (flushCp ? " && sync -f '" + dev.mount + "'" : ""));
            }
        }
        ratios.push_back(cp / ours);
        std::printf("round %d: ours %.2f s, cp -r %.2f s\n", round + 1, ours, cp);
    }
    dev.Clear();
    figures.ratio = benchrig::Median(ratios);
    return figures;
}

// Abort during the copy of a 100 MiB file: on a device that hangs, pressed
// 300 ms into a hang that begins after the third chunk; on a stick, pressed
// once 40 MB are copied, with data still on its way to the device. The
// milliseconds from the press until the run is Stopped; the window's worst
// answer into `answerMax`.
template <class Dev>
double AbortBigFile(Dev& dev, double* answerMax = nullptr) {
    constexpr bool hangs = requires {
        dev.device->setHung(true);
    };
    benchrig::Shell("rm -rf '" + dev.work + "/src'");
    benchrig::MakeTree(dev.work + "/src", 1, 1, 100LL << 20);
    benchrig::NoWindow window;
    queue::QueueSession session(window);
    benchrig::QueueTree(session, "src", "ours", 1, 1, queue::ActionCopy);
    double pressed = 0;
    const auto press = [&] {
        pressed = benchrig::Now();
        session.Runner().btnAbortClick();
    };
    platform::SetPumpHook([&](std::int64_t) {
        if (pressed != 0 || session.Counters().CurrentFileDone < (hangs ? 3'000'000 : 40'000'000))
            return;
        pressed = -1;
        if constexpr (hangs) {
            dev.device->setHung(true);
            QTimer::singleShot(300, press);
        } else {
            press();
        }
    });
    benchrig::AnswerSampler sampler;
    sampler.Start();
    session.Runner().RunQueue();
    const double ms = (benchrig::Now() - pressed) * 1000;
    if (answerMax) *answerMax = sampler.Stop().second;
    platform::SetPumpHook({});
    std::printf("aborted row: %s\n",
                qPrintable(session.Table().Cell(queue::colStatus, session.Table().RowCount() - 1)));
    if constexpr (hangs) dev.device->answerAgain();
    dev.Clear();
    return pressed > 0 ? ms : -1;
}

// A share that stops answering for 2 s during a run of 30 small files, at
// a moment 47 ms later in each trial: spread over the run's files and
// settles, and over where in its file's round trips each falls. The hang ends by itself, as a
// network's does: a shell removes the switch, since a window that waits in a plain call runs no
// timer. The window's worst answer in each trial; the trials where it froze (over 1 s).
std::pair<double, int> ShareHangs(Device& dev, int trials) {
    benchrig::Shell("rm -rf '" + dev.work + "/src'");
    benchrig::MakeTree(dev.work + "/src", 1, 30, 4096);
    double worst = 0;
    int frozen = 0;
    for (int trial = 0; trial < trials; ++trial) {
        dev.Clear();
        benchrig::NoWindow window;
        benchrig::AnswerSampler sampler;
        queue::QueueSession session(window);
        benchrig::QueueTree(session, "src", "ours", 1, 30, queue::ActionCopy);
        QTimer::singleShot(400 + trial * 47, [&] {
            dev.device->setHung(true);
            benchrig::Shell("(sleep 2; rm -f '" + dev.mount + ".hang') > /dev/null 2>&1 &");
        });
        sampler.Start();
        benchrig::TimeRun(session);
        const double max = sampler.Stop().second;
        std::printf("hang at %d ms: answer max %.0f ms\n", 400 + trial * 47, max);
        worst = std::max(worst, max);
        frozen += max > 1000;
        dev.device->answerAgain();
    }
    dev.Clear();
    return {worst, frozen};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int shareFiles = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::string only = argc > 2 ? argv[2] : "";
    const auto runs = [&](const char* part) { return only.empty() || only == part; };
    const std::string work = benchrig::MakeWorkDir("slowcopy");
    std::printf("ring: %s\n", platform::AsyncIo::Instance().RingActive() ? "yes" : "no");
    Figures usbBig, usbSmall, share;
    double abortMs = -1;
    if (runs("usb")) {
        Device usb(work, "usb", {.writeRate = 5e6});
        if (!usb.device->mounted()) {
            std::printf("skipped: %s\n", qPrintable(usb.device->why()));
            benchrig::Shell("rm -rf '" + work + "'");
            return 0;
        }
        usbBig = RatioVsCp(usb, 1, 40LL << 20, 1);
        std::printf("usb_big_file_ratio_vs_cp: %.3f (answer p99 %.0f ms, max %.0f ms)\n",
                    usbBig.ratio, usbBig.answerP99, usbBig.answerMax);
        usbSmall = RatioVsCp(usb, 300, 100 << 10, 3);
        std::printf("usb_small_files_answer: p99 %.0f ms, max %.0f ms\n", usbSmall.answerP99,
                    usbSmall.answerMax);
    }
    if (runs("hang")) {
        Device stalling(work, "stall", {.writeRate = 20e6});
        abortMs = AbortBigFile(stalling);
    }
    Figures stickSmall;
    double stickAbortMs = -1, stickAbortAnswer = -1;
    if (runs("stick")) {
        Stick stick(work);
        if (!stick.ready()) {
            std::printf("stick skipped: needs root, a loop device and blkio throttling\n");
        } else {
            const Figures big = RatioVsCp(stick, 1, 40LL << 20, 1, true);
            std::printf("stick_big_file_ratio_vs_cp_sync: %.3f (answer p99 %.0f ms, max %.0f ms)\n",
                        big.ratio, big.answerP99, big.answerMax);
            stickSmall = RatioVsCp(stick, 300, 100 << 10, 3, true);
            std::printf(
                "stick_small_files_ratio_vs_cp_sync: %.3f (answer p99 %.0f ms, max %.0f ms)\n",
                stickSmall.ratio, stickSmall.answerP99, stickSmall.answerMax);
            stickAbortMs = AbortBigFile(stick, &stickAbortAnswer);
            std::printf("stick_abort_ms: %.0f (answer max %.0f ms)\n", stickAbortMs,
                        stickAbortAnswer);
        }
    }
    if (runs("share")) {
        Device smb(work, "share", {.latencyMs = 10, .share = true});
        share = RatioVsCp(smb, shareFiles, 4096, 1);
        std::printf("share_small_files: %d files (answer p99 %.0f ms, max %.0f ms)\n", shareFiles,
                    share.answerP99, share.answerMax);
    }
    std::pair<double, int> shareHang{-1, -1};
    constexpr int hangTrials = 12;
    if (runs("sharehang")) {
        Device smb(work, "share", {.latencyMs = 10, .share = true});
        shareHang = ShareHangs(smb, hangTrials);
    }
    benchrig::Shell("rm -rf '" + work + "'");
    std::printf("slow_device_copy_answer_max_ms: %.0f\n",
                std::max({usbBig.answerMax, usbSmall.answerMax, share.answerMax}));
    std::printf("hung_device_abort_ms: %.0f\n", abortMs);
    std::printf("usb_small_files_ratio_vs_cp: %.3f\n", usbSmall.ratio);
    std::printf("share_hang_answer_max_ms: %.0f\n", shareHang.first);
    std::printf("share_hang_frozen_trials: %d of %d\n", shareHang.second, hangTrials);
    std::printf("share_small_files_ratio_vs_cp: %.3f\n", share.ratio);
    return 0;
}
