#pragma once
// The delayed start: the small dialog that picks a start date and time, and
// the main window's part of it (the armed moment, the one-second timer that
// presses Start once that moment has passed, the hints of the toggle button).
// The armed state lives only in memory: every program start begins disarmed.

#include "platform/Clock.h"

#include <QDialog>
#include <QObject>
#include <QTimer>

#include <functional>

class QDateEdit;
class QLabel;
class QTimeEdit;
class QToolButton;
class QWidget;

namespace queue {

// The whole minute at or before the moment ten minutes after now (the next
// day's date when that passes midnight).
platform::TDateTime ProposeDelayedStart(platform::TDateTime now);

class TfrmDelayedStart : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDelayedStart(QWidget* parent = nullptr);

    // Gives the full value to both pickers: the date picker shows its date,
    // the time picker its time.
    void SetProposal(platform::TDateTime value);
    // Written by btnOkClick: the date of DatePicker plus the time of TimePicker.
    platform::TDateTime StartDateTime = 0;

    void btnOkClick();
    void btnCancelClick();

    QLabel* Label1;
    QLabel* Label2;
    QDateEdit* DatePicker;
    QTimeEdit* TimePicker;
    QToolButton* btnOk;
    QToolButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
};

// The main window's delayed start. The window creates it with itself as the
// parent (of the dialog and the timer), the button whose hint mirrors the
// armed state, and the Start command to press.
class TDelayedStart : public QObject {
    Q_OBJECT
public:
    TDelayedStart(QWidget* window, QWidget* btnDelayedStart, std::function<void()> btnStartClick);

    // The toggle: opens the dialog when disarmed, disarms when armed.
    void btnDelayedStartClick();
    // Every second while armed: presses Start once the armed moment has passed.
    void timerDelayedStartTimer();

    bool Armed() const { return timerDelayedStart.isActive(); }
    platform::TDateTime DelayedStartTime() const { return delayedStartTime_; }
    TfrmDelayedStart& Dialog() { return *dialog_; }

    QTimer timerDelayedStart;

private:
    void SetHint(const QString& hint);

    QWidget* button_;
    std::function<void()> btnStartClick_;
    TfrmDelayedStart* dialog_;
    platform::TDateTime delayedStartTime_ = 0;
};

inline const QString DelayedStartDisabledHint =
    QStringLiteral("Delayed start is disabled, click to set");

}  // namespace queue
