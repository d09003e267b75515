#include "platform/widgets/AccessibleEntries.h"
#include "platform/widgets/StringGridEx.h"
#include "platform/widgets/StringGridModel.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace platform;

namespace {

const QColor kWhite(Qt::white);
const QColor kBand(0xE2, 0xED, 0xFA);
const QColor kSelected(0xB6, 0xCA, 0xEA);
const QColor kSilver(0xC0, 0xC0, 0xC0);

// A grid of three columns: header row and `dataRows` rows whose cells read "c<col>r<row>".
std::unique_ptr<StringGrid> MakeGrid(int dataRows) {
    auto grid = std::make_unique<StringGrid>(3, dataRows + 1);
    const char* titles[] = {"Name", "Size", "Level"};
    for (int c = 0; c < 3; ++c) {
        grid->SetCell(c, 0, QString::fromLatin1(titles[c]));
        grid->SetColWidth(c, 60 + 10 * c);
        for (int r = 1; r <= dataRows; ++r)
            grid->SetCell(c, r, QStringLiteral("c%1r%2").arg(c).arg(r));
    }
    return grid;
}

QString Text(const QAbstractItemModel* m, int row, int col) {
    return m->data(m->index(row, col)).toString();
}

QColor Background(const QAbstractItemModel* m, int row) {
    return m->data(m->index(row, 0), Qt::BackgroundRole).value<QColor>();
}

std::vector<int> SelectedRows(const StringGrid& grid) {
    std::vector<int> rows;
    for (int r = grid.FixedRows(); r < grid.RowCount(); ++r)
        if (grid.RowSelected(r)) rows.push_back(r);
    return rows;
}

TEST(StringGridModel, FollowsTheGridWithPreciseSignals) {
    auto grid = MakeGrid(3);
    StringGridModel model(grid.get());
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(Text(&model, 0, 2), "c2r1");
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy header(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    grid->SetCell(1, 2, "new");
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(1, 1));
    EXPECT_EQ(changed[0][1].toModelIndex(), model.index(1, 1));
    EXPECT_EQ(Text(&model, 1, 1), "new");

    grid->SetCell(0, 0, "Directory");
    ASSERT_EQ(header.size(), 1);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Directory");

    grid->DeleteRow(1);
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 0);
    EXPECT_EQ(removed[0][2].toInt(), 0);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Text(&model, 0, 1), "new");

    grid->SetRowCount(6);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(inserted[0][2].toInt(), 4);
    EXPECT_EQ(Text(&model, 4, 0), "");

    grid->SetRowCount(2);
    ASSERT_EQ(removed.size(), 2);
    EXPECT_EQ(removed[1][1].toInt(), 1);
    EXPECT_EQ(removed[1][2].toInt(), 4);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(reset.size(), 0) << "no change may fall back to a full reset";
}

TEST(StringGridModel, BandsAndSelectionColours) {
    auto grid = MakeGrid(4);
    StringGridModel model(grid.get());
    grid->SetRowSelected(2, true);
    const QColor expected[] = {kWhite, kSelected, kWhite, kBand};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(Background(&model, r), expected[r]) << "model row " << r;
        EXPECT_EQ(model.data(model.index(r, 1), Qt::ForegroundRole).value<QColor>(),
                  QColor(Qt::black));
    }
}

TEST(StringGridModel, SelectionMarksMoveWithDeletedRows) {
    auto grid = MakeGrid(5);
    StringGridModel model(grid.get());
    for (int r : {2, 4, 5})
        grid->SetRowSelected(r, true);
    grid->DeleteRow(1);
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(Background(&model, 0), kSelected);
    EXPECT_EQ(Background(&model, 1), kBand);
    EXPECT_EQ(Text(&model, 0, 0), "c0r2");
}

TEST(StringGridModel, SelectionBatchIsOneSignal) {
    auto grid = MakeGrid(100);
    StringGridModel model(grid.get());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.BeginSelectionBatch();
    for (int r = 10; r <= 20; ++r)
        grid->SetRowSelected(r, true);
    model.EndSelectionBatch();
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 9);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 19);
}

class StringGridExTest : public ::testing::Test {
protected:
    void Show(int dataRows) {
        grid = MakeGrid(dataRows);
        view = std::make_unique<TStringGridEx>(grid.get());
        view->resize(400, 300);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    QPoint RowPoint(int gridRow) const {
        return view->visualRect(view->model()->index(gridRow - 1, 0)).center();
    }
    void Click(int gridRow, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, RowPoint(gridRow));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, mods);
    }

    std::unique_ptr<StringGrid> grid;
    std::unique_ptr<TStringGridEx> view;
};

TEST_F(StringGridExTest, PresentationRowsHeaderAndNoEditing) {
    Show(3);
    EXPECT_EQ(view->rowHeight(0), 21);
    EXPECT_EQ(view->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_TRUE(view->horizontalHeader()->font().bold());
    EXPECT_FALSE(view->verticalHeader()->isVisible());
    EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(view->columnWidth(c), 60 + 10 * c);
}

TEST_F(StringGridExTest, PaintsBandsSelectionAndSilverLines) {
    Show(3);
    grid->SetRowSelected(3, true);
    const QImage shot = view->viewport()->grab().toImage();
    const QColor expected[] = {kWhite, kBand, kSelected};
    for (int r = 1; r <= 3; ++r) {
        const QRect cell = view->visualRect(view->model()->index(r - 1, 0));
        // A pixel in the blank right part of the cell, past its short text.
        EXPECT_EQ(shot.pixelColor(cell.right() - 3, cell.center().y()), expected[r - 1])
            << "row " << r;
        EXPECT_EQ(shot.pixelColor(cell.center().x(), cell.bottom()), kSilver) << "row " << r;
        EXPECT_EQ(shot.pixelColor(cell.right(), cell.center().y()), kSilver) << "row " << r;
    }
}

TEST_F(StringGridExTest, HiddenColumnKeepsIndexCellsAndWidth) {
    Show(2);
    grid->HideTableColumn(1);
    EXPECT_TRUE(view->isColumnHidden(1));
    EXPECT_EQ(grid->ColWidth(1), 70);
    EXPECT_EQ(view->model()->columnCount(), 3);
    grid->SetCell(1, 1, "still here");
    EXPECT_EQ(Text(view->model(), 0, 1), "still here");
    grid->HideTableColumn(1);  // hiding twice changes nothing
    grid->ShowTableColumn(1);
    EXPECT_FALSE(view->isColumnHidden(1));
    EXPECT_EQ(view->columnWidth(1), 70);
    EXPECT_EQ(view->horizontalHeader()->visualIndex(1), 1);
}

TEST_F(StringGridExTest, ColumnWidthsFlowBothWays) {
    Show(2);
    view->horizontalHeader()->resizeSection(2, 123);  // as the user's drag does
    EXPECT_EQ(grid->ColWidth(2), 123);
    grid->SetColWidth(0, 45);
    EXPECT_EQ(view->columnWidth(0), 45);
    grid->HideTableColumn(0);
    grid->SetColWidth(0, 50);  // a width set while out of view is the one it comes back with
    grid->ShowTableColumn(0);
    EXPECT_EQ(view->columnWidth(0), 50);

    // Switching grids must not carry the old widths into the new one.
    StringGrid other(4, 3);
    for (int c = 0; c < 4; ++c)
        other.SetColWidth(c, 30 + c);
    other.HideTableColumn(3);
    view->SetGrid(&other);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(other.ColWidth(c), 30 + c);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(view->columnWidth(c), 30 + c);
    EXPECT_TRUE(view->isColumnHidden(3));
    view->SetGrid(grid.get());
    EXPECT_EQ(view->columnWidth(0), 50);
}

TEST_F(StringGridExTest, MouseSelectsWholeRowsLikeADesktopList) {
    struct Step {
        int row;
        Qt::KeyboardModifiers mods;
        std::vector<int> selected;
    };
    const Step steps[] = {
        {2, Qt::NoModifier, {2}},
        {4, Qt::ControlModifier, {2, 4}},
        {2, Qt::ControlModifier, {4}},            // toggles off by itself
        {6, Qt::ShiftModifier, {2, 3, 4, 5, 6}},  // anchor is the last Ctrl-click (2)
        {5, Qt::NoModifier, {5}},
        {3, Qt::ShiftModifier | Qt::ControlModifier, {3, 4, 5}},
        {1, Qt::ControlModifier, {1, 3, 4, 5}},
    };
    Show(6);
    for (const Step& s : steps) {
        Click(s.row, s.mods);
        EXPECT_EQ(SelectedRows(*grid), s.selected) << "after click on row " << s.row;
    }
}

TEST_F(StringGridExTest, KeysMoveAndExtendTheSelection) {
    Show(5);
    Click(2);
    Key(Qt::Key_Down);
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{3}));
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{3, 4, 5}));
    Key(Qt::Key_Up, Qt::ControlModifier);  // moves without selecting
    Key(Qt::Key_Up, Qt::ControlModifier);
    Key(Qt::Key_Up, Qt::ControlModifier);
    Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{2, 3, 4, 5}));
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedCount(), 5);
}

TEST_F(StringGridExTest, SelectionFollowsRowsDeletedUnderTheView) {
    Show(4);
    Click(2);
    Click(4, Qt::ControlModifier);
    grid->DeleteRow(1);
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{1, 3}));
    EXPECT_EQ(view->model()->rowCount(), 3);
}

TEST_F(StringGridExTest, HeaderClickSortsOnlyWhenEnabled) {
    Show(4);
    const char* sizes[] = {"10", "9", "100", "9"};
    for (int r = 1; r <= 4; ++r)
        grid->SetCell(1, r, QString::fromLatin1(sizes[r - 1]));
    const auto clickTitle = [&](int col) {
        const QHeaderView* h = view->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(col) + 5, h->height() / 2));
    };
    const auto column = [&](int col) {
        QStringList out;
        for (int r = 1; r < grid->RowCount(); ++r)
            out << grid->Cell(col, r);
        return out;
    };
    clickTitle(1);
    EXPECT_EQ(column(1), QStringList({"10", "9", "100", "9"}));

    view->SetHeaderSortEnabled(true);
    clickTitle(1);  // as numbers, equal rows keep their order
    EXPECT_EQ(column(1), QStringList({"9", "9", "10", "100"}));
    EXPECT_EQ(column(0), QStringList({"c0r2", "c0r4", "c0r1", "c0r3"}));
    EXPECT_EQ(view->SortMarkColumn(), 1);
    clickTitle(1);
    EXPECT_EQ(column(1), QStringList({"100", "10", "9", "9"}));
    EXPECT_EQ(column(0), QStringList({"c0r3", "c0r1", "c0r2", "c0r4"}));
    EXPECT_EQ(view->SortMarkOrder(), Qt::DescendingOrder);
}

// Counts paint events of a widget as they are delivered.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(StringGridExTest, RepaintRequestPaintsAtOnce) {
    Show(2);
    QApplication::processEvents();
    PaintCounter counter;
    view->viewport()->installEventFilter(&counter);
    grid->SetCell(0, 1, "changed");
    EXPECT_EQ(counter.paints, 0) << "a cell change alone waits for the event loop";
    grid->Repaint();  // no event loop pass in between
    EXPECT_EQ(counter.paints, 1);
}

}  // namespace

namespace {

TEST_F(StringGridExTest, AccessibleTableOffersColumnsInViewAndTheGridsSelection) {
    InstallAccessibleEntries();
    Show(3);
    grid->HideTableColumn(1);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(table, nullptr);
    QAccessibleTableInterface* t = table->tableInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->columnCount(), 2);
    EXPECT_EQ(t->rowCount(), 3);
    EXPECT_EQ(t->columnDescription(1), "Level");
    EXPECT_EQ(t->cellAt(2, 1)->text(QAccessible::Name), "c2r3");
    EXPECT_EQ(table->child(1)->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(table->indexOfChild(t->cellAt(2, 1)), 7);

    // Read and set through the table, through a cell's actions, and by the mouse.
    EXPECT_TRUE(t->selectRow(0));
    EXPECT_TRUE(t->selectRow(2));
    EXPECT_EQ(SelectedRows(*grid), (std::vector<int>{1, 3}));
    EXPECT_EQ(t->selectedRows(), (QList<int>{0, 2}));
    EXPECT_TRUE(t->unselectRow(0));
    EXPECT_FALSE(t->isRowSelected(0));
    QAccessibleInterface* cell = t->cellAt(1, 0);
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(t->selectedRows(), (QList<int>{1, 2}));
    EXPECT_TRUE(cell->state().selected);
    cell->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(t->selectedRows(), QList<int>{1});
    Click(1, Qt::ControlModifier);
    EXPECT_EQ(t->selectedRowCount(), 2);
    EXPECT_FALSE(t->selectRow(3));
}

TEST(StringGridModel, WideningTheGridAddsEmptyShownColumns) {
    auto grid = MakeGrid(2);
    TStringGridEx view(grid.get());
    grid->SetColCount(5);
    EXPECT_EQ(view.model()->columnCount(), 5);
    EXPECT_EQ(Text(view.model(), 0, 1), "c1r1");
    EXPECT_EQ(Text(view.model(), 0, 4), "");
    EXPECT_FALSE(view.isColumnHidden(4));
    EXPECT_EQ(view.columnWidth(4), grid->ColWidth(4));
    grid->SetCell(4, 2, "late");
    EXPECT_EQ(Text(view.model(), 1, 4), "late");
}

}  // namespace
