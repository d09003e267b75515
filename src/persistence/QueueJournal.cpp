#include "persistence/QueueJournal.h"

#include "persistence/QueueFile.h"
#include "platform/Errors.h"
#include "queue/QueueTable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace persistence {

namespace {

constexpr QByteArrayView kMagic = "FVJ1";

// Cell texts travel with blanks, line ends, '%' and control characters
// escaped, so a record is one line of blank-separated words.
QByteArray Escape(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || c == '%' || u == 0x7F) {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else {
            out += c;
        }
    }
    // An empty text still needs a word of its own.
    return out.isEmpty() ? QByteArrayLiteral("%") : out;
}

QString Unescape(QByteArrayView word) {
    if (word == "%") return QString();
    return QString::fromUtf8(QByteArray::fromPercentEncoding(word.toByteArray()));
}

QByteArray Sealed(QByteArray line) {
    const quint16 sum = qChecksum(line);
    line += ' ';
    line += QByteArray::number(sum, 16);
    line += '\n';
    return line;
}

// The words of one whole line whose checksum holds; empty when it does not.
QList<QByteArray> Open(QByteArrayView line) {
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank <= 0) return {};
    const QByteArrayView body = line.first(blank);
    bool ok = false;
    const uint sum = line.sliced(blank + 1).toByteArray().toUInt(&ok, 16);
    if (!ok || sum != qChecksum(body)) return {};
    return body.toByteArray().split(' ');
}

int Number(const QByteArray& word, bool& ok) {
    bool good = false;
    const int n = word.toInt(&good);
    ok = ok && good && n >= 0;
    return n;
}

// One record; false when it is damaged or does not fit the grid.
bool Apply(const QList<QByteArray>& words, platform::StringGrid& grid) {
    if (words.isEmpty() || words[0].size() != 1) return false;
    bool ok = true;
    switch (words[0][0]) {
        case 'C': {
            if (words.size() != 4) return false;
            const int col = Number(words[1], ok);
            const int row = Number(words[2], ok);
            if (!ok || col >= grid.ColCount() || row >= grid.RowCount()) return false;
            grid.SetCell(col, row, Unescape(words[3]));
            return true;
        }
        case 'I': {
            if (words.size() != 3) return false;
            const int first = Number(words[1], ok);
            const int count = Number(words[2], ok);
            if (!ok || first != grid.RowCount()) return false;
            grid.SetRowCount(first + count);
            return true;
        }
        case 'D': {
            if (words.size() != 3) return false;
            const int first = Number(words[1], ok);
            const int count = Number(words[2], ok);
            if (!ok || first + count > grid.RowCount()) return false;
            grid.DeleteRows(first, count);
            return true;
        }
        case 'K': {
            if (words.size() != 2) return false;
            const int count = Number(words[1], ok);
            if (!ok || count < 1) return false;
            grid.SetColCount(count);
            return true;
        }
        default:
            return false;
    }
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

QByteArray QueueFileIdentity(const QString& hostPath) {
    struct stat st {};
    if (::stat(QFile::encodeName(hostPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return QByteArrayLiteral("none");
    return QByteArray::number(static_cast<qulonglong>(st.st_ino)) + ':' +
           QByteArray::number(static_cast<qlonglong>(st.st_size)) + ':' +
           QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qlonglong>(st.st_mtim.tv_nsec));
}

JournalReplay ReplayJournal(const QByteArray& journal, const QByteArray& base,
                            platform::StringGrid& grid) {
    JournalReplay result;
    qsizetype pos = 0;
    bool header = true;
    while (pos < journal.size()) {
        const qsizetype lf = journal.indexOf('\n', pos);
        if (lf < 0) break;  // torn last line
        const QList<QByteArray> words = Open(QByteArrayView(journal).sliced(pos, lf - pos));
        pos = lf + 1;
        if (header) {
            if (words.size() != 2 || words[0] != kMagic || words[1] != base) return result;
            result.matched = true;
            header = false;
            continue;
        }
        if (!Apply(words, grid)) break;
        ++result.applied;
    }
    return result;
}

QueueJournal::QueueJournal(platform::StringGrid& grid, QString queuePath, QString journalPath)
    : grid_(grid), queuePath_(std::move(queuePath)), journalPath_(std::move(journalPath)) {
    base_ = QueueFileIdentity(queuePath_);
    grid_.AddObserver(this);
}

QueueJournal::~QueueJournal() {
    grid_.RemoveObserver(this);
}

JournalReplay QueueJournal::Recover() {
    JournalReplay result;
    QFile file(journalPath_);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        file.close();
        // Replaying is not a change of its own.
        grid_.RemoveObserver(this);
        result = ReplayJournal(text, QueueFileIdentity(queuePath_), grid_);
        grid_.AddObserver(this);
    }
    // The rows a dead program was working on are runnable again, in the
    // queue file too.
    grid_.RemoveObserver(this);
    const int revived = queue::ReviveInterruptedRows(grid_);
    grid_.AddObserver(this);
    if (result.applied > 0 || revived > 0) SaveQueueFile(grid_, queuePath_);
    Restart();
    return result;
}

void QueueJournal::Restart() {
    pending_.clear();
    base_ = QueueFileIdentity(queuePath_);
    started_ = false;
    fileSize_ = 0;
    ::unlink(QFile::encodeName(journalPath_).constData());
}

void QueueJournal::Record(QByteArray line) {
    QElapsedTimer clock;
    clock.start();
    pending_ += Sealed(std::move(line));
    costNs_ += clock.nsecsElapsed();
}

void QueueJournal::CellChanged(int col, int row, const QString&) {
    Record("C " + QByteArray::number(col) + ' ' + QByteArray::number(row) + ' ' +
           Escape(grid_.Cell(col, row)));
}

void QueueJournal::RowsRemoved(int first, int count) {
    Record("D " + QByteArray::number(first) + ' ' + QByteArray::number(count));
}

void QueueJournal::RowsInserted(int first, int count) {
    Record("I " + QByteArray::number(first) + ' ' + QByteArray::number(count));
}

void QueueJournal::ColumnCountChanged() {
    Record("K " + QByteArray::number(grid_.ColCount()));
}

bool QueueJournal::Flush(Durability durability) {
    if (pending_.isEmpty()) return true;
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes;
    if (!started_) bytes = Sealed(kMagic.toByteArray() + ' ' + base_);
    bytes += pending_;
    const QByteArray path = QFile::encodeName(journalPath_);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (started_ ? O_APPEND : O_TRUNC);
    errno = 0;
    const int fd = ::open(path.constData(), flags, 0644);
    bool ok = fd >= 0 && WriteAll(fd, bytes);
    if (ok && durability == Durability::Wait) ok = ::fdatasync(fd) == 0;
    if (ok && durability == Durability::Start)
        ::sync_file_range(fd, fileSize_, bytes.size(), SYNC_FILE_RANGE_WRITE);
    if (!ok) {
        // A short write with no error code is a full disk.
        const int err = errno != 0 ? errno : ENOSPC;
        lastFailure_ = QStringLiteral("Unable to write to ") + journalPath_ + QStringLiteral(": ") +
                       platform::IoErrorText(platform::IoCodeFromErrno(err));
    }
    if (fd >= 0 && !ok) {
        // A torn line would end every later replay there: cut it off.
        if (::ftruncate(fd, fileSize_) != 0) started_ = false;
    }
    if (fd >= 0) ::close(fd);
    if (ok) {
        fileSize_ += bytes.size();
        started_ = true;
        pending_.clear();
    }
    const qint64 took = clock.nsecsElapsed();
    costNs_ += took;
    maxFlushNs_ = std::max(maxFlushNs_, took);
    return ok;
}

}  // namespace persistence
