#pragma once
// The queue file: the queue table as comma-separated text, one line per table
// row (header first), CR LF after every line, one field per column in view.
// Fields with a comma, a double quote or a line break are quoted (quotes
// doubled, line breaks stored as the single character 0x0B); an empty cell is
// written as "" so it is never nothing. The reader guesses the delimiter from
// the first two lines, so a file edited by hand with semicolons still reads.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace platform {
class StringGrid;
}
namespace queue {
class QueueTable;
}

namespace persistence {

// Writes every row of the table to hostPath, whole or not at all: on a
// failure the old file stays as it was. Throws platform::EInOutError with
// "Cannot Create file " and the path when the file cannot be created or
// replaced, or with the I/O error's text when writing fails.
void SaveQueueFile(const queue::QueueTable& table, const QString& hostPath);
void SaveQueueFile(const platform::StringGrid& grid, const QString& hostPath);

// Reads hostPath into the table from the header row on. Throws
// platform::EInOutError with "Cannot open file " and the path when the file
// cannot be opened (the table is unchanged), or with the I/O error's text
// when reading fails (the rows read so far stay).
// between, when given, is called every few thousand rows: a window that
// reads a long file can repaint meanwhile.
void LoadQueueFile(queue::QueueTable& table, const QString& hostPath,
                   const std::function<void()>& between = {});
void LoadQueueFile(platform::StringGrid& grid, const QString& hostPath,
                   const std::function<void()>& between = {});

// The reader on any device, line by line.
void LoadQueueStream(QIODevice& in, platform::StringGrid& grid,
                     const std::function<void()>& between = {});

// One line of the file for a row (without its CR LF).
QByteArray EncodeQueueRow(const platform::StringGrid& grid, int row);
QByteArray EncodeQueueField(const QString& text);

// The delimiter for a file whose first two lines are these (the second empty
// when the file has one line); nullopt when every line is one field.
std::optional<char> ChooseQueueDelimiter(const QByteArray& line1, const QByteArray& line2);

}  // namespace persistence
