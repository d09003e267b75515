#pragma once
// Profile (INI) files: "[Section]" lines open a section, "key=value" lines are
// its entries. Section and key names match without regard to letter case; a
// value is the text after the first "=" with surrounding blanks removed, at
// most 2047 characters of it. A write replaces an entry in place or adds it at
// the end of its section (a new section goes to the end of the file); every
// other line is kept byte for byte, so hand edits survive.
//
// A Profile is opened for one group of accesses and released after it; no
// handle stays open in between, so the file may be edited by hand between runs.

#include <QByteArray>
#include <QString>

#include <vector>

namespace persistence {

// The longest value a read returns; longer ones are cut.
inline constexpr int kProfileValueLimit = 2047;

// The content of a profile file held in memory: the reading and writing rules
// without any disk access.
class ProfileText {
public:
    ProfileText() = default;
    explicit ProfileText(const QByteArray& content);

    // def when the section or the key is missing.
    QString ReadText(const QString& section, const QString& key, const QString& def) const;
    int ReadInt(const QString& section, const QString& key, int def) const;
    bool ReadFlag(const QString& section, const QString& key, bool def) const;

    void WriteText(const QString& section, const QString& key, const QString& value);
    void WriteInt(const QString& section, const QString& key, int value);
    void WriteFlag(const QString& section, const QString& key, bool value);

    QByteArray Content() const;

private:
    struct Line {
        QByteArray text;  // without its line end
        QByteArray end;   // "\r\n", "\n" or empty for a last line without one
    };
    // Index of the first header line naming section, -1 when there is none.
    int FindSection(const QByteArray& section) const;
    // Index of the first entry of key in the section opened at header, -1 when none.
    int FindKey(int header, const QByteArray& key) const;
    QByteArray NewLineEnd() const;

    std::vector<Line> lines_;
};

// Lenient integer reading: "0x12C" and "$12C" are hexadecimal, otherwise
// decimal with an optional sign; anything that is not a whole number in the
// 32-bit signed range gives def.
int ParseProfileInt(const QString& text, int def);

// One profile file on disk. The file is read when the Profile is opened
// (a missing or unreadable file reads as empty); writes are buffered and
// reach the disk at Release, whole or not at all, applied to the file as it
// is then, so the last writer of a key wins and other keys are left alone.
class Profile {
public:
    explicit Profile(QString hostPath);
    // Flushes writes that were not released; a failure cannot be reported here.
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    QString ProfileReadText(const QString& section, const QString& key, const QString& def) const;
    int ProfileReadInt(const QString& section, const QString& key, int def) const;
    bool ProfileReadFlag(const QString& section, const QString& key, bool def) const;
    void ProfileWriteText(const QString& section, const QString& key, const QString& value);
    void ProfileWriteInt(const QString& section, const QString& key, int value);
    void ProfileWriteFlag(const QString& section, const QString& key, bool value);

    // Writes buffered changes; throws platform::Failure "Unable to write to "
    // and the path when the file system refuses them.
    void Release();

    const QString& Path() const { return path_; }

private:
    struct PendingWrite {
        QString section, key, value;
    };
    bool Flush();

    QString path_;
    ProfileText text_;  // what this group reads: the file at opening plus its own writes
    std::vector<PendingWrite> pending_;
};

}  // namespace persistence
