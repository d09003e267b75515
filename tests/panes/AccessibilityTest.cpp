#include "PaneFixture.h"

#include "panes/DriveComboBox.h"
#include "platform/widgets/AccessibleEntries.h"

#include <QAccessible>

namespace {

using panetest::PaneTest;

QAccessibleInterface* Entry(QWidget* list, const QString& name) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
    for (int i = 0; iface && i < iface->childCount(); ++i) {
        if (iface->child(i)->text(QAccessible::Name) == name) return iface->child(i);
    }
    return nullptr;
}

TEST_F(PaneTest, ListEntriesAreSeenAndWorkedThroughAccessibility) {
    platform::InstallAccessibleEntries();
    drives.writeFile("C:\\Src\\a.txt", "a");
    drives.makeDir("C:\\Src\\Sub");
    auto dirs = panetest::Shown<panes::TDirectoryListBoxEx>();
    auto files = panetest::Shown<panes::TCheckFileListBoxEx>();
    dirs->SetFileList(files.get());
    dirs->SetDirectOpen(true);
    dirs->SetDirectory("C:\\Src");

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(files.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->childCount(), files->Count());
    QAccessibleInterface* file = Entry(files.get(), "a.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->role(), QAccessible::ListItem);
    EXPECT_EQ(list->indexOfChild(file), files->Items().indexOf("a.txt"));
    EXPECT_TRUE(file->state().checkable);
    EXPECT_FALSE(file->state().checked);

    // Toggle ticks the entry as a click on its box does; Press selects it.
    file->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(files->Ticked(files->Items().indexOf("a.txt")));
    EXPECT_TRUE(file->state().checked);
    file->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(file->state().selected);

    // Pressing a directory entry opens it, as a single click does; entries
    // that went are no longer valid.
    QAccessibleInterface* sub = Entry(dirs.get(), "Sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_FALSE(sub->state().checkable);
    sub->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(dirs->Directory(), "C:\\Src\\Sub");
    EXPECT_EQ(files->Count(), 0);
    EXPECT_FALSE(file->isValid());
}

TEST_F(PaneTest, ADriveEntryActedOnChoosesItsDrive) {
    auto dirs = panetest::Shown<panes::TDirectoryListBoxEx>();
    auto combo = panetest::Shown<panes::TDriveComboBoxEx>();
    combo->SetDirList(dirs.get());
    combo->SetTextCase(panes::tcUpperCase);
    combo->SetDrive('C');
    QAccessibleInterface* entries = QAccessible::queryAccessibleInterface(combo.get())->child(0);
    ASSERT_NE(entries, nullptr);
    for (int i = 0; i < entries->childCount(); ++i) {
        QAccessibleInterface* entry = entries->child(i);
        if (!entry->text(QAccessible::Name).startsWith("D:")) continue;
        entry->actionInterface()->doAction(entry->actionInterface()->actionNames().front());
    }
    EXPECT_EQ(combo->Drive(), 'D');
    EXPECT_TRUE(dirs->Directory().startsWith("D:"));
}

}  // namespace
