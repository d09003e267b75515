#include "platform/Clock.h"
#include "platform/StringGrid.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/QueueTable.h"
#include "queue/StatsTable.h"
#include "queue/Vocabulary.h"
#include "queue/widgets/DelayedStart.h"
#include "queue/widgets/QueueStats.h"
#include "support/LocaleGuard.h"
#include "support/ScriptedDialogs.h"
#include "support/widgets/WhenModal.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include <gtest/gtest.h>

using platform::TDateTime;
using namespace queue;
using testsupport::WhenModalShows;

namespace {

TDateTime At(int day, int h, int m, int s, int ms = 0) {
    return platform::ToDateTime(QDate(2026, 12, day), QTime(h, m, s, ms));
}

TEST(DelayedStartProposalTest, WholeMinuteTenMinutesOn) {
    const struct {
        TDateTime now, expected;
    } cases[] = {
        {At(9, 10, 3, 47), At(9, 10, 13, 0)},      {At(9, 23, 58, 10), At(10, 0, 8, 0)},
        {At(9, 23, 55, 30), At(10, 0, 5, 0)},      {At(9, 10, 3, 0), At(9, 10, 13, 0)},
        {At(9, 10, 2, 59, 999), At(9, 10, 12, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::FormatDateTime(ProposeDelayedStart(c.now)),
                  platform::FormatDateTime(c.expected))
            << platform::FormatDateTime(c.now).toStdString();
}

class DelayedStartTest : public ::testing::Test {
protected:
    DelayedStartTest() {
        platform::SetClock([this] { return now_; });
    }
    ~DelayedStartTest() override { platform::SetClock({}); }

    // Opens the dialog through the toggle; action runs on it while it is up.
    void Click(std::function<void(TfrmDelayedStart*)> action = {}) {
        if (action)
            WhenModalShows([action](QDialog* d) { action(static_cast<TfrmDelayedStart*>(d)); });
        delayed_.btnDelayedStartClick();
    }
    static void Choose(TfrmDelayedStart* d, TDateTime when) {
        d->DatePicker->setDate(platform::DatePart(when));
        d->TimePicker->setTime(platform::TimePart(when));
    }

    testsupport::LocaleGuard locale_{platform::EnglishLocale()};
    testsupport::ScriptedDialogs dialogs_;
    TDateTime now_ = At(9, 10, 3, 47);
    QWidget window_;
    QToolButton button_{&window_};
    int starts_ = 0;
    bool armedDuringStart_ = true;
    TDelayedStart delayed_{&window_, &button_, [this] {
                               ++starts_;
                               armedDuringStart_ = delayed_.Armed();
                           }};
};

TEST_F(DelayedStartTest, ArmedMomentPressesStartOnceAtTheFirstTickAfterIt) {
    EXPECT_EQ(button_.toolTip(), DelayedStartDisabledHint);
    EXPECT_EQ(delayed_.timerDelayedStart.interval(), 1000);
    dialogs_.ExpectNotice(QStringLiteral("Delayed start: 12/9/2026 10:13:00 AM"));
    Click([](TfrmDelayedStart* d) {
        EXPECT_EQ(d->DatePicker->date(), QDate(2026, 12, 9));
        EXPECT_EQ(d->TimePicker->time(), QTime(10, 13, 0));
        EXPECT_EQ(d->DatePicker->text(), QStringLiteral("12/9/2026"));
        d->btnOk->click();
    });
    ASSERT_TRUE(delayed_.Armed());
    EXPECT_EQ(button_.toolTip(),
              QStringLiteral("Delayed start: 12/9/2026 10:13:00 AM, click to disable"));

    now_ = At(9, 10, 13, 0);  // the moment itself is not yet past it
    delayed_.timerDelayedStartTimer();
    EXPECT_EQ(starts_, 0);
    // A machine that slept through the moment starts at its first tick after waking.
    now_ = At(9, 19, 0, 0);
    delayed_.timerDelayedStartTimer();
    delayed_.timerDelayedStartTimer();
    EXPECT_EQ(starts_, 1);
    EXPECT_FALSE(armedDuringStart_);
    EXPECT_EQ(button_.toolTip(), DelayedStartDisabledHint);
}

TEST_F(DelayedStartTest, MidnightShowsTheDateAlone) {
    dialogs_.ExpectNotice(QStringLiteral("Delayed start: 12/10/2026"));
    Click([](TfrmDelayedStart* d) {
        Choose(d, At(10, 0, 0, 0));
        d->btnOk->click();
    });
    EXPECT_EQ(button_.toolTip(), QStringLiteral("Delayed start: 12/10/2026, click to disable"));
    EXPECT_EQ(delayed_.DelayedStartTime(), At(10, 0, 0, 0));
}

TEST_F(DelayedStartTest, PastMomentIsRefusedAndTheDialogStaysOpen) {
    dialogs_.ExpectNotice(QStringLiteral("Delayed start time cannot be in the past!"))
        .ExpectNotice(QStringLiteral("Delayed start: 12/9/2026 10:03:47 AM"));
    bool stayedOpen = false;
    Click([&](TfrmDelayedStart* d) {
        Choose(d, At(9, 10, 3, 40));
        d->btnOk->click();
        stayedOpen = d->isVisible() && d->TimePicker->time() == QTime(10, 3, 40);
        // The present moment itself is accepted.
        Choose(d, now_);
        d->btnOk->click();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(delayed_.Armed());
    EXPECT_EQ(dialogs_.Remaining(), 0);
}

TEST_F(DelayedStartTest, CancelAndCloseBoxChangeNothing) {
    Click([](TfrmDelayedStart* d) { d->btnCancel->click(); });
    Click([](TfrmDelayedStart* d) { d->close(); });
    Click([](TfrmDelayedStart* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_FALSE(delayed_.Armed());
    EXPECT_TRUE(dialogs_.Shown().empty());
    EXPECT_EQ(button_.toolTip(), DelayedStartDisabledHint);
}

TEST_F(DelayedStartTest, ClickWhileArmedDisarmsAndStartNeverRuns) {
    dialogs_.ExpectNotice(QStringLiteral("Delayed start: 12/9/2026 10:13:00 AM"))
        .ExpectNotice(QStringLiteral("Delayed start is disabled"));
    Click([](TfrmDelayedStart* d) { d->btnOk->click(); });
    delayed_.btnDelayedStartClick();
    EXPECT_FALSE(delayed_.Armed());
    EXPECT_EQ(button_.toolTip(), DelayedStartDisabledHint);
    now_ = At(9, 12, 0, 0);
    delayed_.timerDelayedStartTimer();
    EXPECT_EQ(starts_, 0);
}

class QueueStatsDialogTest : public ::testing::Test {
protected:
    void Queue(std::initializer_list<std::pair<const char*, const char*>> rows) {
        platform::StringGrid& grid = table_.Grid();
        int row = grid.RowCount();
        if (row == 2 && grid.Cell(colSourceDir, 1).isEmpty()) row = 1;
        grid.SetRowCount(row + static_cast<int>(rows.size()));
        for (const auto& [target, size] : rows) {
            grid.SetCell(colSourceDir, row, QStringLiteral("C:\\Src"));
            grid.SetCell(colTargetDir, row, QString::fromLatin1(target));
            grid.SetCell(colRealSize, row, QString::fromLatin1(size));
            grid.SetCell(colAction, row, ActionCopy);
            grid.SetCell(colStatus, row, StatusPending);
            ++row;
        }
    }
    std::vector<QString> Dirs() const {
        std::vector<QString> dirs;
        for (int r = 1; r < dialog_.Stats().RowCount(); ++r)
            dirs.push_back(dialog_.Stats().Cell(colStatsDir, r));
        return dirs;
    }
    void ClickTitle(int col) {
        QHeaderView* header = dialog_.GridStats->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(col) + 5, 5));
    }

    testsupport::LocaleGuard locale_{platform::EnglishLocale()};
    testsupport::ScriptedDialogs dialogs_;
    QueueTable table_;
    TfrmQueueStats dialog_{table_};
};

TEST_F(QueueStatsDialogTest, DesignedTableUntilTheFirstUpdate) {
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Queue Statistics"));
    EXPECT_EQ(dialog_.Stats().RowCount(), 2);
    EXPECT_FALSE(dialog_.Stats().ColumnHidden(colStatsTotal));
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    EXPECT_TRUE(dialog_.Stats().ColumnHidden(colStatsTotal));
    EXPECT_TRUE(dialog_.GridStats->isColumnHidden(colStatsTotal));
    EXPECT_EQ(dialog_.GridStats->columnWidth(colStatsDir), 301);
    EXPECT_EQ(dialog_.GridStats->SortMarkColumn(), colStatsLevel);
    EXPECT_EQ(dialog_.btnQueueStats->text(), QStringLiteral("Update"));
}

TEST_F(QueueStatsDialogTest, FiguresChangeOnlyOnUpdateAndTitlesSort) {
    Queue({{"D:\\Backup\\Photos", "1000.00"}, {"D:\\Backup", "500.00"}, {"E:\\Music", "70.00"}});
    dialog_.show();
    dialog_.btnQueueStats->click();
    const std::vector<QString> updated = {"D:", "E:", "D:\\Backup", "E:\\Music",
                                          "D:\\Backup\\Photos"};
    EXPECT_EQ(Dirs(), updated);
    EXPECT_EQ(dialog_.GridStats->model()->rowCount(), 5);
    Queue({{"F:\\New", "1.00"}});
    dialog_.hide();
    dialog_.show();
    EXPECT_EQ(Dirs(), updated);

    ClickTitle(colStatsDir);
    EXPECT_EQ(Dirs().front(), QStringLiteral("D:"));
    EXPECT_EQ(Dirs().back(), QStringLiteral("E:\\Music"));
    ClickTitle(colStatsDir);
    EXPECT_EQ(Dirs().front(), QStringLiteral("E:\\Music"));
    EXPECT_EQ(dialog_.GridStats->SortMarkOrder(), Qt::DescendingOrder);
    ClickTitle(colStatsLevel);
    EXPECT_EQ(Dirs().back(), QStringLiteral("D:\\Backup\\Photos"));
}

TEST_F(QueueStatsDialogTest, UnreadableSizeIsReportedAndTheTableStaysAsBuilt) {
    Queue({{"D:\\A", "10.00"}, {"E:\\B", "1-2"}});
    dialogs_.ExpectErrorBox(QStringLiteral("Cell does not contain a float value"));
    dialog_.btnQueueStats->click();
    EXPECT_EQ(Dirs(), (std::vector<QString>{"D:\\A", "D:"}));
    EXPECT_FALSE(dialog_.GridStats->isColumnHidden(colStatsTotal));
    EXPECT_EQ(dialog_.GridStats->Grid(), &dialog_.Stats());
    EXPECT_EQ(dialog_.GridStats->model()->rowCount(), 2);
}

}  // namespace
