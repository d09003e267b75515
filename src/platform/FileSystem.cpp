#include "platform/FileSystem.h"

#include "platform/AsyncIo.h"
#include "platform/Drives.h"
#include "platform/FileSystemDetail.h"
#include "platform/Paths.h"

#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <algorithm>

namespace platform {

namespace {

bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// A call about a name, asked through the ring: on a device that hangs it
// fails after the wait instead of holding the window. 0 or the error.
int AskWaiting(IoRequest request) {
    const int result = AsyncIo::Instance().Ask(std::move(request))->result();
    return result < 0 ? -result : 0;
}

int MakeDirWaiting(const QByteArray& host) {
    return AskWaiting({.op = IoOp::MkdirAt, .path = host, .mode = 0777});
}

}  // namespace

Result<QByteArray> HostPath(const QString& path) {
    const QString full = ExpandFileName(path);
    std::optional<QByteArray> host;
    if (!full.isEmpty()) host = Drives().toHost(full);
    if (!host) return OsError{ENOENT, Step::Resolve};
    return *std::move(host);
}

namespace detail {

// O_NONBLOCK stays set: reads and writes of regular files never take it into
// account, and clearing it would cost two calls for every file opened.
Result<int> OpenRegular(const QByteArray& host, int flags, mode_t mode, struct stat* opened) {
    const Step step = (flags & O_CREAT) ? Step::Create : Step::Open;
    const int fd = ::open(host.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return Errno(step);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const OsError error = Errno(Step::Examine);
        ::close(fd);
        return error;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return OsError{S_ISDIR(st.st_mode) ? EISDIR : EACCES, step};
    }
    if (opened) *opened = st;
    return fd;
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
    stamp.accessed = st.st_atim;
    stamp.changed = st.st_ctim;
    stamp.mode = st.st_mode;
    return stamp;
}

FileStamp StampOf(const struct statx& sx) {
    const auto time = [](const statx_timestamp& t) { return timespec{t.tv_sec, t.tv_nsec}; };
    FileStamp stamp;
    stamp.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    stamp.inode = sx.stx_ino;
    stamp.size = std::int64_t(sx.stx_size);
    stamp.modified = time(sx.stx_mtime);
    stamp.accessed = time(sx.stx_atime);
    stamp.changed = time(sx.stx_ctime);
    stamp.mode = sx.stx_mode;
    return stamp;
}

int StatWaiting(const QByteArray& host, bool follow, struct statx& out) {
    IoRequest r;
    r.op = IoOp::Statx;
    r.path = host;
    r.flags = AT_NO_AUTOMOUNT | (follow ? 0 : AT_SYMLINK_NOFOLLOW);
    const IoTicket t = AsyncIo::Instance().Ask(std::move(r));
    if (t->result() < 0) return -t->result();
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

EntryStat StatOf(const struct statx& sx) {
    return {sx.stx_mode, static_cast<std::int64_t>(sx.stx_size),
            timespec{sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec}};
}

Result<EntryInfo> InspectEntry(const QByteArray& host, const QString& name) {
    struct statx sx {};
    if (const int err = StatWaiting(host, false, sx); err != 0) return OsError{err, Step::Examine};
    std::optional<EntryStat> target;
    if (S_ISLNK(sx.stx_mode)) {
        struct statx to {};
        if (StatWaiting(host, true, to) == 0) target = StatOf(to);
    }
    return ClassifyEntry(StatOf(sx), target, name);
}

}  // namespace detail

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

Result<FileHandle> FileHandle::OpenRead(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return host.error();
    // Refuse FIFOs, sockets and devices before opening: opening a device can
    // have effects of its own (a tape rewinds), and a FIFO would never end.
    struct stat st {};
    if (::stat(host->constData(), &st) != 0) return Errno(Step::Open);
    if (!S_ISREG(st.st_mode)) return OsError{EACCES, Step::Open};
    const Result<int> fd = detail::OpenRegular(*host, O_RDONLY);
    if (!fd) return fd.error();
    return FileHandle(*fd);
}

Result<FileHandle> FileHandle::Create(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return host.error();
    struct stat st {};
    if (::lstat(host->constData(), &st) == 0) {
        const bool isLink = S_ISLNK(st.st_mode);
        // Like cp, never create a file at the far end of a dangling link: it
        // could lie anywhere outside the target tree.
        if (isLink && ::stat(host->constData(), &st) != 0) return OsError{EACCES, Step::Create};
        if (S_ISDIR(st.st_mode)) return OsError{EISDIR, Step::Create};
        if (!S_ISREG(st.st_mode) || IsReadOnlyMode(st.st_mode))
            return OsError{EACCES, Step::Create};
    }
    const Result<int> fd = detail::OpenRegular(*host, O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (!fd) return fd.error();
    return FileHandle(*fd);
}

Result<std::int64_t> FileHandle::Read(void* buffer, std::int64_t n) {
    if (fd_ < 0 || n < 0) return OsError{fd_ < 0 ? EBADF : EINVAL, Step::Read};
    // A regular file may still deliver less than asked (signals, network file
    // systems): keep reading so that only the end of the file gives less.
    auto* bytes = static_cast<char*>(buffer);
    std::int64_t total = 0;
    while (total < n) {
        const ssize_t got = ::read(fd_, bytes + total, std::min<std::int64_t>(n - total, 1 << 30));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Errno(Step::Read);
        if (got == 0) break;
        total += got;
    }
    return total;
}

Result<std::int64_t> FileHandle::Write(const void* buffer, std::int64_t n) {
    if (fd_ < 0 || n < 0) return OsError{fd_ < 0 ? EBADF : EINVAL, Step::Write};
    const auto* bytes = static_cast<const char*>(buffer);
    std::int64_t total = 0;
    while (total < n) {
        const ssize_t put = ::write(fd_, bytes + total, std::min<std::int64_t>(n - total, 1 << 30));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return Errno(Step::Write);
        if (put == 0) break;
        total += put;
    }
    return total;
}

void FileHandle::AdviseSequential() {
    if (fd_ >= 0) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::optional<FileStamp> FileHandle::Stamp() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return detail::StampOf(st);
}

Result<void> FileHandle::Close() {
    if (fd_ < 0) return OsError{EBADF, Step::Close};
    const int rc = ::close(fd_);
    fd_ = -1;
    // After EINTR Linux has closed the descriptor already; anything else may
    // mean written data never reached the disk.
    if (rc != 0 && errno != EINTR) return Errno(Step::Close);
    return {};
}

std::int32_t FileGetAttr(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return -1;
    const QString full = ExpandFileName(path);
    const QString name = IsDriveRoot(full) ? QString() : ExtractFileName(full);
    const Result<detail::EntryInfo> info = detail::InspectEntry(*host, name);
    return info ? info->attr : -1;
}

std::optional<bool> AskFileExists(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return false;
    struct statx sx {};
    if (const int err = detail::StatWaiting(*host, false, sx); err != 0)
        return err == ETIMEDOUT ? std::nullopt : std::optional(false);
    if (!S_ISLNK(sx.stx_mode)) return !S_ISDIR(sx.stx_mode);
    // A link counts unless it leads to a directory.
    if (const int err = detail::StatWaiting(*host, true, sx); err != 0)
        return err == ETIMEDOUT ? std::nullopt : std::optional(true);
    return !S_ISDIR(sx.stx_mode);
}

bool FileExists(const QString& path) {
    return AskFileExists(path).value_or(false);
}

std::optional<bool> AskDirectoryExists(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return false;
    struct statx sx {};
    if (const int err = detail::StatWaiting(*host, false, sx); err != 0)
        return err == ETIMEDOUT ? std::nullopt : std::optional(false);
    return S_ISDIR(sx.stx_mode);
}

bool DirectoryExists(const QString& path) {
    // Asked of stored places at start-up too: a device that hangs gives "no".
    return AskDirectoryExists(path).value_or(false);
}

Result<void> DeleteFile(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return host.error();
    struct statx sx {};
    if (const int err = detail::StatWaiting(*host, false, sx); err != 0)
        return OsError{err, Step::Examine};
    if (S_ISDIR(sx.stx_mode)) return OsError{EISDIR, Step::Delete};
    if (S_ISREG(sx.stx_mode) && IsReadOnlyMode(sx.stx_mode)) return OsError{EACCES, Step::Delete};
    if (const int err = AskWaiting({.op = IoOp::UnlinkAt, .path = *host}); err != 0)
        return OsError{err, Step::Delete};
    return {};
}

Result<void> RenameFile(const QString& oldPath, const QString& newPath) {
    const Result<QByteArray> from = HostPath(oldPath);
    if (!from) return from.error();
    const Result<QByteArray> to = HostPath(newPath);
    if (!to) return to.error();
    struct statx sx {};
    if (*from == *to) {
        if (const int err = detail::StatWaiting(*from, false, sx); err != 0)
            return OsError{err, Step::Examine};
        return {};
    }
    // rename() would silently replace an existing entry; a rename must refuse.
    const auto rename = [&](unsigned flags) {
        return AskWaiting({.op = IoOp::RenameAt, .path = *from, .path2 = *to, .flags = int(flags)});
    };
    int err = rename(RENAME_NOREPLACE);
    if (err == EINVAL || err == ENOSYS) {
        // File systems without RENAME_NOREPLACE: check, then rename.
        if (detail::StatWaiting(*to, false, sx) == 0) return OsError{EEXIST, Step::Rename};
        err = rename(0);
    }
    if (err != 0) return OsError{err, Step::Rename};
    return {};
}

Result<void> CreateDir(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return host.error();
    if (const int err = MakeDirWaiting(*host); err != 0) return OsError{err, Step::Create};
    return {};
}

Result<void> RemoveDir(const QString& path) {
    const Result<QByteArray> host = HostPath(path);
    if (!host) return host.error();
    struct stat st {};
    if (::lstat(host->constData(), &st) != 0) return Errno(Step::Examine);
    if (!S_ISDIR(st.st_mode)) return OsError{ENOTDIR, Step::Delete};
    if (::rmdir(host->constData()) != 0) return Errno(Step::Delete);
    return {};
}

Result<void> ForceDirectories(const QString& path) {
    const QString full = ExpandFileName(path);
    if (full.isEmpty()) return OsError{ENOENT, Step::Resolve};
    QString prefix = full.left(3);
    const QStringList names = full.mid(3).split(u'\\', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        prefix = JoinPath(prefix, name);
        const std::optional<QByteArray> host = Drives().toHost(prefix);
        if (!host) return OsError{ENOENT, Step::Resolve};
        if (const int err = MakeDirWaiting(*host); err != 0 && err != EEXIST)
            return OsError{err, Step::Create};
    }
    const std::optional<QByteArray> host = Drives().toHost(full);
    if (!host) return OsError{ENOENT, Step::Resolve};
    struct statx sx {};
    if (const int err = detail::StatWaiting(*host, true, sx); err != 0)
        return OsError{err, Step::Examine};
    if (!S_ISDIR(sx.stx_mode)) return OsError{ENOTDIR, Step::Create};
    return {};
}

}  // namespace platform
