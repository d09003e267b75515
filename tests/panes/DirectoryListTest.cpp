#include "PaneFixture.h"

#include "panes/DriveComboBox.h"
#include "platform/Errors.h"

#include <QSignalSpy>
#include <QWidget>

#include <sys/stat.h>

using panes::TCheckFileListBoxEx;
using panes::TDirectoryListBoxEx;
using panes::TDirEntryKind;
using panes::TDriveComboBoxEx;
using namespace panetest;

namespace {

// One pane as the main window links it: selector -> directory list -> file list.
struct Pane {
    QWidget window;
    TDriveComboBoxEx* combo = new TDriveComboBoxEx(&window);
    TDirectoryListBoxEx* dirs = new TDirectoryListBoxEx(&window);
    TCheckFileListBoxEx* files = new TCheckFileListBoxEx(&window);

    Pane() {
        combo->setGeometry(0, 0, 200, 22);
        dirs->setGeometry(0, 22, 200, 300);
        files->setGeometry(200, 0, 200, 322);
        files->SetFileType(panes::ftDirectory | panes::ftNormal);
        dirs->SetDirectOpen(true);
        combo->SetTextCase(panes::tcUpperCase);
        combo->SetDirList(dirs);
        dirs->SetFileList(files);
        window.resize(400, 322);
        window.show();
    }
};

class DirectoryListTest : public PaneTest {};

TEST_F(DirectoryListTest, OpeningShowsThePathThenSortedSubdirectories) {
    for (const char* d : {"C:\\A\\B\\zulu", "C:\\A\\B\\Alpha", "C:\\A\\B\\mike",
                          "C:\\A\\B\\.hidden", "C:\\A\\other"})
        drives.makeDir(QString::fromLatin1(d));
    drives.writeFile("C:\\A\\B\\file.txt", "x");
    Pane pane;
    pane.dirs->SetDirectory("C:\\A\\B");

    EXPECT_EQ(Entries(*pane.dirs), (QStringList{"C:\\", "A", "B", "Alpha", "mike", "zulu"}));
    EXPECT_EQ(pane.dirs->ItemIndex(), 2);
    struct Row {
        TDirEntryKind kind;
        const char* path;
    };
    const Row rows[] = {
        {TDirEntryKind::Opened, "C:\\"},           {TDirEntryKind::Opened, "C:\\A"},
        {TDirEntryKind::Current, "C:\\A\\B"},      {TDirEntryKind::Closed, "C:\\A\\B\\Alpha"},
        {TDirEntryKind::Closed, "C:\\A\\B\\mike"}, {TDirEntryKind::Closed, "C:\\A\\B\\zulu"},
    };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pane.dirs->EntryKind(i), rows[i].kind) << i;
        EXPECT_EQ(pane.dirs->EntryPath(i), rows[i].path) << i;
    }
    EXPECT_EQ(pane.files->Directory(), "C:\\A\\B");
    EXPECT_TRUE(pane.files->Items().contains("file.txt"));

    pane.dirs->SetDirectory("C:\\");
    EXPECT_EQ(Entries(*pane.dirs), (QStringList{"C:\\", "A"}));
    EXPECT_EQ(pane.dirs->EntryKind(0), TDirEntryKind::Current);
    EXPECT_EQ(pane.dirs->EntryPath(1), "C:\\A");
}

TEST_F(DirectoryListTest, OpeningTheSameDirectoryRereadsNothing) {
    drives.makeDir("C:\\A");
    Pane pane;
    pane.dirs->SetDirectory("C:\\A");
    pane.files->SetTicked(0, true);
    QSignalSpy dirChanges(pane.dirs, &TDirectoryListBoxEx::OnChange);
    QSignalSpy fileChanges(pane.files, &TCheckFileListBoxEx::OnChange);
    for (const char* same : {"C:\\A", "C:\\A\\", "c:\\A", "C:\\\\A"}) {
        pane.dirs->SetDirectory(QString::fromLatin1(same));
        EXPECT_EQ(pane.dirs->Directory(), "C:\\A") << same;
    }
    EXPECT_EQ(dirChanges.count(), 0);
    EXPECT_EQ(fileChanges.count(), 0);
    EXPECT_TRUE(pane.files->Ticked(0));

    // The volume is case-sensitive: another spelling is another directory.
    drives.makeDir("C:\\a");
    pane.dirs->SetDirectory("C:\\a");
    EXPECT_EQ(pane.dirs->Directory(), "C:\\a");
    EXPECT_EQ(pane.files->Directory(), "C:\\a");
}

TEST_F(DirectoryListTest, SingleClickOpensAndDoubleClickOpensOneLevel) {
    drives.writeFile("C:\\Top\\Sub\\inner.txt", "x");
    drives.makeDir("C:\\Top\\Sub\\Deeper\\Deepest");
    Pane pane;
    pane.dirs->SetDirectory("C:\\Top");
    ASSERT_EQ(pane.dirs->Item(2), "Sub");
    Press(*pane.dirs, Qt::LeftButton, 2, 40);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\Top\\Sub");
    EXPECT_TRUE(pane.files->Items().contains("inner.txt"));

    ASSERT_EQ(pane.dirs->Item(3), "Deeper");
    DoubleClick(*pane.dirs, 3, 40);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\Top\\Sub\\Deeper");
}

TEST_F(DirectoryListTest, OpeningAnotherDriveMovesTheSelector) {
    drives.makeDir("D:\\Tgt\\Deep");
    Pane pane;
    QSignalSpy comboChanges(pane.combo, &TDriveComboBoxEx::OnChange);
    pane.dirs->SetDirectory("D:\\Tgt");
    EXPECT_EQ(pane.combo->Drive(), QChar('D'));
    EXPECT_EQ(pane.combo->currentText(), "D: []");
    EXPECT_EQ(comboChanges.count(), 1);
    EXPECT_FALSE(pane.dirs->DriveChangeUnderWay());

    // Choosing C and then D again comes back to the directory last opened on D.
    pane.dirs->SetDirectory("D:\\Tgt\\Deep");
    pane.combo->SetDrive('C');
    EXPECT_EQ(pane.dirs->Directory(), "C:\\");
    pane.combo->SetDrive('D');
    EXPECT_EQ(pane.dirs->Directory(), "D:\\Tgt\\Deep");
    EXPECT_EQ(pane.files->Directory(), "D:\\Tgt\\Deep");
}

TEST_F(DirectoryListTest, DirectoryThatCannotBeEnteredLeavesThePaneAsItWas) {
    drives.makeDir("C:\\Here\\Sub");
    drives.writeFile("C:\\file.txt", "x");
    drives.makeDir("D:\\Other");
    Pane pane;
    pane.dirs->SetDirectory("C:\\Here");
    const QStringList dirs = Entries(*pane.dirs);
    const QStringList files = Entries(*pane.files);
    for (const char* bad : {"C:\\Missing", "C:\\file.txt\\x", "D:\\Missing", "Q:\\"}) {
        EXPECT_THROW(pane.dirs->SetDirectory(QString::fromLatin1(bad)), platform::EInOutError)
            << bad;
        EXPECT_EQ(pane.dirs->Directory(), "C:\\Here") << bad;
        EXPECT_EQ(Entries(*pane.dirs), dirs) << bad;
        EXPECT_EQ(Entries(*pane.files), files) << bad;
        EXPECT_EQ(pane.combo->Drive(), QChar('C')) << bad;
    }

    // The directory shown is removed: Update fails and keeps what it shows.
    ASSERT_EQ(::rmdir(drives.host("C:\\Here\\Sub").constData()), 0);
    ASSERT_EQ(::rmdir(drives.host("C:\\Here").constData()), 0);
    EXPECT_THROW(pane.dirs->Update(), platform::EInOutError);
    EXPECT_EQ(Entries(*pane.dirs), dirs);
}

TEST_F(DirectoryListTest, RemovedDirectoryClickedShowsTheErrorBox) {
    drives.makeDir("C:\\Top\\Gone");
    Pane pane;
    pane.dirs->SetDirectory("C:\\Top");
    ASSERT_EQ(::rmdir(drives.host("C:\\Top\\Gone").constData()), 0);
    dialogs.ExpectErrorBox(platform::IoErrorText(2));
    Press(*pane.dirs, Qt::LeftButton, 2, 40);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\Top");
    EXPECT_EQ(dialogs.Remaining(), 0);
}

TEST_F(DirectoryListTest, EnterAndTypeAheadOpenBySelection) {
    drives.makeDir("C:\\bravo");
    drives.makeDir("C:\\charlie");
    Pane pane;
    pane.dirs->SetDirectory("C:\\");
    QSignalSpy clicks(pane.dirs, &TDirectoryListBoxEx::OnClick);
    pane.dirs->setFocus();
    double now = 45000.0;
    platform::SetClock([&now] { return now; });
    QTest::keyClick(pane.dirs, 'c');  // "C:\" begins with it too, and comes first
    EXPECT_EQ(pane.dirs->ItemIndex(), 0);
    QTest::keyClick(pane.dirs, 'h');
    EXPECT_EQ(pane.dirs->Item(pane.dirs->ItemIndex()), "charlie");
    EXPECT_EQ(clicks.count(), 2);
    QTest::keyClick(pane.dirs, Qt::Key_Return);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\charlie");
}

}  // namespace
