// How long a user with a large queue waits for the window: seconds from the
// start of the process to the window shown with the table filled, for queue
// files of 100,000 and 1,000,000 rows, against a plain parse of the same file
// by Debian's python3 csv module. Wall time: waiting is what the user sees.

#include "app/Application.h"
#include "app/MainUnit.h"
#include "persistence/QueueFile.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/QueueTable.h"

#include "QueueFill.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>
#include <cstdio>
#include <memory>

namespace {

// The child: the program's window on the given files, reporting once shown.
int ShowWindow(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication application(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    auto* form = new app::TMainForm(
        {dir + "/ferrovant.ini", dir + "/ferrovant.csv", QStringLiteral("C:\\")});
    form->show();
    form->activateWindow();
    while (form->FirstActivation())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();  // the paint of the filled table
    std::printf("shown %d\n", form->GridQueue->model()->rowCount());
    std::fflush(stdout);
    _exit(0);  // the measurement ends here; no need to save on the way out
}

double Seconds(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, args);
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

QString QueueOf(const QTemporaryDir& dir, int rows) {
    const QString sub = dir.filePath(QString::number(rows));
    QDir().mkpath(sub);
    auto table = std::make_unique<queue::QueueTable>();
    bench::FillPendingJobs(*table, rows, bench::CommaDirs::Yes);
    persistence::SaveQueueFile(*table, sub + "/ferrovant.csv");
    return sub;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--show") return ShowWindow(argc, argv);
    QCoreApplication core(argc, argv);
    QTemporaryDir dir;
    const QString self = QCoreApplication::applicationFilePath();
    const QString small = QueueOf(dir, 100'000);
    const QString large = QueueOf(dir, 1'000'000);
    const QString parse = QStringLiteral(
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
        "    rows = sum(1 for _ in csv.reader(f))\n");
    double best100k = 1e9, best1m = 1e9, bestPython = 1e9;
    for (int round = 0; round < 3; ++round) {
        best100k = std::min(best100k, Seconds(self, {"--show", small}));
        best1m = std::min(best1m, Seconds(self, {"--show", large}));
        bestPython = std::min(bestPython,
                              Seconds("/usr/bin/python3", {"-c", parse, large + "/ferrovant.csv"}));
    }
    std::printf("start_100k_rows_s: %.3f\n", best100k);
    std::printf("python_csv_1m_rows_s: %.3f\n", bestPython);
    std::printf("start_1m_rows_s: %.3f\n", best1m);
    std::printf("start_ratio_1m_vs_100k: %.2f\n", best1m / best100k);
    std::printf("start_1m_rows_vs_python_csv: %.2f\n", best1m / bestPython);
    return 0;
}
