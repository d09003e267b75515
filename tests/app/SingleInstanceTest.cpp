// Two real programs on one queue file: the second ends and leaves the queue to
// the first; a program killed outright leaves a socket the next one takes over.
#include "app/SingleInstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>
#include <memory>

namespace {

// Waits for a program to listen on name, as long as it runs (a bound against
// a hang, not a timing check).
bool Listening(const QString& name, const QProcess& program) {
    for (int attempt = 0; attempt < 1200; ++attempt) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(1000)) return true;
        if (program.state() == QProcess::NotRunning) return false;
        QThread::msleep(50);
    }
    return false;
}

TEST(SingleInstance, ASecondStartEndsAndASocketLeftByAKilledProgramIsTakenOver) {
    QTemporaryDir dir;
    // A link of its own, so that the program's files go to this directory.
    const QString exe = dir.filePath("ferrovant");
    if (::link(FERROVANT_EXECUTABLE, exe.toLocal8Bit().constData()) != 0) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(FERROVANT_EXECUTABLE), exe));
    }
    const QString name = app::InstanceName(dir.filePath("ferrovant.csv"));
    const auto start = [&] {
        auto program = std::make_unique<QProcess>();
        program->setProgram(exe);
        program->setWorkingDirectory(dir.path());
        program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program->start();
        program->waitForStarted();
        return program;
    };

    auto first = start();
    ASSERT_TRUE(Listening(name, *first));
    auto second = start();
    ASSERT_TRUE(second->waitForFinished(120'000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);

    first->kill();
    first->waitForFinished();
    auto third = start();
    EXPECT_TRUE(Listening(name, *third));
    EXPECT_EQ(third->state(), QProcess::Running);
    third->kill();
    third->waitForFinished();
    QLocalServer::removeServer(name);
}

}  // namespace
