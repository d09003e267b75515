// A save of the program's own files cut by a power failure at a random moment.
//
//   save queue|profile DIR EXPECTED [prepare|nocut]
//
// DIR is on the file system to cut. Writes the old version and makes it
// durable, keeps the old and the new bytes in EXPECTED (elsewhere), times one
// save to learn how long a save takes, then saves the new version while a
// second thread cuts the file system somewhere inside that time (or just
// after it). Prints "done_before_cut=0|1": when 1 the save had returned before
// the cut, so only the new version may come back. "prepare" stops before the
// cut; "nocut" then saves the new version alone (under injected faults) and
// prints "saved=0|1", whether the save reported success.

#include "reliability/Harness.h"

#include "persistence/Profile.h"
#include "persistence/QueueFile.h"
#include "platform/Errors.h"
#include "platform/StringGrid.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace reliability {

namespace {

using Clock = std::chrono::steady_clock;

// A queue like a user's: a few thousand rows, some fields quoted.
platform::StringGrid QueueVersion(int rows, int generation) {
    platform::StringGrid grid(8, rows + 1);
    const char* const titles[] = {"Row",       "Source Directory", "File Name", "Target Directory",
                                  "Real Size", "File Size",        "Action",    "Status"};
    for (int c = 0; c < 8; ++c)
        grid.SetCell(c, 0, QString::fromLatin1(titles[c]));
    for (int r = 1; r <= rows; ++r) {
        grid.SetCell(0, r, r);
        grid.SetCell(1, r, QStringLiteral("C:\\Photos, %1\\Set%2").arg(generation).arg(r / 50));
        grid.SetCell(2, r, QStringLiteral("image %1-%2.jpg").arg(generation).arg(r));
        grid.SetCell(3, r, QStringLiteral("D:\\Backup\\Set%1").arg(r / 50));
        grid.SetCell(4, r, QStringLiteral("%1.00").arg(1000 * r + generation));
        grid.SetCell(5, r, QStringLiteral("%1 KB").arg(r));
        grid.SetCell(6, r, r % 3 == 0 ? QStringLiteral("Move") : QStringLiteral("Copy"));
        grid.SetCell(7, r, QStringLiteral("Pending"));
    }
    return grid;
}

void WriteProfileVersion(persistence::Profile& profile, int generation) {
    for (int s = 0; s < 6; ++s) {
        const QString section = QStringLiteral("Section%1").arg(s);
        for (int k = 0; k < 20; ++k) {
            profile.ProfileWriteText(
                section, QStringLiteral("Key%1").arg(k),
                QStringLiteral("value %1 of generation %2").arg(k).arg(generation));
        }
    }
}

bool Save(const QString& kind, const QString& path, int generation) {
    try {
        if (kind == QLatin1String("queue")) {
            persistence::SaveQueueFile(QueueVersion(3000, generation), path);
        } else {
            persistence::Profile profile(path);
            WriteProfileVersion(profile, generation);
            profile.Release();
        }
        return true;
    } catch (const platform::Failure&) {
        return false;
    }
}

// The bytes the new version has when its save completes, computed without
// touching the file system under test.
QByteArray NewVersionBytes(const QString& kind, const QString& scratch, const QByteArray& old) {
    QFile::remove(scratch);
    if (!old.isEmpty() && !WriteHostFile(QFile::encodeName(scratch), old)) return {};
    if (!Save(kind, scratch, 2)) return {};
    return ReadHostFile(QFile::encodeName(scratch));
}

}  // namespace

int SaveTrial(const QStringList& args) {
    const QString step = args.value(3);
    if (args.size() < 3 || args.size() > 4 ||
        !(step.isEmpty() || step == QLatin1String("prepare") || step == QLatin1String("nocut"))) {
        std::fprintf(stderr, "usage: save queue|profile DIR EXPECTED [prepare|nocut]\n");
        return 2;
    }
    const QString kind = args[0];
    const QString dir = args[1];
    const QString expected = args[2];
    const QString path = dir + (kind == QLatin1String("queue") ? QStringLiteral("/ferrovant.csv")
                                                               : QStringLiteral("/ferrovant.ini"));

    if (step == QLatin1String("nocut")) {
        std::printf("saved=%d\n", Save(kind, path, 2) ? 1 : 0);
        return 0;
    }
    if (!Save(kind, path, 1)) return 3;
    const QByteArray oldBytes = ReadHostFile(QFile::encodeName(path));
    const QByteArray newBytes =
        NewVersionBytes(kind, expected + QStringLiteral("/scratch"), oldBytes);
    if (newBytes.isEmpty() || newBytes == oldBytes) return 3;
    if (!WriteHostFile(QFile::encodeName(expected + QStringLiteral("/old")), oldBytes) ||
        !WriteHostFile(QFile::encodeName(expected + QStringLiteral("/new")), newBytes))
        return 3;

    if (step == QLatin1String("prepare")) return 0;

    const int root = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0 || ::syncfs(root) != 0) return 3;

    // How long one save takes here, on a copy beside the file (same file system).
    const QString calibration = dir + QStringLiteral("/calibration");
    QFile::copy(path, calibration);
    const auto start = Clock::now();
    Save(kind, calibration, 2);
    const auto took = Clock::now() - start;
    QFile::remove(calibration);
    ::syncfs(root);

    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    const std::int64_t delay = RandomBetween(0, span + span / 10);
    std::atomic<bool> saved{false};
    std::atomic<bool> savedBeforeCut{false};
    std::thread cutter([&] {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        savedBeforeCut = saved.load();
        CutFileSystem(root);
    });
    saved = Save(kind, path, 2);
    cutter.join();
    std::printf("done_before_cut=%d delay_us=%lld span_us=%lld\n", savedBeforeCut ? 1 : 0,
                static_cast<long long>(delay), static_cast<long long>(span));
    ::close(root);
    return 0;
}

}  // namespace reliability
