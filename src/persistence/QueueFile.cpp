#include "persistence/QueueFile.h"

#include "platform/AtomicFile.h"
#include "platform/Errors.h"
#include "platform/StringGrid.h"
#include "platform/TextPool.h"
#include "queue/QueueTable.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace persistence {

namespace {

constexpr char kQuote = '"';
constexpr char kLineBreakMark = '\x0B';  // stands for CR LF inside a field
constexpr int kRowGrowth = 1000;
constexpr int kRowsBetweenCalls = 2048;
constexpr qsizetype kReadChunk = 1 << 20;

constexpr char kCandidates[] = {',', ';', '#', '\t', '|', '@', '*', '-', '+', '&'};

// Maximal runs of c of odd length followed by another character, plus one
// when the line ends with c: a doubled character is text, not a separator.
int SeparatorCount(const QByteArray& line, char c) {
    int count = 0;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        if (line[i] != c) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && line[j] == c)
            ++j;
        if ((j - i) % 2 == 1 && j < n) ++count;
        i = j;
    }
    if (n > 0 && line[n - 1] == c) ++count;
    return count;
}

int PlainCount(const QByteArray& line, char c) {
    return static_cast<int>(line.count(c));
}

// Occurrences outside double-quoted stretches: how the lines split when
// quoted fields are honoured.
int UnquotedCount(const QByteArray& line, char c) {
    int count = 0;
    bool quoted = false;
    for (char ch : line) {
        if (ch == kQuote) {
            quoted = !quoted;
        } else if (ch == c && !quoted) {
            ++count;
        }
    }
    return count;
}

QString DecodeField(const char* data, qsizetype size, platform::TextPool& pool) {
    const QByteArrayView view(data, size);
    if (!view.contains(kQuote) && !view.contains(kLineBreakMark)) {
        if (size > 0 && platform::IsAscii(data, size)) return pool.Ascii(data, size);
        return QString::fromUtf8(data, size);
    }
    QByteArray out;
    out.reserve(size + 8);
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == kQuote) {
            // A pair stands for one quote; a lone quote is dropped.
            if (i + 1 < size && data[i + 1] == kQuote) {
                out += kQuote;
                ++i;
            }
        } else if (c == kLineBreakMark) {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return QString::fromUtf8(out);
}

template <class Grid>
bool EnsureColumns(Grid& grid, int count) {
    if (count <= grid.ColCount()) return true;
    if constexpr (requires { grid.SetColCount(count); }) {
        grid.SetColCount(count);
        return true;
    } else {
        return false;
    }
}

// A column's texts repeat from row to row (action, status, directories): a
// field that reads as the one above it shares that row's text instead of
// holding a copy, which at a million rows is most of the load's memory. A
// column whose texts never repeat (row numbers, file names) is not kept
// beside the table, but looked at again now and then.
class FieldCache {
public:
    QString Decode(int col, const char* data, qsizetype size) {
        if (col >= static_cast<int>(last_.size())) last_.resize(static_cast<std::size_t>(col) + 1);
        Last& last = last_[static_cast<std::size_t>(col)];
        if (last.misses >= kMissesToStop) {
            if (++last.misses < kMissesToRetry) return DecodeField(data, size, pool_);
            last.misses = 0;
            last.valid = false;
        }
        if (last.valid && std::string_view(data, static_cast<std::size_t>(size)) == last.raw) {
            last.misses = 0;
            return last.text;
        }
        ++last.misses;
        last.raw.assign(data, static_cast<std::size_t>(size));
        last.text = DecodeField(data, size, pool_);
        last.valid = true;
        return last.text;
    }

private:
    static constexpr int kMissesToStop = 64;
    static constexpr int kMissesToRetry = 4096;
    struct Last {
        bool valid = false;
        int misses = 0;
        std::string raw;
        QString text;
    };
    std::vector<Last> last_;
    platform::TextPool pool_;
};

void StoreField(platform::StringGrid& grid, int col, int row, QString text) {
    // A table that cannot widen keeps its columns; fields beyond them are dropped.
    if (!EnsureColumns(grid, col + 1)) return;
    grid.SetCell(col, row, std::move(text));
}

// The position of the quote that closes a quoted field whose text starts at
// from: the last quote of the first odd-length run of quotes followed by
// another character, else a quote ending the line; -1 when there is none.
qsizetype ClosingQuote(const QByteArray& line, qsizetype from) {
    const qsizetype n = line.size();
    qsizetype i = from;
    while (i < n) {
        if (line[i] != kQuote) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && line[j] == kQuote)
            ++j;
        if ((j - i) % 2 == 1 && j < n) return j - 1;
        i = j;
    }
    if (n > from && line[n - 1] == kQuote) return n - 1;
    return -1;
}

void StoreLine(platform::StringGrid& grid, int row, const QByteArray& line,
               std::optional<char> delimiter, FieldCache& cache) {
    const qsizetype n = line.size();
    const char* data = line.constData();
    qsizetype pos = 0;
    int col = 0;
    if (delimiter) {
        const char d = *delimiter;
        // The next delimiter from pos, found once per field.
        qsizetype next = pos < n ? line.indexOf(d, pos) : -1;
        while (next >= 0) {
            qsizetype q;
            if (line[pos] == kQuote) {
                ++pos;
                const qsizetype close = ClosingQuote(line, pos);
                if (close >= 0) {
                    StoreField(grid, col, row, cache.Decode(col, data + pos, close - pos));
                    pos = close + 1;
                } else {
                    StoreField(grid, col, row, QString());
                }
                q = line.indexOf(d, pos);
            } else {
                q = next;
                StoreField(grid, col, row, cache.Decode(col, data + pos, q - pos));
            }
            ++col;
            // Text after a closing quote is dropped up to the next delimiter;
            // with no delimiter left it is dropped up to the end of the line.
            pos = q < 0 ? n : q + 1;
            next = pos < n ? line.indexOf(d, pos) : -1;
        }
    }
    if (pos >= n) return;
    qsizetype begin = pos;
    qsizetype end = n;
    if (line[begin] == kQuote) ++begin;
    if (end > begin && line[end - 1] == kQuote) --end;
    StoreField(grid, col, row, cache.Decode(col, data + begin, end - begin));
}

// Splits a device into lines at LF, dropping a CR right before it; a last
// line without a line end is a line too. A line refers to the reader's
// buffer (no copy) and is valid until the next call.
class LineReader {
public:
    explicit LineReader(QIODevice& in) : in_(in) {}

    bool Next(QByteArray& line) {
        for (;;) {
            const qsizetype lf = buffer_.indexOf('\n', pos_);
            if (lf >= 0) {
                qsizetype end = lf;
                if (end > pos_ && buffer_[end - 1] == '\r') --end;
                line = QByteArray::fromRawData(buffer_.constData() + pos_, end - pos_);
                pos_ = lf + 1;
                return true;
            }
            if (eof_) {
                if (pos_ >= buffer_.size()) return false;
                line = QByteArray::fromRawData(buffer_.constData() + pos_, buffer_.size() - pos_);
                pos_ = buffer_.size();
                return true;
            }
            Fill();
        }
    }

private:
    void Fill() {
        buffer_.remove(0, pos_);
        pos_ = 0;
        const qsizetype old = buffer_.size();
        buffer_.resize(old + kReadChunk);
        errno = 0;
        const qint64 got = in_.read(buffer_.data() + old, kReadChunk);
        if (got < 0) {
            const int err = errno != 0 ? errno : EIO;
            buffer_.resize(old);
            platform::RaiseIoError(err);
        }
        buffer_.resize(old + got);
        if (got == 0) eof_ = true;
    }

    QIODevice& in_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool eof_ = false;
};

void WriteOrThrow(platform::AtomicFile& file, const QByteArray& bytes) {
    if (!file.Write(bytes)) platform::RaiseIoError(file.Error());
}

[[noreturn]] void CannotCreate(const platform::AtomicFile& file, const QString& path) {
    throw platform::EInOutError(platform::IoCodeFromErrno(file.Error()),
                                QStringLiteral("Cannot Create file ") + path);
}

}  // namespace

QByteArray EncodeQueueField(const QString& text) {
    QByteArray t = text.toUtf8();
    const bool special =
        t.contains(kQuote) || t.contains(',') || t.contains('\r') || t.contains('\n');
    if (!special) return t.isEmpty() ? QByteArrayLiteral("\"\"") : t;

    t.replace("\"", "\"\"");
    // A line break would split the row when read back; it is stored like the
    // one inside a field with a comma: as 0x0B, quoted.
    const bool hasBreak = t.contains('\r') || t.contains('\n');
    if (t.contains(',') || hasBreak) {
        t.replace("\r\n", QByteArray(1, kLineBreakMark));
        t.replace('\r', kLineBreakMark);
        t.replace('\n', kLineBreakMark);
    }
    return kQuote + t + kQuote;
}

QByteArray EncodeQueueRow(const platform::StringGrid& grid, int row) {
    QByteArray line;
    bool first = true;
    for (int col = 0; col < grid.ColCount(); ++col) {
        if (grid.ColumnHidden(col)) continue;
        if (!first) line += ',';
        first = false;
        line += EncodeQueueField(grid.Cell(col, row));
    }
    return line;
}

std::optional<char> ChooseQueueDelimiter(const QByteArray& line1, const QByteArray& line2) {
    std::optional<char> chosen;
    int best = 0;
    for (char c : kCandidates) {
        const int count1 = SeparatorCount(line1, c);
        if (count1 == SeparatorCount(line2, c) && count1 > best) {
            chosen = c;
            best = count1;
        }
    }
    // A comma inside a quoted field makes the raw counts differ although the
    // lines split into the same number of fields; without this, a second line
    // rich in another candidate (dates like 2024-01-02) could win the third
    // pass and misread a file the program wrote itself.
    if (best == 0) {
        for (char c : kCandidates) {
            const int count1 = UnquotedCount(line1, c);
            if (count1 == UnquotedCount(line2, c) && count1 > best) {
                chosen = c;
                best = count1;
            }
        }
    }
    if (best == 0) {
        for (char c : kCandidates) {
            const int count1 = PlainCount(line1, c);
            if (count1 == PlainCount(line2, c) && count1 > best) {
                chosen = c;
                best = count1;
            }
        }
    }
    if (best == 0) {
        for (char c : kCandidates) {
            const int count1 = PlainCount(line1, c);
            const int count2 = PlainCount(line2, c);
            if (count1 > best || count2 > best) {
                chosen = c;
                best = std::max(count1, count2);
            }
        }
    }
    return chosen;
}

void LoadQueueStream(QIODevice& in, platform::StringGrid& grid,
                     const std::function<void()>& between) {
    LineReader reader(in);
    QByteArray line1, line2;
    // The first two lines are kept while more is read: copies of their own.
    const bool has1 = reader.Next(line1);
    line1 = QByteArray(line1.constData(), line1.size());
    const bool has2 = has1 && reader.Next(line2);
    line2 = QByteArray(line2.constData(), line2.size());
    const std::optional<char> delimiter = ChooseQueueDelimiter(line1, line2);

    int row = 0;
    FieldCache cache;
    // Whatever ends the reading, the table keeps a header row and one data
    // row, and no run of blank rows from the last growth step.
    auto finish = [&] {
        grid.SetRowCount(std::max(row, 2));
        if (row < 2) {
            for (int col = 0; col < grid.ColCount(); ++col)
                grid.SetCell(col, 1, QString());
        }
        grid.Repaint();
    };
    auto store = [&](const QByteArray& line) {
        if (row >= grid.RowCount()) grid.SetRowCount(row + kRowGrowth);
        StoreLine(grid, row, line, delimiter, cache);
        ++row;
        if (between && row % kRowsBetweenCalls == 0) between();
    };

    try {
        if (has1) store(line1);
        if (has2) store(line2);
        QByteArray line;
        while (has2 && reader.Next(line))
            store(line);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void LoadQueueFile(platform::StringGrid& grid, const QString& hostPath,
                   const std::function<void()>& between) {
    QFile file(hostPath);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::EInOutError(platform::IoCodeFromErrno(errno != 0 ? errno : ENOENT),
                                    QStringLiteral("Cannot open file ") + hostPath);
    }
    LoadQueueStream(file, grid, between);
}

void LoadQueueFile(queue::QueueTable& table, const QString& hostPath,
                   const std::function<void()>& between) {
    LoadQueueFile(table.Grid(), hostPath, between);
}

void SaveQueueFile(const platform::StringGrid& grid, const QString& hostPath) {
    platform::AtomicFile file(hostPath);
    if (!file.Open()) CannotCreate(file, hostPath);
    QByteArray batch;
    for (int row = 0; row < grid.RowCount(); ++row) {
        batch += EncodeQueueRow(grid, row);
        batch += "\r\n";
        if (batch.size() >= 64 * 1024) {
            WriteOrThrow(file, batch);
            batch.resize(0);
        }
    }
    WriteOrThrow(file, batch);
    if (file.Commit()) return;
    if (file.FailedStage() == platform::AtomicFile::Stage::Commit) CannotCreate(file, hostPath);
    platform::RaiseIoError(file.Error());
}

void SaveQueueFile(const queue::QueueTable& table, const QString& hostPath) {
    SaveQueueFile(table.Grid(), hostPath);
}

}  // namespace persistence
