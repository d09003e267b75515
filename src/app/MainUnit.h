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

class TDesktopProgress;
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

    // Before the first activation: file-list changes keep their dot entries.
    bool FirstActivation() const { return phase_ == Phase::Created; }

    QLabel* lblVersion;
    panes::TFilePanels* Panels;  // PanelFiles and Splitter3 with everything inside
    platform::TStringGridEx* GridQueue;
    TRichStatusBar* StatusBar1;
    QTimer* TimerQueue;

    // The delayed start and statistics dialogs are created hidden at start and
    // kept; the About dialog is made anew at each opening.
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

    // Where the window is in its life. A close asked for while the queue file
    // loads waits for the whole queue; one asked for during a run saves now and
    // again when the run returns, and then ends the program.
    enum class Phase { Created, Loading, CloseAfterLoad, Open, QuitWhenRunEnds };

    QWidget* Panel2;
    QWidget* Panel4;
    QToolButton* btnAbout;
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
    persistence::TFormSize* FormSize;
    // timerDelayedStart belongs to the delayed start (DelayedStart->timerDelayedStart).
    TRichHint* RichHint1;
    queue::TDelayedStart* DelayedStart = nullptr;
    queue::TfrmQueueStats* frmQueueStats = nullptr;

    QObject* hintSpeaker_ = nullptr;  // renames a button when its hint changes
    Phase phase_ = Phase::Created;
    ProgramFiles files_;
    QString settingsPath_;
    queue::QueueSession session_;
    std::unique_ptr<TDesktopProgress> desktop_;  // watches the session's table
    // Since the run began, by the clock: the timer's ticks miss the seconds
    // the thread spent stalled.
    QElapsedTimer runClock_;
    // Since the free-space labels were last written during a run.
    QElapsedTimer freeSpaceShown_;
    std::unique_ptr<persistence::QueueJournal> journal_;
    QTimer autosaveTimer_;
    int runDepth_ = 0;
    int queueingDepth_ = 0;
    bool journalFailureShown_ = false;
    bool filesHaveNoPlace_ = false;  // their directory could not be made at close
};

// The main window's background, also used by its tool panels and splitters.
inline constexpr unsigned MainFormColor = 0xD0E6FD;

// The first parts (1 to 4) of the program's version fixed at build time,
// joined by "."; empty text for any other parts.
QString FileVersionText(int parts);

}  // namespace app
