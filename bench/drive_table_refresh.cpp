// How long a new mount takes to reach both drive selectors with 200 mounts in
// the table: from the mount call until the selectors list the new drive (the
// kernel's signal, the event loop, reading the table, the letters' file and
// both lists). Also the longest time the window is held by one refresh.
// Mounts are made in a private mount namespace, so this needs root; without
// it only the table's rebuild from a 200-line mount table is timed.

#include "BenchClock.h"
#include "panes/DriveComboBox.h"
#include "platform/Drives.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMounts = 200;
constexpr int kTrials = 20;

bool MakeMounts() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0) return false;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m") != 0) return false;
    // Most mounts of a busy desktop are plumbing (containers, snaps), a few are volumes.
    ::mkdir("/run/ferrovant-bench", 0755);
    for (int i = 0; i < kMounts; ++i) {
        const QByteArray dir = i < 10 ? "/mnt/v" + QByteArray::number(i)
                                      : "/run/ferrovant-bench/m" + QByteArray::number(i);
        ::mkdir(dir.constData(), 0755);
        if (::mount("tmpfs", dir.constData(), "tmpfs", 0, "size=64k") != 0) return false;
    }
    ::mkdir("/mnt/new", 0755);
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bool real = MakeMounts();  // before Qt, while the process has one thread
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));

    if (!real) {
        QByteArray text;
        for (int i = 0; i < kMounts; ++i)
            text += QByteArray::number(100 + i) + " 1 0:" + QByteArray::number(50 + i) +
                    " / /run/m" + QByteArray::number(i) + " rw - tmpfs tmpfs rw\n";
        text += "99 1 8:1 / /media/me/STICK rw - vfat /dev/sdb1 rw\n";
        std::vector<double> times;
        for (int i = 0; i < kTrials; ++i) {
            platform::DriveLetters letters;
            QElapsedTimer t;
            t.start();
            platform::DriveTable::FromMountInfo(text, platform::SystemVolumeProbe(), &letters);
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("no private mounts here (needs root): the table's rebuild alone\n");
        std::printf("drive_table_refresh_ms: %.2f\n", Median(times));
        return 0;
    }

    QWidget window;
    auto* left = new panes::TDriveComboBoxEx(&window);
    auto* right = new panes::TDriveComboBoxEx(&window);
    window.show();
    QElapsedTimer clock;
    double longestHold = 0;
    // Called after both selectors' own listeners: the refresh is complete here.
    QObject probe;
    bool applied = false;
    platform::WatchDrives(&probe, [&] { applied = true; });
    std::vector<double> notice;
    const auto hasNew = [&] {
        return left->findText(QStringLiteral("[NEW]"), Qt::MatchContains) >= 0 &&
               right->findText(QStringLiteral("[NEW]"), Qt::MatchContains) >= 0;
    };
    for (int i = 0; i < kTrials; ++i) {
        for (bool mountIt : {true, false}) {
            applied = false;
            clock.start();
            if (mountIt ? ::mount("tmpfs", "/mnt/new", "tmpfs", 0, "size=64k") != 0
                        : ::umount("/mnt/new") != 0) {
                std::perror("mount");
                return 1;
            }
            const double cpu0 = bench::CpuSeconds();
            QDeadlineTimer deadline(10000);
            while (!(applied && hasNew() == mountIt) && !deadline.hasExpired())
                app.processEvents(QEventLoop::WaitForMoreEvents, 50);
            const double ms = clock.nsecsElapsed() / 1e6;
            if (mountIt) notice.push_back(ms);
            longestHold = std::max(longestHold, (bench::CpuSeconds() - cpu0) * 1000);
        }
    }
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    mountinfo.open(QIODevice::ReadOnly);
    std::printf("mounts: %lld, drives listed: %d\n", mountinfo.readAll().count('\n'),
                left->count());
    std::printf("longest cpu time of one refresh: %.2f ms\n", longestHold);
    std::printf("drive_table_refresh_ms: %.2f\n", Median(notice));
    return 0;
}
