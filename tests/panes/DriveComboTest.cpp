#include "PaneFixture.h"

#include "panes/DriveComboBox.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"

#include <QSignalSpy>
#include <QWidget>

using panes::TDirectoryListBoxEx;
using panes::TDriveComboBoxEx;
using platform::DriveType;
using namespace panetest;

namespace {

class DriveComboTest : public PaneTest {};

TEST_F(DriveComboTest, EntryTexts) {
    drives.addDrive('C', DriveType::Fixed, "System");
    drives.addDrive('E', DriveType::Removable, "Stick");
    drives.addDrive('F', DriveType::Remote, "Share", "\\\\server\\share");
    drives.addDrive('G', DriveType::Remote, "NoName");
    drives.addDrive('H', DriveType::CdRom, "Disc");
    drives.addDrive('I', DriveType::Removable);
    struct Case {
        QChar letter;
        panes::TTextCase textCase;
        const char* text;
    };
    const Case cases[] = {
        {'C', panes::tcUpperCase, "C: [SYSTEM]"}, {'C', panes::tcLowerCase, "c: [system]"},
        {'D', panes::tcUpperCase, "D: []"},       {'E', panes::tcUpperCase, "E: [STICK]"},
        {'I', panes::tcUpperCase, "I: "},         {'F', panes::tcUpperCase, "F: \\\\SERVER\\SHARE"},
        {'G', panes::tcUpperCase, "G: [NONAME]"}, {'H', panes::tcUpperCase, "H: [DISC]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TDriveComboBoxEx::EntryText(c.letter, c.textCase), c.text) << c.text;

    TDriveComboBoxEx combo;
    combo.SetTextCase(panes::tcUpperCase);
    combo.BuildList();
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i)
        texts << combo.itemText(i);
    EXPECT_EQ(texts, (QStringList{"C: [SYSTEM]", "D: []", "E: [STICK]", "F: \\\\SERVER\\SHARE",
                                  "G: [NONAME]", "H: [DISC]", "I: "}));
}

struct Linked {
    QWidget window;
    TDriveComboBoxEx* combo = new TDriveComboBoxEx(&window);
    TDirectoryListBoxEx* dirs = new TDirectoryListBoxEx(&window);
    Linked() {
        combo->setGeometry(0, 0, 150, 22);
        dirs->setGeometry(0, 22, 150, 200);
        combo->SetTextCase(panes::tcUpperCase);
        combo->SetDirList(dirs);
        window.show();
    }
};

TEST_F(DriveComboTest, ChoosingByKeyboardAndAgain) {
    drives.makeDir("D:\\x");
    Linked pane;
    ASSERT_EQ(pane.combo->Drive(), QChar('C'));
    ASSERT_EQ(pane.combo->currentIndex(), 0);
    QSignalSpy changes(pane.combo, &TDriveComboBoxEx::OnChange);

    pane.combo->setFocus();
    QTest::keyClick(pane.combo, Qt::Key_Down);  // each arrow key is a choice
    EXPECT_EQ(pane.combo->Drive(), QChar('D'));
    EXPECT_EQ(pane.dirs->Directory(), "D:\\");
    EXPECT_EQ(changes.count(), 1);

    pane.combo->SetDrive('d');  // the drive already selected
    EXPECT_EQ(changes.count(), 1);
    QTest::keyClick(pane.combo, Qt::Key_Up);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\");
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(DriveComboTest, DriveThatCannotBeEnteredKeepsThePane) {
    drives.makeDir("C:\\Stay");
    Linked pane;
    pane.dirs->SetDirectory("C:\\Stay");
    // D's root vanishes, as when a medium is pulled.
    ASSERT_EQ(std::system(("rm -rf '" + drives.host("D:\\") + "'").constData()), 0);
    QSignalSpy changes(pane.combo, &TDriveComboBoxEx::OnChange);

    dialogs.ExpectErrorBox("", testsupport::TextMatch::Contains);
    pane.combo->setFocus();
    QTest::keyClick(pane.combo, Qt::Key_Down);
    EXPECT_EQ(pane.dirs->Directory(), "C:\\Stay");
    // The selector names the drive the pane is on, not the one that failed.
    EXPECT_EQ(pane.combo->Drive(), QChar('C'));
    EXPECT_EQ(pane.combo->currentText(), "C: []");
}

TEST_F(DriveComboTest, MountsComeAndGoUnderBothPanes) {
    drives.addDrive('E', DriveType::Removable, "Stick");
    Linked left, right;
    right.combo->SetDrive('E');
    ASSERT_EQ(right.dirs->Directory(), "E:\\");
    left.combo->SetDrive('D');
    QSignalSpy leftChanges(left.combo, &TDriveComboBoxEx::OnChange);
    const auto texts = [](const TDriveComboBoxEx* combo) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    };

    // The stick is pulled and another volume comes: no letter moves.
    drives.setReady('E', false);
    drives.addDrive('F', DriveType::Fixed, "Backup");
    left.combo->DrivesChanged();
    right.combo->DrivesChanged();
    EXPECT_EQ(texts(left.combo), (QStringList{"C: []", "D: []", "F: [BACKUP]"}));
    EXPECT_EQ(left.combo->currentText(), "D: []");
    EXPECT_EQ(leftChanges.count(), 1);  // the free space is shown again
    EXPECT_EQ(left.dirs->Directory(), "D:\\");
    // The pane on the stick keeps showing it, not ready.
    EXPECT_EQ(texts(right.combo), (QStringList{"C: []", "D: []", "E: [STICK]", "F: [BACKUP]"}));
    EXPECT_EQ(right.combo->currentText(), "E: [STICK]");
    EXPECT_EQ(platform::DriveFreeSpace("E:\\"), -1);
    dialogs.ExpectErrorBox("", testsupport::TextMatch::Contains);
    platform::Guard([&] { right.dirs->Update(); });
    EXPECT_EQ(right.dirs->Directory(), "E:\\");

    drives.setReady('E', true);
    right.combo->DrivesChanged();
    EXPECT_EQ(right.combo->currentText(), "E: [STICK]");
    EXPECT_GE(platform::DriveFreeSpace("E:\\"), 0);
}

}  // namespace
