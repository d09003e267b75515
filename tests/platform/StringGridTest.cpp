#include "platform/Errors.h"
#include "platform/StringGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

using platform::EListError;
using platform::StringGrid;

namespace {

// Writes every notification as one line, so a test can compare whole sequences.
class Recorder : public StringGrid::Observer {
public:
    std::vector<std::string> log;
    void CellChanged(int col, int row, const QString& oldText) override {
        log.push_back("cell " + std::to_string(col) + "," + std::to_string(row) + " was '" +
                      oldText.toStdString() + "'");
    }
    void RowsAboutToBeRemoved(int first, int count) override {
        log.push_back("removing " + std::to_string(first) + "+" + std::to_string(count));
    }
    void RowsRemoved(int first, int count) override {
        log.push_back("removed " + std::to_string(first) + "+" + std::to_string(count));
    }
    void RowsInserted(int first, int count) override {
        log.push_back("inserted " + std::to_string(first) + "+" + std::to_string(count));
    }
    void SelectionChanged(int row) override { log.push_back("selection " + std::to_string(row)); }
    void ColumnsChanged() override { log.push_back("columns"); }
    void RepaintRequested() override { log.push_back("repaint"); }
};

std::vector<std::string> Column0(const StringGrid& g) {
    std::vector<std::string> out;
    for (int r = 0; r < g.RowCount(); ++r)
        out.push_back(g.Cell(0, r).toStdString());
    return out;
}

StringGrid NumberedGrid(int dataRows) {
    StringGrid g(2, dataRows + 1);
    for (int r = 0; r <= dataRows; ++r)
        g.SetCell(0, r, static_cast<long long>(r));
    return g;
}

}  // namespace

TEST(StringGrid, OutOfRangeAccessFailsWithTheListIndexMessage) {
    StringGrid g(3, 4);
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"row past end", [&] { (void)g.Cell(0, 4); }, "List index out of bounds (4)"},
        {"negative row", [&] { g.SetCell(0, -1, QStringLiteral("x")); },
         "List index out of bounds (-1)"},
        {"column past end", [&] { (void)g.Cell(3, 0); }, "List index out of bounds (3)"},
        {"delete past end", [&] { g.DeleteRow(7); }, "List index out of bounds (7)"},
        {"serial past end", [&] { (void)g.RowSerial(4); }, "List index out of bounds (4)"},
        {"select past end", [&] { g.SetRowSelected(9, true); }, "List index out of bounds (9)"},
        {"hide missing column", [&] { g.HideTableColumn(5); }, "List index out of bounds (5)"},
        {"cut the header away", [&] { g.SetRowCount(0); }, "List index out of bounds (0)"},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.what << ": no failure";
        } catch (const EListError& e) {
            EXPECT_EQ(e.message().toStdString(), c.message) << c.what;
        }
    }
    EXPECT_EQ(g.RowCount(), 4);
}

TEST(StringGrid, CellsStartEmptyAndNumbersAreWrittenAsDecimalText) {
    StringGrid g(2, 3);
    EXPECT_TRUE(g.Cell(1, 2).isEmpty());
    g.SetCell(1, 2, -1234567890123LL);
    EXPECT_EQ(g.Cell(1, 2), QStringLiteral("-1234567890123"));
    g.SetCell(0, 1, 0LL);
    EXPECT_EQ(g.Cell(0, 1), QStringLiteral("0"));
}

TEST(StringGrid, DeletedRowsTakeTheRowsBelowUpWithTheirSelectionMarks) {
    struct Case {
        std::vector<int> deletions;
        std::vector<std::string> rowsLeft;
        std::vector<std::string> selectedLeft;
    };
    const std::vector<Case> cases = {
        {{1}, {"0", "2", "3", "4", "5"}, {"3", "5"}},
        {{5}, {"0", "1", "2", "3", "4"}, {"1", "3"}},
        {{3, 3}, {"0", "1", "2", "5"}, {"1", "5"}},
        {{1, 1, 1, 1, 1}, {"0"}, {}},
    };
    for (const Case& c : cases) {
        StringGrid g = NumberedGrid(5);
        for (int r : {1, 3, 5})
            g.SetRowSelected(r, true);
        for (int r : c.deletions)
            g.DeleteRow(r);
        EXPECT_EQ(Column0(g), c.rowsLeft);
        std::vector<std::string> selected;
        for (int r = 0; r < g.RowCount(); ++r) {
            if (g.RowSelected(r)) selected.push_back(g.Cell(0, r).toStdString());
        }
        EXPECT_EQ(selected, c.selectedLeft);
        EXPECT_EQ(g.SelectedCount(), static_cast<int>(c.selectedLeft.size()));
    }
}

TEST(StringGrid, SerialsFindRowsAgainAfterRowsAboveThemWent) {
    StringGrid g = NumberedGrid(6);
    std::vector<std::uint64_t> serials;
    for (int r = 0; r < g.RowCount(); ++r)
        serials.push_back(g.RowSerial(r));
    for (std::size_t i = 1; i < serials.size(); ++i)
        EXPECT_GT(serials[i], serials[i - 1]);

    g.DeleteRow(2);
    g.DeleteRow(1);
    g.SetRowCount(g.RowCount() + 2);  // new rows get serials above every old one
    EXPECT_GT(g.RowSerial(g.RowCount() - 1), serials.back());

    EXPECT_EQ(g.RowOfSerial(serials[1]), -1);
    EXPECT_EQ(g.RowOfSerial(serials[2]), -1);
    EXPECT_EQ(g.RowOfSerial(serials[3]), 1);
    EXPECT_EQ(g.RowOfSerial(serials[6]), 4);
    EXPECT_EQ(g.Cell(0, g.RowOfSerial(serials[5])), QStringLiteral("5"));
    EXPECT_EQ(g.RowOfSerial(0), -1);
    EXPECT_EQ(g.RowOfSerial(serials.back() + 1000), -1);
}

TEST(StringGrid, RowCountChangesKeepTheSelectionCountExact) {
    StringGrid g(1, 11);
    for (int r = 1; r <= 10; ++r)
        g.SetRowSelected(r, r % 2 == 0);
    g.SetRowSelected(0, true);  // the header never joins the selection
    EXPECT_FALSE(g.RowSelected(0));
    EXPECT_EQ(g.SelectedCount(), 5);
    g.SetRowSelected(4, true);  // already selected: no double count
    EXPECT_EQ(g.SelectedCount(), 5);
    g.SetRowCount(7);  // drops rows 7..10: two selected (8, 10)
    EXPECT_EQ(g.SelectedCount(), 3);
    g.SetRowCount(20);
    EXPECT_FALSE(g.RowSelected(19));
    EXPECT_EQ(g.SelectedCount(), 3);
    g.ClearSelection();
    EXPECT_EQ(g.SelectedCount(), 0);
    EXPECT_FALSE(g.RowSelected(2));
}

TEST(StringGrid, ObserversSeeEveryChangeWithWhatItReplaced) {
    StringGrid g(2, 3);
    Recorder rec;
    g.AddObserver(&rec);
    g.AddObserver(&rec);  // adding twice must not double the notifications

    g.SetCell(1, 2, QStringLiteral("a"));
    g.SetCell(1, 2, QStringLiteral("a"));  // unchanged: nothing to tell
    g.SetCell(1, 2, QStringLiteral("b"));
    g.SetRowCount(5);
    g.DeleteRow(1);
    g.SetRowCount(2);
    g.SetRowSelected(1, true);
    g.ClearSelection();
    g.ClearSelection();
    g.HideTableColumn(1);
    g.HideTableColumn(1);
    g.ShowTableColumn(1);
    g.SetColWidth(0, 99);
    g.Repaint();

    const std::vector<std::string> expected = {
        "cell 1,2 was ''", "cell 1,2 was 'a'", "inserted 3+2", "removing 1+1", "removed 1+1",
        "removing 2+2",    "removed 2+2",      "selection 1",  "selection -1", "columns",
        "columns",         "columns",          "repaint",
    };
    EXPECT_EQ(rec.log, expected);

    g.RemoveObserver(&rec);
    g.SetCell(0, 0, QStringLiteral("x"));
    EXPECT_EQ(rec.log.size(), expected.size());
}

TEST(StringGrid, AnObserverMayLeaveWhileBeingNotified) {
    struct Leaver : StringGrid::Observer {
        StringGrid* grid;
        int calls = 0;
        void CellChanged(int, int, const QString&) override {
            ++calls;
            grid->RemoveObserver(this);
        }
    };
    StringGrid g(1, 2);
    Leaver leaver;
    leaver.grid = &g;
    Recorder after;
    g.AddObserver(&leaver);
    g.AddObserver(&after);
    g.SetCell(0, 1, QStringLiteral("one"));
    g.SetCell(0, 1, QStringLiteral("two"));
    EXPECT_EQ(leaver.calls, 1);
    EXPECT_EQ(after.log.size(), 2u);  // the observer behind it still heard both
}

TEST(StringGrid, HiddenColumnsKeepCellsIndexAndWidth) {
    StringGrid g(3, 2);
    g.SetColWidth(1, 71);
    g.SetCell(1, 1, QStringLiteral("kept"));
    g.HideTableColumn(1);
    EXPECT_TRUE(g.ColumnHidden(1));
    EXPECT_FALSE(g.ColumnHidden(2));
    EXPECT_EQ(g.ColWidth(1), 71);
    g.SetCell(1, 1, QStringLiteral("written while hidden"));
    g.HideTableColumn(1);
    g.ShowTableColumn(1);
    g.ShowTableColumn(1);
    EXPECT_FALSE(g.ColumnHidden(1));
    EXPECT_EQ(g.ColWidth(1), 71);
    EXPECT_EQ(g.Cell(1, 1), QStringLiteral("written while hidden"));
    EXPECT_EQ(g.ColCount(), 3);
}

TEST(StringGrid, RowOfSerialAgreesWithALookAtEveryRow) {
    std::mt19937 rng(7);
    StringGrid g(1, 1);
    std::uint64_t highest = g.RowSerial(0);
    for (int step = 0; step < 600; ++step) {
        if (g.RowCount() < 3 || rng() % 3 != 0) {
            g.SetRowCount(g.RowCount() + static_cast<int>(rng() % 4) + 1);
        } else {
            // Deletions near both ends and in the middle leave gaps of every size.
            const int n = g.RowCount();
            const int picks[] = {1, n - 1,
                                 static_cast<int>(rng() % static_cast<unsigned>(n - 1)) + 1};
            g.DeleteRow(picks[rng() % 3]);
        }
        highest = std::max(highest, g.RowSerial(g.RowCount() - 1));
        std::vector<int> expected(highest + 2, -1);
        for (int r = 0; r < g.RowCount(); ++r)
            expected[g.RowSerial(r)] = r;
        for (std::uint64_t s = 0; s < expected.size(); ++s) {
            ASSERT_EQ(g.RowOfSerial(s), expected[s]) << "serial " << s << " step " << step;
        }
    }
}

// Large tables keep their cells in blocks of many thousand rows: deletions
// that cross block edges, at the top, in the middle and at the bottom, a
// change of the column count and a copy must keep every text in its row.
TEST(StringGrid, LargeTablesKeepEveryTextInItsRowAcrossBlocks) {
    std::mt19937 rng(31);
    StringGrid g(2, 1);
    std::deque<QString> model;
    auto grow = [&](int rows) {
        const int from = g.RowCount();
        g.SetRowCount(from + rows);
        for (int r = from; r < g.RowCount(); ++r) {
            const QString text = QString::number(rng());
            g.SetCell(1, r, text);
            model.push_back(text);
        }
    };
    auto agree = [&](const char* step) {
        ASSERT_EQ(g.RowCount(), static_cast<int>(model.size()) + 1) << step;
        for (int r = 1; r < g.RowCount(); ++r)
            ASSERT_EQ(g.Cell(1, r), model[static_cast<std::size_t>(r - 1)]) << step << " row " << r;
    };
    grow(150'000);
    g.DeleteRows(1, 40'000);  // the rows above move: a whole block goes
    model.erase(model.begin(), model.begin() + 40'000);
    agree("top");
    g.DeleteRows(60'000, 30'000);  // the rows below move, across an edge
    model.erase(model.begin() + 59'999, model.begin() + 89'999);
    agree("middle");
    g.SetRowCount(g.RowCount() - 33'000);  // from the end, across an edge
    model.resize(model.size() - 33'000);
    agree("bottom");
    grow(70'000);
    g.SetColCount(3);
    EXPECT_TRUE(g.Cell(2, g.RowCount() - 1).isEmpty());
    agree("wider");
    const StringGrid copy = g;
    g.SetCell(1, 1, QStringLiteral("changed"));
    EXPECT_EQ(copy.Cell(1, 1), model.front());
    g.SetRowCount(1);
    model.clear();
    grow(10);
    agree("emptied and refilled");
}

// A file read field by field widens its table one column at a time; the
// texts stay in place and columns narrowed away come back empty.
TEST(StringGrid, WideningColumnByColumnKeepsTheTexts) {
    StringGrid g(1, 1500);
    for (int r = 0; r < g.RowCount(); ++r)
        g.SetCell(0, r, static_cast<long long>(r));
    for (int cols = 2; cols <= 300; ++cols) {
        g.SetColCount(cols);
        g.SetCell(cols - 1, 1499, QString::number(cols));
    }
    EXPECT_EQ(g.Cell(0, 1499), "1499");
    EXPECT_EQ(g.Cell(299, 1499), "300");
    EXPECT_EQ(g.Cell(150, 1499), "151");
    g.SetColCount(100);
    g.SetColCount(200);
    EXPECT_TRUE(g.Cell(150, 1499).isEmpty());
    EXPECT_EQ(g.Cell(99, 1499), "100");
    g.SetRowCount(40'000);  // past the first block, at this width
    g.SetCell(199, 39'999, QStringLiteral("last"));
    EXPECT_EQ(g.Cell(199, 39'999), "last");
    EXPECT_EQ(g.Cell(0, 1000), "1000");
}
