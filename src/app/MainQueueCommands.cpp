// The queue toolbar, the four queue buttons of the middle column, and what
// the engine asks of the window while it works.
#include "app/MainUnit.h"

#include "app/DesktopProgress.h"
#include "panes/FilePanels.h"
#include "platform/Guard.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"

#include <QApplication>
#include <QShortcut>
#include <QToolButton>

namespace app {

void TMainForm::ConnectCommands() {
    const auto on = [this](QToolButton* button, void (TMainForm::*handler)()) {
        connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    on(btnStart, &TMainForm::btnStartClick);
    on(btnStop, &TMainForm::btnStopClick);
    on(btnAbort, &TMainForm::btnAbortClick);
    on(btnClearAll, &TMainForm::btnClearAllClick);
    on(btnRemove, &TMainForm::btnRemoveClick);
    on(btnDelayedStart, &TMainForm::btnDelayedStartClick);
    on(btnQueueStats, &TMainForm::btnQueueStatsClick);
    on(btnAbout, &TMainForm::btnAboutClick);
    on(&Panels->QueueButton(panes::Side::Left, false), &TMainForm::btnQueueCopyLeftClick);
    on(&Panels->QueueButton(panes::Side::Right, false), &TMainForm::btnQueueCopyRightClick);
    on(&Panels->QueueButton(panes::Side::Left, true), &TMainForm::btnQueueMoveLeftClick);
    on(&Panels->QueueButton(panes::Side::Right, true), &TMainForm::btnQueueMoveRightClick);
    connect(TimerQueue, &QTimer::timeout, this, [this] { TimerQueueTimer(); });
    auto* remove = new QShortcut(Qt::Key_Delete, GridQueue, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] { btnRemoveClick(); });
}

void TMainForm::btnStartClick() {
    ++runDepth_;
    platform::Guard([this] { session_.Runner().btnStartClick(); });
    --runDepth_;
    SaveQueueChanges();
    if (runDepth_ > 0) return;
    desktop_->RunEnded(isActiveWindow());
    RunEnded();
}

void TMainForm::btnStopClick() {
    platform::Guard([this] { session_.Runner().btnStopClick(); });
}

void TMainForm::btnAbortClick() {
    platform::Guard([this] { session_.Runner().btnAbortClick(); });
}

void TMainForm::btnClearAllClick() {
    platform::Guard([this] { session_.Runner().btnClearAllClick(); });
    SaveQueueChanges();
}

void TMainForm::btnRemoveClick() {
    platform::Guard([this] { session_.Runner().btnRemoveClick(); });
    SaveQueueChanges();
}

void TMainForm::TimerQueueTimer() {
    platform::Guard([this] {
        session_.Runner().TimerQueueTimer();
        desktop_->RunProgress();
    });
}

void TMainForm::QueueFrom(bool fromLeft, const QString& action) {
    const panes::Side from = fromLeft ? panes::Side::Left : panes::Side::Right;
    panes::TCheckFileListBoxEx* source = &Panels->FileList(from);
    panes::TDirectoryListBoxEx* target =
        &Panels->DirList(fromLeft ? panes::Side::Right : panes::Side::Left);
    platform::Guard([&] {
        queue::QueueRequest request;
        request.action = action;
        request.sourceDir = source->Directory();
        request.targetDir = target->Directory();
        request.entries.reserve(static_cast<std::size_t>(source->Count()));
        for (int i = 0; i < source->Count(); ++i)
            request.entries.push_back(
                {source->Item(i), source->Ticked(i), source->IsDirectoryEntry(i)});
        request.untick = [source](int index) {
            if (index >= 0 && index < source->Count()) source->SetTicked(index, false);
        };
        session_.QueueSelected(request);
    });
    SaveQueueChanges();
}

void TMainForm::btnQueueCopyLeftClick() {
    QueueFrom(true, queue::ActionCopy);
}

void TMainForm::btnQueueCopyRightClick() {
    QueueFrom(false, queue::ActionCopy);
}

void TMainForm::btnQueueMoveLeftClick() {
    QueueFrom(true, queue::ActionMove);
}

void TMainForm::btnQueueMoveRightClick() {
    QueueFrom(false, queue::ActionMove);
}

void TMainForm::RefreshQueueView() {
    // Coalesced by Qt: a run that drops many rows per second paints once per pass.
    GridQueue->viewport()->update();
}

void TMainForm::SetQueueTimer(bool enabled) {
    if (enabled) {
        desktop_->RunStarted();
        runClock_.start();
        TimerQueue->start();
    } else {
        TimerQueue->stop();
    }
}

void TMainForm::RepaintDirectoryLists() {
    for (panes::Side side : {panes::Side::Left, panes::Side::Right})
        Panels->DirList(side).viewport()->repaint();
}

void TMainForm::RereadPanes() {
    for (panes::Side side : {panes::Side::Left, panes::Side::Right}) {
        Panels->DirList(side).Update();
        Panels->FileList(side).Update();
    }
}

void TMainForm::SetBusyCursor(bool busy) {
    // The cursor is busy for as long as a queueing command adds rows.
    queueingDepth_ += busy ? 1 : -1;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace app
