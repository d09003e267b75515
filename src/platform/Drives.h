#pragma once
// The drive table: how the program's drive-letter paths ("C:\Data\report.txt")
// map onto host paths. "C:" is the host root; further letters, from "D:", go to
// the mounted file systems a user browses, in the order of their mount points.
// Tests install their own table (letters mapped to temporary directories).

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
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

class DriveTable {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<Drive> drives);

    // C: for "/" plus one letter per browsable mount from /proc/self/mountinfo.
    static DriveTable FromSystem();

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

private:
    std::vector<Drive> drives_;
};

// The table in force: the system's, read on first use, until a test installs another.
const DriveTable& Drives();
void InstallDrives(DriveTable table);
// Back to the system's table (read again on next use).
void ResetDrives();

}  // namespace platform
