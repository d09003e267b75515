#pragma once
// The main window: the two browsing panes, the queue toolbar and table, the
// status bar. It owns the queue session and is the window the engine talks to.
//
// The files are split by concern: MainUnit.cpp builds the layout,
// MainLifecycle.cpp loads and saves (creation, first activation, close),
// MainQueueCommands.cpp runs the toolbar and queue buttons, and
// MainStatistics.cpp writes the queue's figures onto the status bar.

#include "queue/QueueSession.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <memory>

class QDialog;
class QLabel;
class QToolButton;

namespace panes {
class TFilePanels;
}
namespace queue {
class TDelayedStart;
class TfrmQueueStats;
}  // namespace queue
namespace persistence {
class QueueJournal;
class TFormSize;
}  // namespace persistence
namespace platform {
class TStringGridEx;
}

namespace app {

class TRichHint;
class TRichStatusBar;

// Where the window keeps its settings and its queue: beside the executable,
// per user when the executable's directory cannot be written, or wherever a
// test or a benchmark points it.
struct ProgramFiles {
    QString settings;  // host path of the INI file
    QString queue;     // host path of the queue file
    // The directory a pane opens when its stored one is gone, in drive-letter
    // form: the executable's, or the user's home for a per-user set of files.
    QString home;
    // The files' directories are made at start and again at close.
    bool perUser = false;
    static ProgramFiles ForThisProgram();
};

class TMainForm : public QMainWindow, public queue::QueueWindow {
    Q_OBJECT
public:
    explicit TMainForm(ProgramFiles files = ProgramFiles::ForThisProgram(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    queue::QueueSession& Session() { return session_; }
    queue::QueueTable& Queue() { return session_.Table(); }

    bool FirstActivation = true;

    QWidget* Panel2;
    QWidget* Panel4;
    QToolButton* btnAbout;
    QLabel* lblVersion;
    panes::TFilePanels* Panels;  // PanelFiles and Splitter3 with everything inside
    QWidget* PanelQueue;
    QWidget* Panel1;
    QWidget* PanelQueueToolbar;
    QToolButton* btnStart;
    QToolButton* btnStop;
    QToolButton* btnAbort;
    QToolButton* btnClearAll;
    QToolButton* btnRemove;
    QToolButton* btnDelayedStart;
    QToolButton* btnQueueStats;
    platform::TStringGridEx* GridQueue;
    TRichStatusBar* StatusBar1;
    persistence::TFormSize* FormSize;
    QTimer* TimerQueue;
    // timerDelayedStart belongs to the delayed start (DelayedStart->timerDelayedStart).
    TRichHint* RichHint1;

    // The delayed start and statistics dialogs are created hidden at start and
    // kept; the About dialog is made anew at each opening.
    queue::TDelayedStart* DelayedStart = nullptr;
    queue::TfrmQueueStats* frmQueueStats = nullptr;
    void CreateDialogs();

    // Lifecycle steps (MainLifecycle.cpp). Each throws what its steps throw.
    void FormCreate();
    void FormActivate();
    void LoadSettingsAndQueue();
    void LoadQueueRepainting();
    void PrepareMainWindow();
    // True when the window may close; a failure was shown and it stays open.
    bool FormClose();
    void SaveSettingsAndQueue();
    const QString& SettingsPath() const { return settingsPath_; }
    const ProgramFiles& Files() const { return files_; }

    // Queue toolbar and middle buttons (MainQueueCommands.cpp).
    void btnStartClick();
    void btnStopClick();
    void btnAbortClick();
    void btnClearAllClick();
    void btnRemoveClick();
    void btnQueueCopyLeftClick();
    void btnQueueCopyRightClick();
    void btnQueueMoveLeftClick();
    void btnQueueMoveRightClick();
    void TimerQueueTimer();

    // queue::QueueWindow
    void RefreshStatistics() override;
    void RefreshQueueView() override;
    void SetQueueTimer(bool enabled) override;
    void RepaintDirectoryLists() override;
    void RereadPanes() override;
    void SetBusyCursor(bool busy) override;

    // Writes what the queue changed to the journal now (after each command).
    void SaveQueueChanges();
    const persistence::QueueJournal* Journal() const { return journal_.get(); }
    // A run is in progress (the Start handler has not returned).
    bool Running() const { return runDepth_ > 0; }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildTitleBar();
    void BuildQueueArea();
    void ConnectCommands();
    void NameForAccessibility();
    void QueueFrom(bool fromLeft, const QString& action);
    void btnAboutClick();
    void btnDelayedStartClick();
    void btnQueueStatsClick();
    void StartJournal();
    void MakeFileDirectories();
    void RunEnded();

    ProgramFiles files_;
    QString settingsPath_;
    queue::QueueSession session_;
    // Since the run began, by the clock: the timer's ticks miss the seconds
    // the thread spent stalled.
    QElapsedTimer runClock_;
    // Since the free-space labels were last written during a run.
    QElapsedTimer freeSpaceShown_;
    std::unique_ptr<persistence::QueueJournal> journal_;
    QTimer autosaveTimer_;
    int runDepth_ = 0;
    int queueingDepth_ = 0;
    bool quitWhenRunEnds_ = false;
    bool loading_ = false;
    bool closeAfterLoad_ = false;
    bool journalFailureShown_ = false;
    bool filesHaveNoPlace_ = false;  // their directory could not be made at close
};

// The main window's background, also used by its tool panels and splitters.
inline constexpr unsigned MainFormColor = 0xD0E6FD;

// The first parts (1 to 4) of the program's version fixed at build time,
// joined by "."; empty text for any other parts.
QString FileVersionText(int parts);

}  // namespace app
