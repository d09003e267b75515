// The real runner, with the file systems under it failing.
//
//   run setup SRC MANIFEST SET              source files of a set (small, large, faults)
//   run go SRC TGT MANIFEST RESULT [EVENT] [queue=FILE [resume]]
//                                           queues them, presses Start
//   run check SRC TGT MANIFEST RESULT       what came of them
//   run queuefile SRC TGT MANIFEST QUEUE    the jobs as the real program's queue file
//   run reload QUEUE RESULT                 the rows a fresh start of the program loads
//
// SRC and TGT become drives C: and D:; the jobs go from C:\Src to D:\Tgt (half
// of them, the names ending in 1, into D:\Tgt\New, which the run has to make). The manifest holds
// one job a line: "action size name". EVENT is one of
//   cut=K    at pump K, cut both file systems as a power failure would, then stop
//   cutafter=U  the same U microseconds after Start, from a second thread, so
//            the cut can also fall where the runner does not pump (the flushes
//            and deletions at the end of the run)
//   fill=K   at pump K, another program fills the target drive to its last 64 KiB
//   rmtarget=K, rmtargetdir=K  at pump K, another program removes the target
//            of the file being copied, or its directory with everything in it
//   rewrite=K  at pump K, another program rewrites the file being moved in
//            place (new bytes, same size) and puts its times back
// and without an event the run goes to its end. With queue=FILE the queue is
// kept as the real program keeps it: the queue file FILE and its journal,
// written once a second and at the run's flushes; after a cut, "reload" reads
// what survived, and "resume" starts from it instead of queueing the jobs, as
// a fresh start of the program would (aborted rows restarted), counting the
// files whose copy went on from a part already there ("resumed=R"). go writes "pumps=P micros=U"
// and the rows left in the table (status, then name) to RESULT, "rewritten\tNAME" for a rewritten
// source and "removed\tNAME" for a finished job whose target another program removed; a job missing
// from the table ended Complete.
//
// check prints "lost=L torn=T both=B bad=X unflushed=U stuck=S moveback=M
// partial=P": lost, a job whose file is neither intact at its source nor
// complete at its target; torn, a target of the right size with wrong bytes;
// both, a moved file found at both places (allowed); bad, a copied source that
// changed; unflushed, a job gone from the queue whose target is missing, short
// or different; stuck, a row still "In Progress"; moveback, a move row still
// queued for a file it already moved; partial, a job still queued whose
// target holds part of the file under its final name. Every kind but "both"
// is a fault.

#include "reliability/Harness.h"

#include "persistence/FilePaths.h"
#include "persistence/QueueFile.h"
#include "persistence/QueueJournal.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/Pump.h"
#include "queue/CopyEngine.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace reliability {

namespace {

struct Job {
    QString action;
    std::int64_t size = 0;
    QString name;
    // Where the job's target lies below D:\Tgt.
    QString subdir() const { return name.endsWith(u'1') ? QStringLiteral("New") : QString(); }
};

std::vector<Job> ReadManifest(const QString& path) {
    std::vector<Job> jobs;
    const QList<QByteArray> lines = ReadHostFile(QFile::encodeName(path)).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3) continue;
        jobs.push_back({QString::fromLatin1(fields[0]), fields[1].toLongLong(),
                        QString::fromLatin1(fields[2])});
    }
    return jobs;
}

// Sizes that meet the edges of a copy: nothing, one page, the chunk size and
// one byte across it, a few megabytes.
// "faults" keeps to the edges, so that failing each call in turn stays short.
// "big" is two files large enough to go on where a cut left them.
std::vector<Job> JobSet(const QString& set) {
    if (set == QLatin1String("big")) {
        return {{queue::ActionCopy, std::int64_t(200) << 20, QStringLiteral("file0")},
                {queue::ActionMove, std::int64_t(100) << 20, QStringLiteral("file1")}};
    }
    std::vector<std::int64_t> sizes = {0, 4096, 1'000'001, 1'000'002};
    if (set != QLatin1String("faults")) sizes.insert(sizes.end(), {3'000'000, 4096, 5'500'000});
    const int copies = set == QLatin1String("large") ? 3 : 1;
    std::vector<Job> jobs;
    int index = 0;
    for (int round = 0; round < copies; ++round) {
        for (std::int64_t size : sizes) {
            // Mostly moves (they are where a file can be lost), some copies.
            const QString action = index % 4 == 3 ? queue::ActionCopy : queue::ActionMove;
            jobs.push_back({action, size, QStringLiteral("file%1").arg(index)});
            ++index;
        }
    }
    return jobs;
}

QByteArray Host(const QString& root, const QString& relative) {
    return QFile::encodeName(root + u'/' + relative);
}

QString TargetOf(const QString& root, const Job& job) {
    const QString sub = job.subdir();
    return root + QStringLiteral("/Tgt/") + (sub.isEmpty() ? QString() : sub + u'/') + job.name;
}

int Setup(const QStringList& args) {
    if (args.size() != 3) return 2;
    const QString src = args[0];
    QDir().mkpath(src + QStringLiteral("/Src"));
    QByteArray manifest;
    for (const Job& job : JobSet(args[2])) {
        const QByteArray name = job.name.toLatin1();
        if (!WriteHostFile(Host(src, QStringLiteral("Src/") + job.name), Content(name, job.size)))
            return 3;
        manifest += job.action.toLatin1() + ' ' + QByteArray::number(job.size) + ' ' + name + '\n';
    }
    // On disk before any power cut, so a file missing afterwards was lost by the run.
    const int root = ::open(QFile::encodeName(src).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0 || ::syncfs(root) != 0) return 3;
    ::close(root);
    return WriteHostFile(QFile::encodeName(args[1]), manifest) ? 0 : 3;
}

int OpenRoot(const QString& root) {
    return ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Leaves 64 KiB free on the file system of root, as another program might:
// less than the chunk being written, so the file in progress meets the full disk.
void FillUp(const QString& root) {
    struct statvfs fs {};
    const QByteArray filler = Host(root, QStringLiteral("filler"));
    if (::statvfs(filler.left(filler.lastIndexOf('/')).constData(), &fs) != 0) return;
    const std::int64_t free = std::int64_t(fs.f_bavail) * fs.f_frsize - (64 << 10);
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const QByteArray block(1 << 20, 'f');
    for (std::int64_t left = free; left > 0; left -= block.size()) {
        if (::write(fd, block.constData(), std::min<std::int64_t>(left, block.size())) <= 0) break;
    }
    ::fsync(fd);
    ::close(fd);
}

void QueueJobs(queue::QueueSession& session, const std::vector<Job>& jobs, const QString& src,
               const QString& tgt) {
    for (const Job& job : jobs) {
        const QString sub = job.subdir();
        session.QueueFile(src + QStringLiteral("\\Src"), job.name,
                          tgt + QStringLiteral("\\Tgt") + (sub.isEmpty() ? QString() : u'\\' + sub),
                          job.action);
    }
}

// The rows of a table, status and name, one a line.
QByteArray Rows(const platform::StringGrid& grid) {
    QByteArray rows;
    for (int row = 1; row < grid.RowCount(); ++row) {
        const QString name = grid.Cell(queue::colFileName, row);
        if (name.isEmpty()) continue;
        rows += grid.Cell(queue::colStatus, row).toUtf8() + '\t' + name.toUtf8() + '\n';
    }
    return rows;
}

// The drive-letter form of a host directory under the system's drive table,
// as the real program will read it.
QString SystemPath(const QString& host) {
    return platform::Drives().fromHost(QFile::encodeName(host)).value_or(QString());
}

int WriteQueueFile(const QStringList& args) {
    if (args.size() != 4) return 2;
    QDir().mkpath(args[1] + QStringLiteral("/Tgt"));
    const QString src = SystemPath(args[0]);
    const QString tgt = SystemPath(args[1]);
    if (src.isEmpty() || tgt.isEmpty()) return 3;
    AnsweringDialogs dialogs;
    platform::SetDialogProvider(&dialogs);
    QuietWindow window;
    queue::QueueSession session(window);
    // The letters are the ones the system's table gives the mounts, as the
    // real program will see them.
    QueueJobs(session, ReadManifest(args[2]), src, tgt);
    platform::SetDialogProvider(nullptr);
    try {
        persistence::SaveQueueFile(session.Table(), args[3]);
    } catch (const platform::Failure&) {
        return 3;
    }
    return 0;
}

// What a fresh start brings back: the queue file, then what the journal beside
// it adds, through the same calls the window makes at its first activation.
int Reload(const QStringList& args) {
    if (args.size() != 2) return 2;
    queue::QueueSession session;
    try {
        if (QFile::exists(args[0])) persistence::LoadQueueFile(session.Table(), args[0]);
        persistence::QueueJournal journal(session.Table().Grid(), args[0],
                                          persistence::JournalPathFor(args[0]));
        journal.Recover();
    } catch (const platform::Failure& failure) {
        std::fprintf(stderr, "the queue does not load: %s\n", failure.what());
        return 3;
    }
    return WriteHostFile(QFile::encodeName(args[1]), Rows(session.Table().Grid())) ? 0 : 3;
}

int Go(const QStringList& args) {
    if (args.size() < 4) return 2;
    const QString src = args[0];
    const QString tgt = args[1];
    const std::vector<Job> jobs = ReadManifest(args[2]);
    QString event;
    QString queuePath;
    bool resume = false;
    for (const QString& arg : args.mid(4)) {
        if (arg.startsWith(QLatin1String("queue=")))
            queuePath = arg.section(u'=', 1);
        else if (arg == QLatin1String("resume"))
            resume = true;
        else
            event = arg;
    }
    QDir().mkpath(tgt + QStringLiteral("/Tgt"));
    InstallHostDrives({QFile::encodeName(src), QFile::encodeName(tgt)});
    AnsweringDialogs dialogs;
    platform::SetDialogProvider(&dialogs);

    QuietWindow window;
    queue::QueueSession session(window);
    if (!resume) {
        for (const Job& job : jobs) {
            const QString sub = job.subdir();
            session.QueueFile(
                QStringLiteral("C:\\Src"), job.name,
                sub.isEmpty() ? QStringLiteral("D:\\Tgt") : QStringLiteral("D:\\Tgt\\") + sub,
                job.action);
        }
    }

    // Kept as the window keeps it: the whole file once, then the journal every
    // second of the run and whenever the run makes its rows durable.
    std::unique_ptr<persistence::QueueJournal> journal;
    QTimer autosave;
    if (!queuePath.isEmpty()) {
        try {
            if (resume) {
                persistence::LoadQueueFile(session.Table(), queuePath);
                persistence::QueueJournal(session.Table().Grid(), queuePath,
                                          persistence::JournalPathFor(queuePath))
                    .Recover();
            }
            persistence::SaveQueueFile(session.Table(), queuePath);
        } catch (const platform::Failure&) {
            return 3;
        }
        journal = std::make_unique<persistence::QueueJournal>(
            session.Table().Grid(), queuePath, persistence::JournalPathFor(queuePath));
        session.Runner().SetDurableRecord([&journal] { return journal->Flush(); });
        autosave.setInterval(1000);
        QObject::connect(&autosave, &QTimer::timeout, [&journal] {
            journal->Flush(persistence::QueueJournal::Durability::Start);
        });
        autosave.start();
    }

    const std::int64_t at = event.section(u'=', 1).toLongLong();
    int resumed = 0;
    QString lastName;
    // What other programs did to the files: "rewritten\tNAME", "removed\tNAME".
    QByteArray meddling;
    const std::array<int, 2> roots = {OpenRoot(tgt), OpenRoot(src)};
    const auto cut = [roots] {
        for (int fd : roots)
            CutFileSystem(fd);
        // The power is gone: nothing this process does from here on matters.
        ::_exit(0);
    };
    if (event.startsWith(QLatin1String("cut="))) {
        platform::SetPumpHook([cut, at](std::int64_t pump) {
            if (pump == at) cut();
        });
    } else if (event.startsWith(QLatin1String("cutafter="))) {
        platform::SetPumpHook([](std::int64_t) {});
        std::thread([cut, at] {
            std::this_thread::sleep_for(std::chrono::microseconds(at));
            cut();
        }).detach();
    } else if (event.startsWith(QLatin1String("fill="))) {
        platform::SetPumpHook([tgt, at](std::int64_t pump) {
            if (pump == at) FillUp(tgt);
        });
    } else if (event.startsWith(QLatin1String("rmtarget=")) ||
               event.startsWith(QLatin1String("rmtargetdir=")) ||
               event.startsWith(QLatin1String("rewrite="))) {
        platform::SetPumpHook([&, at](std::int64_t pump) {
            const QString name = session.Counters().CurrentFileName;
            if (pump != at || name.isEmpty()) return;
            const Job* job = nullptr;
            for (const Job& j : jobs)
                if (j.name == name) job = &j;
            if (!job) return;
            if (event.startsWith(QLatin1String("rewrite="))) {
                // A copy takes the bytes as they come; a move must not delete new ones.
                if (job->action != queue::ActionMove) return;
                const QByteArray path = Host(src, QStringLiteral("Src/") + name);
                struct stat before {};
                if (::stat(path.constData(), &before) != 0) return;
                const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
                if (fd < 0) return;
                const QByteArray bytes = Content("R" + name.toLatin1(), job->size);
                const bool whole = ::pwrite(fd, bytes.constData(), bytes.size(), 0) == bytes.size();
                const struct timespec times[2] = {before.st_atim, before.st_mtim};
                ::futimens(fd, times);
                ::close(fd);
                if (whole) meddling += "rewritten\t" + name.toLatin1() + '\n';
            } else if (event.startsWith(QLatin1String("rmtargetdir="))) {
                // What already left the queue went with the directory by the
                // other program's hand; the check leaves those jobs out.
                const QByteArray queued = Rows(session.Table().Grid());
                for (const Job& j : jobs) {
                    if (j.subdir() == job->subdir() &&
                        !queued.contains('\t' + j.name.toLatin1() + '\n'))
                        meddling += "removed\t" + j.name.toLatin1() + '\n';
                }
                const QString target = TargetOf(tgt, *job);
                QDir(target.left(target.lastIndexOf(u'/'))).removeRecursively();
            } else {
                ::unlink(QFile::encodeName(TargetOf(tgt, *job)).constData());
            }
        });
    } else {
        // A file whose first pump finds more than one chunk done went on
        // from a part a cut left.
        platform::SetPumpHook([&session, &resumed, &lastName](std::int64_t) {
            const queue::TRunCounters& counters = session.Counters();
            if (counters.CurrentFileName == lastName) return;
            lastName = counters.CurrentFileName;
            if (counters.CurrentFileDone > queue::CopyChunkSize) ++resumed;
        });
    }

    // The toolbar's handler, entered the way the window enters it.
    const auto started = std::chrono::steady_clock::now();
    platform::Guard([&] { session.Runner().btnStartClick(); });
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
    if (event.startsWith(QLatin1String("cutafter="))) {
        // The cut is still to come: the run ended before it, as a run may.
        std::this_thread::sleep_for(std::chrono::microseconds(at));
    }
    const std::int64_t pumps = platform::PumpCount();
    platform::SetPumpHook({});
    platform::SetDialogProvider(nullptr);
    autosave.stop();
    // The command's own save at its end, as the window makes it.
    if (journal) journal->Flush();

    QByteArray result = "pumps=" + QByteArray::number(pumps) +
                        " micros=" + QByteArray::number(static_cast<qint64>(micros)) +
                        " resumed=" + QByteArray::number(resumed) + '\n' +
                        Rows(session.Table().Grid());
    for (const QString& question : dialogs.asked)
        result += "asked\t" + question.simplified().toUtf8() + '\n';
    result += meddling;
    return WriteHostFile(QFile::encodeName(args[3]), result) ? 0 : 3;
}

int Check(const QStringList& args) {
    if (args.size() != 4) return 2;
    const QString src = args[0];
    const QString tgt = args[1];
    QHash<QString, QString> statusOf;
    QSet<QString> rewritten;
    QSet<QString> removed;
    bool haveResult = false;
    const QByteArray result = ReadHostFile(QFile::encodeName(args[3]), &haveResult);
    for (const QByteArray& line : result.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0) continue;
        const QString name = QString::fromUtf8(line.mid(tab + 1));
        const QString word = QString::fromUtf8(line.left(tab));
        if (word == QLatin1String("rewritten"))
            rewritten.insert(name);
        else if (word == QLatin1String("removed"))
            removed.insert(name);
        else
            statusOf.insert(name, word);
    }

    int lost = 0, torn = 0, both = 0, bad = 0, unflushed = 0, stuck = 0, moveback = 0, partial = 0;
    for (const Job& job : ReadManifest(args[2])) {
        if (removed.contains(job.name)) continue;
        // A source another program rewrote holds its new bytes: those are the file now.
        const QByteArray expected =
            Content((rewritten.contains(job.name) ? "R" : "") + job.name.toLatin1(), job.size);
        bool atSource = false;
        const QByteArray source =
            ReadHostFile(Host(src, QStringLiteral("Src/") + job.name), &atSource);
        const bool sourceIntact = atSource && source == expected;
        bool atTarget = false;
        const QByteArray target = ReadHostFile(QFile::encodeName(TargetOf(tgt, job)), &atTarget);
        const bool targetComplete = atTarget && target == expected;
        // A move whose source was rewritten after its copy may keep the copy
        // of what the source was: a whole older version, not a part.
        const bool olderVersion = rewritten.contains(job.name) && atTarget &&
                                  target == Content(job.name.toLatin1(), job.size);
        const bool queued = statusOf.contains(job.name);
        const QString status = statusOf.value(job.name);
        const bool complete = haveResult && !queued;
        const char* what = nullptr;
        const auto mark = [&what](int& count, const char* kind) {
            ++count;
            if (!what) what = kind;
        };
        if (!sourceIntact && !targetComplete) mark(lost, "lost");
        if (atTarget && !olderVersion && target.size() == expected.size() && target != expected)
            mark(torn, "torn");
        if (job.action == queue::ActionMove && sourceIntact && targetComplete) ++both;
        // Gone from the queue, so the user takes the target for the file.
        if (complete && !targetComplete) mark(unflushed, "unflushed");
        if (queued && status == queue::StatusInProgress) mark(stuck, "stuck");
        // Run again, the row would end "Source Error" for a file that is safe.
        if (queued && job.action == queue::ActionMove && !atSource && targetComplete)
            mark(moveback, "moveback");
        // Part of the file under the name of the whole one.
        if (queued && atTarget && !targetComplete && !olderVersion) mark(partial, "partial");
        if (job.action == queue::ActionCopy && !sourceIntact) mark(bad, "bad");
        if (what) {
            std::fprintf(stderr, "%s: %s %s (%lld bytes), source %s, target %s, row %s\n", what,
                         qPrintable(job.action), qPrintable(job.name),
                         static_cast<long long>(job.size), sourceIntact ? "intact" : "not intact",
                         atTarget ? (targetComplete ? "complete" : "incomplete") : "missing",
                         complete ? "Complete" : qPrintable(status));
        }
    }
    std::printf("lost=%d torn=%d both=%d bad=%d unflushed=%d stuck=%d moveback=%d partial=%d\n",
                lost, torn, both, bad, unflushed, stuck, moveback, partial);
    return 0;
}

}  // namespace

int RunTrial(const QStringList& args) {
    const QString step = args.value(0);
    if (step == QLatin1String("setup")) return Setup(args.mid(1));
    if (step == QLatin1String("go")) return Go(args.mid(1));
    if (step == QLatin1String("check")) return Check(args.mid(1));
    if (step == QLatin1String("queuefile")) return WriteQueueFile(args.mid(1));
    if (step == QLatin1String("reload")) return Reload(args.mid(1));
    if (step == QLatin1String("help")) return 0;
    std::fprintf(stderr, "usage: run setup|go|check ...\n");
    return 2;
}

}  // namespace reliability
