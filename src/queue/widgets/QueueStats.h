#pragma once
// The queue statistics dialog: totals of the queued bytes by target directory
// and by every directory above it, recomputed only when Update is pressed and
// kept between openings.

#include "platform/StringGrid.h"

#include <QDialog>

class QToolButton;
class QWidget;

namespace platform {
class TStringGridEx;
}

namespace queue {

class QueueTable;

class TfrmQueueStats : public QDialog {
    Q_OBJECT
public:
    // The queue table (not owned) must outlive the dialog.
    explicit TfrmQueueStats(const QueueTable& queue, QWidget* parent = nullptr);
    ~TfrmQueueStats() override;

    void FormActivate();
    void btnUpdateClick();

    const platform::StringGrid& Stats() const { return stats_; }

    QWidget* Panel2;
    QToolButton* btnQueueStats;
    platform::TStringGridEx* GridStats;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    const QueueTable& queue_;
    platform::StringGrid stats_;
};

}  // namespace queue
