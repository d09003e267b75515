#include "persistence/widgets/FormSize.h"

#include "persistence/ColumnWidths.h"
#include "persistence/Profile.h"
#include "queue/QueueTable.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "support/HostFiles.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using persistence::EFormSizeError;
using persistence::TFormSize;

struct Bounds {
    int left, top, right, bottom;
    bool operator==(const Bounds&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Bounds& b) {
    return os << "(" << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << ")";
}

Bounds BoundsOf(const QRect& r) {
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

void SetBounds(QWidget& w, const Bounds& b) {
    w.setGeometry(b.left, b.top, b.right - b.left, b.bottom - b.top);
}

using testsupport::ReadAll;
using testsupport::WriteAll;

// A main window as the program builds it: named MainForm, with its memory.
struct Form {
    explicit Form(const QString& iniPath, QSize screen = {1920, 1080}) {
        window = std::make_unique<QWidget>();
        window->setObjectName("MainForm");
        size = new TFormSize(window.get());
        size->SaveName = iniPath;
        size->SetScreenSize(screen);
    }
    std::unique_ptr<QWidget> window;
    TFormSize* size;
};

constexpr Bounds kDesigned{466, 182, 1452, 816};

TEST(FormSizeOwner, OnlyOneOnAWindow) {
    QObject plain;
    QWidget window;
    QWidget child(&window);
    struct Case {
        const char* name;
        QObject* owner;
        const char* message;
    };
    const Case refused[] = {
        {"not a widget", &plain, "Control parent must be a form!"},
        {"not a window", &child, "Control parent must be a form!"},
        {"nothing", nullptr, "Control parent must be a form!"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        try {
            new TFormSize(c.owner);
            ADD_FAILURE() << "no failure";
        } catch (const EFormSizeError& e) {
            EXPECT_EQ(e.message(), c.message);
        }
        if (c.owner) {
            EXPECT_TRUE(c.owner->children().isEmpty());
        }
    }

    window.setObjectName("MainForm");
    auto* first = new TFormSize(&window);
    EXPECT_EQ(first->SaveKey, "MainForm");
    EXPECT_EQ(first->SaveName, ".\\FORM.INI");
    EXPECT_EQ(first->PlacementSection(), "MainForm");
    try {
        new TFormSize(&window);
        ADD_FAILURE() << "no failure";
    } catch (const EFormSizeError& e) {
        EXPECT_EQ(e.message(), "The form already contains a TFormSize component");
    }
    EXPECT_EQ(window.findChildren<TFormSize*>().size(), 1);

    first->SaveUser = true;
    first->SaveMachine = true;
    const QStringList parts = first->PlacementSection().split(u'-');
    EXPECT_EQ(parts.value(0), "MainForm");
    EXPECT_GE(parts.size(), 3);
    // The window's destruction would save to .\FORM.INI in whatever directory
    // the tests run from; this test is about ownership, not saving.
    first->SaveName.clear();
}

TEST(FormSizeRestore, FitsTheScreenByMovingNotShrinking) {
    struct Case {
        const char* name;
        QByteArray ini;  // the MainForm section's entries
        QSize screen;
        Bounds expected;
        bool maximized = false;
        bool saveSize = true;
    };
    const Case cases[] = {
        {"first start, small screen", "", {1366, 768}, {380, 134, 1366, 768}},
        {"first start, large screen", "", {1920, 1080}, kDesigned},
        {"right edge beyond the screen",
         "Left=1200\nTop=100\nRight=2000\nBottom=700\n",
         {1920, 1080},
         {1120, 100, 1920, 700}},
        {"stored off the left edge",
         "Left=-50\nTop=10\nRight=900\nBottom=610\n",
         {1366, 768},
         {-50, 10, 900, 610}},
        {"wider than the screen ends with a negative left",
         "Left=0\nTop=0\nRight=2000\nBottom=500\n",
         {1366, 768},
         {-634, 0, 1366, 500}},
        {"maximized covers the screen whatever the rectangle",
         "Left=10\nTop=10\nRight=500\nBottom=400\nMaximized=1\n",
         {1366, 768},
         {0, 0, 1366, 768},
         true},
        {"Maximized=2 counts as true", "Maximized=2\n", {1920, 1080}, {0, 0, 1920, 1080}, true},
        {"non-numeric keys keep the current values",
         "Left=abc\nTop=\nRight=x\nMaximized=?\n",
         {1920, 1080},
         kDesigned},
        {"other letter case",
         "left=0x10\nTOP=$20\n",
         {1920, 1080},
         {16, 32, kDesigned.right, kDesigned.bottom}},
        {"size not restored keeps the width",
         "Left=100\nTop=50\nRight=300\nBottom=300\n",
         {1920, 1080},
         {100, 50, 1086, 684},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString ini = dir.filePath("ferrovant.ini");
        WriteAll(ini, "[Other]\nLeft=1\n[MainForm]\n" + c.ini);
        Form form(ini, c.screen);
        form.size->SaveKey = "MainForm";
        form.size->SaveSize = c.saveSize;
        SetBounds(*form.window, kDesigned);
        form.size->RestorePlacement();
        EXPECT_EQ(form.window->isMaximized(), c.maximized);
        EXPECT_EQ(BoundsOf(form.window->normalGeometry()), c.expected);
        form.size->SavePosition = false;  // nothing written when the window goes
    }
}

TEST(FormSizeSave, WritesTheNormalRectangleAndState) {
    struct Case {
        const char* name;
        Qt::WindowState state;
        QByteArray expected;
    };
    const Case cases[] = {
        {"normal", Qt::WindowNoState,
         "[MainForm]\nLeft=100\nTop=80\nRight=1086\nBottom=714\nMaximized=0\n"},
        {"maximized", Qt::WindowMaximized,
         "[MainForm]\nLeft=100\nTop=80\nRight=1086\nBottom=714\nMaximized=1\n"},
        {"minimized", Qt::WindowMinimized,
         "[MainForm]\nLeft=100\nTop=80\nRight=1086\nBottom=714\nMaximized=0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString ini = dir.filePath("ferrovant.ini");
        {
            Form form(ini);
            SetBounds(*form.window, {100, 80, 1086, 714});
            form.window->show();
            form.window->setWindowState(c.state);
            // The save happens when the window is destroyed.
        }
        EXPECT_EQ(ReadAll(ini), c.expected);
    }
}

TEST(FormSizeSave, OptionsDecideWhatIsWritten) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("ferrovant.ini");
    {
        Form form(ini);
        form.size->SaveSize = false;
        SetBounds(*form.window, {10, 20, 410, 320});
    }
    EXPECT_EQ(ReadAll(ini), "[MainForm]\nLeft=10\nTop=20\n");

    QFile::remove(ini);
    {
        Form form(ini);
        form.size->SavePosition = false;  // switches the save at destruction off
        SetBounds(*form.window, {10, 20, 410, 320});
        form.size->SavePlacement();  // an explicit save still writes the size
    }
    EXPECT_EQ(ReadAll(ini), "[MainForm]\nRight=410\nBottom=320\nMaximized=0\n");

    QFile::remove(ini);
    {
        Form form(ini);
        form.size->SaveKey.clear();
    }
    EXPECT_FALSE(QFile::exists(ini));
}

TEST(FormSizeSave, ARefusedWriteAtDestructionIsShownNotThrown) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("plain-file");
    WriteAll(blocker, "x");
    const QString ini = blocker + "/ferrovant.ini";
    testsupport::ScriptedDialogs dialogs;
    dialogs.ExpectErrorBox("Unable to write to " + ini);
    { Form form(ini); }
    EXPECT_EQ(dialogs.Remaining(), 0);
}

TEST(FormSizeRestore, MaximizedRoundTripKeepsTheScreenAsNormalRectangle) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("ferrovant.ini");
    WriteAll(ini, "[MainForm]\nLeft=10\nTop=10\nRight=500\nBottom=400\nMaximized=1\n");
    {
        Form form(ini, {1366, 768});
        SetBounds(*form.window, kDesigned);
        form.size->RestorePlacementFully();
        form.window->show();
        EXPECT_TRUE(form.window->isMaximized());
        EXPECT_EQ(BoundsOf(form.window->normalGeometry()), (Bounds{0, 0, 1366, 768}));
    }
    EXPECT_EQ(ReadAll(ini), "[MainForm]\nLeft=0\nTop=0\nRight=1366\nBottom=768\nMaximized=1\n");

    // Brought back to normal, the window still covers the screen (where the
    // window manager puts its frame is its own affair).
    Form form(ini, {1366, 768});
    form.size->RestorePlacementFully();
    form.window->show();
    form.window->setWindowState(Qt::WindowNoState);
    EXPECT_EQ(form.window->size(), QSize(1366, 768));
}

TEST(FormSizeRestore, AShownWindowDoesNotCreepFromStartToStart) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("ferrovant.ini");
    WriteAll(ini, "[MainForm]\nLeft=200\nTop=150\nRight=1000\nBottom=750\nMaximized=0\n");
    const QByteArray first = ReadAll(ini);
    for (int start = 0; start < 3; ++start) {
        Form form(ini);
        form.size->RestorePlacementFully();
        form.window->show();
        EXPECT_EQ(BoundsOf(form.window->geometry()), (Bounds{200, 150, 1000, 750}));
    }
    EXPECT_EQ(ReadAll(ini), first);
}

TEST(FormSizeRestore, FormIniInTheWorkingDirectoryStandsForMissingKeys) {
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    WriteAll(work.filePath("FORM.INI"), "[MainForm]\nLeft=11\nTop=22\nRight=611\nBottom=522\n");
    const QString ini = work.filePath("settings/ferrovant.ini");
    QDir().mkdir(work.filePath("settings"));
    WriteAll(ini, "[MainForm]\nTop=40\n");

    auto window = std::make_unique<QWidget>();
    window->setObjectName("MainForm");
    SetBounds(*window, kDesigned);
    auto* size = new TFormSize(window.get());
    size->SetScreenSize(QSize(1920, 1080));
    size->Loaded();  // the first restore reads .\FORM.INI
    EXPECT_EQ(BoundsOf(window->geometry()), (Bounds{11, 22, 611, 522}));

    size->SaveName = ini;
    size->SavePosition = false;
    size->RestorePlacementFully();
    EXPECT_EQ(BoundsOf(window->geometry()), (Bounds{11, 40, 611, 522}));
    EXPECT_FALSE(size->SavePosition);  // put back after the full restore
    EXPECT_TRUE(size->SaveSize);
    window.reset();
    EXPECT_EQ(ReadAll(work.filePath("FORM.INI")),
              "[MainForm]\nLeft=11\nTop=22\nRight=611\nBottom=522\n");  // never written
    QDir::setCurrent(previous);
}

// A first run leaves exactly these lines: the close writes the pane
// directories and the panel height, the window's destruction the placement,
// the queue table's destruction the column widths.
TEST(SettingsFile, FirstRunLeavesTheSectionsInTheOrderOfTheirFirstWrite) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("App.ini");
    {
        persistence::Profile profile(ini);
        profile.ProfileWriteText("Files", "SourceDir", "C:\\Data");
        profile.ProfileWriteText("Files", "TargetDir", "E:\\Backup");
        profile.ProfileWriteInt("MainForm", "FilePanelHeight", 300);
        profile.Release();
    }
    {
        Form form(ini);
        SetBounds(*form.window, {100, 80, 1086, 714});
    }
    queue::QueueTable table;
    persistence::SaveColumnWidths(
        table.Grid(), persistence::TColumnSize{true, "QueueGrid", persistence::clIniFile, ini});

    EXPECT_EQ(ReadAll(ini),
              "[Files]\nSourceDir=C:\\Data\nTargetDir=E:\\Backup\n"
              "[MainForm]\nFilePanelHeight=300\nLeft=100\nTop=80\nRight=1086\nBottom=714\n"
              "Maximized=0\n"
              "[QueueGrid]\nCol0=50\nCol1=130\nCol2=130\nCol3=130\nCol4=71\nCol5=64\nCol6=64\n"
              "Col7=64\n");
}

}  // namespace
