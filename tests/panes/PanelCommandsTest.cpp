#include "PaneFixture.h"

#include "panes/FilePanels.h"
#include "panes/PanelCommands.h"
#include "platform/Errors.h"
#include "queue/Format.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QSplitter>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

using platform::MsgKind;
using testsupport::TextMatch;
using namespace panetest;
using panes::Side;

namespace {

class PanelCommandsTest : public PaneTest {
protected:
    PanelCommandsTest() {
        drives.makeDir("C:\\Left");
        drives.makeDir("D:\\Right");
        panels = Shown<panes::TFilePanels>(1000, 500);
        panels->FirstActivation = false;
        panels->DirList(Side::Left).SetDirectory("C:\\Left");
        panels->DirList(Side::Right).SetDirectory("D:\\Right");
    }

    panes::TCheckFileListBoxEx& Left() { return panels->FileList(Side::Left); }
    int IndexOf(const char* text) { return static_cast<int>(Left().Items().indexOf(text)); }
    void Tick(const char* text) {
        const int i = IndexOf(text);
        ASSERT_GE(i, 0) << text;
        Left().SetTicked(i, true);
    }

    QWidget& Child(const char* name) { return *panels->findChild<QWidget*>(name); }
    QToolButton& Button(const char* name) { return *panels->findChild<QToolButton*>(name); }

    std::unique_ptr<panes::TFilePanels> panels;
};

TEST_F(PanelCommandsTest, DeleteWithNothingTicked) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    panels->FirstActivation = true;
    panels->FileList(Side::Left).Update();  // keeps the dot entries
    for (int i = 0; i < Left().Count(); ++i)
        if (Left().IsDotEntry(i)) Left().SetTicked(i, true);
    dialogs.ExpectMessage(MsgKind::Information, "Select some files/directories to delete",
                          platform::mrOk, platform::mbOK);
    Button("btnDeleteFilesLeft").click();
    EXPECT_TRUE(drives.exists("C:\\Left\\a.txt"));
    EXPECT_TRUE(drives.exists("C:\\Left"));
}

TEST_F(PanelCommandsTest, DeleteTickedAfterConfirmation) {
    struct Case {
        int answer;
        bool deleted;
    };
    for (const Case c : {Case{platform::mrCancel, false}, Case{platform::mrOk, true}}) {
        drives.writeFile("C:\\Left\\a.txt", "x");
        drives.writeFile("C:\\Left\\b.txt", "x");
        drives.writeFile("C:\\Left\\keep.txt", "x");
        drives.writeFile("C:\\Left\\Photos\\Deep\\p.jpg", "x");
        panels->RefreshAll();
        for (const char* t : {"a.txt", "b.txt", "[Photos]"})
            Tick(t);

        dialogs.ExpectMessage(MsgKind::Confirmation,
                              "You are about to delete 3 files/directories.\r\n"
                              "This cannot be undone!\r\nAre you sure you want to proceed?",
                              c.answer, platform::mbOK | platform::mbCancel);
        Button("btnDeleteFilesLeft").click();
        EXPECT_EQ(drives.exists("C:\\Left\\a.txt"), !c.deleted);
        EXPECT_EQ(drives.exists("C:\\Left\\Photos"), !c.deleted);
        EXPECT_TRUE(drives.exists("C:\\Left\\keep.txt"));
        // Re-read either way: nothing is ticked afterwards.
        for (int i = 0; i < Left().Count(); ++i)
            EXPECT_FALSE(Left().Ticked(i));
        EXPECT_EQ(Left().Items().contains("a.txt"), !c.deleted);
    }
    // Enter answers the confirmation with OK, Escape with Cancel.
    const unsigned buttons = platform::mbOK | platform::mbCancel;
    EXPECT_EQ(platform::DefaultButton(buttons), platform::mbOK);
    EXPECT_EQ(platform::EscapeButton(buttons), platform::mbCancel);
}

TEST_F(PanelCommandsTest, DeleteNeverReachesPastTheTickedEntries) {
    drives.writeFile("D:\\Elsewhere\\canary.txt", "alive");
    drives.writeFile("D:\\Target\\canary2.txt", "alive");
    drives.writeFile("C:\\Left\\Tree\\own.txt", "x");
    drives.makeSymlink("C:\\Left\\Tree\\escape", drives.host("D:\\Elsewhere"));
    drives.makeSymlink("C:\\Left\\LinkDir", drives.host("D:\\Target"));
    drives.makeDir("C:\\Left\\Photos");
    drives.writeFile("C:\\Left\\[Photos]", "a file named like a directory entry");
    panels->RefreshAll();
    Tick("[Tree]");
    Tick("[LinkDir]");
    // Two entries read "[Photos]": tick the file, not the directory.
    for (int i = 0; i < Left().Count(); ++i)
        if (Left().Item(i) == "[Photos]" && !Left().IsDirectoryEntry(i)) Left().SetTicked(i, true);

    dialogs.ExpectMessage(MsgKind::Confirmation, "You are about to delete 3 ", platform::mrOk, 0,
                          TextMatch::Contains);
    Button("btnDeleteFilesLeft").click();
    EXPECT_FALSE(drives.exists("C:\\Left\\Tree"));
    EXPECT_FALSE(drives.exists("C:\\Left\\LinkDir"));
    EXPECT_FALSE(drives.exists("C:\\Left\\[Photos]"));
    EXPECT_TRUE(drives.exists("C:\\Left\\Photos"));
    EXPECT_EQ(drives.readFile("D:\\Elsewhere\\canary.txt"), "alive");
    EXPECT_EQ(drives.readFile("D:\\Target\\canary2.txt"), "alive");
}

TEST_F(PanelCommandsTest, MakeDirectory) {
    drives.makeDir("C:\\Left\\Exists");
    drives.writeFile("C:\\Left\\plain", "x");
    struct Case {
        const char* answer;
        const char* message;  // nullptr: none
        MsgKind kind;
        const char* created;  // nullptr: nothing new
    };
    const Case cases[] = {
        {"", nullptr, MsgKind::Confirmation, nullptr},
        {"New Dir ", nullptr, MsgKind::Confirmation, "C:\\Left\\New Dir "},
        {"Exists", "Directory C:\\Left\\Exists already exists", MsgKind::Confirmation, nullptr},
        {"plain\\sub", "Error creating \"C:\\Left\\plain\\sub\"", MsgKind::Confirmation, nullptr},
    };
    for (const Case& c : cases) {
        dialogs.ExpectInput("Create Directory", "Enter a new directory name", c.answer);
        if (c.message) dialogs.ExpectMessage(c.kind, c.message, platform::mrOk, platform::mbOK);
        Button("btnMakeDirLeft").click();
        EXPECT_EQ(dialogs.Remaining(), 0) << c.answer;
        if (c.created) {
            EXPECT_TRUE(drives.exists(c.created)) << c.created;
        }
    }
    EXPECT_TRUE(Left().Items().contains("[New Dir ]"));
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\Left");

    panels->DirList(Side::Right).SetDirectory("D:\\");
    dialogs.ExpectInput("Create Directory", "Enter a new directory name", "AtRoot");
    panels->btnMakeDirRightClick();
    EXPECT_TRUE(drives.exists("D:\\AtRoot"));
    EXPECT_TRUE(panels->FileList(Side::Right).Items().contains("[AtRoot]"));
}

TEST_F(PanelCommandsTest, RenameFromTheFileList) {
    drives.writeFile("C:\\Left\\Photos\\p.jpg", "x");
    drives.writeFile("C:\\Left\\taken.txt", "t");
    drives.writeFile("C:\\Left\\notes.txt", "n");
    panels->RefreshAll();

    struct Case {
        const char* select;
        const char* defaultText;
        const char* answer;
        const char* renamedTo;  // nullptr: nothing renamed
        bool refused;
    };
    const Case cases[] = {
        {"[Photos]", "Photos", "  Pictures\t", "C:\\Left\\Pictures", false},
        {"notes.txt", "notes.txt", "notes.txt", nullptr, false},                // unchanged
        {"notes.txt", "notes.txt", "   ", nullptr, false},                      // blanks only
        {"notes.txt", "notes.txt", "Notes.txt", "C:\\Left\\Notes.txt", false},  // case alone
        {"Notes.txt", "Notes.txt", "taken.txt", nullptr, true},
    };
    for (const Case& c : cases) {
        const int index = IndexOf(c.select);
        ASSERT_GE(index, 0) << c.select;
        Left().SetItemIndex(index);
        dialogs.ExpectInput("Rename file/directory", "New file/directory name", c.answer);
        if (c.refused)
            dialogs.ExpectMessage(MsgKind::Warning, "Error renaming file/directory", platform::mrOk,
                                  platform::mbOK);
        Button("btnRenameLeft").click();
        ASSERT_EQ(dialogs.Remaining(), 0) << c.select;
        EXPECT_EQ(dialogs.Shown().back().type == testsupport::ShownPrompt::Type::Input
                      ? dialogs.Shown().back().defaultText
                      : dialogs.Shown()[dialogs.Shown().size() - 2].defaultText,
                  c.defaultText);
        if (c.renamedTo) {
            EXPECT_TRUE(drives.exists(c.renamedTo)) << c.renamedTo;
        }
        EXPECT_EQ(Left().ItemIndex(), -1);
    }
    EXPECT_EQ(drives.readFile("C:\\Left\\taken.txt"), "t");
    EXPECT_EQ(drives.readFile("C:\\Left\\Notes.txt"), "n");
    EXPECT_TRUE(drives.exists("C:\\Left\\Pictures\\p.jpg"));
}

TEST_F(PanelCommandsTest, RenameTheDirectoryListsCurrentDirectory) {
    drives.writeFile("C:\\Left\\Old\\inside.txt", "x");
    panels->DirList(Side::Left).SetDirectory("C:\\Left\\Old");
    panels->FileList(Side::Left).ClearSelection();
    ASSERT_GE(panels->DirList(Side::Left).ItemIndex(), 0);
    dialogs.ExpectInput("Rename file/directory", "New file/directory name", "New");
    Button("btnRenameLeft").click();
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\Left\\New");
    EXPECT_TRUE(drives.exists("C:\\Left\\New\\inside.txt"));
    EXPECT_TRUE(Left().Items().contains("inside.txt"));

    // A drive root has no name to change: no prompt at all.
    panels->DirList(Side::Left).SetDirectory("C:\\");
    panels->FileList(Side::Left).ClearSelection();
    Button("btnRenameLeft").click();
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\");
}

TEST_F(PanelCommandsTest, RefreshClearsSelectionsAndShowsFreeSpace) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    drives.setFreeSpace('C', 5'000'000'000);
    drives.setFreeSpace('D', -1);
    panels->RefreshAll();
    Press(Left(), Qt::LeftButton, 0, 40);
    EXPECT_EQ(panels->DirList(Side::Left).ItemIndex(), -1);  // the hand-over
    Press(panels->DirList(Side::Right), Qt::LeftButton, 0, 100);
    EXPECT_EQ(panels->FileList(Side::Right).ItemIndex(), -1);

    Button("btnRefreshLeft").click();
    EXPECT_EQ(panels->DirList(Side::Left).ItemIndex(), -1);
    EXPECT_EQ(panels->FileList(Side::Left).ItemIndex(), -1);
    EXPECT_EQ(panels->DirList(Side::Right).ItemIndex(), -1);
    EXPECT_EQ(panels->FileList(Side::Right).ItemIndex(), -1);
    EXPECT_EQ(panels->DriveSpace(Side::Left).text(), queue::FormatSize(5'000'000'000));
    EXPECT_EQ(panels->DriveSpace(Side::Right).text(), "-1 Bytes");

    // Rename now has nothing to act on.
    Button("btnRenameLeft").click();
    EXPECT_EQ(dialogs.Shown().size(), 0u);
}

TEST_F(PanelCommandsTest, EitherSelectorRewritesBothLabels) {
    drives.setFreeSpace('C', 1000);
    drives.setFreeSpace('D', 2000);
    panels->DriveCombo(Side::Right).SetDrive('C');
    EXPECT_EQ(panels->DriveSpace(Side::Left).text(), queue::FormatSize(1000));
    EXPECT_EQ(panels->DriveSpace(Side::Right).text(), queue::FormatSize(1000));
    drives.setFreeSpace('C', 3000);
    panels->DriveCombo(Side::Left).SetDrive('D');
    EXPECT_EQ(panels->DriveSpace(Side::Left).text(), queue::FormatSize(2000));
    EXPECT_EQ(panels->DriveSpace(Side::Right).text(), queue::FormatSize(3000));
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "D:\\Right");  // D's last directory
}

TEST_F(PanelCommandsTest, TickAllAndUntickAll) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    drives.makeDir("C:\\Left\\Sub");
    panels->RefreshAll();
    Button("btnSelectAllLeft").click();
    for (int i = 0; i < Left().Count(); ++i)
        EXPECT_TRUE(Left().Ticked(i));
    Button("btnDeselectAllLeft").click();
    for (int i = 0; i < Left().Count(); ++i)
        EXPECT_FALSE(Left().Ticked(i));
}

TEST_F(PanelCommandsTest, RemovedPaneDirectoryShowsTheErrorAndKeepsTheLists) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    panels->RefreshAll();
    const QStringList before = Left().Items();
    ASSERT_EQ(std::system(("rm -rf '" + drives.host("C:\\Left") + "'").constData()), 0);
    dialogs.ExpectErrorBox(platform::IoErrorText(2));
    Button("btnRefreshLeft").click();
    EXPECT_EQ(dialogs.Remaining(), 0);
    EXPECT_EQ(Left().Items(), before);
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\Left");
}

TEST_F(PanelCommandsTest, DotEntriesGoOnceTheWindowIsActive) {
    drives.makeDir("C:\\Left\\Sub");
    panels->FirstActivation = true;
    panels->FileList(Side::Left).Update();
    EXPECT_TRUE(Left().Items().contains("[..]"));
    panels->FirstActivation = false;
    panels->CleanFileLists();
    EXPECT_EQ(Left().Items(), QStringList{"[Sub]"});
    panels->FileList(Side::Left).Update();
    EXPECT_EQ(Left().Items(), QStringList{"[Sub]"});
}

TEST_F(PanelCommandsTest, LayoutRules) {
    struct Case {
        int asked;
        int height;
    };
    for (const Case c :
         {Case{225, 220}, Case{100, 220}, Case{229, 220}, Case{230, 230}, Case{300, 300}}) {
        panels->SetFilePanelHeight(c.asked);
        EXPECT_EQ(panels->FilePanelHeight(), c.height) << c.asked;
    }

    // Dragging the bar under the panel to 225 pixels leaves it at 220.
    panels->SetFilePanelHeight(250);
    QWidget* bar = &Child("Splitter3");
    const QPoint grip(bar->width() / 2, 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    QTest::mouseMove(bar, grip + QPoint(0, -25));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, grip + QPoint(0, -25));
    EXPECT_EQ(panels->FilePanelHeight(), 220);

    panels->resize(1001, 500);
    QApplication::processEvents();
    EXPECT_EQ(Child("PanelLeft").width(), (1001 - 30) / 2);
    EXPECT_EQ(panels->DriveCombo(Side::Left).width(), Child("PanelDirLeft").width() - 66);
    EXPECT_EQ(panels->DriveSpace(Side::Left).width(), 66);
    EXPECT_EQ(Button("btnRenameRight").geometry(), QRect(3, 100, 23, 22));
}

}  // namespace

TEST_F(PanelCommandsTest, KeysOfTwoPaneFileManagers) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    drives.writeFile("C:\\Left\\b.txt", "x");
    drives.makeDir("C:\\Left\\Sub");
    panels->RefreshAll();
    panels->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panels.get()));
    panes::TCheckFileListBoxEx& list = Left();
    list.setFocus();
    const auto ticks = [&] {
        QString out;
        for (int i = 0; i < list.Count(); ++i)
            out += list.Ticked(i) ? u'x' : u'.';
        return out;
    };

    // Insert ticks and moves on; Ctrl+A and Ctrl+Shift+A are the strip's first two buttons.
    list.SetItemIndex(IndexOf("a.txt"));
    QTest::keyClick(&list, Qt::Key_Insert);
    EXPECT_EQ(ticks(), ".x.");
    EXPECT_EQ(list.ItemIndex(), IndexOf("b.txt"));
    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(ticks(), "xxx");
    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ticks(), "...");

    // F5 and F6 press the queue buttons of this pane; the others ask as their buttons do.
    QSignalSpy copy(&panels->QueueButton(Side::Left, false), &QToolButton::clicked);
    QSignalSpy move(&panels->QueueButton(Side::Left, true), &QToolButton::clicked);
    QTest::keyClick(&list, Qt::Key_F5);
    QTest::keyClick(&list, Qt::Key_F6);
    EXPECT_EQ(copy.count() * 10 + move.count(), 11);
    dialogs.ExpectInput("Create Directory", "Enter a new directory name", "");
    dialogs.ExpectInput("Rename file/directory", "New file/directory name", "b.txt");
    dialogs.ExpectMessage(MsgKind::Information, "Select some files/directories to delete",
                          platform::mrOk);
    for (Qt::Key key : {Qt::Key_F7, Qt::Key_F2, Qt::Key_Delete}) {
        list.SetItemIndex(IndexOf("b.txt"));
        QTest::keyClick(&list, key);
    }
    EXPECT_EQ(dialogs.Remaining(), 0);

    // Enter opens a directory entry, Backspace goes up, in either list.
    list.SetItemIndex(IndexOf("[Sub]"));
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\Left\\Sub");
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\Left");
    QTest::keyClick(&panels->DirList(Side::Left), Qt::Key_Backspace);
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\");
    QTest::keyClick(&panels->DirList(Side::Left), Qt::Key_Backspace);  // a root stays
    EXPECT_EQ(panels->DirList(Side::Left).Directory(), "C:\\");
}

TEST_F(PanelCommandsTest, NamesTellTheTwinsApartAndTheFreeSpaceIsRead) {
    drives.setFreeSpace('C', 5'000'000'000);
    panels->ShowFreeSpace();
    EXPECT_EQ(panels->DriveSpace(Side::Left).accessibleName(),
              "Free space on left drive: " + queue::FormatSize(5'000'000'000));
    EXPECT_EQ(panels->FileList(Side::Right).accessibleName(), "Right file list");
    EXPECT_EQ(Button("btnRightSelectAll").accessibleName(),
              "Select all files in the right file list");
    EXPECT_EQ(Button("btnRightSelectAll").toolTip(), "Select all files in the file list");
}
