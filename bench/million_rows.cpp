// A queue of 1,000,000 rows through the steps a user takes: load it, show it,
// scroll through it, queue 10,000 more while it runs, remove 100,000 selected
// rows, clear it. Prints each step's wall time (million_rows_<step>_s) and the
// longest time the window went without a pump during any step
// (million_rows_max_gap_ms): that is how long it could not repaint.

#include "persistence/QueueFile.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/Pump.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"

#include "QueueFill.h"
#include "run_rig.h"

#include <QtWidgets/qtestsupport_widgets.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Rows = 1'000'000;
constexpr int MoreRows = 10'000;
constexpr int RemovedRows = 100'000;

class YesDialogs : public platform::DialogProvider {
public:
    int Message(const platform::MessageRequest& request) override {
        const platform::MsgButton button = platform::DefaultButton(request.buttons);
        return button != 0 ? platform::ButtonResult(button) : platform::mrOk;
    }
    QString Input(const QString&, const QString&, const QString& defaultText) override {
        return defaultText;
    }
};

// The longest stretch without a pump, in the step under way and over all steps.
double stepGapMs = 0;
double maxGapMs = 0;
Clock::time_point lastPump;

void NotePump() {
    const Clock::time_point now = Clock::now();
    stepGapMs =
        std::max(stepGapMs, std::chrono::duration<double, std::milli>(now - lastPump).count());
    maxGapMs = std::max(maxGapMs, stepGapMs);
    lastPump = now;
}

void Step(const char* name, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    lastPump = start;
    stepGapMs = 0;
    platform::SetPumpHook([](std::int64_t) { NotePump(); });
    work();
    platform::SetPumpHook({});
    NotePump();
    std::printf("million_rows_%s_s: %.3f\n", name,
                std::chrono::duration<double>(Clock::now() - start).count());
    std::printf("million_rows_%s_max_gap_ms: %.0f\n", name, stepGapMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    const QString host = root.path();
    QDir().mkpath(host + QStringLiteral("/C/Big"));
    QDir().mkpath(host + QStringLiteral("/C/More"));
    QDir().mkpath(host + QStringLiteral("/D/Out"));
    benchrig::InstallDrives((host + QStringLiteral("/C")).toStdString(),
                            (host + QStringLiteral("/D")).toStdString());
    YesDialogs dialogs;
    platform::SetDialogProvider(&dialogs);

    // The run that the new rows are queued into copies one large file first.
    {
        QFile big(host + QStringLiteral("/C/Big/big.bin"));
        // Sparse: long enough a copy without filling the disk.
        if (!big.open(QIODevice::WriteOnly) || !big.resize(qint64(256) << 20)) return 1;
    }
    for (int i = 0; i < MoreRows; ++i) {
        QFile f(host + QStringLiteral("/C/More/f%1").arg(i));
        if (!f.open(QIODevice::WriteOnly)) return 1;
    }
    const QString queuePath = host + QStringLiteral("/queue.csv");
    {
        queue::QueueSession maker;
        maker.QueueFile(QStringLiteral("C:\\Big"), QStringLiteral("big.bin"),
                        QStringLiteral("D:\\Out"), queue::ActionCopy);
        bench::FillPendingJobs(maker.Table(), Rows - 1, bench::CommaDirs::Yes);
        persistence::SaveQueueFile(maker.Table(), queuePath);
    }

    benchrig::NoWindow window;
    queue::QueueSession session(window);
    platform::TStringGridEx view;
    view.resize(1000, 600);

    Step("load", [&] {
        // As the window loads it: repainting every 100 ms, the user's input waiting.
        platform::PacedPump pump(std::chrono::milliseconds(100), platform::PumpInput::Defer);
        persistence::LoadQueueFile(session.Table(), queuePath, [&] { pump.Step(); });
        session.CountPending();
    });
    Step("show", [&] {
        view.SetGrid(&session.Table().Grid());
        view.show();
        if (!QTest::qWaitForWindowExposed(&view)) std::fprintf(stderr, "window not exposed\n");
        QApplication::processEvents();
    });
    Step("scroll", [&] {
        QScrollBar* bar = view.verticalScrollBar();
        for (int i = 0; i <= 100; ++i) {
            bar->setValue(bar->maximum() / 100 * i);
            view.viewport()->repaint();
            QApplication::processEvents();
            NotePump();
        }
    });
    Step("queue_while_running", [&] {
        int queued = 0;
        platform::SetPumpHook([&](std::int64_t) {
            NotePump();
            // A hundred rows per pump, as fast as a user could ever queue them.
            for (int k = 0; k < 100 && queued < MoreRows; ++k, ++queued)
                session.QueueFile(QStringLiteral("C:\\More"), QStringLiteral("f%1").arg(queued),
                                  QStringLiteral("D:\\Out"), queue::ActionCopy);
            if (queued == MoreRows) session.Runner().btnStopClick();
        });
        session.Runner().btnStartClick();
        platform::SetPumpHook({});
        if (queued < MoreRows) std::fprintf(stderr, "the run ended before the rows were queued\n");
    });
    Step("remove_selected", [&] {
        platform::StringGrid& grid = session.Table().Grid();
        for (int row = 1; row <= RemovedRows && row < grid.RowCount(); ++row)
            grid.SetRowSelected(row, true);
        session.Runner().btnRemoveClick();
        QApplication::processEvents();
    });
    Step("clear", [&] {
        session.Runner().btnClearAllClick();
        QApplication::processEvents();
    });
    platform::SetDialogProvider(nullptr);
    view.SetGrid(nullptr);
    std::printf("million_rows_max_gap_ms: %.0f\n", maxGapMs);
    return 0;
}
