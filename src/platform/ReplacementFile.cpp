#include "platform/ReplacementFile.h"

#include "platform/FileSystemDetail.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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
        QByteArray pattern = TemporaryPattern(target);
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0) return Errno(Step::Create);
        named_ = pattern;
    }
    if (::fchmod(fd_, mode) != 0) return Fail(Step::Create);
    return {};
}

OsError ReplacementFile::Fail(Step step) {
    const OsError error = Errno(step);
    Discard();
    return error;
}

Result<void> ReplacementFile::Commit() {
    if (fd_ < 0) return OsError{EBADF, Step::Link};
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
    if (!named_.isEmpty()) {
        ::unlink(named_.constData());
        named_.clear();
    }
}

void ReplacementFile::RemoveStale(const QByteArray& target) {
    const QByteArray stem = StemOf(target);
    DIR* dir = ::opendir(detail::HostDirectoryOf(target).constData());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(stem)) continue;
        // "<pid>.XXXXXX" after the stem, nothing else.
        const QByteArray rest = name.mid(stem.size());
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
