#include "persistence/QueueFile.h"

#include "platform/Errors.h"
#include "platform/StringGrid.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/HostFiles.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using persistence::ChooseQueueDelimiter;
using persistence::EncodeQueueField;
using persistence::LoadQueueFile;
using persistence::LoadQueueStream;
using persistence::SaveQueueFile;
using Rows = std::vector<std::vector<QString>>;

using testsupport::ReadAll;
using testsupport::WriteAll;

void LoadBytes(platform::StringGrid& grid, QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    LoadQueueStream(buffer, grid);
}

Rows CellsOf(const platform::StringGrid& grid, int cols) {
    Rows rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        std::vector<QString> row;
        for (int c = 0; c < cols; ++c)
            row.push_back(grid.Cell(c, r));
        rows.push_back(row);
    }
    return rows;
}

void FillJob(queue::QueueTable& table, const std::vector<QString>& cells) {
    const int row = table.AppendRow();
    for (int c = 0; c < static_cast<int>(cells.size()); ++c)
        table.SetCell(c, row, cells[c]);
}

const QByteArray kHeader =
    "Row,Source Directory,Filename,Target Directory,Real Size,File Size,Action,Status\r\n";

TEST(QueueFileEncode, FieldsAreQuotedOnlyWhenTheyMustBe) {
    struct Case {
        QString text;
        QByteArray written;
    };
    const Case cases[] = {
        {"report.txt", "report.txt"},
        {"", "\"\""},
        {"\"", "\"\"\"\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"C:\\Data, old", "\"C:\\Data, old\""},
        {"a,\"b\"", "\"a,\"\"b\"\"\""},
        {"a,b\r\nc",
         "\"a,b\x0B"
         "c\""},
        // A line break without a comma must not split the row on reading.
        {"a\r\nb",
         "\"a\x0B"
         "b\""},
        {"a\nb",
         "\"a\x0B"
         "b\""},
        {" padded ", " padded "},
        {"Größe", "Größe"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeQueueField(c.text), c.written) << c.text.toStdString();
    }
}

TEST(QueueFileSave, WorkedExamplesAreWrittenByteForByte) {
    struct Case {
        const char* name;
        std::vector<QString> job;  // empty: the queue is empty
        QByteArray dataLine;
    };
    const Case cases[] = {
        {"plain",
         {"1", "C:\\Data", "report.txt", "E:\\Backup", "2048.00", "2.00 KB", "Copy", "Pending"},
         "1,C:\\Data,report.txt,E:\\Backup,2048.00,2.00 KB,Copy,Pending\r\n"},
        {"comma",
         {"1", "C:\\Data, old", "report.txt", "E:\\Backup", "2048.00", "2.00 KB", "Copy",
          "Pending"},
         "1,\"C:\\Data, old\",report.txt,E:\\Backup,2048.00,2.00 KB,Copy,Pending\r\n"},
        {"empty", {}, "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("ferrovant.csv");
        queue::QueueTable table;
        if (!c.job.empty()) FillJob(table, c.job);
        SaveQueueFile(table, path);
        EXPECT_EQ(ReadAll(path), kHeader + c.dataLine);

        // Reading it back restores the table cell for cell.
        queue::QueueTable loaded;
        LoadQueueFile(loaded, path);
        EXPECT_EQ(CellsOf(loaded.Grid(), 8), CellsOf(table.Grid(), 8));
    }
}

TEST(QueueFileSave, HiddenColumnsAreNotWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.csv");
    queue::QueueTable table;
    FillJob(table, {"1", "C:\\A", "f", "D:\\B", "5.00", "5 Bytes", "Move", "Aborted"});
    table.Grid().HideTableColumn(queue::colRealSize);
    SaveQueueFile(table, path);
    EXPECT_EQ(ReadAll(path),
              "Row,Source Directory,Filename,Target Directory,File Size,Action,Status\r\n"
              "1,C:\\A,f,D:\\B,5 Bytes,Move,Aborted\r\n");
}

TEST(QueueFileDelimiter, ChoosesByTheFirstTwoLines) {
    struct Case {
        const char* name;
        QByteArray line1, line2;
        std::optional<char> expected;
    };
    const Case cases[] = {
        {"header and data, seven commas each", "a,b,c,d,e,f,g,h", "1,2,3,4,5,6,7,8", ','},
        {"quoted comma in the data line", "Row,Source Directory,F,T,R,S,A,St",
         "1,\"C:\\Data, old\",report.txt,E:\\Backup,2048.00,2.00 KB,Copy,Pending", ','},
        {"semicolons", "Row;Source;File", "1;C:\\Data;a.txt", ';'},
        {"tie goes to the earlier candidate", "a,b;c", "1,2;3", ','},
        {"doubled character is no separator", "a;;b;c", "1;2", ';'},
        {"trailing delimiter counts", "a|b|", "1|2|", '|'},
        {"only one line", "a,b,c", "", ','},
        {"plain counts when runs differ", "a;;b", "1;;2", ';'},
        {"unequal counts, the larger wins", "a#b", "1#2#3", '#'},
        {"no candidate at all", "Row Source", "1 C:\\Data", std::nullopt},
        {"empty file", "", "", std::nullopt},
        // A job line rich in dashes must not outvote the commas of a file
        // the program wrote itself.
        {"dashes in a quoted job line", "Row,Source Directory,F,T,R,S,A,St",
         "1,\"C:\\2024-01-02, trip\",a-b-c-d-e-f-g.jpg,E:\\2024-01-02,1.00,1 Bytes,Copy,Pending",
         ','},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseQueueDelimiter(c.line1, c.line2), c.expected) << c.name;
    }
}

TEST(QueueFileLoad, LinesBecomeCellsByTheReaderRules) {
    struct Case {
        const char* name;
        QByteArray file;
        Rows rows;  // expected first three columns of every row
    };
    const Case cases[] = {
        {"plain", "A,B,C\r\n1,2,3\r\n", {{"A", "B", "C"}, {"1", "2", "3"}}},
        {"LF line ends", "A,B,C\n1,2,3\n", {{"A", "B", "C"}, {"1", "2", "3"}}},
        {"no line end at the end", "A,B,C\r\n1,2,3", {{"A", "B", "C"}, {"1", "2", "3"}}},
        {"quoted comma", "A,B,C\r\n\"x,y\",2,3\r\n", {{"A", "B", "C"}, {"x,y", "2", "3"}}},
        {"doubled quotes",
         "A,B,C\r\n\"a\"\"b\",\"\"\"\",\"\"\"\"\r\n",
         {{"A", "B", "C"}, {"a\"b", "\"", "\""}}},
        {"empty quoted fields", "A,B,C\r\n\"\",\"\",\"\"\r\n", {{"A", "B", "C"}, {"", "", ""}}},
        {"line break mark",
         "A,B,C\r\n\"a,b\x0B"
         "c\",2,3\r\n",
         {{"A", "B", "C"}, {"a,b\r\nc", "2", "3"}}},
        {"fewer fields leave cells empty",
         "A,B,C\r\n1,2,3\r\n1\r\n",
         {{"A", "B", "C"}, {"1", "2", "3"}, {"1", "", ""}}},
        {"blank line in the middle",
         "A,B,C\r\n1,2,3\r\n\r\n4,5,6\r\n",
         {{"A", "B", "C"}, {"1", "2", "3"}, {"", "", ""}, {"4", "5", "6"}}},
        {"blank line at the end",
         "A,B,C\r\n1,2,3\r\n\r\n",
         {{"A", "B", "C"}, {"1", "2", "3"}, {"", "", ""}}},
        {"semicolon file", "A;B;C\r\n1;x,y;3\r\n", {{"A", "B", "C"}, {"1", "x,y", "3"}}},
        {"text after a closing quote is dropped",
         "A,B,C\r\n\"x\"junk,2,3\r\n",
         {{"A", "B", "C"}, {"x", "2", "3"}}},
        {"text after a closing quote with no delimiter left is dropped",
         "A,B,C\r\n1,\"x,y\"junk\r\n",
         {{"A", "B", "C"}, {"1", "x,y", ""}}},
        {"a last field strips one quote at each end",
         "A,B,C\r\n1,\"x\"junk\r\n",
         {{"A", "B", "C"}, {"1", "xjunk", ""}}},
        {"unclosed quote drops its field text",
         "A,B,C\r\n\"x,2,3\r\n",
         {{"A", "B", "C"}, {"", "2", "3"}}},
        {"lone quotes inside a field are dropped",
         "A,B,C\r\na\"b,2,3\r\n",
         {{"A", "B", "C"}, {"ab", "2", "3"}}},
        {"no delimiter: one field per line",
         "Hello world\r\nsecond\r\n",
         {{"Hello world", "Source Directory", "Filename"}, {"second", "", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        queue::QueueTable table;
        LoadBytes(table.Grid(), c.file);
        EXPECT_EQ(CellsOf(table.Grid(), 3), c.rows);
    }
}

TEST(QueueFileLoad, ShortFilesKeepAHeaderAndOneVacantRow) {
    struct Case {
        const char* name;
        QByteArray file;
        QString title0;
    };
    const Case cases[] = {
        {"empty file", "", "Row"},
        {"header only", "A,B\r\n", "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        queue::QueueTable table;
        FillJob(table, {"1", "C:\\x", "f", "D:\\y", "1.00", "1 Bytes", "Copy", "Pending"});
        LoadBytes(table.Grid(), c.file);
        ASSERT_EQ(table.RowCount(), 2);
        EXPECT_EQ(table.Cell(0, 0), c.title0);
        for (int col = 0; col < 8; ++col)
            EXPECT_EQ(table.Cell(col, 1), QString()) << col;
        EXPECT_EQ(table.FirstPendingRow(), -1);
    }
}

TEST(QueueFileLoad, HeaderLineReplacesTitlesAndExtraFieldsDoNotBreakTheRow) {
    queue::QueueTable table;
    LoadBytes(table.Grid(), "A,B,C\r\n1,2,3,4,5,6,7,8,9,10\r\n");
    EXPECT_EQ(table.Cell(0, 0), "A");
    EXPECT_EQ(table.Cell(2, 0), "C");
    EXPECT_EQ(table.Cell(3, 0), "Target Directory");  // not reached by the header line
    for (int col = 0; col < 8; ++col)
        EXPECT_EQ(table.Cell(col, 1), QString::number(col + 1));
    if (table.Grid().ColCount() > 8) {
        EXPECT_EQ(table.Grid().ColCount(), 10);
        EXPECT_EQ(table.Cell(9, 1), "10");
        EXPECT_EQ(table.Cell(9, 0), QString());
    }
}

class RowCountSpy : public platform::StringGrid::Observer {
public:
    explicit RowCountSpy(platform::StringGrid& grid) : grid_(grid) { grid_.AddObserver(this); }
    ~RowCountSpy() override { grid_.RemoveObserver(this); }
    void RowsInserted(int, int) override { counts.push_back(grid_.RowCount()); }
    std::vector<int> counts;

private:
    platform::StringGrid& grid_;
};

TEST(QueueFileLoad, GrowsInStepsOfAThousandAndEndsWithTheExactCount) {
    QByteArray file = kHeader;
    for (int i = 1; i <= 2500; ++i) {
        file += QByteArray::number(i) + ",C:\\Data,f" + QByteArray::number(i) +
                ".txt,E:\\B,1.00,1 Bytes,Copy,Pending\r\n";
    }
    queue::QueueTable table;
    RowCountSpy spy(table.Grid());
    LoadBytes(table.Grid(), file);
    EXPECT_EQ(spy.counts, (std::vector<int>{1002, 2002, 3002}));
    EXPECT_EQ(table.RowCount(), 2501);
    EXPECT_EQ(table.Cell(2, 2500), "f2500.txt");
    EXPECT_EQ(table.FirstPendingRow(), 1);

    // A reader given something to do between rows does it as it goes (a
    // window repaints there), and reads the same.
    QTemporaryDir dir;
    const QString path = dir.filePath("q.csv");
    SaveQueueFile(table, path);
    queue::QueueTable again;
    std::vector<int> rowsSeen;
    LoadQueueFile(again, path, [&] { rowsSeen.push_back(again.RowCount()); });
    EXPECT_EQ(rowsSeen, (std::vector<int>{3002}));  // after 2,048 rows, in the third step
    EXPECT_EQ(CellsOf(again.Grid(), 8), CellsOf(table.Grid(), 8));
}

TEST(QueueFileRoundTrip, TrickyTextsComeBackCellForCell) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.csv");
    queue::QueueTable table;
    const std::vector<std::vector<QString>> jobs = {
        {"1", "C:\\Data, old", "a \"quoted\" name.txt", "E:\\x,y,z", "1.00", "1 Bytes", "Copy",
         "Pending"},
        {"2", "\"", "\"\"", ",", "", "", "RemoveDir", "Failed"},
        {"3", "C:\\#;|@*-+&", "x\ty", "E:\\a--b", "-1.00", "-1 Bytes", "Move", "Aborted"},
        {"4", "line\r\nbreak", "comma, and\r\nbreak", "\"a,\"", " lead", "trail ", "Copy",
         "Source Error"},
    };
    for (const auto& job : jobs)
        FillJob(table, job);
    SaveQueueFile(table, path);

    queue::QueueTable loaded;
    LoadQueueFile(loaded, path);
    EXPECT_EQ(CellsOf(loaded.Grid(), 8), CellsOf(table.Grid(), 8));
    EXPECT_EQ(loaded.Grid().ColCount(), 8);
}

TEST(QueueFileFailures, SaveReportsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("plain-file");
    WriteAll(blocker, "x");
    const QString readOnly = dir.filePath("read-only.csv");
    WriteAll(readOnly, "old content\r\n");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QString isDir = dir.filePath("dir.csv");
    QDir().mkdir(isDir);

    struct Case {
        const char* name;
        QString path;
        QByteArray before;
    };
    const Case cases[] = {
        {"parent is a regular file", blocker + "/q.csv", "<missing>"},
        {"read-only file", readOnly, "old content\r\n"},
        {"directory in place of the file", isDir, "<missing>"},
    };
    queue::QueueTable table;
    FillJob(table, {"1", "C:\\A", "f", "D:\\B", "5.00", "5 Bytes", "Copy", "Pending"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            SaveQueueFile(table, c.path);
            ADD_FAILURE() << "no failure";
        } catch (const platform::EInOutError& e) {
            EXPECT_EQ(e.message(), "Cannot Create file " + c.path);
        }
        EXPECT_EQ(ReadAll(c.path), c.before);
    }
    // Nothing but what the test made is left behind (no temporaries).
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"dir.csv", "plain-file", "read-only.csv"}));
}

TEST(QueueFileFailures, LoadOfAMissingFileLeavesTheTableAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("none.csv");
    queue::QueueTable table;
    FillJob(table, {"1", "C:\\A", "f", "D:\\B", "5.00", "5 Bytes", "Copy", "Pending"});
    try {
        LoadQueueFile(table, path);
        ADD_FAILURE() << "no failure";
    } catch (const platform::EInOutError& e) {
        EXPECT_EQ(e.message(), "Cannot open file " + path);
    }
    EXPECT_EQ(table.Cell(1, 1), "C:\\A");
    EXPECT_EQ(table.RowCount(), 2);
}

TEST(QueueFileFailures, ReadErrorKeepsTheRowsReadSoFar) {
    QTemporaryDir dir;
    const QString path = dir.filePath("dir.csv");
    QDir().mkdir(path);
    queue::QueueTable table;
    EXPECT_THROW(LoadQueueFile(table, path), platform::EInOutError);
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.Cell(0, 0), "Row");
}

}  // namespace
