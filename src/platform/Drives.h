#pragma once
// The drive table: how the program's drive-letter paths ("C:\Data\report.txt")
// map onto host paths. "C:" is the host root; further letters, from "D:", go to
// the mounted file systems a user browses, in the order of their mount points.
// Tests install their own table (letters mapped to temporary directories).

#include <QByteArray>
#include <QChar>
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
    QString label;       // volume label, empty when the file system has none
    QString remoteName;  // "\\server\share" for network drives
    bool caseSensitive = true;
    bool casePreserving = true;
    // Free bytes for the user; when set, used instead of asking the file system.
    std::optional<std::int64_t> freeSpaceOverride;
};

// One line of /proc/self/mountinfo, with the octal escapes of the mount point undone.
struct MountEntry {
    QByteArray mountPoint;
    QByteArray fsType;
    QByteArray source;  // "/dev/sdb1", "server:/export", "//server/share", "tmpfs" ...
};

// The lines of a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const QByteArray& text);

// What the drive table asks of the block devices behind mounts. Any member
// may be empty (then: not removable, no label, a directory).
struct VolumeProbe {
    std::function<bool(const QByteArray& source)> isRemovable;
    std::function<QString(const QByteArray& source)> labelOf;
    // Asked for local mounts only (a dead network server could hang the
    // question); a bind-mounted file is no drive.
    std::function<bool(const QByteArray& mountPoint)> isDirectory;
};

// The probe that reads /sys/class/block/<dev>/removable and /dev/disk/by-label.
VolumeProbe SystemVolumeProbe();

class DriveTable {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<Drive> drives);

    // C: for "/" plus one letter per browsable mount from /proc/self/mountinfo.
    static DriveTable FromSystem();
    // The same from a mountinfo text and a probe (the parser behind FromSystem).
    static DriveTable FromMountInfo(const QByteArray& mountinfo, const VolumeProbe& probe = {});

    const std::vector<Drive>& drives() const { return drives_; }
    // Letters are case-insensitive; nullptr when no such drive.
    const Drive* find(QChar letter) const;

    // "C:\a\b" -> "/a/b" (below the drive's root). Doubled separators are accepted.
    // nullopt when the path names no drive letter, an unknown drive, or is a
    // network path or a relative path.
    std::optional<QByteArray> toHost(const QString& path) const;

    // A host path below some drive's root -> drive-letter form (the drive with
    // the longest matching root). nullopt when no drive holds it or a name
    // holds a "\" (such entries cannot be written in drive-letter form).
    std::optional<QString> fromHost(const QByteArray& hostPath) const;

    // Tests: the drive's free-space override (nullopt asks the file system again).
    void setFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes);

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

}  // namespace platform
