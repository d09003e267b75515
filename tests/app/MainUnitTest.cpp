#include "app/MainUnit.h"
#include "panes/FilePanels.h"
#include "persistence/FilePaths.h"
#include "persistence/QueueFile.h"
#include "platform/Guard.h"
#include "platform/Pump.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"
#include "support/HostFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDrives.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

using app::TMainForm;
using testsupport::ReadAll;
using testsupport::WriteAll;

// A window whose settings and queue files live in a temporary directory,
// with C: and D: as temporary drives.
struct Rig {
    testsupport::TempDrives drives;
    QTemporaryDir dir;
    app::ProgramFiles files{dir.filePath("ferrovant.ini"), dir.filePath("ferrovant.csv"),
                            QStringLiteral("C:\\")};
    std::unique_ptr<TMainForm> form;

    TMainForm& Start() {
        form = std::make_unique<TMainForm>(files);
        platform::Guard([this] { form->FormActivate(); });
        return *form;
    }
    QString Settings() const { return QString::fromLatin1(ReadAll(files.settings)); }
};

TEST(MainUnitTest, ButtonsSitInTheirColumnsWithIconsAndHintsReadAloud) {
    Rig rig;
    TMainForm form(rig.files);
    struct Case {
        const char* name;
        const char* column;
        const char* spoken;  // the hint without its markup
    };
    const Case cases[] = {
        {"btnAbout", "Panel4", "About this program"},
        {"btnStart", "PanelQueueToolbar", "Start the queue"},
        {"btnStop", "PanelQueueToolbar", "Stop the queue, after the current file"},
        {"btnAbort", "PanelQueueToolbar", "Abort the queue, stop right now!"},
        {"btnClearAll", "PanelQueueToolbar", "Clear all files from queue"},
        {"btnRemove", "PanelQueueToolbar", "Remove selected rows from queue"},
        {"btnDelayedStart", "PanelQueueToolbar", "Delayed start is disabled, click to set"},
        {"btnQueueStats", "PanelQueueToolbar", "Queue Statistics"},
        {"btnQueueMoveLeft", "pnlMiddle", "Queue files to move from left to right"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* button = form.findChild<QToolButton*>(QString::fromLatin1(c.name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->parentWidget()->objectName(), c.column);
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_EQ(button->accessibleName(), c.spoken);
    }
    EXPECT_EQ(form.lblVersion->text(), "Version");
    EXPECT_EQ(form.windowTitle(), "Ferrovant");
    EXPECT_EQ(form.minimumSize(), QSize(780, 580));
    EXPECT_FALSE(form.TimerQueue->isActive());
}

TEST(MainUnitTest, FirstStartWithoutFilesOpensTheHomeDirectoryAndWritesNothing) {
    Rig rig;
    TMainForm& form = rig.Start();
    EXPECT_EQ(form.Panels->DirList(panes::Side::Left).Directory(), "C:\\");
    EXPECT_EQ(form.Panels->DirList(panes::Side::Right).Directory(), "C:\\");
    EXPECT_EQ(form.Panels->FilePanelHeight(), 250);
    EXPECT_EQ(form.Queue().RowCount(), 2);
    EXPECT_TRUE(form.GridQueue->isColumnHidden(queue::colRealSize));
    EXPECT_EQ(form.lblVersion->text(), "Version " + app::FileVersionText(3));
    EXPECT_EQ(form.lblVersion->geometry().right(), 124 + 43 - 1);
    EXPECT_TRUE(QDir(rig.dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(MainUnitTest, StoredSettingsAreJudgedEachOnTheirOwn) {
    struct Case {
        const char* source;
        const char* height;
        const char* wantLeft;
        int wantHeight;
    };
    const Case cases[] = {
        {"D:\\Tgt", "300", "D:\\Tgt", 300},
        {"D:\\Gone", "100", "C:\\", 220},
        {"D:\\Tgt", "0x12C", "D:\\Tgt", 300},
        {"", "abc", "C:\\", 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Rig rig;
        rig.drives.makeDir("D:\\Tgt");
        WriteAll(rig.files.settings,
                 QStringLiteral("[files]\r\nsourcedir=%1\r\nTargetDir=D:\\Tgt\r\n"
                                "[MainForm]\r\nFilePanelHeight=%2\r\n")
                     .arg(c.source, c.height)
                     .toLatin1());
        TMainForm& form = rig.Start();
        EXPECT_EQ(form.Panels->DirList(panes::Side::Left).Directory(), c.wantLeft);
        EXPECT_EQ(form.Panels->DirList(panes::Side::Right).Directory(), "D:\\Tgt");
        EXPECT_EQ(form.Panels->FilePanelHeight(), c.wantHeight);
    }
}

TEST(MainUnitTest, CloseAndDestructionWriteInTheirOrderAndTheQueueComesBack) {
    Rig rig;
    rig.drives.writeFile("C:\\Src\\a.txt", "abc");
    {
        TMainForm& form = rig.Start();
        const int row = form.Queue().AppendRow();
        form.Queue().SetCell(queue::colSourceDir, row, "C:\\Src");
        form.Queue().SetCell(queue::colFileName, row, "a.txt");
        form.Queue().SetCell(queue::colStatus, row, queue::StatusAborted);
        EXPECT_TRUE(form.FormClose());
        EXPECT_FALSE(form.GridQueue->isColumnHidden(queue::colRealSize));
        rig.form.reset();
    }
    const QString settings = rig.Settings();
    QStringList keys;
    for (const QString& line : settings.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts))
        keys << line.section(u'=', 0, 0);
    EXPECT_EQ(keys.join(u' '),
              "[Files] SourceDir TargetDir [MainForm] FilePanelHeight Left Top "
              "Right Bottom Maximized [QueueGrid] Col0 Col1 Col2 Col3 Col4 Col5 "
              "Col6 Col7");
    EXPECT_TRUE(ReadAll(rig.files.queue)
                    .startsWith("Row,Source Directory,Filename,Target "
                                "Directory,Real Size,File Size,Action,Status"));

    TMainForm& again = rig.Start();
    ASSERT_EQ(again.Queue().RowCount(), 2);
    EXPECT_EQ(again.Queue().Cell(queue::colStatus, 1), queue::StatusAborted);
}

TEST(MainUnitTest, FailuresSkipTheRestAndAreNotRetried) {
    // A pending row whose size is not a number stops the preparation.
    Rig rig;
    WriteAll(rig.files.queue,
             "Row,a,b,c,d,e,f,g\r\n1,C:\\Src,a.txt,D:\\,1.2.3,1 KB,Copy,Pending\r\n");
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectErrorBox("Cell does not contain a float value");
    TMainForm& form = rig.Start();
    EXPECT_EQ(form.lblVersion->text(), "Version");
    EXPECT_TRUE(form.GridQueue->isColumnHidden(queue::colRealSize));  // step 1 came before
    platform::Guard([&] { form.FormActivate(); });
    EXPECT_EQ(dialogs.Remaining(), 0);

    // A settings file that cannot be written keeps the window open, every time.
    Rig locked;
    TMainForm& open = locked.Start();
    QDir().mkpath(locked.files.settings);  // a directory where the file should be
    for (int attempt = 0; attempt < 2; ++attempt) {
        dialogs.ExpectErrorBox("Unable to write to", testsupport::TextMatch::Contains);
        EXPECT_FALSE(open.FormClose());
    }
    EXPECT_FALSE(QFile::exists(locked.files.queue));
    EXPECT_TRUE(open.GridQueue->isColumnHidden(queue::colRealSize));
    QDir().rmdir(locked.files.settings);
}

TEST(MainUnitTest, CloseDuringARunSavesAgainWhenTheRunReturns) {
    Rig rig;
    rig.drives.writeFile("C:\\Src\\a.txt", 3'000'000);
    rig.drives.makeDir("D:\\Tgt");
    WriteAll(rig.files.queue,
             "Row,Source Directory,Filename,Target Directory,Real Size,File Size,Action,Status\r\n"
             "1,C:\\Src,a.txt,D:\\Tgt,3000000.00,2.86 MB,Move,Pending\r\n");
    TMainForm& form = rig.Start();
    form.show();
    QByteArray atClose;
    platform::SetPumpHook([&](std::int64_t pump) {
        if (pump != 1) return;
        form.close();
        atClose = ReadAll(rig.files.queue);
    });
    form.btnStartClick();
    platform::SetPumpHook({});
    EXPECT_TRUE(form.isVisible());  // the run went on in the open window
    EXPECT_TRUE(atClose.contains("a.txt"));
    EXPECT_FALSE(ReadAll(rig.files.queue).contains("a.txt"));
    EXPECT_FALSE(rig.drives.exists("C:\\Src\\a.txt"));
}

TEST(MainUnitTest, CloseDuringTheLoadWaitsForTheWholeQueue) {
    // The load repaints the window as it reads; a close asked for meanwhile
    // must not save the half that was read over the file.
    Rig rig;
    QByteArray file =
        "Row,Source Directory,Filename,Target Directory,Real Size,File Size,Action,Status\r\n";
    const int rows = 60'000;
    for (int i = 1; i <= rows; ++i) {
        file += QByteArray::number(i) + ",C:\\Src,f" + QByteArray::number(i) +
                ".txt,D:\\Tgt,1.00,1 Bytes,Copy,Pending\r\n";
    }
    WriteAll(rig.files.queue, file);
    rig.form = std::make_unique<TMainForm>(rig.files);
    TMainForm& form = *rig.form;
    form.show();
    int closesAsked = 0;
    platform::SetPumpHook([&](std::int64_t) {
        if (closesAsked++ == 0) form.close();
    });
    platform::Guard([&] { form.FormActivate(); });
    platform::SetPumpHook({});
    ASSERT_GT(closesAsked, 0);  // the load pumped
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.GridQueue->model()->rowCount(), rows);
    for (int i = 0; i < 5 && form.isVisible(); ++i)
        QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());  // closed once the queue was whole
    const QByteArray saved = ReadAll(rig.files.queue);
    EXPECT_TRUE(saved.contains(",f60000.txt,"));
    EXPECT_EQ(saved.count('\n'), rows + 1);
}

}  // namespace

namespace {

TEST(MainUnitTest, OwnFilesWithoutAPlaceAreSaidAndNeverHoldTheWindow) {
    testsupport::ScriptedDialogs dialogs;
    // A journal that cannot be written: one box for the first failure only,
    // and the close still writes the queue file whole.
    Rig rig;
    const QString journal = persistence::JournalPathFor(rig.files.queue);
    QDir().mkpath(journal);  // a directory where the journal should be
    TMainForm& form = rig.Start();
    dialogs.ExpectErrorBox("Unable to write to " + journal + ": File access denied");
    for (const char* name : {"a.txt", "b.txt"}) {
        form.Queue().AppendJob(queue::QueueJob{QStringLiteral("C:\\Src"), QString::fromLatin1(name),
                                               QStringLiteral("D:\\Tgt"), 1, queue::ActionCopy,
                                               queue::StatusPending});
        form.SaveQueueChanges();
    }
    EXPECT_EQ(dialogs.Remaining(), 0);
    EXPECT_TRUE(form.FormClose());
    EXPECT_TRUE(ReadAll(rig.files.queue).contains("b.txt"));

    // A per-user directory that cannot be made: said at start and at close,
    // and the window closes all the same.
    Rig blocked;
    WriteAll(blocked.dir.filePath("blocker"), "x");
    blocked.files.settings = blocked.dir.filePath("blocker/ferrovant/ferrovant.ini");
    blocked.files.perUser = true;
    for (int i = 0; i < 2; ++i)
        dialogs.ExpectErrorBox("Cannot create directory", testsupport::TextMatch::Contains);
    TMainForm& homeless = blocked.Start();
    EXPECT_TRUE(homeless.FormClose());
    EXPECT_EQ(dialogs.Remaining(), 0);
    blocked.form.reset();  // nothing more to say when it goes
}

}  // namespace

TEST(MainUnitKeys, TabFollowsThePictureAndQueueKeysPressTheirButtons) {
    Rig rig;
    TMainForm& form = rig.Start();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QStringList order;
    QWidget* stop = form.findChild<QWidget*>("btnAbout");
    for (int i = 0; i < 31 && stop; ++i, stop = stop->nextInFocusChain()) {
        while (!(stop->focusPolicy() & Qt::TabFocus) || !stop->isVisible())
            stop = stop->nextInFocusChain();
        order << stop->objectName();
    }
    EXPECT_EQ(order.join(u' '),
              "btnAbout btnSelectAllLeft btnDeselectAllLeft btnMakeDirLeft btnDeleteFilesLeft "
              "btnRenameLeft DriveComboLeft DirListLeft FileListLeft btnRefreshLeft "
              "btnQueueCopyLeft btnQueueCopyRight btnQueueMoveLeft btnQueueMoveRight "
              "DriveComboRight DirListRight FileListRight btnRightSelectAll btnDeselectAllRight "
              "btnMakeDirRight btnDeleteFilesRight btnRenameRight btnStart btnStop btnAbort "
              "btnClearAll btnRemove btnDelayedStart btnQueueStats GridQueue btnAbout");

    // Delete in the table asks about the selected rows; F9, Shift+F9 and
    // Ctrl+F9 press Start, Stop and Abort (their hints name the keys).
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectMessage(platform::MsgKind::Confirmation, "Select queue rows to remove",
                          platform::mrOk);
    dialogs.ExpectMessage(platform::MsgKind::Confirmation, "There is nothing pending in the queue!",
                          platform::mrOk);
    dialogs.ExpectMessage(platform::MsgKind::Confirmation, "The queue is not currently running!",
                          platform::mrOk);
    dialogs.ExpectMessage(platform::MsgKind::Confirmation, "The queue is not currently running!",
                          platform::mrOk);
    form.GridQueue->setFocus();
    QTest::keyClick(form.GridQueue, Qt::Key_Delete);
    struct Key {
        QKeyCombination key;
        const char* button;
        const char* hint;
    };
    const Key keys[] = {
        {Qt::Key_F9, "btnStart", "Start the queue (F9)"},
        {Qt::SHIFT | Qt::Key_F9, "btnStop", "Stop the queue, after the current file (Shift+F9)"},
        {Qt::CTRL | Qt::Key_F9, "btnAbort", "Abort the queue, stop right now! (Ctrl+F9)"}};
    for (const Key& k : keys) {
        auto* button = form.findChild<QToolButton*>(k.button);
        EXPECT_EQ(button->toolTip(), k.hint);
        EXPECT_EQ(button->accessibleName(), QString(k.hint).section(" (", 0, 0));
        const int before = dialogs.Remaining();
        QTest::keyClick(form.GridQueue, k.key.key(), k.key.keyboardModifiers());
        // A button's key presses it the way a click does, a moment later.
        for (int i = 0; i < 500 && dialogs.Remaining() == before; ++i)
            QTest::qWait(20);
    }
    EXPECT_EQ(dialogs.Remaining(), 0);
}
