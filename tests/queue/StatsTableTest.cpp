#include "platform/Errors.h"
#include "platform/StringGrid.h"
#include "queue/Format.h"
#include "queue/QueueTable.h"
#include "queue/StatsTable.h"
#include "queue/Vocabulary.h"
#include "support/LocaleGuard.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using platform::StringGrid;
using namespace queue;

namespace {

struct QueuedRow {
    QString action;
    QString target;
    QString realSize;
    QString status = StatusPending;
};

struct StatsRow {
    QString dir;
    long long total;
    int level;
    bool operator==(const StatsRow&) const = default;
};

void PrintTo(const StatsRow& r, std::ostream* os) {
    *os << '{' << r.dir.toStdString() << ", " << r.total << ", " << r.level << '}';
}

StringGrid QueueOf(const std::vector<QueuedRow>& rows) {
    StringGrid grid(QueueColumnCount, 2);
    grid.SetRowCount(1 + std::max<int>(1, static_cast<int>(rows.size())));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        grid.SetCell(colSourceDir, row, QStringLiteral("C:\\Src"));
        grid.SetCell(colAction, row, rows[i].action);
        grid.SetCell(colTargetDir, row, rows[i].target);
        grid.SetCell(colRealSize, row, rows[i].realSize);
        grid.SetCell(colStatus, row, rows[i].status);
    }
    return grid;
}

std::vector<StatsRow> RowsOf(const StringGrid& stats) {
    std::vector<StatsRow> rows;
    for (int r = 1; r < stats.RowCount(); ++r)
        rows.push_back({stats.Cell(colStatsDir, r), ReadSize(stats.Cell(colStatsTotal, r)),
                        static_cast<int>(ReadSize(stats.Cell(colStatsLevel, r)))});
    return rows;
}

// The table as a scan over the statistics rows and an exchange sort build it.
std::vector<StatsRow> ScannedStats(const std::vector<QueuedRow>& queue) {
    std::vector<StatsRow> rows{{QString(), 0, 0}};
    bool firstRowFree = true;
    for (const QueuedRow& q : queue) {
        if (q.action != ActionCopy && q.action != ActionMove) continue;
        const long long size = ReadSize(q.realSize);
        QString dir = q.target;
        for (;;) {
            std::size_t i = 0;
            while (i < rows.size() && rows[i].dir != dir)
                ++i;
            if (i == rows.size()) {
                if (firstRowFree) {
                    i = 0;
                } else {
                    rows.push_back({});
                }
                rows[i] = {dir, 0, PathLevel(dir)};
            }
            if (i == 0) firstRowFree = false;
            rows[i].total += size;
            const auto parent = ParentPath(dir);
            if (!parent || parent->isEmpty()) break;
            dir = *parent;
        }
    }
    for (std::size_t pass = 0; pass < rows.size(); ++pass)
        for (std::size_t i = 0; i + 1 < rows.size(); ++i)
            if (rows[i].level > rows[i + 1].level) std::swap(rows[i], rows[i + 1]);
    return rows;
}

class StatsTableTest : public ::testing::Test {
protected:
    StatsTableTest() { InitStatsTable(stats_); }
    std::vector<StatsRow> Update(const std::vector<QueuedRow>& queue) {
        UpdateQueueStats(QueueOf(queue), stats_);
        return RowsOf(stats_);
    }
    testsupport::LocaleGuard locale_{platform::EnglishLocale()};
    StringGrid stats_{StatsColumnCount, 2};
};

TEST(PathLevelTest, LevelsAndParents) {
    struct Case {
        const char* path;
        int level;
        std::optional<QString> parent;
    };
    const Case cases[] = {
        {"C:", 0, std::nullopt},
        {"C:\\", 1, QStringLiteral("C:")},
        {"C:\\Data", 1, QStringLiteral("C:")},
        {"C:\\Data\\Sub", 2, QStringLiteral("C:\\Data")},
        {"\\Data", 1, QString()},
        {"", 0, std::nullopt},
        {"\\\\srv\\share", 3, QStringLiteral("\\\\srv")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathLevel(QString::fromLatin1(c.path)), c.level) << c.path;
        EXPECT_EQ(ParentPath(QString::fromLatin1(c.path)), c.parent) << c.path;
    }
}

TEST_F(StatsTableTest, TotalsByDirectoryAndAncestorOrderedByLevel) {
    const QString copy = ActionCopy, move = ActionMove, rd = ActionRemoveDir;
    struct Case {
        const char* name;
        std::vector<QueuedRow> queue;
        std::vector<StatsRow> expected;
    };
    const std::vector<Case> cases = {
        {"empty queue", {}, {{"", 0, 0}}},
        {"only RemoveDir rows", {{rd, "", ""}, {rd, "", ""}}, {{"", 0, 0}}},
        {"example",
         {{copy, "D:\\Backup\\Photos", "1000.00"},
          {move, "D:\\Backup", "500.00"},
          {copy, "E:\\Music", "70.00"}},
         {{"D:", 1500, 0},
          {"E:", 70, 0},
          {"D:\\Backup", 1500, 1},
          {"E:\\Music", 70, 1},
          {"D:\\Backup\\Photos", 1000, 2}}},
        {"same target twice, any status",
         {{copy, "D:\\A", "10.00", StatusFailed}, {move, "D:\\A", "5.00", StatusAborted}},
         {{"D:", 15, 0}, {"D:\\A", 15, 1}}},
        {"root target", {{copy, "D:\\", "7.00"}}, {{"D:", 7, 0}, {"D:\\", 7, 1}}},
        {"letter case",
         {{copy, "D:\\Data", "1.00"}, {copy, "D:\\DATA", "2.00"}},
         {{"D:", 3, 0}, {"D:\\Data", 1, 1}, {"D:\\DATA", 2, 1}}},
        {"unknown size",
         {{copy, "D:\\A", "5.00"}, {copy, "D:\\A", "-1.00"}},
         {{"D:", 4, 0}, {"D:\\A", 4, 1}}},
        {"action words are exact",
         {{"copy", "D:\\A", "5.00"}, {"", "D:\\B", "5.00"}},
         {{"", 0, 0}}},
        {"empty target in the blank first row", {{copy, "", "9.00"}}, {{"", 9, 0}}},
        {"empty target keeps its total when more follow",
         {{copy, "", "9.00"}, {copy, "E:", "1.00"}},
         {{"", 9, 0}, {"E:", 1, 0}}},
        {"first met order among equal levels",
         {{copy, "F:\\x", "1.00"}, {copy, "D:\\y", "1.00"}, {copy, "E:\\z", "1.00"}},
         {{"F:", 1, 0},
          {"D:", 1, 0},
          {"E:", 1, 0},
          {"F:\\x", 1, 1},
          {"D:\\y", 1, 1},
          {"E:\\z", 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Update(c.queue), c.expected);
        EXPECT_EQ(Update(c.queue), ScannedStats(c.queue));
        EXPECT_TRUE(stats_.ColumnHidden(colStatsTotal));
        for (int r = 1; r < stats_.RowCount(); ++r)
            EXPECT_EQ(stats_.Cell(colStatsSizeText, r),
                      FormatSize(ReadSize(stats_.Cell(colStatsTotal, r))));
    }
}

TEST_F(StatsTableTest, SameTableAsAScanOnRandomQueues) {
    const QString dirs[] = {
        "D:", "D:\\", "D:\\a", "D:\\A", "D:\\a\\b", "E:\\a\\b\\c", "", "\\x", "\\\\srv\\share\\d"};
    const QString actions[] = {ActionCopy, ActionMove, ActionRemoveDir, QString()};
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<QueuedRow> queue(random() % 12);
        for (QueuedRow& q : queue)
            q = {actions[random() % 4], dirs[random() % std::size(dirs)],
                 QString::number(static_cast<int>(random() % 1000) - 1) + QStringLiteral(".00")};
        ASSERT_EQ(Update(queue), ScannedStats(queue)) << "round " << round;
    }
}

TEST_F(StatsTableTest, UnreadableSizeStopsWhereItWas) {
    Update({{ActionCopy, "X:\\old", "1.00"}});
    const std::vector<QueuedRow> queue = {{ActionCopy, "D:\\A", "10.00"},
                                          {ActionCopy, "E:\\B", "1-2"},
                                          {ActionCopy, "F:\\C", "5.00"}};
    EXPECT_THROW(UpdateQueueStats(QueueOf(queue), stats_), platform::EConvertError);
    // Unsorted, in the order met, without size texts, the totals in view.
    EXPECT_EQ(RowsOf(stats_), (std::vector<StatsRow>{{"D:\\A", 10, 1}, {"D:", 10, 0}}));
    EXPECT_FALSE(stats_.ColumnHidden(colStatsTotal));
    EXPECT_EQ(stats_.Cell(colStatsSizeText, 1), QString());
    EXPECT_EQ(stats_.Cell(colStatsTotal, 1), QStringLiteral("10.00"));
}

}  // namespace
