#pragma once
// A queue run as the desktop shows it outside the window: while it lasts, the
// launcher entry (the taskbar or dock icon) shows its progress and the number
// of pending files; when it ends while the window is not active, a
// notification says how many files were done and how many rows did not
// complete. Both go over the session bus and are silent without one.

#include "platform/StringGrid.h"

#include <QDBusConnection>
#include <QString>

namespace queue {
class QueueSession;
}

namespace app {

class TDesktopProgress : private platform::StringGrid::Observer {
public:
    explicit TDesktopProgress(queue::QueueSession& session,
                              const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~TDesktopProgress() override;
    TDesktopProgress(const TDesktopProgress&) = delete;
    TDesktopProgress& operator=(const TDesktopProgress&) = delete;

    // A run began: files done count from here.
    void RunStarted();
    // The launcher entry shows the run's progress and the pending count.
    void RunProgress();
    // The run is over: the launcher entry lets go; the notice is sent unless
    // the user was looking at the window.
    void RunEnded(bool windowActive);

    // The launcher entry's name for the program: its desktop file's.
    static QString LauncherUri();
    // The notice's text for a run.
    static QString NoticeText(int filesDone, int notCompleted);

private:
    void RowsAboutToBeRemoved(int first, int count) override;
    void CellChanged(int col, int row, const QString& oldText) override;
    void SendLauncher(double progress, bool visible);

    queue::QueueSession& session_;
    QDBusConnection bus_;
    bool running_ = false;
    int filesDone_ = 0;
};

}  // namespace app
