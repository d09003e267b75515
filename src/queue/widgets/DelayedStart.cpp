#include "queue/widgets/DelayedStart.h"

#include "platform/Dialogs.h"
#include "platform/Guard.h"
#include "platform/Locale.h"
#include "platform/widgets/DialogFrame.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"

#include <QDateEdit>
#include <QLabel>
#include <QTimeEdit>
#include <QToolButton>

#include <cmath>

namespace queue {

namespace {

constexpr double kMsPerDay = 86'400'000.0;

}  // namespace

platform::TDateTime ProposeDelayedStart(platform::TDateTime now) {
    // By whole milliseconds, so that a moment ten minutes on that is a whole
    // minute is not pushed back a minute by rounding.
    const double later = now + 1.0 / 144.0;
    double days = std::floor(later);
    auto ms = static_cast<long long>(std::llround((later - days) * kMsPerDay));
    if (ms >= static_cast<long long>(kMsPerDay)) {
        days += 1;
        ms -= static_cast<long long>(kMsPerDay);
    }
    ms -= ms % 60'000;
    return days + static_cast<double>(ms) / kMsPerDay;
}

TfrmDelayedStart::TfrmDelayedStart(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Delayed Start"));
    setAccessibleName(windowTitle());
    setFixedSize(283, 70);
    setFont(platform::ProgramFont());
    platform::SetBackground(this, Qt::white);

    DatePicker = new QDateEdit(this);
    DatePicker->setGeometry(75, 10, 96, 21);
    DatePicker->setCalendarPopup(true);
    DatePicker->setAccessibleName(QStringLiteral("Start date"));
    TimePicker = new QTimeEdit(this);
    TimePicker->setGeometry(75, 35, 96, 21);
    TimePicker->setAccessibleName(QStringLiteral("Start time"));
    // The pickers show the program's locale formats, spelled the way its texts are.
    DatePicker->setLocale(QLocale::c());
    TimePicker->setLocale(QLocale::c());

    Label1 = new QLabel(QStringLiteral("Start date"), this);
    Label1->move(10, 15);
    Label1->setBuddy(DatePicker);
    Label2 = new QLabel(QStringLiteral("Start time"), this);
    Label2->move(10, 40);
    Label2->setBuddy(TimePicker);
    for (QLabel* label : {Label1, Label2}) {
        label->setAccessibleName(label->text());
        label->adjustSize();
    }

    btnOk = platform::NewFlatButton(this, platform::RoundMarkIcon(platform::RoundMark::Tick, 30),
                                    QRect(190, 13, 34, 34), QString(), QStringLiteral("OK"));
    btnCancel =
        platform::NewFlatButton(this, platform::RoundMarkIcon(platform::RoundMark::Cross, 30),
                                QRect(230, 13, 34, 34), QString(), QStringLiteral("Cancel"));
    connect(btnOk, &QToolButton::clicked, this,
            [this] { platform::Guard([this] { btnOkClick(); }); });
    connect(btnCancel, &QToolButton::clicked, this, [this] { btnCancelClick(); });

    setTabOrder(DatePicker, TimePicker);
    setTabOrder(TimePicker, btnOk);
    setTabOrder(btnOk, btnCancel);
}

void TfrmDelayedStart::SetProposal(platform::TDateTime value) {
    // The locale may have changed since the last opening.
    DatePicker->setDisplayFormat(platform::CurrentLocale().shortDateFormat);
    TimePicker->setDisplayFormat(platform::CurrentLocale().longTimeFormat);
    DatePicker->setDate(platform::DatePart(value));
    TimePicker->setTime(platform::TimePart(value));
}

void TfrmDelayedStart::btnOkClick() {
    StartDateTime = platform::ToDateTime(DatePicker->date(), TimePicker->time());
    if (platform::Now() > StartDateTime) {
        platform::ShowNotice(QStringLiteral("Delayed start time cannot be in the past!"));
        return;
    }
    accept();
}

void TfrmDelayedStart::btnCancelClick() {
    reject();
}

void TfrmDelayedStart::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    platform::CentreOnScreen(this);
    DatePicker->setFocus();
}

TDelayedStart::TDelayedStart(QWidget* window, QWidget* btnDelayedStart,
                             std::function<void()> btnStartClick)
    : QObject(window),
      button_(btnDelayedStart),
      btnStartClick_(std::move(btnStartClick)),
      dialog_(new TfrmDelayedStart(window)) {
    timerDelayedStart.setInterval(1000);
    connect(&timerDelayedStart, &QTimer::timeout, this,
            [this] { platform::Guard([this] { timerDelayedStartTimer(); }); });
    SetHint(DelayedStartDisabledHint);
}

void TDelayedStart::SetHint(const QString& hint) {
    if (!button_) return;
    button_->setToolTip(hint);
    button_->setAccessibleDescription(hint);
}

void TDelayedStart::btnDelayedStartClick() {
    if (timerDelayedStart.isActive()) {
        timerDelayedStart.stop();
        platform::ShowNotice(QStringLiteral("Delayed start is disabled"));
        SetHint(DelayedStartDisabledHint);
        return;
    }
    dialog_->SetProposal(ProposeDelayedStart(platform::Now()));
    if (dialog_->exec() != QDialog::Accepted) return;
    delayedStartTime_ = dialog_->StartDateTime;
    timerDelayedStart.start();
    const QString moment = platform::FormatDateTime(delayedStartTime_);
    platform::ShowNotice(QStringLiteral("Delayed start: ") + moment);
    SetHint(QStringLiteral("Delayed start: ") + moment + QStringLiteral(", click to disable"));
}

void TDelayedStart::timerDelayedStartTimer() {
    if (!timerDelayedStart.isActive() || !(platform::Now() > delayedStartTime_)) return;
    // Off before Start runs: Start pumps events, and the tick must not come back in.
    timerDelayedStart.stop();
    SetHint(DelayedStartDisabledHint);
    if (btnStartClick_) btnStartClick_();
}

}  // namespace queue
