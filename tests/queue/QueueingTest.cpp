#include "queue/QueueSession.h"

#include "support/LocaleGuard.h"
#include "support/ScriptedDialogs.h"

#include "SessionRig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::MsgKind;
using queue::ActionCopy;
using queue::ActionMove;
using testsupport::SessionRig;

TEST(JoinPath, JoinsWithExactlyOneSeparator) {
    const char* cases[][3] = {
        {R"(C:\Src)", "Dir", R"(C:\Src\Dir)"},
        {R"(C:\)", "Dir", R"(C:\Dir)"},
        {R"(D:\Tgt)", R"(\Dir\Sub)", R"(D:\Tgt\Dir\Sub)"},
        {R"(D:\)", R"(Dir\Sub)", R"(D:\Dir\Sub)"},
        {R"(D:\Tgt)", "", R"(D:\Tgt\)"},
        // Only one separator goes at each place.
        {R"(D:\\)", R"(\\Dir\)", R"(D:\\\Dir)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(queue::JoinPath(c[0], c[1]), QString(c[2])) << c[0] << " + " << c[1];
}

struct Entry {
    const char* text;
    bool isDirectory;
};

struct Prompt {
    QString text;
    int answer;
};

struct QueueCase {
    const char* name;
    QString action;
    QString sourceDir;
    QString targetDir;
    std::vector<QString> files;  // created before the command
    std::vector<Entry> entries;  // all ticked
    std::vector<Prompt> prompts;
    QString summary;
    QStringList rows;
    int commands = 1;
};

const unsigned OverwriteButtons = platform::mbYes | platform::mbNo | platform::mbCancel |
                                  platform::mbNoToAll | platform::mbYesToAll;

TEST(QueueSelected, AddsRowsAsTheTicksTargetsAndAnswersSay) {
    testsupport::LocaleGuard locale(platform::EnglishLocale());
    const QString src = R"(C:\Src)", tgt = R"(D:\Tgt)";
    const std::vector<QueueCase> cases = {
        {"dot entries are unticked and ignored",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a.txt)"},
         {{"[..]", true}, {"a.txt", false}},
         {},
         "1 files added to queue",
         {R"(C:\Src|a.txt|D:\Tgt|Copy|Pending)"}},
        {"a file named like a directory is a file",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\[Photos])"},
         {{"[Photos]", false}},
         {},
         "1 files added to queue",
         {R"(C:\Src|[Photos]|D:\Tgt|Copy|Pending)"}},
        {"the same job twice",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a.txt)"},
         {{"a.txt", false}},
         {},
         "0 files added to queue, 1 files not added to queue",
         {R"(C:\Src|a.txt|D:\Tgt|Copy|Pending)"},
         2},
        {"No to All asks once",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a)", R"(C:\Src\b)", R"(C:\Src\c)", R"(D:\Tgt\a)", R"(D:\Tgt\b)", R"(D:\Tgt\c)"},
         {{"a", false}, {"b", false}, {"c", false}},
         {{R"(D:\Tgt\a exists, do you want to override it?)", platform::mrNoToAll}},
         "0 files added to queue, 3 files not added to queue",
         {"||||"}},
        {"Yes to All asks once and adds",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a)", R"(C:\Src\b)", R"(C:\Src\c)", R"(D:\Tgt\a)", R"(D:\Tgt\b)"},
         {{"a", false}, {"b", false}, {"c", false}},
         {{R"(D:\Tgt\a exists, do you want to override it?)", platform::mrYesToAll}},
         "3 files added to queue",
         {R"(C:\Src|a|D:\Tgt|Copy|Pending)", R"(C:\Src|b|D:\Tgt|Copy|Pending)",
          R"(C:\Src|c|D:\Tgt|Copy|Pending)"}},
        {"No refuses one, the next is asked again",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a)", R"(C:\Src\b)", R"(D:\Tgt\a)", R"(D:\Tgt\b)"},
         {{"a", false}, {"b", false}},
         {{R"(D:\Tgt\a exists, do you want to override it?)", platform::mrNo},
          {R"(D:\Tgt\b exists, do you want to override it?)", platform::mrYes}},
         "1 files added to queue, 1 files not added to queue",
         {R"(C:\Src|b|D:\Tgt|Copy|Pending)"}},
        {"Cancel while moving a directory still adds its RemoveDir",
         ActionMove,
         src,
         tgt,
         {R"(C:\Src\Dir\1)", R"(C:\Src\Dir\2)", R"(C:\Src\Dir\3)", R"(C:\Src\Dir\4)",
          R"(C:\Src\Dir\5)", R"(D:\Tgt\Dir\1)"},
         {{"[Dir]", true}},
         {{R"(D:\Tgt\Dir\1 exists, do you want to override it?)", platform::mrCancel}},
         "0 files added to queue, 5 files not added to queue",
         {R"(C:\Src\Dir|||RemoveDir|Pending)"}},
        {"a moved directory mirrors its tree",
         ActionMove,
         src,
         tgt,
         {R"(C:\Src\Dir\a.txt)", R"(C:\Src\Dir\Sub\b.txt)"},
         {{"[Dir]", true}},
         {},
         "2 files added to queue",
         {R"(C:\Src\Dir|a.txt|D:\Tgt\Dir|Move|Pending)",
          R"(C:\Src\Dir\Sub|b.txt|D:\Tgt\Dir\Sub|Move|Pending)",
          R"(C:\Src\Dir|||RemoveDir|Pending)"}},
        {"roots keep their form; the check doubles the separator",
         ActionCopy,
         R"(C:\)",
         R"(D:\)",
         {R"(C:\x.txt)", R"(D:\x.txt)"},
         {{"x.txt", false}},
         {{R"(D:\\x.txt exists, do you want to override it?)", platform::mrYes}},
         "1 files added to queue",
         {R"(C:\|x.txt|D:\|Copy|Pending)"}},
        {"a directory at the target raises no prompt",
         ActionCopy,
         src,
         tgt,
         {R"(C:\Src\a)", R"(D:\Tgt\a\inside)"},
         {{"a", false}},
         {},
         "1 files added to queue",
         {R"(C:\Src|a|D:\Tgt|Copy|Pending)"}},
    };
    for (const QueueCase& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        for (const QString& file : c.files)
            rig.drives.writeFile(file, "data");
        testsupport::ScriptedDialogs dialogs;
        queue::QueueRequest request{c.action, c.sourceDir, c.targetDir, {}, {}};
        std::vector<int> unticked;
        request.untick = [&](int i) { unticked.push_back(i); };
        for (const Entry& e : c.entries)
            request.entries.push_back(queue::QueueEntry{e.text, true, e.isDirectory});

        for (int n = 1; n < c.commands; ++n) {
            dialogs.ExpectMessage(MsgKind::Information, "1 files added to queue", platform::mrOk);
            rig.session.QueueSelected(request);
        }
        for (const Prompt& p : c.prompts)
            dialogs.ExpectMessage(MsgKind::Confirmation, p.text, p.answer, OverwriteButtons);
        dialogs.ExpectMessage(MsgKind::Information, c.summary, platform::mrOk, platform::mbOK);
        unticked.clear();
        rig.window.calls.clear();
        rig.session.QueueSelected(request);

        EXPECT_EQ(dialogs.Remaining(), 0);
        EXPECT_EQ(rig.Rows(), c.rows);
        EXPECT_EQ(unticked.size(), c.entries.size());
        EXPECT_EQ(rig.window.calls, QStringList({"busy", "statistics", "view", "normal"}));
        EXPECT_EQ(rig.session.Counters().PendingCount,
                  rig.Table().Cell(queue::colSourceDir, 1).isEmpty() ? 0 : c.rows.size());
    }
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

}  // namespace
