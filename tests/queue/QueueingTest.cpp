#include "queue/QueueSession.h"

#include "support/LocaleGuard.h"
#include "support/ScriptedDialogs.h"
#include "support/SlowDevice.h"

#include "SessionRig.h"

#include <gtest/gtest.h>

namespace {

using platform::MsgKind;
using queue::ActionCopy;
using queue::ActionMove;
using testsupport::SessionRig;

QStringList Split(const char* list, char separator) {
    return QString(list).split(QLatin1Char(separator), Qt::SkipEmptyParts);
}

int Answer(const QString& word) {
    if (word == "Yes") return platform::mrYes;
    if (word == "No") return platform::mrNo;
    if (word == "No to All") return platform::mrNoToAll;
    if (word == "Yes to All") return platform::mrYesToAll;
    return platform::mrCancel;
}

struct QueueCase {
    const char* name;
    const QString& action;
    const char* sourceDir;
    const char* targetDir;
    const char* files;    // created before the command, separated by blanks
    const char* entries;  // all ticked, separated by blanks; "/" ends a directory
    const char* prompts;  // "target=answer", separated by ";"
    const char* summary;
    const char* rows;  // separated by ";"
    int commands = 1;
};

const unsigned OverwriteButtons = platform::mbYes | platform::mbNo | platform::mbCancel |
                                  platform::mbNoToAll | platform::mbYesToAll;

TEST(QueueSelected, AddsRowsAsTheTicksTargetsAndAnswersSay) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    const char* src = R"(C:\Src)";
    const char* tgt = R"(D:\Tgt)";
    const QueueCase cases[] = {
        {"dot entries are unticked and ignored", ActionCopy, src, tgt, R"(C:\Src\a.txt)",
         "[..]/ a.txt", "", "1 files added to queue", R"(C:\Src|a.txt|D:\Tgt|Copy|Pending)"},
        {"a file named like a directory is a file", ActionCopy, src, tgt, R"(C:\Src\[Photos])",
         "[Photos]", "", "1 files added to queue", R"(C:\Src|[Photos]|D:\Tgt|Copy|Pending)"},
        {"the same job twice", ActionCopy, src, tgt, R"(C:\Src\a.txt)", "a.txt", "",
         "0 files added to queue, 1 files not added to queue",
         R"(C:\Src|a.txt|D:\Tgt|Copy|Pending)", 2},
        {"No to All asks once", ActionCopy, src, tgt,
         R"(C:\Src\a C:\Src\b C:\Src\c D:\Tgt\a D:\Tgt\b D:\Tgt\c)", "a b c",
         R"(D:\Tgt\a=No to All)", "0 files added to queue, 3 files not added to queue", "||||"},
        {"Yes to All asks once and adds", ActionCopy, src, tgt,
         R"(C:\Src\a C:\Src\b C:\Src\c D:\Tgt\a D:\Tgt\b)", "a b c", R"(D:\Tgt\a=Yes to All)",
         "3 files added to queue",
         R"(C:\Src|a|D:\Tgt|Copy|Pending;C:\Src|b|D:\Tgt|Copy|Pending;C:\Src|c|D:\Tgt|Copy|Pending)"},
        {"No refuses one, the next is asked again", ActionCopy, src, tgt,
         R"(C:\Src\a C:\Src\b D:\Tgt\a D:\Tgt\b)", "a b", R"(D:\Tgt\a=No;D:\Tgt\b=Yes)",
         "1 files added to queue, 1 files not added to queue", R"(C:\Src|b|D:\Tgt|Copy|Pending)"},
        {"Cancel while moving a directory still adds its RemoveDir", ActionMove, src, tgt,
         R"(C:\Src\Dir\1 C:\Src\Dir\2 C:\Src\Dir\3 C:\Src\Dir\4 C:\Src\Dir\5 D:\Tgt\Dir\1)",
         "[Dir]/", R"(D:\Tgt\Dir\1=Cancel)", "0 files added to queue, 5 files not added to queue",
         R"(C:\Src\Dir|||RemoveDir|Pending)"},
        {"a moved directory mirrors its tree", ActionMove, src, tgt,
         R"(C:\Src\Dir\a.txt C:\Src\Dir\Sub\b.txt)", "[Dir]/", "", "2 files added to queue",
         R"(C:\Src\Dir|a.txt|D:\Tgt\Dir|Move|Pending;)"
         R"(C:\Src\Dir\Sub|b.txt|D:\Tgt\Dir\Sub|Move|Pending;C:\Src\Dir|||RemoveDir|Pending)"},
        {"roots keep their form; the check doubles the separator", ActionCopy, R"(C:\)", R"(D:\)",
         R"(C:\x.txt D:\x.txt)", "x.txt", R"(D:\\x.txt=Yes)", "1 files added to queue",
         R"(C:\|x.txt|D:\|Copy|Pending)"},
        {"a directory at the target raises no prompt", ActionCopy, src, tgt,
         R"(C:\Src\a D:\Tgt\a\inside)", "a", "", "1 files added to queue",
         R"(C:\Src|a|D:\Tgt|Copy|Pending)"},
    };
    for (const QueueCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        for (const QString& file : Split(c.files, ' '))
            rig.drives.writeFile(file, "data");
        testsupport::ScriptedDialogs dialogs;
        queue::QueueRequest request{c.action, c.sourceDir, c.targetDir, {}, {}};
        int unticked = 0;
        request.untick = [&](int) { ++unticked; };
        for (QString e : Split(c.entries, ' ')) {
            const bool dir = e.endsWith(u'/');
            if (dir) e.chop(1);
            request.entries.push_back(queue::QueueEntry{e, true, dir});
        }

        for (int n = 1; n < c.commands; ++n) {
            dialogs.ExpectMessage(MsgKind::Information, "1 files added to queue", platform::mrOk);
            rig.session.QueueSelected(request);
        }
        for (const QString& p : Split(c.prompts, ';')) {
            const qsizetype eq = p.lastIndexOf(u'=');
            dialogs.ExpectMessage(MsgKind::Confirmation,
                                  p.left(eq) + " exists, do you want to override it?",
                                  Answer(p.mid(eq + 1)), OverwriteButtons);
        }
        dialogs.ExpectMessage(MsgKind::Information, c.summary, platform::mrOk, platform::mbOK);
        unticked = 0;
        rig.window.calls.clear();
        rig.session.QueueSelected(request);

        EXPECT_EQ(dialogs.Remaining(), 0);
        const QStringList rows = Split(c.rows, ';');
        EXPECT_EQ(rig.Rows(), rows);
        EXPECT_EQ(unticked, static_cast<int>(request.entries.size()));
        EXPECT_EQ(rig.window.calls, QStringList({"busy", "statistics", "view", "normal"}));
        EXPECT_EQ(rig.session.Counters().PendingCount,
                  rows == QStringList{"||||"} ? 0 : rows.size());
    }
}

TEST(QueueSelected, PumpsWhileAddingTheRowsOfATreeUnderTheBusyCursor) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Src\Dir\a)", "a");
    rig.drives.writeFile(R"(C:\Src\Dir\b)", "b");
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Information, "2 files added to queue", platform::mrOk);
    // What a pump showed the window: the rows queued, and the cursor's state.
    QStringList seen;
    rig.AtPump([&](std::int64_t) {
        const int jobs = static_cast<int>(rig.Rows().size() - rig.Rows().count("||||"));
        seen << QString::number(jobs) + rig.window.calls.last();
    });
    rig.session.QueueSelected(
        {ActionCopy, R"(C:\Src)", R"(D:\Tgt)", {{"[Dir]", true, true}}, [](int) {}});
    // The walk's pumps see no job; the first row added is pumped at once.
    EXPECT_TRUE(seen.contains("1busy")) << seen.join(' ').toStdString();
    EXPECT_EQ(seen.filter("normal"), QStringList());
    EXPECT_EQ(rig.Rows().size(), 2);
}

TEST(QueueSelected, RecordsTheSizeOrMinusOneAndRefusesTheSameDirectory) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Src\big.bin)", 1'048'576);
    testsupport::ScriptedDialogs dialogs;
    EXPECT_TRUE(rig.session.QueueFile(R"(C:\Src)", "big.bin", R"(D:\Tgt)", ActionCopy));
    EXPECT_TRUE(rig.session.QueueFile(R"(C:\Src)", "gone.bin", R"(D:\Tgt)", ActionCopy));
    EXPECT_EQ(rig.Table().Cell(queue::colRealSize, 1), "1048576.00");
    EXPECT_EQ(rig.Table().Cell(queue::colFileSize, 1), "1,024.00 KB");
    EXPECT_EQ(rig.Table().Cell(queue::colRealSize, 2), "-1.00");
    EXPECT_EQ(rig.Table().Cell(queue::colFileSize, 2), "-1 Bytes");
    EXPECT_EQ(rig.Table().Cell(queue::colRow, 2), "2");

    // Same directories: nothing is unticked or added.
    queue::QueueRequest request{
        ActionCopy, R"(C:\Src)", R"(C:\Src)", {{"big.bin", true, false}}, [](int) {
            ADD_FAILURE() << "unticked";
        }};
    dialogs.ExpectMessage(MsgKind::Confirmation, "Source and target directories cannot be the same",
                          platform::mrOk, platform::mbOK);
    rig.session.QueueSelected(request);
    EXPECT_EQ(rig.Table().RowCount(), 3);
}

// A file ticked on a device that hangs is queued unmeasured after the wait,
// with the window's timers running meanwhile; one for a target there is not
// queued, as what it would overwrite cannot be asked about.
TEST(QueueSelected, ADeviceThatHangsIsWaitedForWithTheWindowAlive) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    SessionRig rig;
    rig.drives.writeFile(R"(C:\Dev\Out\a)", "a");
    rig.drives.writeFile(R"(C:\Dev\In\b)", "old");
    rig.drives.writeFile(R"(C:\Src\b)", "b");
    testsupport::SlowDevice device(rig.drives.host(R"(C:\Dev)"), rig.drives.host("D:\\"), {});
    if (!device.mounted()) GTEST_SKIP() << device.why().toStdString();
    if (!platform::AsyncIo::Instance().RingActive()) GTEST_SKIP() << "no io_uring here";
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Information, "1 files added to queue", platform::mrOk);
    dialogs.ExpectMessage(MsgKind::Information,
                          "0 files added to queue, 1 files not added to queue", platform::mrOk);
    testsupport::HangWatch hang(device);
    hang.begin();
    rig.session.QueueSelected(
        {ActionCopy, R"(D:\Out)", R"(C:\Tgt)", {{"a", true, false}}, [](int) {}});
    rig.session.QueueSelected(
        {ActionCopy, R"(C:\Src)", R"(D:\In)", {{"b", true, false}}, [](int) {}});
    EXPECT_GT(hang.ticksWhileHung(), 20);
    EXPECT_EQ(rig.Rows(), QStringList{R"(D:\Out|a|C:\Tgt|Copy|Pending)"});
    EXPECT_EQ(rig.Table().Cell(queue::colRealSize, 1), "-1.00");
    EXPECT_EQ(dialogs.Remaining(), 0);
}

}  // namespace
