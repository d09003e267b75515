// A user ticks one directory holding 200,000 files in the left pane of the
// main window and clicks "queue copy". Prints how long the window went without
// a pump from the click until the handler returned (the summary box counts as
// a pump: it runs its own event loop), whether the busy cursor showed at every
// pump of the walk, whether the summary arrived, the rows queued, and the wall
// seconds of the click. Wall time: waiting is what the user sees.

#include "app/Application.h"
#include "app/MainUnit.h"
#include "panes/FilePanels.h"
#include "platform/Dialogs.h"
#include "platform/Pump.h"
#include "queue/QueueTable.h"

#include "run_rig.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// 10 x 20 leaf directories of 1,000 files each, two levels below the tree.
constexpr int kTop = 10;
constexpr int kMiddle = 20;
constexpr int kFilesPerDir = 1000;
constexpr int kFiles = kTop * kMiddle * kFilesPerDir;

[[noreturn]] void Fail(const char* what) {
    std::perror(what);
    std::exit(1);
}

// The files of a directory are links to its first: a fresh inode for each of
// 200,000 files takes a minute once a file system has seen many deleted, and a
// walk and a queueing look at names and sizes only.
void MakeEmptyTree(const std::string& tree) {
    ::mkdir(tree.c_str(), 0755);
    for (int a = 0; a < kTop; ++a) {
        const std::string top = tree + "/a" + std::to_string(a);
        ::mkdir(top.c_str(), 0755);
        for (int b = 0; b < kMiddle; ++b) {
            const std::string leaf = top + "/b" + std::to_string(b);
            ::mkdir(leaf.c_str(), 0755);
            for (int f = 0; f < kFilesPerDir; ++f) {
                const std::string path = leaf + "/f" + std::to_string(f) + ".txt";
                if (f == 0) {
                    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    if (fd < 0) Fail("making the tree");
                    ::close(fd);
                } else if (::link((leaf + "/f0.txt").c_str(), path.c_str()) != 0) {
                    Fail("making the tree");
                }
            }
        }
    }
}

// The longest stretch between two pumps, and where the longest one ended.
struct Gaps {
    double last = 0;
    double longest = 0;
    const char* longestEnd = "";
    const queue::QueueTable* table = nullptr;
    int longestEndRows = 0;  // the table's rows then: 1 during the walk
    std::int64_t pumps = 0;
    std::int64_t busyPumps = 0;

    void Note(const char* where) {
        const double now = benchrig::Now();
        if (last > 0 && now - last > longest) {
            longest = now - last;
            longestEnd = where;
            longestEndRows = table ? table->RowCount() - 1 : 0;
        }
        last = now;
    }
};

Gaps gaps;

// Answers every box with its default button and keeps the summary.
class SummaryDialogs : public platform::DialogProvider {
public:
    int Message(const platform::MessageRequest& request) override {
        // The box's own event loop paints the window.
        gaps.Note("the summary box");
        if (request.text.contains(QStringLiteral("added to queue"))) summary = request.text;
        const platform::MsgButton button = platform::DefaultButton(request.buttons);
        const int answer = button != 0 ? platform::ButtonResult(button) : platform::mrOk;
        gaps.Note("the summary box");
        return answer;
    }
    QString Input(const QString&, const QString&, const QString& defaultText) override {
        return defaultText;
    }
    QString summary;
};

int IndexOf(const panes::TCheckFileListBoxEx& list, const QString& text) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i) == text) return i;
    return -1;
}

// The vacant row of an empty table is no job.
int JobRows(const queue::QueueTable& table) {
    int rows = 0;
    for (int row = 1; row < table.RowCount(); ++row)
        if (!table.Cell(queue::colSourceDir, row).isEmpty()) ++rows;
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication application(argc, argv);
    const std::string work = benchrig::MakeWorkDir("tree-queue");
    const std::string c = work + "/C", d = work + "/D";
    ::mkdir(c.c_str(), 0755);
    ::mkdir(d.c_str(), 0755);
    ::mkdir((c + "/Trees").c_str(), 0755);
    ::mkdir((d + "/Out").c_str(), 0755);
    const double makeStart = benchrig::Now();
    MakeEmptyTree(c + "/Trees/big");
    std::printf("tree of %d files made in %.1f s\n", kFiles, benchrig::Now() - makeStart);
    benchrig::InstallDrives(c, d);
    SummaryDialogs dialogs;
    platform::SetDialogProvider(&dialogs);

    const QString host = QString::fromStdString(work);
    {
        QFile ini(host + QStringLiteral("/ferrovant.ini"));
        if (!ini.open(QIODevice::WriteOnly) ||
            ini.write("[Files]\r\nSourceDir=C:\\Trees\r\nTargetDir=D:\\Out\r\n") < 0)
            return 1;
    }
    auto form = std::make_unique<app::TMainForm>(
        app::ProgramFiles{host + QStringLiteral("/ferrovant.ini"),
                          host + QStringLiteral("/ferrovant.csv"), QStringLiteral("C:\\")});
    form->show();
    form->FormActivate();
    QApplication::processEvents();
    panes::TCheckFileListBoxEx* list = &form->Panels->FileList(panes::Side::Left);
    const int index = IndexOf(*list, QStringLiteral("[big]"));
    if (form->Panels->DirList(panes::Side::Left).Directory() != QStringLiteral("C:\\Trees") ||
        index < 0) {
        std::fprintf(stderr, "the left pane does not list the tree\n");
        return 1;
    }
    list->SetTicked(index, true);
    if (JobRows(form->Queue()) != 0) {
        std::fprintf(stderr, "the queue is not empty\n");
        return 1;
    }

    platform::SetPumpHook([](std::int64_t) {
        gaps.Note("a pump");
        ++gaps.pumps;
        const QCursor* cursor = QApplication::overrideCursor();
        if (cursor && cursor->shape() == Qt::WaitCursor) ++gaps.busyPumps;
    });
    gaps.table = &form->Queue();
    const double start = benchrig::Now();
    gaps.last = start;
    form->Panels->QueueButton(panes::Side::Left, false).click();
    // The queue's save after the summary waits for the disk.
    const double saveMs = (benchrig::Now() - gaps.last) * 1000;
    gaps.Note("the click's return");
    const double seconds = benchrig::Now() - start;
    platform::SetPumpHook({});

    // The summary's box comes after the cursor is restored: its two notes are no walk pumps.
    const bool busy = gaps.pumps > 0 && gaps.busyPumps == gaps.pumps;
    const bool summaryArrived = !dialogs.summary.isEmpty();
    std::fprintf(stderr, "tree_200k_summary: %d %s\n", summaryArrived ? 1 : 0,
                 qPrintable(dialogs.summary));
    std::printf("pumps: %lld, with the wait cursor: %lld\n", static_cast<long long>(gaps.pumps),
                static_cast<long long>(gaps.busyPumps));
    std::printf("longest gap ended at %s, with %d rows queued\n", gaps.longestEnd,
                gaps.longestEndRows);
    std::printf("from the summary to the click's return: %.0f ms\n", saveMs);
    std::printf("tree_200k_busy_cursor: %d\n", busy ? 1 : 0);
    std::printf("tree_200k_summary: %d\n", summaryArrived ? 1 : 0);
    std::printf("tree_200k_rows: %d\n", JobRows(form->Queue()));
    std::printf("tree_200k_queue_s: %.2f\n", seconds);
    std::printf("tree_200k_max_gap_ms: %.0f\n", gaps.longest * 1000);
    std::fflush(stdout);
    form.reset();
    platform::SetDialogProvider(nullptr);
    benchrig::Shell("rm -rf '" + work + "'");
    return 0;
}
