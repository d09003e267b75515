#include "platform/Drives.h"
#include "platform/UserDirs.h"

#include "platform/AsyncIo.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QUrl>

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    static const char* const types[] = {
        "nfs",         "nfs4",   "cifs",  "smb3",       "smbfs",     "sshfs",         "fuse.sshfs",
        "fuse.rclone", "rclone", "davfs", "fuse.davfs", "fuse.s3fs", "fuse.curlftpfs"};
    return std::any_of(std::begin(types), std::end(types),
                       [&](const char* t) { return type == t; });
}

// A plain FUSE mount whose source is a URL ("https://dav.example.com/remote").
bool IsUrlMount(const MountEntry& m) {
    return m.fsType.startsWith("fuse") && m.source.contains("://");
}

bool IsRemote(const MountEntry& m) {
    return IsNetworkType(m.fsType) || IsUrlMount(m);
}

// The desktop's one FUSE mount that holds a directory per open network share.
bool IsGvfs(const MountEntry& m) {
    return m.fsType == "fuse.gvfsd-fuse" ||
           (m.mountPoint.startsWith("/run/user/") && m.mountPoint.endsWith("/gvfs") &&
            m.fsType.startsWith("fuse"));
}

bool IsRamType(const QByteArray& type) {
    return type == "tmpfs" || type == "ramfs";
}

// What earlier versions listed; at the first start these keep their letters.
bool WasListed(const MountEntry& m) {
    static const char* const types[] = {"nfs",   "nfs4",       "cifs", "smb3",
                                        "smbfs", "fuse.sshfs", "sshfs"};
    if (IsSystemPlace(m.mountPoint)) return false;
    if (std::any_of(std::begin(types), std::end(types),
                    [&](const char* t) { return m.fsType == t; }))
        return true;
    if (IsRamType(m.fsType)) return IsUserPlace(m.mountPoint);
    if (m.fsType == "squashfs") return false;
    return m.source.startsWith("/dev/") || m.fsType == "zfs";
}

bool IsBrowsable(const MountEntry& m) {
    if (IsSystemPlace(m.mountPoint)) return false;
    if (IsRemote(m) || m.fsType == "virtiofs") return true;
    return WasListed(m);
}

// "server:/export/dir", "//server/share", "user@host:path",
// "https://host:443/dav" -> "\\server\share".
QString RemoteName(const QByteArray& sourceBytes) {
    QString source = QString::fromUtf8(sourceBytes);
    QString host, path;
    const qsizetype scheme = source.indexOf(u"://");
    if (scheme > 0) source = source.mid(scheme + 1);
    if (source.startsWith(u"//")) {
        source = source.mid(2);
        const qsizetype slash = source.indexOf(u'/');
        host = slash < 0 ? source : source.left(slash);
        path = slash < 0 ? QString() : source.mid(slash + 1);
        if (scheme > 0 && !host.startsWith(u'[') && host.contains(u':'))
            host = host.left(host.indexOf(u':'));  // the port
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

// A GVfs share directory: "smb-share:server=nas,share=public" -> "\\nas\public",
// "sftp:host=example.com,user=me" -> "\\example.com".
QString GvfsRemoteName(const QByteArray& name) {
    const QString text = QString::fromUtf8(name);
    const qsizetype colon = text.indexOf(u':');
    QString host, share, prefix;
    for (const QString& pair : text.mid(colon + 1).split(u',')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq < 0) continue;
        const QString key = pair.left(eq);
        const QString value = QUrl::fromPercentEncoding(pair.mid(eq + 1).toUtf8());
        if (key == u"server" || key == u"host") host = value;
        if (key == u"share") share = value;
        if (key == u"prefix") prefix = value;
    }
    if (host.isEmpty()) return QStringLiteral("\\\\") + text;
    QString path = share.isEmpty() ? prefix : share;
    path.replace(u'/', u'\\');
    while (path.startsWith(u'\\'))
        path.remove(0, 1);
    return QStringLiteral("\\\\") + host + (path.isEmpty() ? QString() : u'\\' + path);
}

QString LastComponent(const QByteArray& mountPoint) {
    return QString::fromUtf8(mountPoint.mid(mountPoint.lastIndexOf('/') + 1));
}

// One volume found in the mount table, before it has a letter.
struct Volume {
    Drive drive;
    QString identity;
    QByteArray device;  // the mount's device, to tell a second mount of it apart from a clone
    bool wasListed = false;
};

Volume MakeVolume(const MountEntry& m, const VolumeProbe& probe) {
    Volume v;
    Drive& d = v.drive;
    d.hostRoot = m.mountPoint;
    v.device = m.device + ' ' + m.root;
    v.wasListed = WasListed(m);
    if (IsRemote(m)) {
        d.type = DriveType::Remote;
        d.remoteName = RemoteName(m.source);
        v.identity = QStringLiteral("remote:") + d.remoteName;
        return v;
    }
    if (m.fsType == "iso9660" || m.fsType == "udf") {
        d.type = DriveType::CdRom;
    } else if (IsRamType(m.fsType)) {
        d.type = DriveType::RamDisk;
    } else if (probe.isRemovable && probe.isRemovable(m.source)) {
        d.type = DriveType::Removable;
    }
    const QString label = probe.labelOf ? probe.labelOf(m.source) : QString();
    const QString uuid = probe.uuidOf && m.source.startsWith("/dev/") ? probe.uuidOf(m) : QString();
    d.label = label.isEmpty() ? LastComponent(m.mountPoint) : label;
    // A directory of a volume mounted on its own (a bind mount, a btrfs
    // subvolume) is a volume of its own.
    const QString below = m.root == "/" ? QString() : u':' + QString::fromUtf8(m.root);
    if (!uuid.isEmpty()) {
        v.identity = QStringLiteral("uuid:") + uuid + below;
    } else if (!label.isEmpty()) {
        v.identity = QStringLiteral("label:") + label + u'@' + QString::fromUtf8(m.source) + below;
    } else if (m.fsType == "virtiofs") {
        v.identity = QStringLiteral("virtiofs:") + QString::fromUtf8(m.source) + below;
    } else {
        // Nothing on the volume names it (a RAM disk): where it is mounted does.
        v.identity = QStringLiteral("mount:") + QString::fromUtf8(m.fsType + ':' + m.mountPoint);
    }
    return v;
}

// The browsable volumes of a mount table, in mount-point order.
std::vector<Volume> ListVolumes(const QByteArray& mountinfo, const VolumeProbe& probe,
                                MountEntry& rootEntry) {
    // A later mount on the same point, or on a directory above it, hides it.
    std::vector<MountEntry> all = ParseMountInfo(mountinfo);
    std::vector<MountEntry> mounts;
    QSet<QByteArray> later;
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        MountEntry& m = *it;
        if (m.mountPoint.size() > 1 && m.mountPoint.endsWith('/')) m.mountPoint.chop(1);
        bool hidden = later.contains(m.mountPoint);
        for (qsizetype slash = m.mountPoint.lastIndexOf('/'); !hidden && slash > 0;
             slash = m.mountPoint.lastIndexOf('/', slash - 1))
            hidden = later.contains(m.mountPoint.left(slash));
        later.insert(m.mountPoint);
        if (!hidden) mounts.push_back(std::move(m));
    }
    std::reverse(mounts.begin(), mounts.end());
    rootEntry = MountEntry{"/", "unknown", "none", "/", ""};
    std::vector<Volume> volumes;
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/") {
            rootEntry = m;
            continue;
        }
        if (IsGvfs(m)) {
            if (!probe.sharesOf) continue;
            for (const QByteArray& share : probe.sharesOf(m.mountPoint)) {
                Volume v;
                v.drive.type = DriveType::Remote;
                v.drive.hostRoot = m.mountPoint + '/' + share;
                v.drive.remoteName = GvfsRemoteName(share);
                v.identity = QStringLiteral("gvfs:") + QString::fromUtf8(share);
                v.device = v.drive.hostRoot;
                volumes.push_back(std::move(v));
            }
            continue;
        }
        if (!IsBrowsable(m)) continue;
        if (!IsRemote(m) && probe.isDirectory && !probe.isDirectory(m.mountPoint)) continue;
        volumes.push_back(MakeVolume(m, probe));
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.drive.hostRoot < b.drive.hostRoot; });
    // One letter per volume: a second mount of the same one is left out; a
    // copy of a volume (same UUID or label on another device) is told apart by
    // its device.
    QHash<QString, QByteArray> seen;
    std::vector<Volume> out;
    for (Volume& v : volumes) {
        const auto first = seen.constFind(v.identity);
        if (first != seen.cend()) {
            if (*first == v.device) continue;
            v.identity += u'@' + QString::fromUtf8(v.device);
            if (seen.contains(v.identity)) continue;
        }
        seen.insert(v.identity, v.device);
        out.push_back(std::move(v));
    }
    return out;
}

QString ShownName(const Drive& d) {
    return d.type == DriveType::Remote ? d.remoteName : d.label;
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

struct SystemState {
    std::optional<DriveTable> table;
    bool isSystem = false;  // the table in force was read from the system
    DriveLetters letters;   // the letters this process has bound or read
    QSocketNotifier* watcher = nullptr;
    int watchFd = -1;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> listeners;
};

SystemState& System() {
    static SystemState state;
    return state;
}

QByteArray ReadMountInfo() {
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

// The state file is read, completed and written under a lock, so two
// programs binding new volumes at once cannot give one letter twice.
class LettersLock {
public:
    explicit LettersLock(const QString& path) {
        MakePrivateDirectories(QFile::encodeName(QFileInfo(path).absolutePath()));
        fd_ = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~LettersLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    LettersLock(const LettersLock&) = delete;
    LettersLock& operator=(const LettersLock&) = delete;

private:
    int fd_ = -1;
};

DriveTable SystemTable(const QByteArray& mountinfo) {
    const QString path = DriveLettersPath();
    const LettersLock lock(path);
    const DriveLetters stored = LoadDriveLetters(path);
    // What this process bound stays bound even when the file went missing;
    // what another process bound meanwhile is taken over.
    DriveLetters& letters = System().letters;
    letters.Merge(stored);
    DriveTable table = DriveTable::FromMountInfo(mountinfo, SystemVolumeProbe(), &letters);
    // Unsaved, the letters hold for this run; the next start may bind a new
    // volume to a letter given here, so the failure is not kept quiet.
    static bool warned = false;
    if (!(letters == stored) && !SaveDriveLetters(letters, path) && !warned) {
        warned = true;
        qWarning("Cannot write the drive letters to %s", qPrintable(path));
    }
    return table;
}

// The system's table read again from a mountinfo text, when it is in force.
bool RefreshFrom(const QByteArray& mountinfo) {
    SystemState& state = System();
    if (!state.table || !state.isSystem) return false;
    DriveTable fresh = SystemTable(mountinfo);
    if (fresh == *state.table) return false;
    state.table = std::move(fresh);
    return true;
}

// "/dev/disk/by-uuid" as device number -> UUID.
QHash<dev_t, QString> ReadUuidLinks() {
    QHash<dev_t, QString> uuids;
    if (DIR* dir = ::opendir("/dev/disk/by-uuid")) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..") continue;
            struct stat st {};
            if (::stat(("/dev/disk/by-uuid/" + name).constData(), &st) == 0 && S_ISBLK(st.st_mode))
                uuids.insert(st.st_rdev, UnescapeUdev(name));
        }
        ::closedir(dir);
    }
    return uuids;
}

// A value the file system keeps in its superblock ("UUID", "LABEL"), read
// from the device where it can be read (as root, or a member of its group).
// Read at every listing: a device number comes back for the next volume as
// soon as the last one is gone.
QString Superblock(const QByteArray& device, const char* name) {
    QString out;
    const int fd = ::open(device.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return out;
    if (blkid_probe pr = blkid_new_probe()) {
        const char* value = nullptr;
        if (blkid_probe_set_device(pr, fd, 0, 0) == 0 &&
            blkid_probe_enable_superblocks(pr, 1) == 0 &&
            blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_UUID | BLKID_SUBLKS_LABEL) == 0 &&
            blkid_do_safeprobe(pr) == 0 &&
            blkid_probe_lookup_value(pr, name, &value, nullptr) == 0 && value)
            out = QString::fromUtf8(value);
        blkid_free_probe(pr);
    }
    ::close(fd);
    return out;
}

// Without udev (a container) there are no links to read names from.
bool HasUdevLinks() {
    return QFileInfo::exists(QStringLiteral("/dev/disk/by-uuid"));
}

// The UUID of a mounted block device: from the links udev keeps, else from the
// file system itself.
QString UuidOf(const MountEntry& m, const QHash<dev_t, QString>& links) {
    struct stat st {};
    if (::stat(m.source.constData(), &st) != 0 || !S_ISBLK(st.st_mode)) return QString();
    if (const auto it = links.constFind(st.st_rdev); it != links.cend()) return *it;
    return Superblock(m.source, "UUID");
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
        m.root = UnescapeOctal(fields[3]);
        m.device = fields[2];
        if (!m.mountPoint.startsWith('/')) continue;
        out.push_back(std::move(m));
    }
    return out;
}

namespace {

// The device number of the file system at path, 0 when it cannot be read.
// Where the file system asks a server (FUSE: an NTFS disk, say) the mount
// table says it: a server that hangs would never answer a stat.
std::uint64_t DeviceNow(const QByteArray& path) {
    if (!AnswersFromMemory(path)) return MountedDeviceOf(path);
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 ? std::uint64_t(st.st_dev) : 0;
}

}  // namespace

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
    probe.labelOf = [labels, udev = HasUdevLinks()](const QByteArray& source) {
        if (!source.startsWith("/dev/")) return QString();
        if (!udev) return Superblock(source, "LABEL");
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
    // A file system that asks a server is not asked whether its mount point
    // is a directory: a server that hangs would hang the window.
    probe.isDirectory = [](const QByteArray& mountPoint) {
        if (!AnswersFromMemory(mountPoint)) return true;
        struct stat st {};
        return ::stat(mountPoint.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    probe.uuidOf = [uuids = ReadUuidLinks()](const MountEntry& m) { return UuidOf(m, uuids); };
    probe.sharesOf = [](const QByteArray& mountPoint) {
        QList<QByteArray> names;
        if (DIR* dir = ::opendir(mountPoint.constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..") names.append(name);
            }
            ::closedir(dir);
        }
        return names;
    };
    probe.deviceOf = DeviceNow;
    return probe;
}

QChar DriveLetters::LetterOf(const QString& identity) const {
    for (const Binding& b : bindings_) {
        if (b.identity == identity) return b.letter;
    }
    return QChar();
}

const DriveLetters::Binding* DriveLetters::Find(QChar letter) const {
    for (const Binding& b : bindings_) {
        if (b.letter == letter.toUpper()) return &b;
    }
    return nullptr;
}

QChar DriveLetters::Bind(const QString& identity, const QString& name) {
    for (char16_t c = u'D'; c <= u'Z'; ++c) {
        if (Find(QChar(c))) continue;
        bindings_.push_back(Binding{QChar(c), identity, name});
        return QChar(c);
    }
    return QChar();
}

void DriveLetters::Rename(QChar letter, const QString& name) {
    for (Binding& b : bindings_) {
        if (b.letter == letter) b.name = name;
    }
}

void DriveLetters::Merge(const DriveLetters& other) {
    for (const Binding& b : other.bindings_) {
        if (!Find(b.letter) && LetterOf(b.identity).isNull()) bindings_.push_back(b);
    }
}

DriveLetters DriveLetters::Parse(const QByteArray& text) {
    DriveLetters out;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3 || fields[0].size() != 1) continue;
        const char c = fields[0][0];
        if (c < 'D' || c > 'Z') continue;
        const QByteArray identityBytes = QByteArray::fromPercentEncoding(fields[1]);
        const QString identity = QString::fromUtf8(identityBytes);
        // An identity that does not come back as it was written names no volume.
        if (identity.isEmpty() || identity.toUtf8() != identityBytes) continue;
        const QChar letter = QChar(char16_t(c));
        if (out.Find(letter) || !out.LetterOf(identity).isNull()) continue;
        out.bindings_.push_back(Binding{
            letter, identity, QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]))});
    }
    return out;
}

QByteArray DriveLetters::Serialize() const {
    std::vector<Binding> sorted = bindings_;
    std::sort(sorted.begin(), sorted.end(),
              [](const Binding& a, const Binding& b) { return a.letter < b.letter; });
    QByteArray out = "# Drive letters of volumes: letter, identity, name\n";
    for (const Binding& b : sorted) {
        out += char(b.letter.unicode());
        out += '\t' + b.identity.toUtf8().toPercentEncoding(" :@\\/") + '\t' +
               b.name.toUtf8().toPercentEncoding(" :@\\/[]") + '\n';
    }
    return out;
}

QString DriveLettersPath() {
    return XdgBaseDirectory([](const char* name) { return qEnvironmentVariable(name); },
                            "XDG_STATE_HOME", QStringLiteral(".local/state")) +
           QStringLiteral("/ferrovant/drives");
}

DriveLetters LoadDriveLetters(const QString& hostPath) {
    QFile f(hostPath);
    if (!f.open(QIODevice::ReadOnly)) return DriveLetters();
    // Far more than 23 bindings take; a larger file is no table of ours.
    const QByteArray text = f.read(1 << 20);
    if (text.contains('\0')) return DriveLetters();
    return DriveLetters::Parse(text);
}

bool SaveDriveLetters(const DriveLetters& letters, const QString& hostPath) {
    MakePrivateDirectories(QFile::encodeName(QFileInfo(hostPath).absolutePath()));
    AtomicFile file(hostPath);
    return file.Open() && file.Write(letters.Serialize()) && file.Commit();
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
    return SystemTable(ReadMountInfo());
}

DriveTable DriveTable::FromMountInfo(const QByteArray& mountinfo, const VolumeProbe& probe,
                                     DriveLetters* letters) {
    MountEntry rootEntry;
    std::vector<Volume> volumes = ListVolumes(mountinfo, probe, rootEntry);
    std::vector<Drive> drives;
    Drive c = MakeVolume(rootEntry, probe).drive;
    c.letter = u'C';
    c.hostRoot = "/";  // its label is the volume's own: "/" has no last component
    drives.push_back(std::move(c));

    DriveLetters scratch;
    if (!letters) letters = &scratch;
    if (letters->Empty()) {
        // The first start: what earlier versions listed keeps the letters it had,
        // so queues saved then still point where they pointed.
        std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
            return a.wasListed > b.wasListed;
        });
    }
    QSet<QChar> present;
    for (Volume& v : volumes) {
        QChar letter = letters->LetterOf(v.identity);
        if (letter.isNull()) letter = letters->Bind(v.identity, ShownName(v.drive));
        if (letter.isNull() || present.contains(letter)) continue;  // no letter left
        letters->Rename(letter, ShownName(v.drive));
        present.insert(letter);
        v.drive.letter = letter;
        // Not asked of network drives: a dead server would hang the question.
        if (probe.deviceOf && v.drive.type != DriveType::Remote)
            v.drive.device = probe.deviceOf(v.drive.hostRoot);
        drives.push_back(std::move(v.drive));
    }
    for (const DriveLetters::Binding& b : letters->Bindings()) {
        if (present.contains(b.letter)) continue;
        Drive absent;
        absent.letter = b.letter;
        absent.ready = false;
        if (b.name.startsWith(u"\\\\")) {
            absent.type = DriveType::Remote;
            absent.remoteName = b.name;
        } else {
            absent.label = b.name;
        }
        drives.push_back(std::move(absent));
    }
    return DriveTable(std::move(drives));
}

const Drive* DriveTable::entry(QChar letter) const {
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives_) {
        if (d.letter == upper) return &d;
    }
    return nullptr;
}

bool DriveTable::operator==(const DriveTable& other) const {
    const auto same = [](const Drive& a, const Drive& b) {
        return a.letter == b.letter && a.hostRoot == b.hostRoot && a.type == b.type &&
               a.label == b.label && a.remoteName == b.remoteName && a.ready == b.ready &&
               a.device == b.device && a.freeSpaceOverride == b.freeSpaceOverride;
    };
    return std::equal(drives_.begin(), drives_.end(), other.drives_.begin(), other.drives_.end(),
                      same);
}

const Drive* DriveTable::find(QChar letter) const {
    const Drive* d = entry(letter);
    return d && d->ready ? d : nullptr;
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
    if (drive->device != 0 && DeviceNow(drive->hostRoot) != drive->device) return std::nullopt;
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
        if (!d.ready) continue;
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
    SystemState& state = System();
    if (!state.table) {
        state.table = DriveTable::FromSystem();
        state.isSystem = true;
    }
    return *state.table;
}

void InstallDrives(DriveTable table) {
    System().table = std::move(table);
    System().isSystem = false;
    ResetCurrentDir();
}

void ResetDrives() {
    System().table.reset();
    ResetCurrentDir();
}

void SetFreeSpaceOverride(QChar letter, std::optional<std::int64_t> bytes) {
    Drives();
    System().table->setFreeSpaceOverride(letter, bytes);
}

bool RefreshDrives() {
    return RefreshFrom(ReadMountInfo());
}

void WatchDrives(QObject* context, std::function<void()> changed) {
    SystemState& state = System();
    std::erase_if(state.listeners, [](const auto& l) { return l.first.isNull(); });
    state.listeners.emplace_back(context, std::move(changed));
    if (state.watcher) return;
    state.watchFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (state.watchFd < 0) return;
    // The kernel marks the file with an exceptional condition at every change
    // of the mount table, until it is read again.
    state.watcher = new QSocketNotifier(state.watchFd, QSocketNotifier::Exception);
    QObject::connect(state.watcher, &QSocketNotifier::activated, [] {
        SystemState& s = System();
        // Reading the file to its end clears the condition.
        QByteArray text;
        char buffer[16384];
        ::lseek(s.watchFd, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(s.watchFd, buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
        if (!RefreshFrom(text)) return;
        std::erase_if(s.listeners, [](const auto& l) { return l.first.isNull(); });
        // A listener may add another while they are called.
        const auto listeners = s.listeners;
        for (const auto& [owner, call] : listeners) {
            if (owner) call();
        }
    });
}

}  // namespace platform
