// The queue toolbar, the four queue buttons of the middle column, and what
// the engine asks of the window while it works.
#include "app/MainUnit.h"

#include "panes/FilePanels.h"
#include "platform/Guard.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"

#include <QApplication>
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
    on(Panels->btnQueueCopyLeft, &TMainForm::btnQueueCopyLeftClick);
    on(Panels->btnQueueCopyRight, &TMainForm::btnQueueCopyRightClick);
    on(Panels->btnQueueMoveLeft, &TMainForm::btnQueueMoveLeftClick);
    on(Panels->btnQueueMoveRight, &TMainForm::btnQueueMoveRightClick);
    connect(TimerQueue, &QTimer::timeout, this, [this] { TimerQueueTimer(); });
}

void TMainForm::btnStartClick() {
    ++runDepth_;
    platform::Guard([this] { session_.btnStartClick(); });
    --runDepth_;
    SaveQueueChanges();
    if (runDepth_ == 0) RunEnded();
}

void TMainForm::btnStopClick() {
    platform::Guard([this] { session_.btnStopClick(); });
}

void TMainForm::btnAbortClick() {
    platform::Guard([this] { session_.btnAbortClick(); });
}

void TMainForm::btnClearAllClick() {
    platform::Guard([this] { session_.btnClearAllClick(); });
    SaveQueueChanges();
}

void TMainForm::btnRemoveClick() {
    platform::Guard([this] { session_.btnRemoveClick(); });
    SaveQueueChanges();
}

void TMainForm::TimerQueueTimer() {
    platform::Guard([this] { session_.TimerQueueTimer(); });
}

void TMainForm::QueueFrom(bool fromLeft, const QString& action) {
    panes::TCheckFileListBoxEx* source = fromLeft ? Panels->FileListLeft : Panels->FileListRight;
    panes::TDirectoryListBoxEx* target = fromLeft ? Panels->DirListRight : Panels->DirListLeft;
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
        runClock_.start();
        TimerQueue->start();
    } else {
        TimerQueue->stop();
    }
}

void TMainForm::RepaintDirectoryLists() {
    Panels->DirListLeft->viewport()->repaint();
    Panels->DirListRight->viewport()->repaint();
}

void TMainForm::RereadPanes() {
    Panels->DirListLeft->Update();
    Panels->FileListLeft->Update();
    Panels->DirListRight->Update();
    Panels->FileListRight->Update();
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
