#include "queue/QueueSession.h"

#include "platform/AsyncIo.h"
#include "support/LocaleGuard.h"
#include "support/ScriptedDialogs.h"
#include "support/SlowDevice.h"

#include "SessionRig.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using platform::MsgKind;
using queue::ActionCopy;
using queue::ActionMove;
using queue::QueueState;
using testsupport::SessionRig;

const QString Src = QStringLiteral(R"(C:\Src)");
const QString Tgt = QStringLiteral(R"(D:\Tgt)");
const QString Vacant = QStringLiteral("||||");

void ExpectStoppedAndQuiet(SessionRig& rig) {
    EXPECT_EQ(rig.session.State(), QueueState::Stopped);
    EXPECT_FALSE(rig.window.timerOn);
}

// Why a test on the test device cannot run here, or nothing.
std::optional<std::string> NoDevice(const testsupport::SlowDevice& device) {
    if (!device.mounted()) return device.why().toStdString();
    if (!platform::AsyncIo::Instance().RingActive()) return "no io_uring here";
    return std::nullopt;
}

// After a run on a device that hung: Stopped and quiet, and once the device
// answers again, nothing of the run still waits for it.
void ExpectQuietOnceItAnswers(SessionRig& rig, testsupport::HangWatch& hang) {
    ExpectStoppedAndQuiet(rig);
    hang.end();
    EXPECT_EQ(platform::AsyncIo::Instance().Abandoned(), 0);
}

QStringList Split(const char* list, char separator) {
    return QString(list).split(QLatin1Char(separator), Qt::SkipEmptyParts);
}

struct RunCase {
    const char* name;
    const char* message;  // an error box that ends the run, or nullptr
    const char* rows;     // the rows left, separated by ";"
    const char* present;  // paths, separated by blanks
    const char* absent;
    std::function<void(SessionRig&)> setUp;
};

TEST(RunQueue, EndsEachRowAsTheDiskAndTheRowSay) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    // Root writes into a directory without write permission all the same;
    // either way the source of the move is not lost.
    const bool root = ::geteuid() == 0;
    const std::vector<RunCase> cases = {
        {"three copies complete and leave one vacant row", nullptr, "||||",
         R"(D:\Tgt\a D:\Tgt\b D:\Tgt\c C:\Src\a)", "",
         [](SessionRig& r) {
             for (const char* f : {"a", "b", "c"}) {
                 r.drives.writeFile(Src + u'\\' + f, f);
                 r.Job(Src, f, Tgt);
             }
         }},
        {"a move makes the missing target directory", nullptr, "||||", R"(D:\New\Sub\a)",
         R"(C:\Src\a)",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.Job(Src, "a", R"(D:\New\Sub)", ActionMove);
         }},
        {"exactly enough space passes", nullptr, "||||", R"(D:\Tgt\a)", "",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", 5000);
             r.drives.setFreeSpace(u'D', 5000);
             r.Job(Src, "a", Tgt);
         }},
        {"one byte short ends the run", "Not enough space on drive D",
         R"(C:\Src|a|D:\Tgt|Copy|Pending)", "", R"(D:\Tgt\a)",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", 5000);
             r.drives.setFreeSpace(u'D', 4999);
             r.Job(Src, "a", Tgt);
         }},
        {"a failed move keeps its source and the run goes on", nullptr,
         R"(C:\Src|a|D:\Tgt|Move|Target Error)", R"(C:\Src\a D:\Tgt\b)", R"(C:\Src\b)",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "new");
             r.drives.writeFile(R"(D:\Tgt\a)", "old");
             r.drives.setReadOnly(R"(D:\Tgt\a)", true);
             r.drives.writeFile(R"(C:\Src\b)", "b");
             r.Job(Src, "a", Tgt, ActionMove);
             r.Job(Src, "b", Tgt, ActionMove);
         }},
        {"a source deleted after queueing", nullptr, R"(C:\Src|a|D:\Tgt|Move|Source Error)", "",
         R"(D:\Tgt\a)",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.Job(Src, "a", Tgt, ActionMove);
             ::unlink(r.drives.host(R"(C:\Src\a)").constData());
         }},
        {"a target directory that is a file", R"(Could not create "D:\Tgt\Sub")",
         R"(C:\Src|a|D:\Tgt\Sub|Copy|Pending)", R"(C:\Src\a)", "",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.drives.writeFile(R"(D:\Tgt)", "a file");
             r.Job(Src, "a", R"(D:\Tgt\Sub)");
         }},
        {"a target directory without write permission", nullptr,
         root ? "||||" : R"(C:\Src|a|D:\Tgt|Move|Target Error)",
         root ? R"(D:\Tgt\a)" : R"(C:\Src\a)", "",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.drives.makeDir(Tgt);
             r.drives.setMode(Tgt, 0555);
             r.Job(Src, "a", Tgt, ActionMove);
         }},
        {"a directory still holding a file fails to go", nullptr,
         R"(C:\Src\Dir|||RemoveDir|Failed)", R"(C:\Src\Dir\keep)", "",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\Dir\keep)", "k");
             r.session.QueueRemoveDir(R"(C:\Src\Dir)", queue::ActionRemoveDir);
         }},
        {"rows that read or write a file finished just before wait for its name", nullptr, "||||",
         R"(D:\Tgt\a C:\Out\a)", "",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.drives.writeFile(R"(C:\Two\a)", "b");
             r.Job(Src, "a", Tgt);
             r.Table().AppendJob(
                 queue::QueueJob{Tgt, "a", R"(C:\Out)", 1, ActionCopy, queue::StatusPending});
             r.Job(R"(C:\Two)", "a", Tgt);
         }},
        {"an unknown status is never run", nullptr, R"(C:\Src|a|D:\Tgt|Copy|Done)", R"(D:\Tgt\b)",
         R"(D:\Tgt\a)",
         [](SessionRig& r) {
             r.drives.writeFile(R"(C:\Src\a)", "a");
             r.drives.writeFile(R"(C:\Src\b)", "b");
             r.Job(Src, "a", Tgt);
             r.Table().SetCell(queue::colStatus, 1, "Done");
             r.Job(Src, "b", Tgt);
         }},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        c.setUp(rig);
        testsupport::ScriptedDialogs dialogs;
        if (c.message)
            dialogs.ExpectMessage(MsgKind::Error, c.message, platform::mrOk, platform::mbOK);
        rig.session.Runner().btnStartClick();
        EXPECT_EQ(dialogs.Remaining(), 0);
        EXPECT_EQ(rig.Rows(), Split(c.rows, ';'));
        for (const QString& path : Split(c.present, ' '))
            EXPECT_TRUE(rig.drives.exists(path)) << path.toStdString();
        for (const QString& path : Split(c.absent, ' '))
            EXPECT_FALSE(rig.drives.exists(path)) << path.toStdString();
        ExpectStoppedAndQuiet(rig);
        EXPECT_EQ(rig.window.calls.mid(rig.window.calls.size() - 4),
                  QStringList({"view", "timer off", "statistics", "reread panes"}));
    }
}

TEST(RunQueue, RowsEditedByHandEndTheRunUntouched) {
    struct Case {
        int col;
        QString text;
        QString message;
    };
    const Case cases[] = {
        {queue::colTargetDir, "", "Cannot start queue row 1: it has no target directory"},
        {queue::colRealSize, "1-2", "Cannot start queue row 1: its Real Size is not a number"},
        {queue::colAction, "Copie", R"(Cannot start queue row 1: its action "Copie" is unknown)"},
        {queue::colSourceDir, "", "Cannot start queue row 1: it has no source directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        SessionRig rig;
        rig.drives.writeFile(R"(C:\Src\a)", "a");
        rig.drives.writeFile(R"(C:\Src\b)", "b");
        rig.drives.writeFile(R"(C:\Src\c)", "c");
        for (const char* f : {"a", "b", "c"})
            rig.Job(Src, f, Tgt);
        rig.Table().SetCell(c.col, 2, c.text);
        // Row 1 runs and goes, so the bad row is row 1 when its turn comes.
        const QStringList before = rig.Rows().mid(1);
        testsupport::ScriptedDialogs dialogs;
        dialogs.ExpectMessage(MsgKind::Error, c.message, platform::mrOk, platform::mbOK);
        rig.session.Runner().RunQueue();
        EXPECT_EQ(rig.Rows(), before);  // the row above ran, the bad one and the rest wait
        EXPECT_FALSE(rig.drives.exists(R"(D:\Tgt\c)"));
        ExpectStoppedAndQuiet(rig);
    }
}

TEST(RunQueue, AbortedRowsRestartOnlyWhenTheUserSaysYes) {
    struct Case {
        int answer;
        std::optional<QString> notice;
        QString row;
    };
    const Case cases[] = {
        {platform::mrNo, "There is nothing pending in the queue!",
         R"(C:\Src|a|D:\Tgt|Copy|Aborted)"},
        {platform::mrCancel, {}, R"(C:\Src|a|D:\Tgt|Copy|Aborted)"},
        {platform::mrYes, {}, Vacant},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SessionRig rig;
        rig.drives.writeFile(R"(C:\Src\a)", "a");
        rig.Job(Src, "a", Tgt);
        rig.Table().SetCell(queue::colStatus, 1, queue::StatusAborted);
        testsupport::ScriptedDialogs dialogs;
        dialogs.ExpectMessage(MsgKind::Confirmation, "Would you like to restart aborted files?",
                              c.answer, platform::mbYes | platform::mbNo | platform::mbCancel);
        if (c.notice) dialogs.ExpectMessage(MsgKind::Confirmation, *c.notice, platform::mrOk);
        rig.session.Runner().btnStartClick();
        EXPECT_EQ(rig.Rows(), QStringList{c.row});
        ExpectStoppedAndQuiet(rig);
    }
}

TEST(QueueControls, RefuseOrAskAsTheStateSays) {
    SessionRig rig;
    testsupport::ScriptedDialogs dialogs;
    rig.drives.writeFile(R"(C:\Src\a)", "a");
    for (const char* f : {"a", "b", "c"})
        rig.Job(Src, f, Tgt);
    const QString notRunning = "The queue is not currently running!";
    dialogs.ExpectMessage(MsgKind::Confirmation, notRunning, platform::mrOk, platform::mbOK);
    rig.session.Runner().btnStopClick();
    dialogs.ExpectMessage(MsgKind::Confirmation, notRunning, platform::mrOk, platform::mbOK);
    rig.session.Runner().btnAbortClick();
    EXPECT_FALSE(rig.session.Runner().AbortRequested());

    dialogs.ExpectMessage(MsgKind::Confirmation, "Select queue rows to remove", platform::mrOk);
    rig.session.Runner().btnRemoveClick();
    rig.Table().Grid().SetRowSelected(1, true);
    rig.Table().Grid().SetRowSelected(3, true);
    dialogs.ExpectMessage(MsgKind::Confirmation, "Remove 2 selected rows from queue?",
                          platform::mrYes, platform::mbYes | platform::mbNo);
    rig.session.Runner().btnRemoveClick();
    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Src|b|D:\Tgt|Copy|Pending)"});
    EXPECT_EQ(rig.session.Counters().PendingCount, 1);

    rig.session.Counters().RunBytes = 10;
    dialogs.ExpectMessage(MsgKind::Confirmation, "Clear queue?", platform::mrYes,
                          platform::mbYes | platform::mbNo);
    rig.session.Runner().btnClearAllClick();
    EXPECT_EQ(rig.Rows(), QStringList{Vacant});
    EXPECT_EQ(rig.session.Counters().PendingCount, 0);
    EXPECT_EQ(rig.session.Counters().RunBytes, 0);

    dialogs.ExpectMessage(MsgKind::Confirmation, "There is nothing pending in the queue!",
                          platform::mrOk, platform::mbOK);
    rig.session.Runner().btnStartClick();
    EXPECT_EQ(dialogs.Remaining(), 0);
}

TEST(RunQueue, MovesADirectoryAndRemovesItsTreeEndToEnd) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Src\Dir\a.txt)", "a");
    rig.drives.writeFile(R"(C:\Src\Dir\Sub\b.txt)", 2'500'000);
    rig.drives.makeDir(Tgt);
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Information, "2 files added to queue", platform::mrOk);
    rig.session.QueueSelected({ActionMove, Src, Tgt, {{"[Dir]", true, true}}, [](int) {}});
    std::int64_t ticks = 0;
    rig.AtPump([&](std::int64_t) {
        rig.session.Runner().TimerQueueTimer();
        ticks = rig.session.Counters().Ticks;
    });
    rig.session.Runner().btnStartClick();
    EXPECT_EQ(rig.Rows(), QStringList{Vacant});
    EXPECT_FALSE(rig.drives.exists(R"(C:\Src\Dir)"));
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\Dir\Sub\b.txt)"),
              testsupport::TempDrives::Pattern(2'500'000));
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(rig.session.Counters().RunBytes, 2'500'001);
    ExpectStoppedAndQuiet(rig);
    EXPECT_EQ(rig.window.calls.count("repaint lists"), 1);
}

// A directory of a queued tree replaced by a link to another directory whose
// files have the same names: the run must take nothing from that other one.
TEST(RunQueue, ADirectorySwappedForALinkIsNotFollowed) {
    struct Case {
        const char* name;
        const QString& action;
        queue::SameFileSystemMove how;
        bool duringTheRun;  // else between queueing and the run
    };
    const Case cases[] = {
        {"move by rename", ActionMove, queue::SameFileSystemMove::Rename, false},
        {"move by copy", ActionMove, queue::SameFileSystemMove::Copy, false},
        {"copy", ActionCopy, queue::SameFileSystemMove::Rename, false},
        // The big file's copy is under way: its deferred deletion must not
        // follow the link either.
        {"move by copy, swapped mid-file", ActionMove, queue::SameFileSystemMove::Copy, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LocaleGuard locale(platform::EnglishLocale());
        SessionRig rig;
        rig.drives.writeFile(R"(C:\Src\Dir\Sub\big)", 3'000'000);
        rig.drives.writeFile(R"(C:\Src\Dir\Sub\f)", "own");
        rig.drives.writeFile(R"(C:\Else\big)", "else big");
        rig.drives.writeFile(R"(C:\Else\f)", "else f");
        rig.drives.makeDir(Tgt);
        rig.session.Runner().Transfer().SetSameFileSystemMove(c.how);
        testsupport::ScriptedDialogs dialogs;
        dialogs.ExpectMessage(MsgKind::Information, "2 files added to queue", platform::mrOk);
        rig.session.QueueSelected({c.action, Src, Tgt, {{"[Dir]", true, true}}, [](int) {}});

        const auto swap = [&rig] {
            ASSERT_EQ(::rename(rig.drives.host(R"(C:\Src\Dir\Sub)").constData(),
                               rig.drives.host(R"(C:\Src\Moved)").constData()),
                      0);
            rig.drives.makeSymlink(R"(C:\Src\Dir\Sub)", rig.drives.host(R"(C:\Else)"));
        };
        bool swapped = false;
        if (!c.duringTheRun) {
            swap();
        } else {
            rig.AtPump([&](std::int64_t) {
                if (swapped ||
                    rig.session.Table().Cell(queue::colStatus, 1) != queue::StatusInProgress)
                    return;
                swapped = true;
                swap();
            });
        }
        rig.session.Runner().btnStartClick();
        rig.AtPump({});

        EXPECT_EQ(rig.drives.readFile(R"(C:\Else\big)"), "else big");
        EXPECT_EQ(rig.drives.readFile(R"(C:\Else\f)"), "else f");
        EXPECT_EQ(rig.drives.readFile(R"(C:\Src\Moved\f)"), "own");
        EXPECT_FALSE(rig.drives.exists(R"(D:\Tgt\Dir\Sub\f)"));
        EXPECT_TRUE(rig.Rows().join(u';').contains(queue::StatusSourceError));
        ExpectStoppedAndQuiet(rig);
        EXPECT_EQ(rig.session.Runner().Transfer().PendingDeletions(), 0);
    }
}

// Re-entry: what other commands do when they run inside the pumps of a run.

struct ReentryRig : SessionRig {
    // Three pending copies; the first of three chunks, so pumps come during it.
    ReentryRig() {
        drives.writeFile(R"(C:\Src\big)", 3'000'000);
        drives.writeFile(R"(C:\Src\b)", "b");
        drives.writeFile(R"(C:\Src\c)", "c");
        for (const char* f : {"big", "b", "c"})
            Job(Src, f, Tgt);
    }
    bool CopyingBig() {
        return Table().Cell(queue::colFileName, 1) == "big" &&
               Table().Cell(queue::colStatus, 1) == queue::StatusInProgress;
    }
    // Runs action once, at the first pump during the copy of the big file.
    void DuringTheBigCopy(std::function<void()> action) {
        AtPump([this, action](std::int64_t) {
            if (acted || !CopyingBig()) return;
            acted = true;
            action();
        });
    }
    bool acted = false;
};

TEST(Reentry, QueueingDuringARunIsTakenUp) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    ReentryRig rig;
    rig.drives.writeFile(R"(C:\Src\late)", "late");
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Information, "1 files added to queue", platform::mrOk);
    rig.DuringTheBigCopy([&] {
        rig.session.QueueSelected({ActionCopy, Src, Tgt, {{"late", true, false}}, [](int) {}});
    });
    rig.session.Runner().btnStartClick();
    EXPECT_EQ(rig.Rows(), QStringList{Vacant});
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\late)"), "late");
}

TEST(Reentry, StartClearAndRemoveDuringARunAreRefused) {
    ReentryRig rig;
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Confirmation, "The queue is currently running!", platform::mrOk,
                          platform::mbOK);
    dialogs.ExpectMessage(MsgKind::Confirmation,
                          "Cannot clear queue while it is currently running!", platform::mrOk,
                          platform::mbOK);
    dialogs.ExpectMessage(MsgKind::Confirmation,
                          "Cannot remove queue rows while it is currently running!", platform::mrOk,
                          platform::mbOK);
    bool timerAfterStart = false;
    rig.DuringTheBigCopy([&] {
        rig.Table().Grid().SetRowSelected(2, true);
        rig.session.Runner().btnStartClick();
        timerAfterStart = rig.window.timerOn;
        rig.session.Runner().btnClearAllClick();
        rig.session.Runner().btnRemoveClick();
    });
    rig.session.Runner().btnStartClick();
    // The refused Start left the running queue's clock alone.
    EXPECT_TRUE(timerAfterStart);
    EXPECT_EQ(rig.Rows(), QStringList{Vacant});
    ExpectStoppedAndQuiet(rig);
}

TEST(Reentry, StopFinishesTheCurrentFileAndAbortTheCurrentChunk) {
    struct Case {
        const char* name;
        std::function<void(queue::QueueSession&)> press;
        QString firstRow;
        qint64 targetSize;
    };
    const Case cases[] = {
        {"stop", [](queue::QueueSession& s) { s.Runner().btnStopClick(); },
         R"(C:\Src|b|D:\Tgt|Copy|Pending)", 3'000'000},
        {"abort", [](queue::QueueSession& s) { s.Runner().btnAbortClick(); },
         R"(C:\Src|big|D:\Tgt|Copy|Aborted)", 1'000'001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReentryRig rig;
        QueueState during = QueueState::Running;
        rig.DuringTheBigCopy([&] {
            c.press(rig.session);
            during = rig.session.State();
        });
        rig.session.Runner().btnStartClick();
        EXPECT_NE(during, QueueState::Running);
        EXPECT_EQ(rig.Rows().first(), c.firstRow);
        EXPECT_EQ(rig.Rows().last(), R"(C:\Src|c|D:\Tgt|Copy|Pending)");
        EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\big)").size(), c.targetSize);
        EXPECT_FALSE(rig.drives.exists(R"(D:\Tgt\b)"));
        ExpectStoppedAndQuiet(rig);
    }
}

// A device that hangs during a copy: Abort gives the chunk in flight up, so
// the row ends "Aborted" and the run Stopped while the device still hangs.
// The target it was to replace stays as it was, and once the device answers
// nothing of the copy is left beside it.
TEST(Reentry, AbortGivesUpAChunkOnAHungDevice) {
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Dev\Tgt\big)", "old");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"), {});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
    platform::AsyncIo& io = platform::AsyncIo::Instance();
    if (!io.RingActive()) GTEST_SKIP() << "the kernel refuses io_uring here";
    rig.drives.writeFile(R"(C:\Src\big)", 3'000'000);
    rig.Job(Src, "big", Tgt);
    bool hung = false;
    // After the first chunk.
    rig.AtPump([&](std::int64_t) {
        if (hung || rig.Table().Cell(queue::colStatus, 1) != queue::StatusInProgress) return;
        hung = true;
        device.setHung(true);
        QTimer::singleShot(50, [&] { rig.session.Runner().btnAbortClick(); });
    });

    rig.session.Runner().btnStartClick();

    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Src|big|D:\Tgt|Copy|Aborted)"});
    ExpectStoppedAndQuiet(rig);
    device.answerAgain();
    EXPECT_EQ(io.Abandoned(), 0);
    EXPECT_EQ(rig.drives.readFile(R"(C:\Src\big)"), testsupport::TempDrives::Pattern(3'000'000));
    EXPECT_EQ(QDir(QFile::decodeName(rig.drives.host(R"(C:\Dev\Tgt)")))
                  .entryList(QDir::Files | QDir::Hidden),
              QStringList{"big"});
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\big)"), "old");
}

TEST(Reentry, AbortDuringARemoveDirRowActsAfterTheNextCopyRow) {
    SessionRig rig;
    rig.drives.makeDir(R"(C:\Empty\One)");
    rig.drives.makeDir(R"(C:\Empty\Two)");
    rig.session.QueueRemoveDir(R"(C:\Empty)", queue::ActionRemoveDir);
    rig.drives.writeFile(R"(C:\Src\big)", 3'000'000);
    rig.drives.writeFile(R"(C:\Src\b)", "b");
    rig.Job(Src, "big", Tgt);
    rig.Job(Src, "b", Tgt);
    bool pressed = false;
    rig.AtPump([&](std::int64_t) {
        if (pressed || rig.Table().Cell(queue::colStatus, 1) != queue::StatusInProgress ||
            rig.Table().Cell(queue::colAction, 1) != queue::ActionRemoveDir)
            return;
        pressed = true;
        rig.session.Runner().btnAbortClick();
    });
    rig.session.Runner().btnStartClick();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(rig.drives.exists(R"(C:\Empty)"));
    // The next copy cleared the request when it began, so it ran in full.
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\big)").size(), 3'000'000);
    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Src|b|D:\Tgt|Copy|Pending)"});
    ExpectStoppedAndQuiet(rig);
}

TEST(Reentry, AHundredThousandRowsQueuedDuringARunAreTakenUpInOrder) {
    ReentryRig rig;
    const int many = 100'000;
    bool appended = false;
    int pumpsAfter = 0;
    rig.AtPump([&](std::int64_t) {
        if (!appended && rig.CopyingBig()) {
            appended = true;
            for (int i = 0; i < many; ++i) {
                rig.Table().AppendJob(queue::QueueJob{R"(C:\Gone)", QString::number(i), Tgt, 1,
                                                      ActionCopy, queue::StatusPending});
            }
        }
        // Stop once a few of them have run (two pumps a row).
        if (appended && ++pumpsAfter == 20) rig.session.Runner().btnStopClick();
    });
    rig.session.Runner().btnStartClick();
    const QStringList rows = rig.Rows();
    ASSERT_EQ(rows.size(), many);
    const int ran = static_cast<int>(many - rig.session.Counters().PendingCount);
    EXPECT_GT(ran, 1);
    EXPECT_EQ(rows[0], R"(C:\Gone|0|D:\Tgt|Copy|Source Error)");
    EXPECT_EQ(rows[ran - 1], QStringLiteral(R"(C:\Gone|%1|D:\Tgt|Copy|Source Error)").arg(ran - 1));
    EXPECT_EQ(rows[ran], QStringLiteral(R"(C:\Gone|%1|D:\Tgt|Copy|Pending)").arg(ran));
    ExpectStoppedAndQuiet(rig);
}

TEST(Reentry, AFailureInsideARunStillEndsItStopped) {
    ReentryRig rig;
    rig.DuringTheBigCopy([] { throw std::runtime_error("out of the pump"); });
    EXPECT_THROW(rig.session.Runner().btnStartClick(), std::runtime_error);
    // The cut copy is offered again at the next Start, like an aborted one.
    EXPECT_EQ(rig.Rows().first(), R"(C:\Src|big|D:\Tgt|Copy|Aborted)");
    ExpectStoppedAndQuiet(rig);

    // A move finished before the failure is settled all the same: its row
    // leaves the queue and its source goes.
    SessionRig moved;
    moved.drives.writeFile(R"(C:\Src\m)", "m");
    moved.drives.writeFile(R"(C:\Src\big)", 3'000'000);
    moved.Job(Src, "m", Tgt, ActionMove);
    moved.Job(Src, "big", Tgt);
    moved.session.Runner().Transfer().SetSameFileSystemMove(queue::SameFileSystemMove::Copy);
    bool thrown = false;
    moved.AtPump([&](std::int64_t) {
        for (int row = 1; row < moved.Table().RowCount() && !thrown; ++row) {
            if (moved.Table().Cell(queue::colFileName, row) == "big" &&
                moved.Table().Cell(queue::colStatus, row) == queue::StatusInProgress) {
                thrown = true;
                throw std::runtime_error("out of the pump");
            }
        }
    });
    EXPECT_THROW(moved.session.Runner().btnStartClick(), std::runtime_error);
    EXPECT_FALSE(moved.drives.exists(R"(C:\Src\m)"));
    EXPECT_EQ(moved.drives.readFile(R"(D:\Tgt\m)"), "m");
    EXPECT_FALSE(moved.Rows().join(u';').contains(QLatin1String("|m|")));
    EXPECT_EQ(moved.session.Runner().Transfer().PendingFiles(), 0);
}

}  // namespace

// A move from a device that hangs once its file is copied: the settle's look
// at the source waits for the device by pumping, gives up, and keeps the
// source; the row says so and the copy stays.
TEST(Reentry, AMoveFromADeviceThatHangsAtTheSettleKeepsItsSource) {
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Dev\Out\a)", "a");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"), {});
    if (const auto why = NoDevice(device)) GTEST_SKIP() << *why;
    rig.Job(QStringLiteral(R"(D:\Out)"), "a", Src, ActionMove);
    testsupport::HangWatch hang(device);
    rig.AtPump([&](std::int64_t) {
        if (!hang.began() && rig.Table().Cell(queue::colStatus, 1) == queue::StatusComplete)
            hang.begin();
    });
    rig.session.Runner().btnStartClick();
    // The window's timers ran while the device hung.
    EXPECT_GT(hang.ticksWhileHung(), 20);
    EXPECT_EQ(rig.Rows(), QStringList{R"(D:\Out|a|C:\Src|Move|Source Error)"});
    rig.AtPump({});
    ExpectQuietOnceItAnswers(rig, hang);
    EXPECT_EQ(rig.drives.readFile(R"(D:\Out\a)"), "a");
    EXPECT_EQ(rig.drives.readFile(R"(C:\Src\a)"), "a");
}

// A target directory to be made on a device that does not answer: the run
// ends with its message after the wait, with the window's timers running
// meanwhile, and the row and its source stay.
TEST(Reentry, ATargetDirectoryOnADeviceThatHangsEndsTheRunWithItsMessage) {
    SessionRig rig;
    rig.drives.makeDir(R"(C:\Dev)");
    rig.drives.writeFile(R"(C:\Src\a)", "a");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"), {});
    if (const auto why = NoDevice(device)) GTEST_SKIP() << *why;
    rig.Job(Src, "a", QStringLiteral(R"(D:\New\Deep)"), ActionMove);
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Error, R"(Could not create "D:\New\Deep")", platform::mrOk,
                          platform::mbOK);
    testsupport::HangWatch hang(device);
    hang.begin("mkdir");
    rig.session.Runner().btnStartClick();
    EXPECT_TRUE(hang.stillHung());
    EXPECT_GT(hang.ticksWhileHung(), 20);
    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Src|a|D:\New\Deep|Move|Pending)"});
    ExpectQuietOnceItAnswers(rig, hang);
    EXPECT_EQ(rig.drives.readFile(R"(C:\Src\a)"), "a");
}

// On a FUSE device the kernel's syncfs never asks the server: the settle
// asks for each file by itself. One the device does not confirm within the
// wait is not taken for being on disk: its row is a "Target Error", the
// target goes and the moved source stays.
TEST(Reentry, AFileOnAFuseDeviceCountsOnlyOnceItsServerFlushedIt) {
    SessionRig rig;
    rig.drives.makeDir(R"(C:\Dev\Tgt)");
    rig.drives.writeFile(R"(C:\Src\a)", "a");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"), {});
    if (const auto why = NoDevice(device)) GTEST_SKIP() << *why;
    rig.Job(Src, "a", Tgt, ActionMove);
    testsupport::HangWatch hang(device);
    hang.begin("fsync");
    rig.session.Runner().btnStartClick();
    EXPECT_TRUE(hang.stillHung());
    EXPECT_GT(hang.ticksWhileHung(), 20);
    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Src|a|D:\Tgt|Move|Target Error)"});
    ExpectQuietOnceItAnswers(rig, hang);
    EXPECT_EQ(rig.drives.readFile(R"(C:\Src\a)"), "a");
    EXPECT_FALSE(rig.drives.exists(R"(C:\Dev\Tgt\a)"));
    // Nothing stays open on the device, which could not be unmounted then.
    const QString mount = QString::fromUtf8(rig.drives.host("D:\\"));
    for (const QFileInfo& fd :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
        EXPECT_FALSE(fd.symLinkTarget().startsWith(mount)) << fd.symLinkTarget().toStdString();
}

// A move inside one device whose rename it does not answer: the row ends
// "Aborted" after the wait, with the window's timers running meanwhile, and
// the next row's source, which the device cannot be asked about, is a
// "Source Error" and stays. The rename happens once the device answers, and
// the restarted row finds its file moved by its mark and completes.
TEST(Reentry, ARenameTheDeviceDoesNotAnswerIsOfferedAgain) {
    SessionRig rig;
    for (const char* f : {"a", "b"})
        rig.drives.writeFile(QStringLiteral(R"(C:\Dev\Out\)") + f, f);
    rig.drives.makeDir(R"(C:\Dev\In)");
    rig.drives.makeDir(R"(C:\Mnt)");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host(R"(C:\Mnt)"), {});
    if (const auto why = NoDevice(device)) GTEST_SKIP() << *why;
    // As a walk queues them: taken from the directory the walk listed.
    const std::optional<platform::DirectoryId> out = platform::IdentifyDirectory(R"(C:\Mnt\Out)");
    ASSERT_TRUE(out);
    for (const char* f : {"a", "b"})
        rig.session.QueueFile(R"(C:\Mnt\Out)", f, R"(C:\Mnt\In)", ActionMove, &*out);
    testsupport::HangWatch hang(device);
    hang.begin("rename");
    rig.session.Runner().btnStartClick();
    EXPECT_TRUE(hang.stillHung());
    EXPECT_GT(hang.ticksWhileHung(), 20);
    EXPECT_EQ(rig.Rows(), (QStringList{R"(C:\Mnt\Out|a|C:\Mnt\In|Move|Aborted)",
                                       R"(C:\Mnt\Out|b|C:\Mnt\In|Move|Source Error)"}));
    hang.end();
    EXPECT_FALSE(rig.drives.exists(R"(C:\Dev\Out\a)"));

    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Confirmation, "Would you like to restart aborted files?",
                          platform::mrYes, platform::mbYes | platform::mbNo | platform::mbCancel);
    rig.session.Runner().btnStartClick();
    EXPECT_EQ(rig.Rows(), QStringList{R"(C:\Mnt\Out|b|C:\Mnt\In|Move|Source Error)"});
    EXPECT_EQ(rig.drives.readFile(R"(C:\Dev\In\a)"), "a");
    EXPECT_EQ(rig.drives.readFile(R"(C:\Dev\Out\b)"), "b");
    ExpectStoppedAndQuiet(rig);
}

// On a device that asks a server for every name, the next row's target is
// begun while a row runs. What a Stop leaves begun goes with the run, a file
// begun for a target that turns out to exist gives way to its replacement,
// and none of it is ever seen on the device.
TEST(Reentry, WhatIsBegunAheadForTheNextRowLeavesNothingBehind) {
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Dev\Tgt\b)", "old");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"),
                                   {.latencyMs = 2});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
    for (const char* f : {"a", "b", "c"}) {
        rig.drives.writeFile(QStringLiteral(R"(C:\Src\)") + f, f);
        rig.Job(Src, f, Tgt);
    }
    const auto deviceFiles = [&] {
        return QDir(QFile::decodeName(rig.drives.host(R"(C:\Dev\Tgt)")))
            .entryList(QDir::Files | QDir::Hidden);
    };
    bool stopped = false;
    rig.AtPump([&](std::int64_t) {
        if (stopped || rig.Table().Cell(queue::colStatus, 1) != queue::StatusInProgress) return;
        stopped = true;
        rig.session.Runner().btnStopClick();
    });
    rig.session.Runner().btnStartClick();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(deviceFiles(), (QStringList{"a", "b"}));
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\b)"), "old");

    rig.AtPump({});
    rig.session.Runner().btnStartClick();
    EXPECT_EQ(rig.Rows(), QStringList{Vacant});
    EXPECT_EQ(deviceFiles(), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\b)"), "b");
    EXPECT_EQ(rig.drives.readFile(R"(D:\Tgt\c)"), "c");
    ExpectStoppedAndQuiet(rig);
}
