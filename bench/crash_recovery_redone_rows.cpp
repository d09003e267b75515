// Rows a fresh start does again after the program was killed (SIGKILL) at a
// random moment of a run of 3,000 small files (moves and copies): rows whose
// file had already reached its target but which came back to be run again.
// The fewer the better; a row lost (gone from the queue, its file at neither
// place or its target short) is counted apart and must stay 0.

#include "app/Application.h"
#include "app/MainUnit.h"
#include "persistence/FilePaths.h"
#include "persistence/QueueFile.h"
#include "persistence/QueueJournal.h"
#include "platform/Drives.h"
#include "platform/Pump.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int kFiles = 3000;
constexpr int kPerDir = 500;
constexpr int kRounds = 5;

QString DrivePath(const QString& host) {
    return platform::Drives().fromHost(QFile::encodeName(host)).value();
}

QByteArray ContentOf(int i) {
    return QByteArray::number(i).repeated(40);
}

struct Round {
    int redone = 0;
    int lost = 0;
};

// The jobs, the queue file, then the real window's run in a child process,
// killed at pump killAt.
Round RunKilled(std::int64_t killAt) {
    QTemporaryDir dir(QStringLiteral("/var/tmp/ferrovant-crash-XXXXXX"));
    const QString src = dir.filePath("src"), dst = dir.filePath("dst");
    const QString queueFile = dir.filePath("ferrovant.csv");
    QDir().mkpath(dst);
    const auto where = [&](const QString& root, int i) {
        return root + QStringLiteral("/d%1/f%2").arg(i / kPerDir).arg(i);
    };
    {
        queue::QueueTable table;
        for (int i = 0; i < kFiles; ++i) {
            const QString sub = QStringLiteral("/d%1").arg(i / kPerDir);
            if (i % kPerDir == 0) QDir().mkpath(src + sub);
            QFile f(where(src, i));
            if (!f.open(QIODevice::WriteOnly) || f.write(ContentOf(i)) < 0) std::exit(1);
            table.AppendJob({DrivePath(src + sub), QStringLiteral("f%1").arg(i),
                             DrivePath(dst + sub), ContentOf(i).size(),
                             i % 3 == 0 ? queue::ActionCopy : queue::ActionMove,
                             queue::StatusPending});
        }
        persistence::SaveQueueFile(table, queueFile);
    }

    const pid_t child = ::fork();
    if (child < 0) std::exit(1);
    if (child == 0) {
        auto form = std::make_unique<app::TMainForm>(
            app::ProgramFiles{dir.filePath("ferrovant.ini"), queueFile, DrivePath(dir.path())});
        form->FormActivate();
        platform::SetPumpHook([killAt](std::int64_t pump) {
            if (pump == killAt) ::raise(SIGKILL);
        });
        form->btnStartClick();
        ::raise(SIGKILL);  // the run ended first: killed right after it
    }
    ::waitpid(child, nullptr, 0);

    // A fresh start on what the kill left.
    queue::QueueTable table;
    persistence::LoadQueueFile(table, queueFile);
    persistence::QueueJournal(table.Grid(), queueFile, persistence::JournalPathFor(queueFile))
        .Recover();
    QSet<QString> queued;
    for (int row = 1; row < table.RowCount(); ++row)
        queued.insert(table.Cell(queue::colFileName, row));
    Round round;
    for (int i = 0; i < kFiles; ++i) {
        QFile target(where(dst, i));
        const bool done = target.open(QIODevice::ReadOnly) && target.readAll() == ContentOf(i);
        if (queued.contains(QStringLiteral("f%1").arg(i))) {
            if (done) ++round.redone;
        } else if (!done) {
            ++round.lost;
        }
    }
    return round;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Made before the fork: the killed run uses the same one.
    app::TApplication application(argc, argv);
    std::mt19937_64 random(std::random_device{}());
    int redone = 0, lost = 0;
    for (int r = 0; r < kRounds; ++r) {
        // About two pumps a file.
        const std::int64_t killAt =
            std::uniform_int_distribution<std::int64_t>(1, 2 * kFiles)(random);
        const Round round = RunKilled(killAt);
        std::printf("round %d: killed at pump %lld, %d rows redone, %d lost\n", r + 1,
                    static_cast<long long>(killAt), round.redone, round.lost);
        redone += round.redone;
        lost += round.lost;
    }
    std::printf("crash_recovery_lost_rows: %d\n", lost);
    std::printf("crash_recovery_redone_rows: %.1f\n", double(redone) / kRounds);
    return 0;
}
