#pragma once
// The drive table: how the program's drive-letter paths ("C:\Data\report.txt")
// map onto host paths. "C:" is the host root; further letters, from "D:", go to
// the volumes a user browses. A volume keeps its letter across runs: letters
// are bound to the volume's identity in a small per-user table, and a letter
// whose volume is absent stays reserved ("not ready") instead of moving to
// another volume. Tests install their own table (letters mapped to temporary
// directories).

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace platform {

enum class DriveType { Removable, Fixed, Remote, CdRom, RamDisk };

struct Drive {
    QChar letter;         // upper case, 'C' .. 'Z'
    QByteArray hostRoot;  // "/" for C:, else the mount point, without a trailing "/"
    DriveType type = DriveType::Fixed;
    // Volume label, else the mount point's last component; empty when neither.
    QString label;
    QString remoteName;  // "\\server\share" for network drives
    bool caseSensitive = true;
    bool casePreserving = true;
    // Free bytes for the user; when set, used instead of asking the file system.
    std::optional<std::int64_t> freeSpaceOverride;
    // False while the volume bound to the letter is absent: no path reaches it.
    bool ready = true;
    // The file system's device number when the table was read (0: not checked).
    // A path is only handed out while the root still has it, so a volume
    // unmounted since never lets a write land in the bare mount point below.
    std::uint64_t device = 0;
};

// One line of /proc/self/mountinfo, with the octal escapes undone.
struct MountEntry {
    QByteArray mountPoint;
    QByteArray fsType;
    QByteArray source;  // "/dev/sdb1", "server:/export", "//server/share", "tmpfs" ...
    QByteArray root;    // the directory of the file system mounted there ("/" for all of it)
    QByteArray device;  // "major:minor"
};

// The lines of a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const QByteArray& text);

// What the drive table asks of the system about mounts. Any member may be
// empty (then: not removable, no label, no UUID, a directory, no entries,
// device 0).
struct VolumeProbe {
    std::function<bool(const QByteArray& source)> isRemovable;
    std::function<QString(const QByteArray& source)> labelOf;
    std::function<QString(const MountEntry& mount)> uuidOf;
    // Asked for local mounts only (a dead network server could hang the
    // question); a bind-mounted file is no drive.
    std::function<bool(const QByteArray& mountPoint)> isDirectory;
    // The shares a desktop's network mount (GVfs) has open, one directory each.
    std::function<QList<QByteArray>(const QByteArray& mountPoint)> sharesOf;
    std::function<std::uint64_t(const QByteArray& path)> deviceOf;
};

// The probe that reads /dev/disk/by-uuid, /dev/disk/by-label and
// /sys/class/block, and the file system's own superblock where those are
// missing and the device can be read.
VolumeProbe SystemVolumeProbe();

// The letters remembered for volumes: one identity per letter, one letter per
// identity, letters D: to Z:.
class DriveLetters {
public:
    struct Binding {
        QChar letter;
        QString identity;  // "uuid:...", "label:NAME@/dev/sdb1", "remote:\\server\share" ...
        QString name;      // what the selector showed, kept for the letter while it is absent
        bool operator==(const Binding&) const = default;
    };

    // Lines "D<TAB>identity<TAB>name", both fields percent-encoded. A line that
    // does not fit, a second line for a letter or an identity, and a letter
    // outside D..Z are dropped.
    static DriveLetters Parse(const QByteArray& text);
    QByteArray Serialize() const;

    const std::vector<Binding>& Bindings() const { return bindings_; }
    bool Empty() const { return bindings_.empty(); }
    QChar LetterOf(const QString& identity) const;
    const Binding* Find(QChar letter) const;
    // Binds the identity to the first free letter from D:; QChar() when all are taken.
    QChar Bind(const QString& identity, const QString& name);
    void Rename(QChar letter, const QString& name);
    // Adds the other table's bindings whose letter and identity are both free here.
    void Merge(const DriveLetters& other);

    bool operator==(const DriveLetters&) const = default;

private:
    std::vector<Binding> bindings_;
};

// "$XDG_STATE_HOME/ferrovant/drives", else "~/.local/state/ferrovant/drives".
QString DriveLettersPath();
// Empty when the file is missing or cannot be read.
DriveLetters LoadDriveLetters(const QString& hostPath);
// Written whole or not at all; creates the folder. False when it failed.
bool SaveDriveLetters(const DriveLetters& letters, const QString& hostPath);

class DriveTable {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<Drive> drives);

    // C: for "/" plus a letter per browsable volume of /proc/self/mountinfo,
    // with the letters remembered in DriveLettersPath() (updated there).
    static DriveTable FromSystem();
    // The same from a mountinfo text and a probe. With letters, volumes keep
    // the letters bound there, new ones are bound, and absent ones are listed
    // not ready; when letters is empty, the volumes present are bound in the
    // order of their mount points. Without, letters go in that order alone.
    static DriveTable FromMountInfo(const QByteArray& mountinfo, const VolumeProbe& probe = {},
                                    DriveLetters* letters = nullptr);

    // Every letter, ready or not, sorted.
    const std::vector<Drive>& drives() const { return drives_; }
    // A ready drive; letters are case-insensitive; nullptr when none.
    const Drive* find(QChar letter) const;
    // The same, also for a letter whose volume is absent.
    const Drive* entry(QChar letter) const;

    // "C:\a\b" -> "/a/b" (below the drive's root). Doubled separators are accepted.
    // nullopt when the path names no drive letter, an unknown or absent drive
    // (also one unmounted since the table was read), or is a network path or a
    // relative path.
    std::optional<QByteArray> toHost(const QString& path) const;

    // A host path below some drive's root -> drive-letter form (the drive with
    // the longest matching root). nullopt when no drive holds it or a name
    // holds a "\" (such entries cannot be written in drive-letter form).
    std::optional<QString> fromHost(const QByteArray& hostPath) const;

    // Tests: the drive's free-space override (nullopt asks the file system again).
    void setFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes);

    bool operator==(const DriveTable& other) const;

private:
    std::vector<Drive> drives_;
};

// The table in force: the system's, read on first use, until a test installs another.
const DriveTable& Drives();
// Both of these also forget the current directory (FileSystem.h), which was
// written against the old table; it starts again from the host working
// directory, or the first drive's root when no drive holds that.
void InstallDrives(DriveTable table);
// Back to the system's table (read again on next use).
void ResetDrives();
// Tests: changes the free-space override of a drive of the table in force,
// keeping everything else (the current directory included).
void SetFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes);

// Reads the system's mount table again when the system's table is in force
// (a table a test installed stays). Letters in use do not move and the
// current directory stays. True when the table changed.
bool RefreshDrives();

// Calls back after the mount table changed and the drive table in force was
// refreshed, while context lives. The kernel signals every mount and unmount
// on /proc/self/mountinfo; the event loop waits for it.
void WatchDrives(QObject* context, std::function<void()> changed);

}  // namespace platform
