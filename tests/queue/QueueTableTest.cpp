#include "platform/Errors.h"
#include "queue/QueueTable.h"
#include "queue/RunState.h"
#include "queue/Vocabulary.h"
#include "support/LocaleGuard.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <random>
#include <string>
#include <vector>

using platform::EConvertError;
using platform::EListError;
using queue::QueueTable;

namespace {

struct Job {
    QString sourceDir;
    QString fileName;
    QString targetDir;
    QString realSize;
    QString action;
    QString status;
};

// The Real Size goes in as text, so that tests can write what a hand-edited
// queue file may hold.
int Queue(QueueTable& t, const Job& job) {
    const int row = t.AppendJob(
        queue::QueueJob{job.sourceDir, job.fileName, job.targetDir, 0, job.action, job.status});
    t.SetCell(queue::colRealSize, row, job.realSize);
    return row;
}

Job FileJob(const QString& name, const QString& size = QStringLiteral("10.00"),
            const QString& status = queue::StatusPending) {
    return Job{QStringLiteral("C:\\Src"), name,  QStringLiteral("D:\\Tgt"), size,
               queue::ActionCopy,         status};
}

std::vector<QString> Column(const QueueTable& t, int col) {
    std::vector<QString> out;
    for (int r = 1; r < t.RowCount(); ++r)
        out.push_back(t.Cell(col, r));
    return out;
}

class QueueTableTest : public ::testing::Test {
protected:
    testsupport::LocaleGuard locale_{platform::EnglishLocale()};
    QueueTable table_;
    queue::TRunCounters counters_;
};

}  // namespace

TEST_F(QueueTableTest, StartsWithTitlesDesignWidthsAndOneVacantRow) {
    EXPECT_EQ(table_.RowCount(), 2);
    const std::vector<QString> titles = {
        "Row",       "Source Directory", "Filename", "Target Directory",
        "Real Size", "File Size",        "Action",   "Status"};
    const std::vector<int> widths = {50, 130, 130, 130, 71, 64, 64, 64};
    for (int c = 0; c < queue::QueueColumnCount; ++c) {
        EXPECT_EQ(table_.Cell(c, 0), titles[static_cast<std::size_t>(c)]);
        EXPECT_EQ(table_.Grid().ColWidth(c), widths[static_cast<std::size_t>(c)]);
        EXPECT_TRUE(table_.Cell(c, 1).isEmpty());
    }
    EXPECT_EQ(table_.FirstPendingRow(), -1);
}

TEST_F(QueueTableTest, RowNumbersStayAsWrittenWhenRowsAboveGo) {
    EXPECT_EQ(Queue(table_, FileJob("a")), 1);
    EXPECT_EQ(table_.RowCount(), 2);  // the vacant row was reused
    Queue(table_, FileJob("b"));
    Queue(table_, FileJob("c"));
    table_.DropRow(1);
    EXPECT_EQ(Column(table_, queue::colRow), (std::vector<QString>{"2", "3"}));
    EXPECT_EQ(Queue(table_, FileJob("d")), 3);
    EXPECT_EQ(Column(table_, queue::colRow), (std::vector<QString>{"2", "3", "3"}));
    EXPECT_EQ(Column(table_, queue::colFileName), (std::vector<QString>{"b", "c", "d"}));
}

TEST_F(QueueTableTest, DroppingTheOnlyRowLeavesOneVacantRow) {
    Queue(table_, FileJob("a"));
    table_.Grid().SetRowSelected(1, true);
    table_.DropRow(1);
    EXPECT_EQ(table_.RowCount(), 2);
    for (int c = 0; c < queue::QueueColumnCount; ++c)
        EXPECT_TRUE(table_.Cell(c, 1).isEmpty());
    EXPECT_EQ(table_.Grid().SelectedCount(), 0);
    EXPECT_FALSE(table_.IsQueued("C:\\Src", "a", "D:\\Tgt"));
    EXPECT_EQ(table_.FirstPendingRow(), -1);
    EXPECT_EQ(Queue(table_, FileJob("b")), 1);
}

TEST_F(QueueTableTest, DroppingTheHeaderOrAMissingRowFailsAndChangesNothing) {
    Queue(table_, FileJob("a"));
    EXPECT_THROW(table_.DropRow(0), EListError);
    EXPECT_THROW(table_.DropRow(2), EListError);
    EXPECT_THROW(table_.DropRow(-1), EListError);
    Queue(table_, FileJob("b"));
    EXPECT_THROW(table_.DropRow(3), EListError);
    EXPECT_EQ(table_.Cell(queue::colStatus, 0), QStringLiteral("Status"));
    EXPECT_EQ(Column(table_, queue::colFileName), (std::vector<QString>{"a", "b"}));
}

TEST_F(QueueTableTest, RemoveSelectedRowsKeepsTheOthersInOrder) {
    struct Case {
        std::vector<int> selected;
        std::vector<QString> left;
    };
    const std::vector<Case> cases = {
        {{1, 3}, {"b", "d"}},       {{2, 3, 4}, {"a"}},     {{1, 2, 3, 4}, {""}},
        {{}, {"a", "b", "c", "d"}}, {{4}, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        QueueTable t;
        for (const char* n : {"a", "b", "c", "d"})
            Queue(t, FileJob(n));
        for (int r : c.selected)
            t.Grid().SetRowSelected(r, true);
        t.RemoveSelectedRows();
        EXPECT_EQ(Column(t, queue::colFileName), c.left);
        EXPECT_EQ(t.Grid().SelectedCount(), 0);
    }
}

TEST_F(QueueTableTest, IsQueuedComparesTheThreeTextsExactly) {
    Queue(table_,
          Job{"C:\\Data", "f.txt", "D:\\Tgt", "1.00", queue::ActionMove, queue::StatusAborted});
    struct Case {
        QString source, name, target;
        bool queued;
    };
    const std::vector<Case> cases = {
        {"C:\\Data", "f.txt", "D:\\Tgt", true},  // any status counts
        {"c:\\data", "f.txt", "D:\\Tgt", false},   {"C:\\Data", "F.txt", "D:\\Tgt", false},
        {"C:\\Data", "f.txt", "D:\\Tgt\\", false}, {"C:\\Data\\f.txt", "", "D:\\Tgt", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table_.IsQueued(c.source, c.name, c.target), c.queued)
            << c.source.toStdString() << " " << c.name.toStdString();
    }
    table_.SetCell(queue::colTargetDir, 1, "E:\\Other");
    EXPECT_FALSE(table_.IsQueued("C:\\Data", "f.txt", "D:\\Tgt"));
    EXPECT_TRUE(table_.IsQueued("C:\\Data", "f.txt", "E:\\Other"));
}

TEST_F(QueueTableTest, CountPendingCountsRemoveDirRowsAndUnknownSizes) {
    Queue(table_, FileJob("a", "1048576.00"));
    Queue(table_, FileJob("b", "-1.00"));
    Queue(table_,
          Job{"C:\\Data\\Photos", "", "", "", queue::ActionRemoveDir, queue::StatusPending});
    Queue(table_, FileJob("c", "500.00", queue::StatusFailed));
    Queue(table_, FileJob("d", "garbage 1-2", queue::StatusSourceError));  // not pending: not read
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingCount, 3);
    EXPECT_EQ(counters_.PendingBytes, 1048575);
    EXPECT_EQ(table_.FirstPendingRow(), 1);

    table_.SetCell(queue::colStatus, 1, queue::StatusInProgress);
    EXPECT_EQ(table_.FirstPendingRow(), 2);
    table_.SetCell(queue::colStatus, 4, queue::StatusPending);  // restarted
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingCount, 3);
    EXPECT_EQ(counters_.PendingBytes, 499);
}

TEST_F(QueueTableTest, AnUnreadablePendingSizeFailsCountPendingButKeepsTheCount) {
    Queue(table_, FileJob("a", "100.00"));
    Queue(table_, FileJob("b", "1-2"));
    Queue(table_, FileJob("c", "5.00"));
    try {
        table_.CountPending(counters_);
        FAIL() << "no failure";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cell does not contain a float value"));
    }
    EXPECT_EQ(counters_.PendingCount, 3);
    EXPECT_EQ(counters_.PendingBytes, 105);
    table_.SetCell(queue::colRealSize, 2, "7.00");  // fixed by hand
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingBytes, 112);
}

TEST_F(QueueTableTest, SizesAreReadAgainWhenTheLocaleChanges) {
    Queue(table_, FileJob("a", "1,5"));
    Queue(table_, FileJob("b", "2.000,25"));  // English: 2.00025 -> 2
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingBytes, 15 + 2);
    locale_.Use(platform::CommaDecimalLocale());
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingBytes, 1 + 2000);
    Queue(table_, FileJob("c", "3,9"));
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingBytes, 1 + 2000 + 3);
}

TEST_F(QueueTableTest, CellsWrittenStraightIntoTheGridAreFollowed) {
    // The queue file loader grows the table in large steps, fills cells in
    // any order and cuts the surplus rows away at the end.
    platform::StringGrid& g = table_.Grid();
    g.SetRowCount(1001);
    for (int r = 1; r <= 5; ++r) {
        g.SetCell(queue::colStatus, r, r % 2 ? queue::StatusPending : queue::StatusAborted);
        g.SetCell(queue::colRealSize, r, QString::number(r * 100) + ".00");
        g.SetCell(queue::colSourceDir, r, "C:\\Src");
        g.SetCell(queue::colFileName, r, QString::number(r));
        g.SetCell(queue::colTargetDir, r, "D:\\Tgt");
    }
    g.SetCell(queue::colStatus, 900, queue::StatusPending);  // beyond the data, cut below
    g.SetCell(queue::colSourceDir, 900, "C:\\Gone");
    g.SetRowCount(6);
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingCount, 3);
    EXPECT_EQ(counters_.PendingBytes, 100 + 300 + 500);
    EXPECT_TRUE(table_.IsQueued("C:\\Src", "4", "D:\\Tgt"));
    EXPECT_FALSE(table_.IsQueued("C:\\Gone", "", ""));
    EXPECT_EQ(table_.FirstPendingRow(), 1);
    EXPECT_EQ(table_.AppendRow(), 6);
}

TEST_F(QueueTableTest, ClearQueueResetsTheCurrentFileButNotTheTotals) {
    Queue(table_, FileJob("a"));
    Queue(table_, FileJob("b"));
    counters_ = {7, 100, 50, 60, "Copy", "a", 2, 20};
    table_.ClearQueue(counters_);
    EXPECT_EQ(table_.RowCount(), 2);
    EXPECT_TRUE(table_.Cell(queue::colSourceDir, 1).isEmpty());
    EXPECT_EQ(table_.FirstPendingRow(), -1);
    const queue::TRunCounters& c = counters_;
    EXPECT_EQ(c.Ticks, 7);
    EXPECT_EQ(c.RunBytes, 0);
    EXPECT_EQ(c.CurrentFileDone, 0);
    EXPECT_EQ(c.CurrentFileSize, 0);
    EXPECT_TRUE(c.CurrentAction.isEmpty());
    EXPECT_TRUE(c.CurrentFileName.isEmpty());
    EXPECT_EQ(c.PendingCount, 2);
    EXPECT_EQ(c.PendingBytes, 20);
    table_.CountPending(counters_);
    EXPECT_EQ(c.PendingCount, 0);
}

TEST_F(QueueTableTest, RealSizeIsWrittenWithTheLocaleDecimalSeparator) {
    const int row = Queue(table_, FileJob("a"));
    table_.SetRealSize(row, 1048576);
    EXPECT_EQ(table_.Cell(queue::colRealSize, row), QStringLiteral("1048576.00"));
    table_.SetRealSize(row, -1);
    EXPECT_EQ(table_.Cell(queue::colRealSize, row), QStringLiteral("-1.00"));
    locale_.Use(platform::CommaDecimalLocale());
    table_.SetRealSize(row, 5000000000.0);
    EXPECT_EQ(table_.Cell(queue::colRealSize, row), QStringLiteral("5000000000,00"));
    table_.CountPending(counters_);
    EXPECT_EQ(counters_.PendingBytes, 5000000000LL);
}

TEST_F(QueueTableTest, RefreshQueueViewAsksTheViewsToRepaint) {
    struct View : platform::StringGrid::Observer {
        int repaints = 0;
        void RepaintRequested() override { ++repaints; }
    } view;
    table_.Grid().AddObserver(&view);
    table_.RefreshQueueView();
    EXPECT_EQ(view.repaints, 1);
    table_.Grid().RemoveObserver(&view);
}

namespace {

// What a plain scan of the table answers; the bookkeeping must agree with it.
struct Scan {
    std::int64_t count = 0;
    std::uint64_t bytes = 0;
    bool unreadable = false;
    int first = -1;
};

Scan ScanTable(const QueueTable& t) {
    Scan s;
    for (int r = 1; r < t.RowCount(); ++r) {
        if (t.Cell(queue::colStatus, r) != queue::StatusPending) continue;
        if (s.first < 0) s.first = r;
        ++s.count;
        try {
            s.bytes += static_cast<std::uint64_t>(queue::ReadSize(t.Cell(queue::colRealSize, r)));
        } catch (const EConvertError&) {
            s.unreadable = true;
        }
    }
    return s;
}

bool ScanIsQueued(const QueueTable& t, const QString& s, const QString& f, const QString& d) {
    for (int r = 1; r < t.RowCount(); ++r) {
        if (t.Cell(1, r) == s && t.Cell(2, r) == f && t.Cell(3, r) == d) return true;
    }
    return false;
}

}  // namespace

TEST_F(QueueTableTest, RandomOperationsAgreeWithAFullScan) {
    std::mt19937 rng(20261209);
    const std::vector<QString> dirs = {"C:\\A", "C:\\a", "D:\\B", ""};
    const std::vector<QString> names = {"x", "y", "X", ""};
    const std::vector<QString> sizes = {"10.00", "-1.00", "", "1-2", "1,000.50", "(3)", "7,5"};
    const std::vector<QString> statuses = {queue::StatusPending, queue::StatusPending,
                                           queue::StatusInProgress, queue::StatusAborted,
                                           queue::StatusComplete};
    auto pick = [&](const std::vector<QString>& v) {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    auto anyRow = [&] { return std::uniform_int_distribution<int>(1, table_.RowCount() - 1)(rng); };

    for (int step = 0; step < 4000; ++step) {
        switch (std::uniform_int_distribution<int>(0, 11)(rng)) {
            case 0:
            case 1:
            case 2:
                Queue(table_, Job{pick(dirs), pick(names), pick(dirs), pick(sizes),
                                  queue::ActionCopy, pick(statuses)});
                break;
            case 3:
                table_.DropRow(anyRow());
                break;
            case 4:
            case 5:
                table_.SetCell(queue::colStatus, anyRow(), pick(statuses));
                break;
            case 6:
                table_.SetCell(std::uniform_int_distribution<int>(1, 3)(rng), anyRow(),
                               pick(rng() % 2 ? dirs : names));
                break;
            case 7:
                table_.SetCell(queue::colRealSize, anyRow(), pick(sizes));
                break;
            case 8:
                // Blocks of adjacent rows as well as single ones.
                for (int r = anyRow(), n = static_cast<int>(rng() % 4);
                     n >= 0 && r < table_.RowCount(); ++r, --n) {
                    table_.Grid().SetRowSelected(r, true);
                }
                if (rng() % 4 == 0) table_.RemoveSelectedRows();
                break;
            case 9:
                table_.Grid().SetRowCount(table_.RowCount() + static_cast<int>(rng() % 5));
                if (rng() % 2 && table_.RowCount() > 3)
                    table_.Grid().SetRowCount(table_.RowCount() - 2);
                break;
            case 10:
                locale_.Use(rng() % 2 ? platform::CommaDecimalLocale() : platform::EnglishLocale());
                break;
            case 11:
                if (rng() % 50 == 0) table_.ClearQueue(counters_);
                break;
        }
        const Scan scan = ScanTable(table_);
        ASSERT_EQ(table_.FirstPendingRow(), scan.first) << "step " << step;
        bool threw = false;
        try {
            table_.CountPending(counters_);
        } catch (const EConvertError&) {
            threw = true;
        }
        ASSERT_EQ(threw, scan.unreadable) << "step " << step;
        ASSERT_EQ(counters_.PendingCount, scan.count) << "step " << step;
        ASSERT_EQ(counters_.PendingBytes, static_cast<std::int64_t>(scan.bytes)) << "step " << step;
        const QString s = pick(dirs), f = pick(names), d = pick(dirs);
        ASSERT_EQ(table_.IsQueued(s, f, d), ScanIsQueued(table_, s, f, d)) << "step " << step;
    }
}

// A large table written straight into the grid (as the queue file loader
// does) is indexed in slices while the program waits for input; rows that
// change or go between the slices must still be answered as a scan would.
TEST_F(QueueTableTest, KeysIndexedWhileIdleAgreeWithAScan) {
    platform::StringGrid& grid = table_.Grid();
    const int rows = 50'000;
    grid.SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r) {
        grid.SetCell(queue::colSourceDir, r, QStringLiteral("C:\\D%1").arg(r % 7));
        grid.SetCell(queue::colFileName, r, QStringLiteral("f%1").arg(r));
        grid.SetCell(queue::colTargetDir, r, QStringLiteral("D:\\T"));
    }
    QCoreApplication::processEvents();  // a slice or two, not all
    grid.SetCell(queue::colFileName, 2, QStringLiteral("renamed"));
    grid.DeleteRows(40'000, 5'000);
    grid.SetCell(queue::colFileName, rows - 6'000, QStringLiteral("renamed late"));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    const std::vector<std::pair<int, QString>> asked = {
        {2, "f2"},          {2, "renamed"},           {3, "f3"},     {40'001, "f40001"},
        {45'001, "f45001"}, {49'000, "renamed late"}, {6, "f49999"}, {4, "f44000"}};
    for (const auto& [dir, name] : asked) {
        const QString d = QStringLiteral("C:\\D%1").arg(dir % 7);
        EXPECT_EQ(table_.IsQueued(d, name, "D:\\T"), ScanIsQueued(table_, d, name, "D:\\T"))
            << name.toStdString();
    }
}
