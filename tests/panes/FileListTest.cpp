#include "PaneFixture.h"

#include "panes/PanelCommands.h"
#include "platform/Errors.h"

#include <QGuiApplication>
#include <QSignalSpy>

using panes::TCheckFileListBoxEx;
using namespace panetest;

namespace {

class FileListTest : public PaneTest {
protected:
    std::unique_ptr<TCheckFileListBoxEx> List(const QString& dir) {
        auto list = Shown<TCheckFileListBoxEx>();
        list->SetFileType(panes::ftDirectory | panes::ftNormal);
        list->SetDirectory(dir);
        return list;
    }
};

TEST_F(FileListTest, ReadingListsWhatTheUserMaySee) {
    drives.writeFile("C:\\Data\\banana.txt", "b");
    drives.writeFile("C:\\Data\\Apple.txt", "a");
    drives.writeFile("C:\\Data\\1st.txt", "1");
    drives.writeFile("C:\\Data\\.hidden", "h");
    drives.makeDir("C:\\Data\\zeta");
    drives.makeDir("C:\\Data\\Alpha");
    drives.makeDir("C:\\Data\\.git");
    drives.makeFifo("C:\\Data\\pipe");
    drives.writeFile("C:\\top.txt", "t");

    struct Case {
        const char* dir;
        QStringList expected;
    };
    const Case cases[] = {
        // Bracketed entries sort before digits and letters; case is ignored.
        {"C:\\Data", {"[.]", "[..]", "[Alpha]", "[zeta]", "1st.txt", "Apple.txt", "banana.txt"}},
        // A drive root has no "[.]" and "[..]".
        {"C:\\", {"[Data]", "top.txt"}},
    };
    for (const Case& c : cases) {
        auto list = List(QString::fromLatin1(c.dir));
        QStringList entries = Entries(*list);
        // The two dot entries' mutual order is the collation's business.
        if (entries.size() > 1 && entries[0] == "[..]" && entries[1] == "[.]")
            std::swap(entries[0], entries[1]);
        EXPECT_EQ(entries, c.expected) << c.dir;
        EXPECT_EQ(list->ItemIndex(), -1);
        for (int i = 0; i < list->Count(); ++i)
            EXPECT_EQ(list->IsDirectoryEntry(i), list->Item(i).startsWith(u'[')) << i;
    }
}

TEST_F(FileListTest, TicksStayWithTheirEntriesAndGoOnReRead) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        drives.writeFile(QStringLiteral("C:\\T\\") + name, "x");
    auto list = List("C:\\T");
    ASSERT_EQ(list->Count(), 6);  // with [.] and [..]
    list->SetTicked(3, true);     // b.txt
    list->SetTicked(5, true);     // d.txt

    list->DeleteItem(2);  // a.txt: the later ticks move up with their entries
    EXPECT_EQ(list->Item(2), "b.txt");
    EXPECT_TRUE(list->Ticked(2));
    EXPECT_FALSE(list->Ticked(3));
    EXPECT_TRUE(list->Ticked(4));
    EXPECT_THROW(list->Ticked(5), platform::EListError);

    list->Update();
    ASSERT_EQ(list->Count(), 6);
    for (int i = 0; i < list->Count(); ++i)
        EXPECT_FALSE(list->Ticked(i)) << i;
}

TEST_F(FileListTest, MouseInTheCheckColumn) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        drives.writeFile(QStringLiteral("C:\\") + name, "x");
    auto list = List("C:\\");
    QSignalSpy checks(list.get(), &TCheckFileListBoxEx::OnClickCheck);
    QSignalSpy clicks(list.get(), &TCheckFileListBoxEx::OnClick);

    // Left press in the check column: selects, then ticks.
    Press(*list, Qt::LeftButton, 1, 5);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_TRUE(list->Ticked(1));
    EXPECT_EQ(checks.count(), 1);
    EXPECT_EQ(clicks.count(), 1);

    // Right and middle presses toggle without moving the selection.
    Press(*list, Qt::RightButton, 2, 5);
    Press(*list, Qt::MiddleButton, 0, 10);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_TRUE(list->Ticked(2));
    EXPECT_TRUE(list->Ticked(0));
    EXPECT_EQ(clicks.count(), 1);

    // A double click toggles twice.
    DoubleClick(*list, 2, 5);
    EXPECT_TRUE(list->Ticked(2));
    EXPECT_EQ(list->ItemIndex(), 2);

    // Beside the check column a press selects only; below the last entry nothing.
    Press(*list, Qt::LeftButton, 0, 40);
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_TRUE(list->Ticked(0));
    const int before = static_cast<int>(checks.count());
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, list->ItemRect(3).bottom()));
    EXPECT_EQ(checks.count(), before);
}

TEST_F(FileListTest, SpaceTogglesTheSelectedEntryOnly) {
    drives.writeFile("C:\\a.txt", "x");
    drives.writeFile("C:\\b.txt", "x");
    auto list = List("C:\\");
    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_FALSE(list->Ticked(0));
    EXPECT_FALSE(list->Ticked(1));

    list->SetItemIndex(1);
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_TRUE(list->Ticked(1));
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_FALSE(list->Ticked(1));
    EXPECT_EQ(list->ItemIndex(), 1);
}

TEST_F(FileListTest, TypeAheadWithPauseAndBackspace) {
    for (const char* name : {"alpha", "beta", "bravo", "brown", "charlie"})
        drives.writeFile(QStringLiteral("C:\\") + name, "x");
    double now = 45000.0;
    platform::SetClock([&now] { return now; });
    const double ms = 1.0 / 86'400'000.0;
    auto list = List("C:\\");
    QSignalSpy clicks(list.get(), &TCheckFileListBoxEx::OnClick);

    struct Step {
        int key;  // Qt::Key or a character
        double afterMs;
        const char* selected;
    };
    const Step steps[] = {
        {'b', 0, "beta"},
        {'r', 100, "bravo"},
        {'o', 499, "brown"},
        {Qt::Key_Backspace, 100, "bravo"},
        {'c', 500, "charlie"},
        {'x', 10, "charlie"},  // no match changes nothing
        {Qt::Key_Backspace, 10, "charlie"},
        {Qt::Key_Backspace, 10, "alpha"},
    };
    for (const Step& s : steps) {
        now += s.afterMs * ms;
        if (s.key == Qt::Key_Backspace)
            QTest::keyClick(list.get(), Qt::Key_Backspace);
        else
            QTest::keyClick(list.get(), static_cast<char>(s.key));
        ASSERT_GE(list->ItemIndex(), 0);
        EXPECT_EQ(list->Item(list->ItemIndex()), s.selected) << "after key " << s.key;
    }
    EXPECT_EQ(clicks.count(), 7);  // every key but the one without a match
}

TEST_F(FileListTest, ChangeFiresOnReadAndOnSelectionMoves) {
    drives.writeFile("C:\\a.txt", "x");
    drives.writeFile("C:\\b.txt", "x");
    auto list = List("C:\\");
    QSignalSpy changes(list.get(), &TCheckFileListBoxEx::OnChange);
    Press(*list, Qt::LeftButton, 0, 40);
    Press(*list, Qt::LeftButton, 0, 40);  // same entry: a click, no change
    Press(*list, Qt::LeftButton, 1, 40);
    list->Update();
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(FileListTest, RemoveDotEntries) {
    drives.makeDir("C:\\Empty");
    drives.writeFile("C:\\Full\\f.txt", "x");
    drives.writeFile("C:\\Full\\[..]", "a file that only looks like a dot entry");
    auto empty = List("C:\\Empty");
    ASSERT_EQ(empty->Count(), 2);
    panes::RemoveDotEntries(*empty);
    EXPECT_EQ(empty->Count(), 0);

    auto full = List("C:\\Full");
    full->SetTicked(full->Items().indexOf("f.txt"), true);
    panes::RemoveDotEntries(*full);
    EXPECT_EQ(Entries(*full), (QStringList{"[..]", "f.txt"}));
    EXPECT_FALSE(full->IsDirectoryEntry(0));
    EXPECT_TRUE(full->Ticked(1));
}

TEST_F(FileListTest, DirectoryThatCannotBeEnteredKeepsTheList) {
    drives.writeFile("C:\\Keep\\k.txt", "x");
    drives.writeFile("C:\\plain.txt", "x");
    auto list = List("C:\\Keep");
    const QStringList before = Entries(*list);
    for (const char* bad : {"C:\\Gone", "C:\\plain.txt\\sub", "Q:\\"}) {
        EXPECT_THROW(list->SetDirectory(QString::fromLatin1(bad)), platform::EInOutError) << bad;
        EXPECT_EQ(list->Directory(), "C:\\Keep");
        EXPECT_EQ(Entries(*list), before);
    }
}

TEST_F(FileListTest, LongReadRestoresThePointer) {
    for (int i = 0; i < 150; ++i)
        drives.writeFile(QStringLiteral("C:\\Many\\f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
    auto list = List("C:\\Many");
    EXPECT_EQ(list->Count(), 152);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
