// What keeping the queue file current costs during a run of 100,000 small
// files: the longest stall of the window one save caused, and all saves
// together (recording the changes and flushing them) as a share of the run.

#include "app/Application.h"
#include "app/MainUnit.h"
#include "persistence/QueueFile.h"
#include "persistence/QueueJournal.h"
#include "platform/Drives.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr int kFiles = 100'000;
constexpr int kPerDir = 1000;

QString DrivePath(const QString& host) {
    return platform::Drives().fromHost(QFile::encodeName(host)).value();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication application(argc, argv);
    QTemporaryDir dir(QStringLiteral("/var/tmp/ferrovant-autosave-XXXXXX"));
    const QString src = dir.filePath("src"), dst = dir.filePath("dst");
    QDir().mkpath(dst);
    {
        auto table = std::make_unique<queue::QueueTable>();
        const QByteArray content(100, 'x');
        for (int i = 0; i < kFiles; ++i) {
            const QString sub = QStringLiteral("/d%1").arg(i / kPerDir);
            if (i % kPerDir == 0) QDir().mkpath(src + sub);
            const QString name = QStringLiteral("f%1.txt").arg(i);
            QFile f(src + sub + '/' + name);
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) return 1;
            table->AppendJob({DrivePath(src + sub), name, DrivePath(dst + sub), content.size(),
                              queue::ActionCopy, queue::StatusPending});
        }
        persistence::SaveQueueFile(*table, dir.filePath("ferrovant.csv"));
    }
    auto form = std::make_unique<app::TMainForm>(app::ProgramFiles{
        dir.filePath("ferrovant.ini"), dir.filePath("ferrovant.csv"), DrivePath(dir.path())});
    form->FormActivate();
    QElapsedTimer clock;
    clock.start();
    form->btnStartClick();
    const double runNs = static_cast<double>(clock.nsecsElapsed());
    const persistence::QueueJournal* journal = form->Journal();
    if (form->Queue().RowCount() != 2) {
        std::fprintf(stderr, "run left %d rows\n", form->Queue().RowCount() - 1);
        return 1;
    }
    std::printf("run_s: %.2f\n", runNs * 1e-9);
    std::printf("autosave_max_stall_ms: %.2f\n", static_cast<double>(journal->MaxFlushNs()) * 1e-6);
    std::printf("autosave_share_percent: %.2f\n",
                100.0 * static_cast<double>(journal->CostNs()) / runNs);
    std::fflush(stdout);  // removing 200,000 files takes a while
    form.reset();
    return 0;
}
