#include "platform/FileSystem.h"

#include "platform/AsyncIo.h"
#include "platform/Drives.h"
#include "platform/FileSystemDetail.h"
#include "platform/Paths.h"

#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <algorithm>

namespace platform {

namespace {

int g_lastOsError = 0;

bool Fail(int err) {
    detail::SetLastOsError(err);
    return false;
}

bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Opens host and keeps it only when it is a regular file. O_NONBLOCK makes the
// open itself return at once even if the entry turned into a FIFO meanwhile.
// It stays set: reads and writes of regular files never take it into account,
// and clearing it would cost two calls for every file opened.
int OpenRegular(const QByteArray& host, int flags, mode_t mode = 0, struct stat* opened = nullptr) {
    const int fd = ::open(host.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return Fail(errno), -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(err), -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(S_ISDIR(st.st_mode) ? EISDIR : EACCES), -1;
    }
    if (opened) *opened = st;
    return fd;
}

}  // namespace

namespace detail {

void SetLastOsError(int err) {
    g_lastOsError = err;
}

std::optional<QByteArray> HostPath(const QString& path) {
    const QString full = ExpandFileName(path);
    if (full.isEmpty()) return Fail(ENOENT), std::nullopt;
    std::optional<QByteArray> host = Drives().toHost(full);
    if (!host) Fail(ENOENT);
    return host;
}

QByteArray HostDirectoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray ResolveLink(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved) == nullptr) return path;
    return QByteArray(resolved);
}

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    stamp.mode = st.st_mode;
    return stamp;
}

int StatWaiting(const QByteArray& host, bool follow, struct statx& out) {
    IoRequest r;
    r.op = IoOp::Statx;
    r.path = host;
    r.flags = AT_NO_AUTOMOUNT | (follow ? 0 : AT_SYMLINK_NOFOLLOW);
    r.mask = STATX_TYPE | STATX_MODE;
    AsyncIo& io = AsyncIo::Instance();
    const IoTicket t = io.Submit(std::move(r));
    io.Wait(t, kDeviceAnswerTimeout, PumpInput::Defer);
    if (t->result() < 0) return Fail(-t->result()), -t->result();
    out = t->stat();
    return 0;
}

EntryInfo ClassifyEntry(const EntryStat& self, const std::optional<EntryStat>& target,
                        const QString& name) {
    EntryInfo info;
    info.modified = self.modified;
    if (S_ISLNK(self.mode)) {
        if (!target) {
            // A broken link is a file of its own with nothing in it.
            info.attr = faArchive;
        } else if (S_ISDIR(target->mode)) {
            info.attr = faDirectory | faSymLink;
        } else if (S_ISREG(target->mode)) {
            info.attr = faArchive | (IsReadOnlyMode(target->mode) ? faReadOnly : 0);
            info.size = target->size;
            info.modified = target->modified;
        } else {
            // A link to a FIFO or device would reach it when opened: treat it as one.
            info.attr = faSysFile;
        }
    } else if (S_ISDIR(self.mode)) {
        info.attr = faDirectory | (IsReadOnlyMode(self.mode) ? faReadOnly : 0);
    } else if (S_ISREG(self.mode)) {
        info.attr = faArchive | (IsReadOnlyMode(self.mode) ? faReadOnly : 0);
        info.size = self.size;
    } else {
        info.attr = faSysFile;
    }
    if (name.startsWith(u'.') && name != u"." && name != u"..") info.attr |= faHidden;
    return info;
}

std::optional<EntryInfo> InspectEntry(const QByteArray& host, const QString& name) {
    struct stat st {};
    if (::lstat(host.constData(), &st) != 0) return Fail(errno), std::nullopt;
    std::optional<EntryStat> target;
    if (S_ISLNK(st.st_mode)) {
        struct stat to {};
        if (::stat(host.constData(), &to) == 0)
            target = EntryStat{to.st_mode, to.st_size, to.st_mtim};
    }
    return ClassifyEntry(EntryStat{st.st_mode, st.st_size, st.st_mtim}, target, name);
}

}  // namespace detail

int LastOsError() {
    return g_lastOsError;
}

// Opening "without sharing" has no counterpart here: Linux locks are advisory,
// so a lock would keep out only programs that ask for one, and flock() fails
// outright on some network file systems. Files are opened normally; the copy
// engine's byte counts, not a lock, tell it whether a copy is whole.
FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

FileHandle FileHandle::OpenRead(const QString& path) {
    FileStamp stamp;
    return OpenRead(path, stamp);
}

FileHandle FileHandle::OpenRead(const QString& path, FileStamp& stamp) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return FileHandle();
    // Refuse FIFOs, sockets and devices before opening: opening a device can
    // have effects of its own (a tape rewinds), and a FIFO would never end.
    struct stat st {};
    if (::stat(host->constData(), &st) != 0) return Fail(errno), FileHandle();
    if (!S_ISREG(st.st_mode)) return Fail(EACCES), FileHandle();
    FileHandle file(OpenRegular(*host, O_RDONLY, 0, &st));
    if (file.valid()) stamp = detail::StampOf(st);
    return file;
}

FileHandle FileHandle::Create(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return FileHandle();
    struct stat st {};
    if (::lstat(host->constData(), &st) == 0) {
        const bool isLink = S_ISLNK(st.st_mode);
        // Like cp, never create a file at the far end of a dangling link: it
        // could lie anywhere outside the target tree.
        if (isLink && ::stat(host->constData(), &st) != 0) return Fail(EACCES), FileHandle();
        if (S_ISDIR(st.st_mode)) return Fail(EISDIR), FileHandle();
        if (!S_ISREG(st.st_mode) || IsReadOnlyMode(st.st_mode)) return Fail(EACCES), FileHandle();
    }
    return FileHandle(OpenRegular(*host, O_RDWR | O_CREAT | O_TRUNC, 0666));
}

std::int64_t FileHandle::Read(void* buffer, std::int64_t n) {
    if (fd_ < 0) return Fail(EBADF), -1;
    if (n < 0) return Fail(EINVAL), -1;
    // A regular file may still deliver less than asked (signals, network file
    // systems): keep reading so that only the end of the file gives less.
    auto* bytes = static_cast<char*>(buffer);
    std::int64_t total = 0;
    while (total < n) {
        const ssize_t got = ::read(fd_, bytes + total, std::min<std::int64_t>(n - total, 1 << 30));
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return total > 0 ? total : -1;
        }
        if (got == 0) break;
        total += got;
    }
    return total;
}

std::int64_t FileHandle::Write(const void* buffer, std::int64_t n) {
    if (fd_ < 0) return Fail(EBADF), -1;
    if (n < 0) return Fail(EINVAL), -1;
    const auto* bytes = static_cast<const char*>(buffer);
    std::int64_t total = 0;
    while (total < n) {
        const ssize_t put = ::write(fd_, bytes + total, std::min<std::int64_t>(n - total, 1 << 30));
        if (put < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return total > 0 ? total : -1;
        }
        if (put == 0) {
            Fail(ENOSPC);
            break;
        }
        total += put;
    }
    return total;
}

bool FileHandle::SeekToStart() {
    if (fd_ < 0) return Fail(EBADF);
    if (::lseek(fd_, 0, SEEK_SET) != 0) return Fail(errno);
    return true;
}

void FileHandle::AdviseSequential() {
    if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t FileHandle::Size() {
    struct stat st {};
    if (fd_ < 0) return Fail(EBADF), -1;
    if (::fstat(fd_, &st) != 0) return Fail(errno), -1;
    return st.st_size;
}

std::optional<FileStamp> FileHandle::Stamp() const {
    struct stat st {};
    if (fd_ < 0) return Fail(EBADF), std::nullopt;
    if (::fstat(fd_, &st) != 0) return Fail(errno), std::nullopt;
    return detail::StampOf(st);
}

std::optional<timespec> FileHandle::ModificationTime() {
    struct stat st {};
    if (fd_ < 0) return Fail(EBADF), std::nullopt;
    if (::fstat(fd_, &st) != 0) return Fail(errno), std::nullopt;
    return st.st_mtim;
}

bool FileHandle::SetModificationTime(const timespec& when) {
    if (fd_ < 0) return Fail(EBADF);
    const timespec times[2] = {{0, UTIME_OMIT}, when};
    if (::futimens(fd_, times) != 0) return Fail(errno);
    return true;
}

bool FileHandle::Close() {
    if (fd_ < 0) return Fail(EBADF);
    const int rc = ::close(fd_);
    fd_ = -1;
    // After EINTR Linux has closed the descriptor already; anything else may
    // mean written data never reached the disk.
    if (rc != 0 && errno != EINTR) return Fail(errno);
    return true;
}

std::int32_t FileGetAttr(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return -1;
    const QString full = ExpandFileName(path);
    const QString name = IsDriveRoot(full) ? QString() : ExtractFileName(full);
    const std::optional<detail::EntryInfo> info = detail::InspectEntry(*host, name);
    return info ? info->attr : -1;
}

bool FileSetAttr(const QString& path, std::int32_t attr) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    struct stat st {};
    if (::stat(host->constData(), &st) != 0) return Fail(errno);
    const mode_t mode = st.st_mode & 07777;
    mode_t wanted = mode;
    if (attr & faReadOnly) {
        wanted &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if (IsReadOnlyMode(mode)) {
        // Give write access back as a new file would have it.
        wanted |= S_IWUSR | (mode_t(S_IWGRP | S_IWOTH) & ~CurrentUmask());
    }
    if (wanted != mode && ::chmod(host->constData(), wanted) != 0) return Fail(errno);
    return true;
}

bool CopyPermissions(const QString& source, const QString& target) {
    const std::optional<QByteArray> from = detail::HostPath(source);
    if (!from) return false;
    const std::optional<QByteArray> to = detail::HostPath(target);
    if (!to) return false;
    struct stat st {};
    if (::stat(from->constData(), &st) != 0) return Fail(errno);
    // Set-user-ID and set-group-ID stay behind: the copy belongs to whoever
    // made it, and carrying them would hand out someone else's rights.
    if (::chmod(to->constData(), st.st_mode & 01777) != 0) return Fail(errno);
    return true;
}

bool FileExists(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    struct stat st {};
    if (::lstat(host->constData(), &st) != 0) return Fail(errno);
    if (S_ISLNK(st.st_mode)) return ::stat(host->constData(), &st) != 0 || !S_ISDIR(st.st_mode);
    return !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    // Asked of stored places at start-up too: a device that hangs gives "no".
    struct statx sx {};
    if (detail::StatWaiting(*host, false, sx) != 0) return false;
    return S_ISDIR(sx.stx_mode);
}

bool DeleteFile(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    struct stat st {};
    if (::lstat(host->constData(), &st) != 0) return Fail(errno);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) return Fail(EACCES);
    if (::unlink(host->constData()) != 0) return Fail(errno);
    return true;
}

bool RenameFile(const QString& oldPath, const QString& newPath) {
    const std::optional<QByteArray> from = detail::HostPath(oldPath);
    if (!from) return false;
    const std::optional<QByteArray> to = detail::HostPath(newPath);
    if (!to) return false;
    struct stat st {};
    if (*from == *to) return ::lstat(from->constData(), &st) == 0 || Fail(errno);
    // rename() would silently replace an existing entry; a rename must refuse.
    if (::renameat2(AT_FDCWD, from->constData(), AT_FDCWD, to->constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
    // File systems without RENAME_NOREPLACE: check, then rename.
    if (::lstat(to->constData(), &st) == 0) return Fail(EEXIST);
    if (::rename(from->constData(), to->constData()) != 0) return Fail(errno);
    return true;
}

bool CreateDir(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    if (::mkdir(host->constData(), 0777) != 0) return Fail(errno);
    return true;
}

bool RemoveDir(const QString& path) {
    const std::optional<QByteArray> host = detail::HostPath(path);
    if (!host) return false;
    struct stat st {};
    if (::lstat(host->constData(), &st) != 0) return Fail(errno);
    if (!S_ISDIR(st.st_mode)) return Fail(ENOTDIR);
    if (::rmdir(host->constData()) != 0) return Fail(errno);
    return true;
}

bool ForceDirectories(const QString& path) {
    const QString full = ExpandFileName(path);
    if (full.isEmpty()) return Fail(ENOENT);
    QString prefix = full.left(3);
    const QStringList names = full.mid(3).split(u'\\', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        prefix = JoinPath(prefix, name);
        const std::optional<QByteArray> host = Drives().toHost(prefix);
        if (!host) return Fail(ENOENT);
        if (::mkdir(host->constData(), 0777) != 0 && errno != EEXIST) return Fail(errno);
    }
    const std::optional<QByteArray> host = Drives().toHost(full);
    if (!host) return Fail(ENOENT);
    struct stat st {};
    if (::stat(host->constData(), &st) != 0) return Fail(errno);
    if (!S_ISDIR(st.st_mode)) return Fail(ENOTDIR);
    return true;
}

}  // namespace platform
