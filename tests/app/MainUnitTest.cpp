#include "app/MainUnit.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"

#include <QHeaderView>

#include <gtest/gtest.h>

namespace {

TEST(MainUnitTest, ShowsTheQueueTableWithRealSizeOutOfView) {
    app::TMainForm form;
    ASSERT_NE(form.GridQueue, nullptr);
    EXPECT_EQ(form.GridQueue->objectName(), "GridQueue");
    EXPECT_EQ(form.centralWidget(), form.GridQueue);
    EXPECT_EQ(form.windowTitle(), "Ferrovant");
    EXPECT_EQ(form.minimumSize(), QSize(780, 580));

    // The empty queue is one vacant row under the header.
    EXPECT_EQ(form.GridQueue->model()->rowCount(), 1);
    EXPECT_TRUE(form.GridQueue->isColumnHidden(queue::colRealSize));
    EXPECT_FALSE(form.GridQueue->isColumnHidden(queue::colFileSize));

    // A job written into the table shows in the view without further calls.
    queue::QueueTable& q = form.Queue();
    const int row = q.AppendRow();
    q.SetCell(queue::colSourceDir, row, "C:\\Src");
    q.SetCell(queue::colStatus, row, queue::StatusPending);
    const QModelIndex status = form.GridQueue->model()->index(row - 1, queue::colStatus);
    EXPECT_EQ(status.data().toString(), "Pending");
}

}  // namespace
