#include "persistence/Profile.h"

#include "platform/AtomicFile.h"
#include "platform/Errors.h"

#include <QFile>
#include <QFileInfo>

#include <cstdint>

namespace persistence {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray TrimLeft(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return text.mid(i);
}

// "[name]" (blanks around the name allowed; a missing "]" closes at the line end).
bool ParseHeader(const QByteArray& line, QByteArray* name) {
    const QByteArray t = TrimLeft(line);
    if (!t.startsWith('[')) return false;
    const qsizetype close = t.indexOf(']');
    if (name) *name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    return true;
}

bool ParseEntry(const QByteArray& line, QByteArray* key, QByteArray* value) {
    if (ParseHeader(line, nullptr)) return false;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0) return false;
    *key = line.left(eq).trimmed();
    if (value) *value = line.mid(eq + 1).trimmed();
    return true;
}

bool SameName(const QByteArray& stored, const QByteArray& wanted) {
    if (stored.size() == wanted.size() && stored.compare(wanted, Qt::CaseInsensitive) == 0) {
        return true;
    }
    return QString::fromUtf8(stored).compare(QString::fromUtf8(wanted), Qt::CaseInsensitive) == 0;
}

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

}  // namespace

int ParseProfileInt(const QString& raw, int def) {
    const QString text = raw.trimmed();
    constexpr std::int64_t kMax = INT32_MAX;
    constexpr std::int64_t kMin = INT32_MIN;

    QStringView digits;
    int base = 10;
    bool negative = false;
    if (text.size() > 2 && (text.startsWith(u"0x") || text.startsWith(u"0X"))) {
        digits = QStringView(text).mid(2);
        base = 16;
    } else if (text.startsWith(u'$')) {
        digits = QStringView(text).mid(1);
        base = 16;
    } else {
        digits = QStringView(text);
        if (!digits.isEmpty() && (digits[0] == u'+' || digits[0] == u'-')) {
            negative = digits[0] == u'-';
            digits = digits.mid(1);
        }
    }
    if (digits.isEmpty()) return def;

    std::int64_t value = 0;
    for (QChar c : digits) {
        const int d = HexValue(c);
        if (d < 0 || d >= base) return def;
        value = value * base + d;
        // Past the 32-bit range nothing can bring it back; stop before overflowing.
        if (value > kMax + 1) return def;
    }
    if (negative) value = -value;
    if (value > kMax || value < kMin) return def;
    return static_cast<int>(value);
}

ProfileText::ProfileText(const QByteArray& content) {
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype lf = content.indexOf('\n', start);
        if (lf < 0) {
            lines_.push_back({content.mid(start), QByteArray()});
            break;
        }
        qsizetype textEnd = lf;
        if (textEnd > start && content[textEnd - 1] == '\r') --textEnd;
        lines_.push_back(
            {content.mid(start, textEnd - start), content.mid(textEnd, lf + 1 - textEnd)});
        start = lf + 1;
    }
}

int ProfileText::FindSection(const QByteArray& section) const {
    QByteArray name;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (ParseHeader(lines_[i].text, &name) && SameName(name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int ProfileText::FindKey(int header, const QByteArray& key) const {
    QByteArray name;
    for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
        if (ParseHeader(lines_[i].text, nullptr)) break;
        if (ParseEntry(lines_[i].text, &name, nullptr) && SameName(name, key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QByteArray ProfileText::NewLineEnd() const {
    // New lines follow the file's own convention so a file edited on another
    // system keeps one style of line end.
    for (const Line& line : lines_) {
        if (!line.end.isEmpty()) return line.end;
    }
    return QByteArrayLiteral("\n");
}

QString ProfileText::ReadText(const QString& section, const QString& key,
                              const QString& def) const {
    const int header = FindSection(section.toUtf8());
    if (header < 0) return def;
    const int entry = FindKey(header, key.toUtf8());
    if (entry < 0) return def;
    QByteArray name, value;
    ParseEntry(lines_[static_cast<size_t>(entry)].text, &name, &value);
    return QString::fromUtf8(value).left(kProfileValueLimit);
}

int ProfileText::ReadInt(const QString& section, const QString& key, int def) const {
    const int header = FindSection(section.toUtf8());
    if (header < 0) return def;
    const int entry = FindKey(header, key.toUtf8());
    if (entry < 0) return def;
    QByteArray name, value;
    ParseEntry(lines_[static_cast<size_t>(entry)].text, &name, &value);
    return ParseProfileInt(QString::fromUtf8(value).left(kProfileValueLimit), def);
}

bool ProfileText::ReadFlag(const QString& section, const QString& key, bool def) const {
    return ReadInt(section, key, def ? 1 : 0) != 0;
}

void ProfileText::WriteText(const QString& section, const QString& key, const QString& value) {
    // A line break inside a value would end the entry and turn the rest into
    // lines of their own (even a section header), so a value stops at one.
    QByteArray bytes = value.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || bytes[i] == '\r') {
            bytes.truncate(i);
            break;
        }
    }

    const QByteArray sectionName = section.toUtf8();
    const QByteArray keyName = key.toUtf8();
    const int header = FindSection(sectionName);
    if (header >= 0) {
        const int entry = FindKey(header, keyName);
        if (entry >= 0) {
            Line& line = lines_[static_cast<size_t>(entry)];
            QByteArray storedKey;
            ParseEntry(line.text, &storedKey, nullptr);
            line.text = storedKey + '=' + bytes;
            return;
        }
        // After the section's last non-blank line, so blank lines that set it
        // apart from the next section stay where they are.
        size_t insertAt = static_cast<size_t>(header) + 1;
        for (size_t i = insertAt; i < lines_.size(); ++i) {
            if (ParseHeader(lines_[i].text, nullptr)) break;
            if (!lines_[i].text.trimmed().isEmpty()) insertAt = i + 1;
        }
        const QByteArray end = NewLineEnd();
        if (lines_[insertAt - 1].end.isEmpty()) lines_[insertAt - 1].end = end;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                      Line{keyName + '=' + bytes, end});
        return;
    }
    const QByteArray end = NewLineEnd();
    if (!lines_.empty() && lines_.back().end.isEmpty()) lines_.back().end = end;
    lines_.push_back({'[' + sectionName + ']', end});
    lines_.push_back({keyName + '=' + bytes, end});
}

void ProfileText::WriteInt(const QString& section, const QString& key, int value) {
    WriteText(section, key, QString::number(value));
}

void ProfileText::WriteFlag(const QString& section, const QString& key, bool value) {
    WriteText(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray ProfileText::Content() const {
    QByteArray out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.end;
    }
    return out;
}

namespace {

enum class FileState { Missing, Read, Unreadable };

FileState ReadProfileFile(const QString& path, QByteArray* content) {
    const QFileInfo info(path);
    if (!info.exists()) return FileState::Missing;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) return FileState::Unreadable;
    *content = file.readAll();
    return file.error() == QFileDevice::NoError ? FileState::Read : FileState::Unreadable;
}

}  // namespace

Profile::Profile(QString hostPath) : path_(std::move(hostPath)) {
    QByteArray content;
    if (ReadProfileFile(path_, &content) == FileState::Read) text_ = ProfileText(content);
}

Profile::~Profile() {
    if (!pending_.empty()) Flush();
}

QString Profile::ProfileReadText(const QString& section, const QString& key,
                                 const QString& def) const {
    return text_.ReadText(section, key, def);
}

int Profile::ProfileReadInt(const QString& section, const QString& key, int def) const {
    return text_.ReadInt(section, key, def);
}

bool Profile::ProfileReadFlag(const QString& section, const QString& key, bool def) const {
    return text_.ReadFlag(section, key, def);
}

void Profile::ProfileWriteText(const QString& section, const QString& key, const QString& value) {
    text_.WriteText(section, key, value);
    pending_.push_back({section, key, value});
}

void Profile::ProfileWriteInt(const QString& section, const QString& key, int value) {
    ProfileWriteText(section, key, QString::number(value));
}

void Profile::ProfileWriteFlag(const QString& section, const QString& key, bool value) {
    ProfileWriteText(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool Profile::Flush() {
    const std::vector<PendingWrite> writes = std::move(pending_);
    pending_.clear();
    // The writes go onto the file as it is now, not as it was at the opening:
    // another copy of the program, or a hand edit, may have changed other keys
    // meanwhile, and only the keys written here are ours to replace.
    QByteArray content;
    const FileState state = ReadProfileFile(path_, &content);
    // A file that exists but cannot be read would lose its content if replaced.
    if (state == FileState::Unreadable) return false;
    ProfileText current(content);
    for (const PendingWrite& w : writes)
        current.WriteText(w.section, w.key, w.value);
    platform::AtomicFile file(path_);
    return file.Open() && file.Write(current.Content()) && file.Commit();
}

void Profile::Release() {
    if (pending_.empty()) return;
    if (!Flush()) throw platform::Failure(QStringLiteral("Unable to write to %1").arg(path_));
}

}  // namespace persistence
