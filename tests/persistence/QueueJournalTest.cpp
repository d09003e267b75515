#include "persistence/QueueFile.h"
#include "persistence/QueueJournal.h"
#include "platform/StringGrid.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"
#include "support/HostFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <functional>

namespace {

using persistence::QueueJournal;
using platform::StringGrid;

QStringList Rows(const StringGrid& grid) {
    QStringList out;
    for (int row = 0; row < grid.RowCount(); ++row) {
        QStringList cells;
        for (int col = 0; col < grid.ColCount(); ++col)
            cells << grid.Cell(col, row);
        out << cells.join(u'|');
    }
    return out;
}

struct Files {
    QTemporaryDir dir;
    QString queue() const { return dir.filePath("q.csv"); }
    QString journal() const { return dir.filePath("q.journal"); }
};

// The queue file as a fresh start reads it, with the journal folded in.
QStringList Restart(const Files& files) {
    StringGrid grid(3, 2);
    if (QFile::exists(files.queue())) persistence::LoadQueueFile(grid, files.queue());
    QueueJournal journal(grid, files.queue(), files.journal());
    journal.Recover();
    return Rows(grid);
}

TEST(QueueJournalTest, ReplayGivesTheTableTheChangesMade) {
    struct Case {
        const char* name;
        std::function<void(StringGrid&)> change;
    };
    const Case cases[] = {
        {"append and write cells",
         [](StringGrid& g) {
             g.SetRowCount(4);
             g.SetCell(0, 2, "C:\\Data, old");
             g.SetCell(1, 3, "a b\r\n%20 \"q\" ü ✓");
         }},
        {"empty a cell", [](StringGrid& g) { g.SetCell(1, 1, QString()); }},
        {"delete rows at the top and in the middle",
         [](StringGrid& g) {
             g.SetRowCount(6);
             for (int r = 1; r < 6; ++r)
                 g.SetCell(0, r, QString::number(r));
             g.DeleteRow(1);
             g.DeleteRows(2, 2);
         }},
        {"clear to the vacant row", [](StringGrid& g) { g.SetRowCount(2), g.SetCell(0, 1, ""); }},
        {"widen", [](StringGrid& g) { g.SetColCount(5), g.SetCell(4, 0, "Extra"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Files files;
        StringGrid live(3, 2);
        live.SetCell(0, 0, "Row");
        live.SetCell(1, 1, "job");
        persistence::SaveQueueFile(live, files.queue());
        {
            QueueJournal journal(live, files.queue(), files.journal());
            c.change(live);
            ASSERT_TRUE(journal.Flush());
        }
        EXPECT_EQ(Restart(files), Rows(live));
        // Folded: the queue file alone now holds the result.
        EXPECT_FALSE(QFile::exists(files.journal()));
        StringGrid reread(3, 2);
        persistence::LoadQueueFile(reread, files.queue());
        EXPECT_EQ(Rows(reread), Rows(live));
    }
}

TEST(QueueJournalTest, ReplayStopsWhereTheJournalIsTornOrDamaged) {
    // Two records after the header; cutting or spoiling the second keeps the first.
    Files files;
    StringGrid live(2, 2);
    persistence::SaveQueueFile(live, files.queue());
    {
        QueueJournal journal(live, files.queue(), files.journal());
        live.SetCell(0, 1, "first");
        live.SetCell(1, 1, "second");
        ASSERT_TRUE(journal.Flush());
    }
    const QByteArray whole = testsupport::ReadAll(files.journal());
    const QByteArray base = persistence::QueueFileIdentity(files.queue());
    struct Case {
        const char* name;
        QByteArray text;
        int applied;
    };
    QByteArray spoiled = whole;
    spoiled[spoiled.lastIndexOf("second")] = 'S';
    const Case cases[] = {
        {"whole", whole, 2},
        {"last line torn", whole.left(whole.size() - 3), 1},
        {"last line end missing", whole.left(whole.size() - 1), 1},
        {"last line damaged", spoiled, 1},
        {"header torn", whole.left(5), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringGrid grid(2, 2);
        EXPECT_EQ(persistence::ReplayJournal(c.text, base, grid).applied, c.applied);
        EXPECT_EQ(grid.Cell(0, 1), c.applied >= 1 ? "first" : "");
        EXPECT_EQ(grid.Cell(1, 1), c.applied >= 2 ? "second" : "");
    }
}

TEST(QueueJournalTest, RowsADeadProgramWasWorkingOnComeBackRunnable) {
    // Written "In Progress" into the queue file, or only into the journal.
    struct Case {
        const char* action;
        const char* status;
        bool inJournal;
        const char* loaded;
    };
    const Case cases[] = {
        {"Copy", "In Progress", false, "Aborted"},
        {"Move", "In Progress", true, "Aborted"},
        {"RemoveDir", "In Progress", true, "Failed"},
        {"Copy", "Pending", true, "Pending"},
        // Finished, but its target was not yet known to be on disk: done again.
        {"Move", "Complete", true, "Pending"},
        {"Move", "Target Error", false, "Target Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.status);
        Files files;
        queue::QueueTable live;
        live.AppendJob(
            {R"(C:\Src)", "f", R"(D:\Tgt)", 5, c.action, c.inJournal ? "Pending" : c.status});
        persistence::SaveQueueFile(live, files.queue());
        {
            QueueJournal journal(live.Grid(), files.queue(), files.journal());
            live.SetCell(queue::colStatus, 1, c.status);
            ASSERT_TRUE(journal.Flush());
        }
        queue::QueueTable loaded;
        persistence::LoadQueueFile(loaded, files.queue());
        QueueJournal(loaded.Grid(), files.queue(), files.journal()).Recover();
        EXPECT_EQ(loaded.Cell(queue::colStatus, 1), c.loaded);
        // The queue file alone says so too.
        queue::QueueTable reread;
        persistence::LoadQueueFile(reread, files.queue());
        EXPECT_EQ(reread.Cell(queue::colStatus, 1), c.loaded);
    }
}

TEST(QueueJournalTest, JournalOfAnotherQueueFileIsNeverApplied) {
    // A crash between rewriting the queue file and removing the journal.
    Files files;
    StringGrid live(3, 3);
    persistence::SaveQueueFile(live, files.queue());
    QueueJournal journal(live, files.queue(), files.journal());
    live.DeleteRow(1);
    ASSERT_TRUE(journal.Flush());
    const QByteArray stale = testsupport::ReadAll(files.journal());
    persistence::SaveQueueFile(live, files.queue());
    testsupport::WriteAll(files.journal(), stale);
    EXPECT_EQ(Restart(files).size(), 2);
}

TEST(QueueJournalTest, KilledWhileQueueingLosesNothingFlushed) {
    // A child queues jobs and reports each flush; it is killed at some moment.
    // The next start shows every job of the last reported flush, in order.
    Files files;
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        queue::QueueTable table;
        QueueJournal journal(table.Grid(), files.queue(), files.journal());
        for (int n = 1;; ++n) {
            const int row = table.AppendRow();
            table.SetCell(1, row, QStringLiteral("C:\\Src\\%1").arg(n));
            if (n % 50 == 0 && journal.Flush()) {
                if (write(report[1], &n, sizeof n) != sizeof n) _exit(1);
            }
        }
    }
    close(report[1]);
    int flushed = 0;
    for (int got = 0; got < 20;) {
        if (read(report[0], &flushed, sizeof flushed) == sizeof flushed) ++got;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    int later = 0;
    while (read(report[0], &later, sizeof later) == sizeof later)
        flushed = later;
    close(report[0]);

    queue::QueueTable table;
    QueueJournal journal(table.Grid(), files.queue(), files.journal());
    journal.Recover();
    ASSERT_GE(table.RowCount() - 1, flushed);
    for (int row = 1; row < table.RowCount(); ++row)
        ASSERT_EQ(table.Cell(1, row), QStringLiteral("C:\\Src\\%1").arg(row));
}

}  // namespace
