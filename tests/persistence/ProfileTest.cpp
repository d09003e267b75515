#include "persistence/Profile.h"

#include "persistence/ColumnWidths.h"
#include "persistence/FilePaths.h"
#include "platform/Errors.h"
#include "platform/StringGrid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/HostFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using persistence::ParseProfileInt;
using persistence::Profile;
using persistence::ProfileText;

using testsupport::ReadAll;
using testsupport::WriteAll;

TEST(ProfileInt, ReadsLeniently) {
    struct Case {
        QString text;
        int expected;
    };
    const Case cases[] = {
        {"300", 300},
        {"0x12C", 300},
        {"0X12c", 300},
        {"$1F", 31},
        {"-7", -7},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", -1},
        {"-2147483649", -1},
        {"0x80000000", -1},
        {"99999999999999999999999", -1},
        {"abc", -1},
        {"", -1},
        {"0x", -1},
        {"$", -1},
        {"-", -1},
        {"12abc", -1},
        {"1.5", -1},
        {"-0x10", -1},
        {"0xG", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseProfileInt(c.text, -1), c.expected) << c.text.toStdString();
    }
}

TEST(ProfileRead, SemanticsOfSectionsKeysAndValues) {
    const QByteArray file =
        "stray=before any section\r\n"
        "[Files]\r\n"
        "sourcedir = C:\\Data  \r\n"
        "Empty=\r\n"
        "Eq=a=b\r\n"
        "; a comment line\r\n"
        "\r\n"
        "[ mainform ]\r\n"
        "FilePanelHeight=0x12C\r\n"
        "Bad=abc\r\n"
        "Maximized=2\r\n"
        "Off=0\r\n"
        "[Files]\r\n"
        "TargetDir=second section is never looked at\r\n";
    const ProfileText p(file);
    struct Case {
        const char* section;
        const char* key;
        QString expected;
    };
    const Case texts[] = {
        {"Files", "SourceDir", "C:\\Data"},
        {"FILES", "SOURCEDIR", "C:\\Data"},
        {"Files", "Empty", ""},
        {"Files", "Eq", "a=b"},
        {"Files", "TargetDir", "<default>"},
        {"Files", "stray", "<default>"},
        {"Nowhere", "SourceDir", "<default>"},
        {"MainForm", "Bad", "abc"},
    };
    for (const Case& c : texts) {
        EXPECT_EQ(p.ReadText(c.section, c.key, "<default>"), c.expected) << c.key;
    }
    EXPECT_EQ(p.ReadInt("MainForm", "FilePanelHeight", 250), 300);
    EXPECT_EQ(p.ReadInt("MainForm", "Bad", 250), 250);
    EXPECT_EQ(p.ReadInt("MainForm", "Missing", 250), 250);
    EXPECT_TRUE(p.ReadFlag("MainForm", "Maximized", false));
    EXPECT_FALSE(p.ReadFlag("MainForm", "Off", true));
    EXPECT_TRUE(p.ReadFlag("MainForm", "Bad", true));
    EXPECT_FALSE(p.ReadFlag("MainForm", "Missing", false));
}

TEST(ProfileRead, LongValuesAreCut) {
    const QString value(3000, u'x');
    ProfileText p;
    p.WriteText("S", "K", value);
    EXPECT_EQ(p.ReadText("S", "K", ""), value.left(2047));
    EXPECT_TRUE(p.Content().contains(value.toUtf8()));  // the file keeps it whole
}

TEST(ProfileWrite, KeepsEveryOtherLineByteForByte) {
    struct Case {
        const char* name;
        QByteArray before;
        std::function<void(ProfileText&)> write;
        QByteArray after;
    };
    const Case cases[] = {
        {"new file", "",
         [](ProfileText& p) {
             p.WriteText("Files", "SourceDir", "C:\\Data");
             p.WriteInt("MainForm", "Left", -50);
             p.WriteFlag("MainForm", "Maximized", true);
         },
         "[Files]\nSourceDir=C:\\Data\n[MainForm]\nLeft=-50\nMaximized=1\n"},
        {"replace in place, other case, comments and blanks kept",
         "; keep me\r\n[files]\r\n  SOURCEDIR =  old \r\nx=1\r\n\r\n[Other]\r\ny=2\r\n",
         [](ProfileText& p) { p.WriteText("Files", "SourceDir", "new"); },
         "; keep me\r\n[files]\r\nSOURCEDIR=new\r\nx=1\r\n\r\n[Other]\r\ny=2\r\n"},
        {"new key at the end of its section, before the blank line",
         "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", [](ProfileText& p) { p.WriteInt("A", "z", 3); },
         "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
        {"new key in an empty last section without a line end", "[A]",
         [](ProfileText& p) { p.WriteInt("a", "z", 3); }, "[A]\nz=3\n"},
        {"new section at the end of a file without a final line end", "[A]\r\nx=1",
         [](ProfileText& p) { p.WriteFlag("B", "f", false); }, "[A]\r\nx=1\r\n[B]\r\nf=0\r\n"},
        {"a line break in a value cannot inject lines", "",
         [](ProfileText& p) { p.WriteText("Files", "SourceDir", "C:\\a\n[MainForm]\nLeft=9"); },
         "[Files]\nSourceDir=C:\\a\n"},
        {"unknown lines and bytes survive", "garbage \xff\xfe line\n[S]\nno equals here\nk=v\n",
         [](ProfileText& p) { p.WriteText("S", "k", "w"); },
         "garbage \xff\xfe line\n[S]\nno equals here\nk=w\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProfileText p(c.before);
        c.write(p);
        EXPECT_EQ(p.Content(), c.after);
    }
}

TEST(ProfileFile, NothingReachesTheDiskUntilAWriteIsReleased) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ferrovant.ini");
    {
        Profile p(path);
        EXPECT_EQ(p.ProfileReadInt("MainForm", "FilePanelHeight", 250), 250);
        p.Release();
    }
    EXPECT_FALSE(QFile::exists(path));

    Profile p(path);
    p.ProfileWriteText("Files", "SourceDir", "C:\\Data");
    EXPECT_FALSE(QFile::exists(path));
    p.Release();
    EXPECT_EQ(ReadAll(path), "[Files]\nSourceDir=C:\\Data\n");

    // Edited by hand between two groups: the next group sees the edit.
    WriteAll(path, "[Files]\r\nsourcedir=D:\\\r\n");
    Profile again(path);
    EXPECT_EQ(again.ProfileReadText("Files", "SourceDir", ""), "D:\\");
}

TEST(ProfileFile, TwoCopiesWritingKeepEachOthersKeys) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ferrovant.ini");
    Profile first(path);
    Profile second(path);
    first.ProfileWriteText("Files", "SourceDir", "C:\\A");
    first.ProfileWriteText("Files", "TargetDir", "C:\\A");
    second.ProfileWriteText("Files", "TargetDir", "C:\\B");
    second.ProfileWriteInt("MainForm", "FilePanelHeight", 300);
    first.Release();
    second.Release();
    EXPECT_EQ(ReadAll(path),
              "[Files]\nSourceDir=C:\\A\nTargetDir=C:\\B\n[MainForm]\nFilePanelHeight=300\n");
}

TEST(ProfileFile, RefusedWritesReportTheSettingsPath) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("plain-file");
    WriteAll(blocker, "x");
    const QString readOnly = dir.filePath("ro.ini");
    WriteAll(readOnly, "[A]\nx=1\n");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    const QString isDir = dir.filePath("dir.ini");
    QDir().mkdir(isDir);

    for (const QString& path : {blocker + "/ferrovant.ini", readOnly, isDir}) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = ReadAll(path);
        Profile p(path);
        p.ProfileWriteInt("A", "x", 2);
        try {
            p.Release();
            ADD_FAILURE() << "no failure";
        } catch (const platform::Failure& e) {
            EXPECT_EQ(e.message(), "Unable to write to " + path);
        }
        EXPECT_EQ(ReadAll(path), before);
    }
}

TEST(ProfileFile, KeepsPermissionsOfTheFileItReplaces) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ferrovant.ini");
    WriteAll(path, "[A]\nx=1\n");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther;
    QFile::setPermissions(path, mode);
    Profile p(path);
    p.ProfileWriteInt("A", "x", 2);
    p.Release();
    EXPECT_EQ(ReadAll(path), "[A]\nx=2\n");
    EXPECT_EQ(QFile::permissions(path) & 0x7077, mode & 0x7077);
}

TEST(ProfilePaths, ExtensionOfTheExecutableIsReplaced) {
    struct Case {
        QString exe, ext, expected;
    };
    const Case cases[] = {
        {"/opt/tools/ferrovant", ".ini", "/opt/tools/ferrovant.ini"},
        {"/opt/tools/App.exe", ".csv", "/opt/tools/App.csv"},
        {"/opt/v1.2/ferrovant", ".ini", "/opt/v1.2/ferrovant.ini"},
        {"/opt/tools/.hidden", ".ini", "/opt/tools/.hidden.ini"},
        {"/opt/tools/a.b.c", ".ini", "/opt/tools/a.b.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(persistence::ChangeFileExt(c.exe, c.ext), c.expected) << c.exe.toStdString();
    }
}

TEST(ProfilePaths, PerUserWhenTheExecutablesFolderIsNoPlaceToWrite) {
    QTemporaryDir portable;
    const QString here = portable.path();
    // /proc/1 cannot be written, not even by root.
    struct Case {
        QString exe, configHome, stateHome, settings, queue;
        bool perUser;
    };
    const Case cases[] = {
        {here + "/ferrovant", "/x/cfg", "/x/st", here + "/ferrovant.ini", here + "/ferrovant.csv",
         false},
        {"/proc/1/ferrovant", "/x/cfg", "/x/st", "/x/cfg/ferrovant/ferrovant.ini",
         "/x/st/ferrovant/ferrovant.csv", true},
        // Unset or relative variables fall back to the home directory.
        {"/proc/1/ferrovant", "", "rel/st", "/home/u/.config/ferrovant/ferrovant.ini",
         "/home/u/.local/state/ferrovant/ferrovant.csv", true},
        {"/usr/bin/ferrovant", "", "", "/home/u/.config/ferrovant/ferrovant.ini",
         "/home/u/.local/state/ferrovant/ferrovant.csv", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe.toStdString());
        const auto env = [&](const char* name) {
            const QByteArray n(name);
            if (n == "HOME") return QStringLiteral("/home/u");
            if (n == "XDG_CONFIG_HOME") return c.configHome;
            if (n == "XDG_STATE_HOME") return c.stateHome;
            return QString();
        };
        const persistence::OwnFilePaths got = persistence::OwnFilePathsFor(c.exe, env);
        EXPECT_EQ(got.settings, c.settings);
        EXPECT_EQ(got.queue, c.queue);
        EXPECT_EQ(got.perUser, c.perUser);
    }
    EXPECT_EQ(persistence::JournalPathFor("/x/st/ferrovant/ferrovant.csv"),
              "/x/st/ferrovant/ferrovant.journal");
}

TEST(ProfilePaths, PerUserDirectoriesAreMadeOwnerOnlyOrTheReasonIsGiven) {
    QTemporaryDir dir;
    const persistence::OwnFilePaths files{dir.filePath("cfg/ferrovant/ferrovant.ini"),
                                          dir.filePath("st/deep/ferrovant/ferrovant.csv"), true};
    persistence::MakeOwnFileDirectories(files);
    for (const char* made : {"cfg/ferrovant", "st/deep/ferrovant", "st"}) {
        EXPECT_EQ(QFileInfo(dir.filePath(made)).permissions() & 0x7077,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)
            << made;
    }
    WriteAll(dir.filePath("blocker"), "x");
    try {
        persistence::MakeOwnFileDirectories(
            {dir.filePath("blocker/ferrovant/ferrovant.ini"), files.queue, true});
        ADD_FAILURE() << "no failure";
    } catch (const platform::Failure& e) {
        EXPECT_TRUE(e.message().startsWith("Cannot create directory " + dir.filePath("blocker")))
            << e.message().toStdString();
    }
}

TEST(ColumnWidthStore, ReadsAndWritesOnlyWithSaveKeyAndSection) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ferrovant.ini");
    WriteAll(path, "[QueueGrid]\nCol0=77\nCol1=abc\nCol2=0x20\n");

    persistence::TColumnSize noKey{true, "QueueGrid", persistence::clIniFile, ""};
    persistence::TColumnSize noSave{false, "QueueGrid", persistence::clIniFile, path};
    persistence::TColumnSize active{true, "QueueGrid", persistence::clIniFile, path};

    platform::StringGrid grid(3, 2);
    for (const auto& store : {noKey, noSave}) {
        persistence::LoadColumnWidths(grid, store);
        EXPECT_EQ(grid.ColWidth(0), 64);
        persistence::SaveColumnWidths(grid, store);
    }
    EXPECT_EQ(ReadAll(path), "[QueueGrid]\nCol0=77\nCol1=abc\nCol2=0x20\n");

    persistence::LoadColumnWidths(grid, active);
    EXPECT_EQ(grid.ColWidth(0), 77);
    EXPECT_EQ(grid.ColWidth(1), 64);  // non-numeric keeps the current width
    EXPECT_EQ(grid.ColWidth(2), 32);

    // Keys follow the view order: with column 1 out of view, Col1 is column 2.
    grid.HideTableColumn(1);
    grid.SetColWidth(2, 90);
    persistence::SaveColumnWidths(grid, active);
    EXPECT_EQ(ReadAll(path), "[QueueGrid]\nCol0=77\nCol1=90\nCol2=0x20\n");
}

}  // namespace
