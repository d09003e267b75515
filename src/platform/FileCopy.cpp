#include "platform/FileCopy.h"

#include "platform/FileSystemDetail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

namespace platform {
namespace {

// Page-aligned so the kernel copies between whole pages of the cache and the buffer.
constexpr std::align_val_t BufferAlignment{4096};

// The most one system call is asked to move; Linux caps a transfer near 2 GiB.
constexpr std::int64_t MaxPerCall = 1 << 30;

std::function<void(const QByteArray&)> flushHook;

DirectoryId IdOf(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

// A file named relative to its directory: that directory held open when an
// identity is expected (the name then cannot be reached through a swapped
// path between the check and the use), else the whole path from here.
class InDir {
public:
    InDir(const QByteArray& host, const std::optional<DirectoryId>& expected) {
        if (!expected) {
            name_ = host;
            ok_ = true;
            return;
        }
        fd_ = ::open(detail::HostDirectoryOf(host).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        struct stat st {};
        ok_ = ::fstat(fd_, &st) == 0 && IdOf(st) == *expected;
        name_ = host.mid(host.lastIndexOf('/') + 1);
    }
    ~InDir() {
        if (fd_ >= 0) ::close(fd_);
    }
    InDir(const InDir&) = delete;
    InDir& operator=(const InDir&) = delete;

    bool ok() const { return ok_; }
    int fd() const { return fd_ >= 0 ? fd_ : AT_FDCWD; }
    const char* name() const { return name_.constData(); }

private:
    int fd_ = -1;
    bool ok_ = false;
    QByteArray name_;
};

}  // namespace

std::optional<DirectoryId> IdentifyDirectory(const QString& dir) {
    const std::optional<QByteArray> host = detail::HostPath(dir);
    struct stat st {};
    if (!host || ::stat(host->constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return IdOf(st);
}

bool InDirectory(const QString& file, const DirectoryId& expected) {
    const std::optional<QByteArray> host = detail::HostPath(file);
    return host && InDir(*host, expected).ok();
}

void CopyBuffer::Free::operator()(std::byte* p) const {
    ::operator delete[](p, BufferAlignment);
}

std::byte* CopyBuffer::data() {
    if (!bytes_) {
        bytes_.reset(
            static_cast<std::byte*>(::operator new[](std::size_t(size_), BufferAlignment)));
    }
    return bytes_.get();
}

ChunkResult ChunkCopier::Copy(int from, int to, std::int64_t n, CopyBuffer& buffer) {
    ChunkResult result;
    while (kernelCopy_ && result.copied < n) {
        const ssize_t got = ::copy_file_range(
            from, nullptr, to, nullptr, std::size_t(std::min(n - result.copied, MaxPerCall)), 0);
        if (got > 0) {
            result.copied += got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            // Not supported between these two files, a failure, or 0 (the
            // source ended, or a file system whose sizes reads do not give):
            // reads and writes say which, and where a failure lies.
            kernelCopy_ = false;
        }
    }
    if (result.copied == n) return result;
    const ChunkResult rest = CopyThroughBuffer(from, to, n - result.copied, buffer);
    result.copied += rest.copied;
    result.failure = rest.failure;
    return result;
}

ChunkResult ChunkCopier::CopyThroughBuffer(int from, int to, std::int64_t n, CopyBuffer& buffer) {
    ChunkResult result;
    std::byte* bytes = buffer.data();
    while (result.copied < n) {
        const std::int64_t want = std::min(n - result.copied, buffer.size());
        const ssize_t got = ::read(from, bytes, std::size_t(want));
        if (got < 0) {
            if (errno == EINTR) continue;
            detail::SetLastOsError(errno);
            result.failure = ChunkFailure::Source;
            return result;
        }
        if (got == 0) return result;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(to, bytes + put, std::size_t(got - put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                detail::SetLastOsError(n < 0 ? errno : ENOSPC);
                result.failure = ChunkFailure::Target;
                return result;
            }
            put += n;
            result.copied += n;
        }
    }
    return result;
}

bool CopySource::Open(const QString& path) {
    file_ = FileHandle::OpenRead(path, copied_.stamp);
    if (!file_.valid()) return false;
    const std::optional<QByteArray> host = detail::HostPath(path);
    copied_.host = host ? *host : QByteArray();
    // Only big files are worth a call to say they will be read straight through.
    if (copied_.stamp.size > (std::int64_t(1) << 20)) file_.AdviseSequential();
    return true;
}

bool CopySource::Unchanged() const {
    const std::optional<FileStamp> now = file_.Stamp();
    if (!now || !now->SameContentAs(copied_.stamp)) return false;
    struct stat there {};
    if (::stat(copied_.host.constData(), &there) != 0) return false;
    return detail::StampOf(there).SameFileAs(copied_.stamp);
}

RenameOutcome RenameWithinFileSystem(const QString& source, const QString& target,
                                     std::int64_t& size, QByteArray& targetDir,
                                     const DirectoryId* sourceDir) {
    const std::optional<QByteArray> from = detail::HostPath(source);
    if (!from) return RenameOutcome::SourceError;
    const std::optional<QByteArray> to = detail::HostPath(target);
    if (!to) return RenameOutcome::TargetError;
    const InDir in(*from, sourceDir ? std::optional(*sourceDir) : std::nullopt);
    if (!in.ok()) return RenameOutcome::SourceError;

    struct stat st {};
    if (::fstatat(in.fd(), in.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return RenameOutcome::SourceError;
    if (S_ISLNK(st.st_mode)) return RenameOutcome::CopyInstead;
    if (!S_ISREG(st.st_mode)) return RenameOutcome::SourceError;
    if ((st.st_mode & S_IWUSR) == 0 || (st.st_mode & (S_ISUID | S_ISGID)) != 0)
        return RenameOutcome::CopyInstead;
    size = st.st_size;

    if (::renameat2(in.fd(), in.name(), AT_FDCWD, to->constData(), RENAME_NOREPLACE) == 0) {
        targetDir = detail::HostDirectoryOf(*to);
        return RenameOutcome::Renamed;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // No RENAME_NOREPLACE here: look, then rename.
        struct stat there {};
        if (::lstat(to->constData(), &there) != 0) {
            if (errno != ENOENT || ::renameat(in.fd(), in.name(), AT_FDCWD, to->constData()) != 0)
                return RenameOutcome::CopyInstead;
            targetDir = detail::HostDirectoryOf(*to);
            return RenameOutcome::Renamed;
        }
    } else if (errno != EEXIST) {
        // Another file system (EXDEV), or a refusal a copy words the way the
        // user knows (a directory without write permission, say).
        return RenameOutcome::CopyInstead;
    }

    // Something is there: replaced only as a copy would replace it.
    struct stat there {};
    if (::stat(to->constData(), &there) != 0) return RenameOutcome::TargetError;
    if (there.st_dev == st.st_dev && there.st_ino == st.st_ino) return RenameOutcome::Skipped;
    if (!S_ISREG(there.st_mode) || (there.st_mode & S_IWUSR) == 0)
        return RenameOutcome::TargetError;
    const QByteArray final = detail::ResolveLink(*to);
    if (::renameat(in.fd(), in.name(), AT_FDCWD, final.constData()) != 0)
        return RenameOutcome::CopyInstead;
    targetDir = detail::HostDirectoryOf(final);
    return RenameOutcome::Renamed;
}

bool DeleteIfUnchanged(const CopiedSource& source) {
    const InDir in(source.host, source.dir);
    if (!in.ok()) return false;
    struct stat st {};
    if (::fstatat(in.fd(), in.name(), &st, 0) != 0) return false;
    if (!detail::StampOf(st).SameContentAs(source.stamp)) return false;
    if (::fstatat(in.fd(), in.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) return false;
    return ::unlinkat(in.fd(), in.name(), 0) == 0;
}

std::vector<bool> FlushFileSystems(const std::vector<QByteArray>& hostDirs) {
    std::vector<bool> flushed(hostDirs.size(), false);
    std::vector<std::pair<dev_t, bool>> done;
    for (std::size_t i = 0; i < hostDirs.size(); ++i) {
        const int fd = ::open(hostDirs[i].constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            const auto seen = std::find_if(done.begin(), done.end(),
                                           [&](const auto& d) { return d.first == st.st_dev; });
            if (seen != done.end()) {
                flushed[i] = seen->second;
            } else {
                // Since Linux 5.8 syncfs also reports write-back errors.
                flushed[i] = ::syncfs(fd) == 0;
                done.emplace_back(st.st_dev, flushed[i]);
                if (flushed[i] && flushHook) flushHook(hostDirs[i]);
            }
        }
        ::close(fd);
    }
    return flushed;
}

void StartWriteBack(int fd, std::int64_t offset, std::int64_t bytes) {
    ::sync_file_range(fd, offset, bytes, SYNC_FILE_RANGE_WRITE);
}

void AwaitWriteBack(int fd, std::int64_t offset, std::int64_t bytes) {
    ::sync_file_range(
        fd, offset, bytes,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

void SetFlushHook(std::function<void(const QByteArray& hostDir)> hook) {
    flushHook = std::move(hook);
}

}  // namespace platform
