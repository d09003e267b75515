#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/HostFiles.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors;
};

// Runs a system tool with the shim preloaded; the tools report each error in words.
Outcome RunUnderShim(const QStringList& command, const QStringList& environment) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FERROVANT_FAULTSHIM));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    for (const QString& entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.start(command.first(), command.mid(1));
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(FaultShimTest, TheChosenCallFailsWithTheChosenError) {
    QTemporaryDir dir;
    const QString root = dir.path();
    struct Case {
        const char* kind;
        const char* error;
        QStringList command;
        const char* message;
    };
    const QString file = root + QStringLiteral("/file");
    const Case cases[] = {
        {"read", "EIO", {"cat", file}, "Input/output error"},
        {"open", "EIO", {"cat", file}, "Input/output error"},
        {"write", "ENOSPC", {"cp", file, root + "/copy"}, "No space left on device"},
        {"sync", "EDQUOT", {"sync", file}, "Disk quota exceeded"},
        {"rename", "EIO", {"mv", file, root + "/moved"}, "Input/output error"},
        {"unlink", "EIO", {"rm", file}, "Input/output error"},
        {"mkdir", "ENOSPC", {"mkdir", root + "/sub"}, "No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        testsupport::WriteAll(file, QByteArray(10000, 'x'));
        const Outcome out = RunUnderShim(
            c.command,
            {QStringLiteral("FAULT_KIND=") + c.kind, QStringLiteral("FAULT_N=1"),
             QStringLiteral("FAULT_ERRNO=") + c.error, QStringLiteral("FAULT_ROOT=") + root});
        EXPECT_NE(out.exitCode, 0);
        EXPECT_TRUE(out.errors.contains(QLatin1String(c.message))) << out.errors.toStdString();
    }
    // Out of scope, or only counted: nothing fails, and the count is reported.
    const QString report = root + QStringLiteral("/report");
    EXPECT_EQ(RunUnderShim({"cat", file}, {"FAULT_KIND=read", "FAULT_N=1", "FAULT_ROOT=/nowhere"})
                  .exitCode,
              0);
    EXPECT_EQ(RunUnderShim({"cat", file},
                           {"FAULT_KIND=read", "FAULT_ROOT=" + root, "FAULT_REPORT=" + report})
                  .exitCode,
              0);
    EXPECT_TRUE(testsupport::ReadAll(report).startsWith("calls=")) << "no report";
}

TEST(FaultShimTest, ShortWriteDeliversPartOfTheDataAndSaysSo) {
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/source");
    QByteArray data(300000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    testsupport::WriteAll(source, data);
    // cat writes on after a short write, so every byte still arrives once.
    const Outcome out = RunUnderShim(
        {"sh", "-c", "cat \"$0\" > \"$0.copy\"", source},
        {"FAULT_KIND=write", "FAULT_N=1", "FAULT_ERRNO=SHORT", "FAULT_ROOT=" + dir.path()});
    EXPECT_EQ(out.exitCode, 0) << out.errors.toStdString();
    EXPECT_EQ(testsupport::ReadAll(source + ".copy"), data);
}

}  // namespace
