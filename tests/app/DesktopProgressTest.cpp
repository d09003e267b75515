#include "app/DesktopProgress.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop on a private bus: answers Notify and hears the
// launcher entry's Update signals.
class Desktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList notices;
    QList<QVariantMap> updates;
    QStringList uris;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        notices << summary + ": " + body;
        return 1;
    }
    void Update(const QString& uri, const QVariantMap& properties) {
        uris << uri;
        updates << properties;
    }
};

// Waits for what travels over the bus; the deadline only keeps a broken bus
// from hanging the test.
template <typename Done>
bool Await(Done done) {
    const QDeadlineTimer deadline(30'000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

int AddRow(queue::QueueTable& table, const QString& action, const QString& status) {
    const int row = table.AppendRow();
    table.SetCell(queue::colSourceDir, row, QStringLiteral("C:\\Src"));
    table.SetCell(queue::colAction, row, action);
    table.SetCell(queue::colStatus, row, status);
    return row;
}

TEST(DesktopProgress, LauncherEntryFollowsTheRunAndAnUnseenEndIsNoticed) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    QProcess bus;
    bus.start(daemon, {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(30'000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    Desktop desktop;
    {
        QDBusConnection service = QDBusConnection::connectToBus(address, "desktop");
        ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &desktop,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry",
                                    "Update", &desktop, SLOT(Update(QString, QVariantMap))));

        queue::QueueSession session;
        queue::QueueTable& table = session.Table();
        app::TDesktopProgress progress(session, QDBusConnection::connectToBus(address, "program"));
        const int first = AddRow(table, queue::ActionCopy, queue::StatusPending);
        AddRow(table, queue::ActionRemoveDir, queue::StatusPending);
        AddRow(table, queue::ActionMove, queue::StatusPending);

        // A run seen through: progress while it lasts, no notice at its end.
        progress.RunStarted();
        queue::TRunCounters& counters = session.Counters();
        counters.RunBytes = 100;
        counters.CurrentFileDone = 50;
        counters.PendingCount = 2;
        counters.PendingBytes = 350;
        progress.RunProgress();
        progress.RunEnded(true);
        ASSERT_TRUE(Await([&] { return desktop.updates.size() == 2; }));
        EXPECT_EQ(desktop.uris.front(), app::TDesktopProgress::LauncherUri());
        EXPECT_TRUE(desktop.uris.front().startsWith("application://"));
        EXPECT_TRUE(desktop.uris.front().endsWith(".desktop"));
        EXPECT_EQ(desktop.updates[0], (QVariantMap{{"progress", 0.25},
                                                   {"progress-visible", true},
                                                   {"count", qint64(2)},
                                                   {"count-visible", true}}));
        EXPECT_FALSE(desktop.updates[1]["progress-visible"].toBool());
        EXPECT_FALSE(desktop.updates[1]["count-visible"].toBool());

        // A run that ends unseen: the copy and the last row done (the last one
        // is emptied, not removed), the removal row is no file.
        progress.RunStarted();
        table.DropRow(first);
        table.DropRow(first);
        table.SetCell(queue::colStatus, first, queue::StatusAborted);
        progress.RunEnded(false);
        ASSERT_TRUE(Await([&] { return desktop.notices.size() == 1; }));
        EXPECT_EQ(desktop.notices[0],
                  "The queue run has ended: 1 file done, 1 row did not complete.");
        progress.RunStarted();
        table.DropRow(first);
        progress.RunEnded(false);
        ASSERT_TRUE(Await([&] { return desktop.notices.size() == 2; }));
        EXPECT_EQ(desktop.notices[1],
                  "The queue run has ended: 1 file done, 0 rows did not complete.");
    }
    QDBusConnection::disconnectFromBus("desktop");
    QDBusConnection::disconnectFromBus("program");
    bus.kill();
    bus.waitForFinished();

    // Without a bus nothing is sent and nothing fails.
    queue::QueueSession session;
    app::TDesktopProgress silent(session, QDBusConnection(QStringLiteral("none")));
    silent.RunStarted();
    silent.RunProgress();
    silent.RunEnded(false);
}

}  // namespace

#include "DesktopProgressTest.moc"
