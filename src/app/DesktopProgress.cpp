#include "app/DesktopProgress.h"

#include "platform/Dialogs.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"

#include <QDBusMessage>
#include <QGuiApplication>
#include <QVariantMap>

#include <algorithm>

namespace app {

namespace {

bool IsFileAction(const QString& action) {
    return action == queue::ActionCopy || action == queue::ActionMove;
}

// The desktop file's name without ".desktop", which is also the icon's.
QString DesktopName() {
    const QString name = QGuiApplication::desktopFileName();
    return name.isEmpty() ? QStringLiteral("ferrovant") : name;
}

}  // namespace

TDesktopProgress::TDesktopProgress(queue::QueueSession& session, const QDBusConnection& bus)
    : session_(session), bus_(bus) {
    session_.Table().Grid().AddObserver(this);
}

TDesktopProgress::~TDesktopProgress() {
    session_.Table().Grid().RemoveObserver(this);
}

QString TDesktopProgress::LauncherUri() {
    return QStringLiteral("application://%1.desktop").arg(DesktopName());
}

QString TDesktopProgress::NoticeText(int filesDone, int notCompleted) {
    return (filesDone == 1 ? QStringLiteral("1 file done, ")
                           : QStringLiteral("%1 files done, ").arg(filesDone)) +
           (notCompleted == 1 ? QStringLiteral("1 row did not complete.")
                              : QStringLiteral("%1 rows did not complete.").arg(notCompleted));
}

void TDesktopProgress::RunStarted() {
    running_ = true;
    filesDone_ = 0;
}

// During a run only the runner takes rows out of the table, each one a job
// that completed.
void TDesktopProgress::RowsAboutToBeRemoved(int first, int count) {
    if (!running_) return;
    for (int row = first; row < first + count; ++row)
        filesDone_ += IsFileAction(session_.Table().Cell(queue::colAction, row)) ? 1 : 0;
}

// The last job row is emptied rather than removed when it completes.
void TDesktopProgress::CellChanged(int col, int row, const QString& oldText) {
    if (running_ && col == queue::colAction && IsFileAction(oldText) &&
        session_.Table().Cell(col, row).isEmpty())
        ++filesDone_;
}

void TDesktopProgress::RunProgress() {
    const queue::TRunCounters& c = session_.Counters();
    const double left =
        static_cast<double>(std::max<std::int64_t>(0, c.PendingBytes - c.CurrentFileDone));
    const double total = static_cast<double>(c.RunBytes) + left;
    SendLauncher(total > 0 ? static_cast<double>(c.RunBytes) / total : 0.0, true);
}

void TDesktopProgress::SendLauncher(double progress, bool visible) {
    if (!bus_.isConnected()) return;
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/canonical/unity/launcherentry/ferrovant"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    const QVariantMap properties{
        {QStringLiteral("progress"), std::clamp(progress, 0.0, 1.0)},
        {QStringLiteral("progress-visible"), visible},
        {QStringLiteral("count"), static_cast<qint64>(session_.Counters().PendingCount)},
        {QStringLiteral("count-visible"), visible}};
    update << LauncherUri() << properties;
    bus_.send(update);
}

void TDesktopProgress::RunEnded(bool windowActive) {
    if (!running_) return;
    running_ = false;
    SendLauncher(0.0, false);
    if (windowActive || !bus_.isConnected()) return;
    // Completed rows have left the table: every job row still in it did not complete.
    const queue::QueueTable& table = session_.Table();
    int notCompleted = 0;
    for (int row = 1; row < table.RowCount(); ++row)
        notCompleted += table.Cell(queue::colStatus, row).isEmpty() ? 0 : 1;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << platform::ApplicationTitle() << 0u << DesktopName()
           << QStringLiteral("The queue run has ended") << NoticeText(filesDone_, notCompleted)
           << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), DesktopName()}} << -1;
    // Sent without waiting for a reply: the window never waits for the desktop.
    bus_.send(notify);
}

}  // namespace app
