#include "queue/widgets/QueueStats.h"

#include "platform/Guard.h"
#include "platform/widgets/DialogFrame.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/QueueTable.h"
#include "queue/StatsTable.h"

#include <QEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace queue {

namespace {

const QColor kToolStripColor(0xD0, 0xE6, 0xFD);

}  // namespace

TfrmQueueStats::TfrmQueueStats(const QueueTable& queue, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      queue_(queue),
      stats_(StatsColumnCount, 2) {
    InitStatsTable(stats_);
    setWindowTitle(QStringLiteral("Queue Statistics"));
    setAccessibleName(windowTitle());
    setFont(platform::ProgramFont());
    // The designed outer size is 704 x 403; this is its client area under a
    // common frame.
    resize(688, 364);

    Panel2 = new QWidget(this);
    Panel2->setFixedHeight(32);
    platform::SetBackground(Panel2, kToolStripColor);
    QFont stripFont = platform::ProgramFont();
    stripFont.setPointSize(10);
    Panel2->setFont(stripFont);

    btnQueueStats = platform::NewFlatButton(
        Panel2, platform::CommandIcon(QStringLiteral("view-refresh"), QStyle::SP_BrowserReload),
        QRect(3, 4, 78, 24), QStringLiteral("Queue Statistics"), QStringLiteral("Update"));
    btnQueueStats->setText(QStringLiteral("Update"));
    btnQueueStats->setIconSize(QSize(16, 16));
    btnQueueStats->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(btnQueueStats, &QToolButton::clicked, this,
            [this] { platform::Guard([this] { btnUpdateClick(); }); });

    GridStats = new platform::TStringGridEx(&stats_, this);
    GridStats->setAccessibleName(QStringLiteral("Queue statistics"));
    GridStats->SetHeaderSortEnabled(true);
    GridStats->SetSortMark(colStatsLevel, Qt::AscendingOrder);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel2);
    layout->addWidget(GridStats, 1);
}

TfrmQueueStats::~TfrmQueueStats() {
    GridStats->SetGrid(nullptr);
}

void TfrmQueueStats::FormActivate() {
    stats_.HideTableColumn(colStatsTotal);
}

void TfrmQueueStats::btnUpdateClick() {
    // The view follows every cell write one by one; for a rebuild of
    // thousands of rows it is cheaper to let go and take the table up again.
    struct Detach {
        platform::TStringGridEx* view;
        platform::StringGrid* grid;
        ~Detach() { view->SetGrid(grid); }
    } detach{GridStats, &stats_};
    GridStats->SetGrid(nullptr);
    UpdateQueueStats(queue_.Grid(), stats_);
    GridStats->SetSortMark(colStatsLevel, Qt::AscendingOrder);
}

void TfrmQueueStats::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfrmQueueStats::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    platform::CentreOnScreen(this);
}

}  // namespace queue
