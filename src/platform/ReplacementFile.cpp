#include "platform/ReplacementFile.h"

#include "platform/FileSystemDetail.h"

#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace platform {
namespace {

// ".name.~" : what every temporary of target starts with, before the pid.
QByteArray StemOf(const QByteArray& target) {
    return '.' + target.mid(target.lastIndexOf('/') + 1) + ".~";
}

QByteArray TemporaryPattern(const QByteArray& target) {
    QByteArray dir = detail::HostDirectoryOf(target);
    if (!dir.endsWith('/')) dir += '/';
    return dir + StemOf(target) + QByteArray::number(::getpid()) + ".XXXXXX";
}

void FillRandom(QByteArray& pattern) {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (qsizetype i = pattern.size() - 6; i < pattern.size(); ++i)
        pattern[i] = Letters[::arc4random_uniform(sizeof Letters - 1)];
}

// linkat through /proc needs no privilege, AT_EMPTY_PATH does; without /proc
// an unnamed file could never be given its name.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// The attribute that marks a resumable partial: "<key> <bytes on disk>".
constexpr char PartialMark[] = "user.ferrovant.partial";

QByteArray PartialName(const QByteArray& target) {
    QByteArray dir = detail::HostDirectoryOf(target);
    if (!dir.endsWith('/')) dir += '/';
    return dir + StemOf(target) + "partial";
}

// What adopting a file left by an earlier copy found.
enum class Adopted { Resumed, Unmarked, Busy };

// Opens path when it is a partial of this source: marked with key, holding
// at least the part marked, and not being written by another copy (which
// holds its lock). On Resumed, fd is open at the end of the marked part,
// the rest cut off, and offset tells where that is.
Adopted Adopt(const QByteArray& path, const QByteArray& key, int& fd, std::int64_t& offset) {
    fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Adopted::Unmarked;
    const auto give_up = [&fd](Adopted why) {
        ::close(fd);
        fd = -1;
        return why;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return give_up(Adopted::Unmarked);
    // Only a copy that is running holds the lock; file systems without
    // locks cannot tell, and the partial counts as left behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return give_up(Adopted::Busy);
    char mark[256];
    const ssize_t n = ::fgetxattr(fd, PartialMark, mark, sizeof mark);
    if (n <= 0) return give_up(Adopted::Unmarked);
    const QByteArray value(mark, n);
    if (!value.startsWith(key + ' ')) return give_up(Adopted::Unmarked);
    bool ok = false;
    offset = value.mid(key.size() + 1).toLongLong(&ok);
    if (!ok || offset < 0 || offset > st.st_size || ::ftruncate(fd, offset) != 0 ||
        ::lseek(fd, offset, SEEK_SET) != offset) {
        return give_up(Adopted::Unmarked);
    }
    return Adopted::Resumed;
}

bool LinkUnnamed(int fd, const QByteArray& name) {
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

Result<void> ReplacementFile::Open(const QByteArray& target, mode_t mode, Placement placement) {
    Discard();
    target_ = target;
    placement_ = placement;
    if (CanNameUnnamedFiles()) {
        fd_ = ::open(detail::HostDirectoryOf(target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                     0600);
    }
    if (fd_ < 0) {
        // EOPNOTSUPP and EISDIR say the file system has no unnamed files;
        // whatever else went wrong, the named way reports it properly.
        // Named temporaries of processes that died are swept once per
        // directory: they would otherwise pile up.
        static QSet<QByteArray> swept;
        if (const QByteArray dir = detail::HostDirectoryOf(target); !swept.contains(dir)) {
            swept.insert(dir);
            RemoveStaleIn(dir, {});
        }
        QByteArray pattern = TemporaryPattern(target);
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0) return Errno(Step::Create);
        named_ = pattern;
    }
    if (::fchmod(fd_, mode) != 0) return Fail(Step::Create);
    return {};
}

Result<std::int64_t> ReplacementFile::OpenResumable(const QByteArray& target, mode_t mode,
                                                    Placement placement, const QByteArray& key) {
    Discard();
    std::int64_t offset = 0;
    // After an Abort the part is under the target's own name.
    if (placement == Placement::Replace && Adopt(target, key, fd_, offset) == Adopted::Resumed) {
        target_ = named_ = target;
    } else {
        const QByteArray partial = PartialName(target);
        const Adopted left = Adopt(partial, key, fd_, offset);
        if (left == Adopted::Busy) {
            // Another copy is writing it: this one goes its own way.
            const Result<void> opened = Open(target, mode, placement);
            if (!opened) return opened.error();
            return 0;
        }
        if (left == Adopted::Unmarked) {
            // Not this source's, or left before anything was marked: begun anew.
            ::unlink(partial.constData());
            offset = 0;
            fd_ = ::open(partial.constData(),
                         O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
            if (fd_ < 0) return Errno(Step::Create);
            (void)::flock(fd_, LOCK_EX | LOCK_NB);
        }
        target_ = target;
        named_ = partial;
    }
    placement_ = placement;
    resumable_ = true;
    key_ = key;
    if (::fchmod(fd_, mode) != 0) return Fail(Step::Create);
    return offset;
}

void ReplacementFile::MarkDurable(std::int64_t bytes) {
    if (!resumable_ || fd_ < 0 || ::fdatasync(fd_) != 0) return;
    const QByteArray mark = key_ + ' ' + QByteArray::number(qint64(bytes));
    (void)::fsetxattr(fd_, PartialMark, mark.constData(), std::size_t(mark.size()), 0);
}

OsError ReplacementFile::Fail(Step step) {
    const OsError error = Errno(step);
    Discard();
    return error;
}

Result<void> ReplacementFile::Commit(Content content) {
    if (fd_ < 0) return OsError{EBADF, Step::Link};
    if (resumable_ && content == Content::Whole) (void)::fremovexattr(fd_, PartialMark);
    if (named_ == target_) {
        // Resumed under its own name: nothing to rename.
        const int fd = std::exchange(fd_, -1);
        named_.clear();
        if (::close(fd) != 0 && errno != EINTR) return Errno(Step::Close);
        return {};
    }
    if (placement_ == Placement::New) return CommitNew();
    if (named_.isEmpty()) {
        QByteArray name = TemporaryPattern(target_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            FillRandom(name);
            if (LinkUnnamed(fd_, name)) {
                named_ = name;
                break;
            }
            if (errno != EEXIST) return Fail(Step::Link);
        }
        if (named_.isEmpty()) return Fail(Step::Link);
    }
    const int fd = fd_;
    fd_ = -1;
    // A close that reports an error may mean the data never reached the disk.
    if (::close(fd) != 0 && errno != EINTR) return Fail(Step::Close);
    if (::rename(named_.constData(), target_.constData()) != 0) return Fail(Step::Rename);
    named_.clear();
    return {};
}

Result<void> ReplacementFile::CommitNew() {
    const int fd = fd_;
    if (named_.isEmpty()) {
        // linkat never replaces, nor follows a dangling link at the name.
        if (!LinkUnnamed(fd, target_)) return Fail(Step::Link);
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) {
            const OsError error = Errno(Step::Close);
            ::unlink(target_.constData());
            return error;
        }
        return {};
    }
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) return Fail(Step::Close);
    if (::renameat2(AT_FDCWD, named_.constData(), AT_FDCWD, target_.constData(),
                    RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) return Fail(Step::Rename);
        // File systems without RENAME_NOREPLACE: look, then rename.
        struct stat st {};
        if (::lstat(target_.constData(), &st) == 0) {
            errno = EEXIST;
            return Fail(Step::Rename);
        }
        if (::rename(named_.constData(), target_.constData()) != 0) return Fail(Step::Rename);
    }
    named_.clear();
    return {};
}

void ReplacementFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // A part resumed under the target's name stays, as the Abort left it.
    if (!named_.isEmpty() && named_ != target_) ::unlink(named_.constData());
    named_.clear();
    resumable_ = false;
}

void ReplacementFile::RemoveStale(const QByteArray& target) {
    RemoveStaleIn(detail::HostDirectoryOf(target), StemOf(target));
}

void ReplacementFile::RemoveStaleIn(const QByteArray& directory, const QByteArray& stem) {
    DIR* dir = ::opendir(directory.constData());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(stem)) continue;
        // ".name.~<pid>.XXXXXX": the pid and six letters after the stem, or
        // after any ".~" when no stem is given.
        qsizetype at = stem.size();
        if (stem.isEmpty()) {
            if (!name.startsWith('.') || (at = name.lastIndexOf(".~")) < 0) continue;
            at += 2;
        }
        const QByteArray rest = name.mid(at);
        const qsizetype dot = rest.indexOf('.');
        if (dot <= 0 || rest.size() - dot - 1 != 6) continue;
        bool ok = false;
        const long pid = rest.left(dot).toLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace platform
