#include "PaneFixture.h"

#include "panes/FilePanels.h"
#include "panes/PanelCommands.h"
#include "platform/Errors.h"
#include "queue/Format.h"

#include <QApplication>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

using platform::MsgKind;
using testsupport::TextMatch;
using namespace panetest;

namespace {

class PanelCommandsTest : public PaneTest {
protected:
    PanelCommandsTest() {
        drives.makeDir("C:\\Left");
        drives.makeDir("D:\\Right");
        panels = Shown<panes::TFilePanels>(1000, 500);
        panels->FirstActivation = false;
        panels->DirListLeft->SetDirectory("C:\\Left");
        panels->DirListRight->SetDirectory("D:\\Right");
    }

    panes::TCheckFileListBoxEx& Left() { return *panels->FileListLeft; }
    int IndexOf(const char* text) { return static_cast<int>(Left().Items().indexOf(text)); }
    void Tick(const char* text) {
        const int i = IndexOf(text);
        ASSERT_GE(i, 0) << text;
        Left().SetTicked(i, true);
    }

    std::unique_ptr<panes::TFilePanels> panels;
};

TEST_F(PanelCommandsTest, DeleteWithNothingTicked) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    panels->FirstActivation = true;
    panels->FileListLeft->Update();  // keeps the dot entries
    for (int i = 0; i < Left().Count(); ++i)
        if (Left().IsDotEntry(i)) Left().SetTicked(i, true);
    dialogs.ExpectMessage(MsgKind::Information, "Select some files/directories to delete",
                          platform::mrOk, platform::mbOK);
    panels->btnDeleteFilesLeft->click();
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
        panels->btnDeleteFilesLeft->click();
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
    panels->btnDeleteFilesLeft->click();
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
        panels->btnMakeDirLeft->click();
        EXPECT_EQ(dialogs.Remaining(), 0) << c.answer;
        if (c.created) {
            EXPECT_TRUE(drives.exists(c.created)) << c.created;
        }
    }
    EXPECT_TRUE(Left().Items().contains("[New Dir ]"));
    EXPECT_EQ(panels->DirListLeft->Directory(), "C:\\Left");

    panels->DirListRight->SetDirectory("D:\\");
    dialogs.ExpectInput("Create Directory", "Enter a new directory name", "AtRoot");
    panels->btnMakeDirRightClick();
    EXPECT_TRUE(drives.exists("D:\\AtRoot"));
    EXPECT_TRUE(panels->FileListRight->Items().contains("[AtRoot]"));
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
        panels->btnRenameLeft->click();
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
    panels->DirListLeft->SetDirectory("C:\\Left\\Old");
    panels->FileListLeft->ClearSelection();
    ASSERT_GE(panels->DirListLeft->ItemIndex(), 0);
    dialogs.ExpectInput("Rename file/directory", "New file/directory name", "New");
    panels->btnRenameLeft->click();
    EXPECT_EQ(panels->DirListLeft->Directory(), "C:\\Left\\New");
    EXPECT_TRUE(drives.exists("C:\\Left\\New\\inside.txt"));
    EXPECT_TRUE(Left().Items().contains("inside.txt"));

    // A drive root has no name to change: no prompt at all.
    panels->DirListLeft->SetDirectory("C:\\");
    panels->FileListLeft->ClearSelection();
    panels->btnRenameLeft->click();
    EXPECT_EQ(panels->DirListLeft->Directory(), "C:\\");
}

TEST_F(PanelCommandsTest, RefreshClearsSelectionsAndShowsFreeSpace) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    drives.setFreeSpace('C', 5'000'000'000);
    drives.setFreeSpace('D', -1);
    panels->RefreshAll();
    Press(Left(), Qt::LeftButton, 0, 40);
    EXPECT_EQ(panels->DirListLeft->ItemIndex(), -1);  // the hand-over
    Press(*panels->DirListRight, Qt::LeftButton, 0, 100);
    EXPECT_EQ(panels->FileListRight->ItemIndex(), -1);

    panels->btnRefreshLeft->click();
    EXPECT_EQ(panels->DirListLeft->ItemIndex(), -1);
    EXPECT_EQ(panels->FileListLeft->ItemIndex(), -1);
    EXPECT_EQ(panels->DirListRight->ItemIndex(), -1);
    EXPECT_EQ(panels->FileListRight->ItemIndex(), -1);
    EXPECT_EQ(panels->pnlDriveSpaceLeft->text(), queue::FormatSize(5'000'000'000));
    EXPECT_EQ(panels->pnlDriveSpaceRight->text(), "-1 Bytes");

    // Rename now has nothing to act on.
    panels->btnRenameLeft->click();
    EXPECT_EQ(dialogs.Shown().size(), 0u);
}

TEST_F(PanelCommandsTest, EitherSelectorRewritesBothLabels) {
    drives.setFreeSpace('C', 1000);
    drives.setFreeSpace('D', 2000);
    panels->DriveComboRight->SetDrive('C');
    EXPECT_EQ(panels->pnlDriveSpaceLeft->text(), queue::FormatSize(1000));
    EXPECT_EQ(panels->pnlDriveSpaceRight->text(), queue::FormatSize(1000));
    drives.setFreeSpace('C', 3000);
    panels->DriveComboLeft->SetDrive('D');
    EXPECT_EQ(panels->pnlDriveSpaceLeft->text(), queue::FormatSize(2000));
    EXPECT_EQ(panels->pnlDriveSpaceRight->text(), queue::FormatSize(3000));
    EXPECT_EQ(panels->DirListLeft->Directory(), "D:\\Right");  // D's last directory
}

TEST_F(PanelCommandsTest, TickAllAndUntickAll) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    drives.makeDir("C:\\Left\\Sub");
    panels->RefreshAll();
    panels->btnSelectAllLeft->click();
    for (int i = 0; i < Left().Count(); ++i)
        EXPECT_TRUE(Left().Ticked(i));
    panels->btnDeselectAllLeft->click();
    for (int i = 0; i < Left().Count(); ++i)
        EXPECT_FALSE(Left().Ticked(i));
}

TEST_F(PanelCommandsTest, RemovedPaneDirectoryShowsTheErrorAndKeepsTheLists) {
    drives.writeFile("C:\\Left\\a.txt", "x");
    panels->RefreshAll();
    const QStringList before = Left().Items();
    ASSERT_EQ(std::system(("rm -rf '" + drives.host("C:\\Left") + "'").constData()), 0);
    dialogs.ExpectErrorBox(platform::IoErrorText(2));
    panels->btnRefreshLeft->click();
    EXPECT_EQ(dialogs.Remaining(), 0);
    EXPECT_EQ(Left().Items(), before);
    EXPECT_EQ(panels->DirListLeft->Directory(), "C:\\Left");
}

TEST_F(PanelCommandsTest, DotEntriesGoOnceTheWindowIsActive) {
    drives.makeDir("C:\\Left\\Sub");
    panels->FirstActivation = true;
    panels->FileListLeft->Update();
    EXPECT_TRUE(Left().Items().contains("[..]"));
    panels->FirstActivation = false;
    panels->CleanFileLists();
    EXPECT_EQ(Left().Items(), QStringList{"[Sub]"});
    panels->FileListLeft->Update();
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
    const QPoint grip(panels->Splitter3->width() / 2, 2);
    QTest::mousePress(panels->Splitter3, Qt::LeftButton, {}, grip);
    QTest::mouseMove(panels->Splitter3, grip + QPoint(0, -25));
    QTest::mouseRelease(panels->Splitter3, Qt::LeftButton, {}, grip + QPoint(0, -25));
    EXPECT_EQ(panels->FilePanelHeight(), 220);

    panels->resize(1001, 500);
    QApplication::processEvents();
    EXPECT_EQ(panels->PanelLeft->width(), (1001 - 30) / 2);
    EXPECT_EQ(panels->DriveComboLeft->width(), panels->PanelDirLeft->width() - 66);
    EXPECT_EQ(panels->pnlDriveSpaceLeft->width(), 66);
    EXPECT_EQ(panels->btnRenameRight->geometry(), QRect(3, 100, 23, 22));
}

}  // namespace
