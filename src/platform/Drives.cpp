#include "platform/Drives.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

QByteArray UnescapeOctal(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

// udev writes by-label names with "\xHH" escapes ("My\x20Disk").
QString UnescapeUdev(const QByteArray& name) {
    QByteArray out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const int v = name.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(name[i]);
    }
    return QString::fromUtf8(out);
}

bool IsUnder(const QByteArray& path, const char* place) {
    const QByteArray p(place);
    return path == p || path.startsWith(p + '/');
}

// Places the system keeps for itself: mounts there are plumbing, not volumes.
bool IsSystemPlace(const QByteArray& mountPoint) {
    if (IsUnder(mountPoint, "/run/media")) return false;
    static const char* const places[] = {"/boot", "/efi", "/proc", "/sys", "/dev",
                                         "/run",  "/etc", "/usr",  "/var", "/snap",
                                         "/tmp",  "/bin", "/sbin", "/lib", "/lib64"};
    for (const char* place : places) {
        if (IsUnder(mountPoint, place)) return true;
    }
    return false;
}

bool IsUserPlace(const QByteArray& mountPoint) {
    return IsUnder(mountPoint, "/media") || IsUnder(mountPoint, "/mnt") ||
           IsUnder(mountPoint, "/run/media") || IsUnder(mountPoint, "/home");
}

bool IsNetworkType(const QByteArray& type) {
    static const char* const types[] = {"nfs",   "nfs4",       "cifs", "smb3",
                                        "smbfs", "fuse.sshfs", "sshfs"};
    return std::any_of(std::begin(types), std::end(types),
                       [&](const char* t) { return type == t; });
}

bool IsRamType(const QByteArray& type) {
    return type == "tmpfs" || type == "ramfs";
}

bool IsBrowsable(const MountEntry& m) {
    if (IsSystemPlace(m.mountPoint)) return false;
    if (IsNetworkType(m.fsType)) return true;
    if (IsRamType(m.fsType)) return IsUserPlace(m.mountPoint);
    // Snaps and live images are squashfs on loop devices: read-only plumbing.
    if (m.fsType == "squashfs") return false;
    return m.source.startsWith("/dev/") || m.fsType == "zfs";
}

// "server:/export/dir", "//server/share", "user@host:path" -> "\\server\share".
QString RemoteName(const MountEntry& m) {
    QString source = QString::fromUtf8(m.source);
    QString host, path;
    if (source.startsWith(u"//")) {
        source = source.mid(2);
        const qsizetype slash = source.indexOf(u'/');
        host = slash < 0 ? source : source.left(slash);
        path = slash < 0 ? QString() : source.mid(slash + 1);
    } else {
        qsizetype colon =
            source.startsWith(u'[') ? source.indexOf(u"]:") + 1 : source.indexOf(u':');
        if (colon <= 0) colon = source.size();
        host = source.left(colon);
        path = source.mid(colon + 1);
    }
    const qsizetype at = host.lastIndexOf(u'@');
    if (at >= 0) host = host.mid(at + 1);
    path.replace(u'/', u'\\');
    while (path.startsWith(u'\\'))
        path.remove(0, 1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    QString out = QStringLiteral("\\\\") + host;
    if (!path.isEmpty()) out += u'\\' + path;
    return out;
}

Drive MakeDrive(QChar letter, const MountEntry& m, const VolumeProbe& probe) {
    Drive d;
    d.letter = letter;
    d.hostRoot = m.mountPoint;
    if (IsNetworkType(m.fsType)) {
        d.type = DriveType::Remote;
        d.remoteName = RemoteName(m);
        return d;
    }
    if (m.fsType == "iso9660" || m.fsType == "udf") {
        d.type = DriveType::CdRom;
    } else if (IsRamType(m.fsType)) {
        d.type = DriveType::RamDisk;
    } else if (probe.isRemovable && probe.isRemovable(m.source)) {
        d.type = DriveType::Removable;
    }
    if (probe.labelOf) d.label = probe.labelOf(m.source);
    return d;
}

QByteArray RealPath(const QByteArray& path) {
    const QString canonical = QFileInfo(QFile::decodeName(path)).canonicalFilePath();
    return canonical.isEmpty() ? path : QFile::encodeName(canonical);
}

QByteArray ReadSmallFile(const QByteArray& path) {
    QFile f(QFile::decodeName(path));
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.read(64 * 1024);
}

std::optional<DriveTable>& Installed() {
    static std::optional<DriveTable> table;
    return table;
}

// Host path split into its names, with "." dropped and ".." taken back.
QList<QByteArray> HostComponents(const QByteArray& path) {
    QList<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return parts;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const QByteArray& text) {
    std::vector<MountEntry> out;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super-options
        qsizetype dash = -1;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            if (fields[i] == "-") {
                dash = i;
                break;
            }
        }
        if (dash < 0 || dash + 2 >= fields.size()) continue;
        MountEntry m;
        m.mountPoint = UnescapeOctal(fields[4]);
        m.fsType = fields[dash + 1];
        m.source = UnescapeOctal(fields[dash + 2]);
        if (!m.mountPoint.startsWith('/')) continue;
        out.push_back(std::move(m));
    }
    return out;
}

VolumeProbe SystemVolumeProbe() {
    auto labels = std::make_shared<QHash<QByteArray, QString>>();
    if (DIR* dir = ::opendir("/dev/disk/by-label")) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..") continue;
            labels->insert(RealPath("/dev/disk/by-label/" + name), UnescapeUdev(name));
        }
        ::closedir(dir);
    }
    VolumeProbe probe;
    probe.labelOf = [labels](const QByteArray& source) {
        if (!source.startsWith("/dev/")) return QString();
        return labels->value(RealPath(source));
    };
    probe.isRemovable = [](const QByteArray& source) {
        if (!source.startsWith("/dev/")) return false;
        const QByteArray dev = RealPath(source);
        const QByteArray name = dev.mid(dev.lastIndexOf('/') + 1);
        QByteArray sys = RealPath("/sys/class/block/" + name);
        // A partition's flag lives on the disk that holds it.
        if (QFileInfo::exists(QFile::decodeName(sys + "/partition")))
            sys = sys.left(sys.lastIndexOf('/'));
        return ReadSmallFile(sys + "/removable").trimmed() == "1";
    };
    probe.isDirectory = [](const QByteArray& mountPoint) {
        struct stat st {};
        return ::stat(mountPoint.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    return probe;
}

DriveTable::DriveTable(std::vector<Drive> drives) : drives_(std::move(drives)) {
    for (Drive& d : drives_) {
        d.letter = d.letter.toUpper();
        if (d.hostRoot.size() > 1 && d.hostRoot.endsWith('/')) d.hostRoot.chop(1);
    }
    std::stable_sort(drives_.begin(), drives_.end(),
                     [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
}

DriveTable DriveTable::FromSystem() {
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    QByteArray text;
    if (f.open(QIODevice::ReadOnly)) text = f.readAll();
    return FromMountInfo(text, SystemVolumeProbe());
}

DriveTable DriveTable::FromMountInfo(const QByteArray& mountinfo, const VolumeProbe& probe) {
    // A later mount on the same point hides the earlier one.
    std::vector<MountEntry> mounts;
    for (MountEntry& m : ParseMountInfo(mountinfo)) {
        if (m.mountPoint.size() > 1 && m.mountPoint.endsWith('/')) m.mountPoint.chop(1);
        auto same = std::find_if(mounts.begin(), mounts.end(),
                                 [&](const MountEntry& e) { return e.mountPoint == m.mountPoint; });
        if (same != mounts.end()) mounts.erase(same);
        mounts.push_back(std::move(m));
    }
    std::vector<Drive> drives;
    auto root = std::find_if(mounts.begin(), mounts.end(),
                             [](const MountEntry& m) { return m.mountPoint == "/"; });
    MountEntry rootEntry = root != mounts.end() ? *root : MountEntry{"/", "unknown", "none"};
    drives.push_back(MakeDrive(u'C', rootEntry, probe));
    drives.back().hostRoot = "/";

    std::vector<MountEntry> browsable;
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/" || !IsBrowsable(m)) continue;
        if (!IsNetworkType(m.fsType) && probe.isDirectory && !probe.isDirectory(m.mountPoint))
            continue;
        browsable.push_back(m);
    }
    std::sort(browsable.begin(), browsable.end(),
              [](const MountEntry& a, const MountEntry& b) { return a.mountPoint < b.mountPoint; });
    char16_t letter = u'D';
    for (const MountEntry& m : browsable) {
        if (letter > u'Z') break;
        drives.push_back(MakeDrive(QChar(letter++), m, probe));
    }
    return DriveTable(std::move(drives));
}

const Drive* DriveTable::find(QChar letter) const {
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives_) {
        if (d.letter == upper) return &d;
    }
    return nullptr;
}

void DriveTable::setFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes) {
    const QChar upper = letter.toUpper();
    for (Drive& d : drives_) {
        if (d.letter == upper) d.freeSpaceOverride = bytes;
    }
}

std::optional<QByteArray> DriveTable::toHost(const QString& path) const {
    // A NUL would end the host path early and name another file.
    if (path.contains(QChar(0))) return std::nullopt;
    const std::optional<QString> norm = NormalizeDrivePath(path);
    if (!norm) return std::nullopt;
    const Drive* drive = find(norm->at(0));
    if (!drive) return std::nullopt;
    const QString rest = norm->mid(3);
    if (rest.isEmpty()) return drive->hostRoot;
    QByteArray host = drive->hostRoot == "/" ? QByteArray() : drive->hostRoot;
    host += '/';
    const QString names = QString(rest).replace(u'\\', u'/');
    const QByteArray encoded = names.toUtf8();
    // Text that UTF-8 cannot carry (a lone surrogate) would reach another name.
    if (QString::fromUtf8(encoded) != names) return std::nullopt;
    host += encoded;
    return host;
}

std::optional<QString> DriveTable::fromHost(const QByteArray& hostPath) const {
    if (!hostPath.startsWith('/')) return std::nullopt;
    const QList<QByteArray> parts = HostComponents(hostPath);
    const Drive* best = nullptr;
    qsizetype bestDepth = -1;
    for (const Drive& d : drives_) {
        const QList<QByteArray> root = HostComponents(d.hostRoot);
        if (root.size() <= bestDepth || root.size() > parts.size()) continue;
        if (!std::equal(root.begin(), root.end(), parts.begin())) continue;
        best = &d;
        bestDepth = root.size();
    }
    if (!best) return std::nullopt;
    QString out = QString(best->letter) + QStringLiteral(":\\");
    for (qsizetype i = bestDepth; i < parts.size(); ++i) {
        const QString name = QString::fromUtf8(parts[i]);
        // A "\" would split the name in two, and bytes that are not UTF-8 would
        // come back as another name: neither can be written in drive-letter form.
        if (name.contains(u'\\') || name.toUtf8() != parts[i]) return std::nullopt;
        if (i > bestDepth) out += u'\\';
        out += name;
    }
    return out;
}

const DriveTable& Drives() {
    std::optional<DriveTable>& table = Installed();
    if (!table) table = DriveTable::FromSystem();
    return *table;
}

void InstallDrives(DriveTable table) {
    Installed() = std::move(table);
    ResetCurrentDir();
}

void ResetDrives() {
    Installed().reset();
    ResetCurrentDir();
}

void SetFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes) {
    std::optional<DriveTable>& table = Installed();
    if (!table) table = DriveTable::FromSystem();
    table->setFreeSpaceOverride(letter, bytes);
}

}  // namespace platform
