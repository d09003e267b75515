// How the window answers while a pane's device is slow or hangs: the main
// window with its left pane on the test device (tests/tools/slowfs.c), a
// share with 10 ms an operation holding 2,000 files of 4 KiB, then the same
// device hung. A timer asks the event loop every 100 ms; how late it comes is
// how long a click or a screen reader's question would have waited. Wall time:
// waiting is what the user sees.
//
// Cases: the window's start with the pane on the share, the re-read of the
// pane as after a run, and the start with the pane on the hung device (the
// pane falls back after the device's timeout). A run's copies onto such
// devices are slow_device_copy.cpp.
//
// Needs root and /dev/fuse; elsewhere it says so and prints no figure.

#include "app/Application.h"
#include "app/MainUnit.h"
#include "panes/DirectoryListBox.h"
#include "panes/FileListBox.h"
#include "panes/FilePanels.h"
#include "platform/AsyncIo.h"
#include "platform/Drives.h"

#include "AnswerSampler.h"
#include "run_rig.h"
#include "support/SlowDevice.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void WriteSettings(const QString& ini, const QString& sourceDir) {
    QFile f(ini);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("[Files]\nSourceDir=" + sourceDir.toUtf8() + "\nTargetDir=C:\\\n");
}

// Seconds until the window's first activation is done (its panes listed).
double StartWindow(const QString& dir, std::unique_ptr<app::TMainForm>& form) {
    QElapsedTimer clock;
    clock.start();
    form = std::make_unique<app::TMainForm>(
        app::ProgramFiles{dir + "/ferrovant.ini", dir + "/ferrovant.csv", QStringLiteral("C:\\")});
    form->show();
    form->activateWindow();
    while (form->FirstActivation())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication application(argc, argv);
    const std::string work = benchrig::MakeWorkDir("slowdev");
    const QByteArray root = QByteArray::fromStdString(work);
    benchrig::Shell("mkdir -p " + work + "/c " + work + "/mnt " + work + "/backing/share");
    for (int i = 0; i < 2000; ++i) {
        QFile f(QString::fromUtf8(root) +
                QStringLiteral("/backing/share/f%1.bin").arg(i, 4, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(4096, 'x'));
    }
    auto slow = std::make_unique<testsupport::SlowDevice>(
        root + "/backing", root + "/mnt",
        testsupport::SlowDeviceOptions{.latencyMs = 10, .share = true});
    testsupport::SlowDevice& device = *slow;
    if (!device.mounted()) {
        std::printf("skipped: %s\n", qPrintable(device.why()));
        benchrig::Shell("rm -rf " + work);
        return 0;
    }
    platform::Drive c, d;
    c.letter = u'C';
    c.hostRoot = root + "/c";
    d.letter = u'D';
    d.hostRoot = root + "/mnt";
    d.type = platform::DriveType::Remote;
    platform::InstallDrives(platform::DriveTable({c, d}));
    const QString dir = QString::fromUtf8(root) + "/c";
    WriteSettings(dir + "/ferrovant.ini", QStringLiteral("D:\\share"));
    std::printf("ring: %s\n", platform::AsyncIo::Instance().RingActive() ? "yes" : "no");

    benchrig::AnswerSampler sampler;
    std::unique_ptr<app::TMainForm> form;
    sampler.Start();
    const double start = StartWindow(dir, form);
    const auto [startP99, startMax] = sampler.Stop();
    std::printf("share_start_2000_s: %.2f (answer p99 %.0f ms, max %.0f ms)\n", start, startP99,
                startMax);

    // The re-read after a run: the directory list, then the file list.
    QElapsedTimer clock;
    sampler.Start();
    clock.start();
    form->Panels->DirList(panes::Side::Left).Update();
    form->Panels->FileList(panes::Side::Left).Update();
    const double reread = static_cast<double>(clock.nsecsElapsed()) * 1e-6;
    const auto [p99, max] = sampler.Stop();
    std::printf("share_reread_2000_entries: %d\n",
                form->Panels->FileList(panes::Side::Left).Count());
    std::printf("share_reread_2000_ms: %.0f\n", reread);
    form.reset();

    // The start with the pane on a device that hangs.
    device.setHung(true);
    sampler.Start();
    const double hungStart = StartWindow(dir, form);
    const auto [hungP99, hungMax] = sampler.Stop();
    std::printf("hung_device_start_s: %.2f (answer p99 %.0f ms, max %.0f ms, pane %s)\n", hungStart,
                hungP99, hungMax, qPrintable(form->Panels->DirList(panes::Side::Left).Directory()));
    form.reset();
    device.answerAgain();

    std::printf("slow_device_answer_p99_ms: %.0f\n", std::max({p99, startP99, hungP99}));
    std::printf("slow_device_answer_max_ms: %.0f\n", std::max({max, startMax, hungMax}));
    platform::ResetDrives();
    slow.reset();
    benchrig::Shell("rm -rf " + work);
    return 0;
}
