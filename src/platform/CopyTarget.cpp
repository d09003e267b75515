#include "platform/CopyTarget.h"

#include "platform/Drives.h"
#include "platform/FileSystemDetail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

CopyTargetState ProbeCopyTarget(const FileHandle& source, const QString& target) {
    // Relative names are taken from the current directory, as the create call takes them.
    const auto host = Drives().toHost(ExpandFileName(target));
    if (!host) return CopyTargetState::Unreachable;

    struct stat there {};
    if (::stat(host->constData(), &there) != 0) {
        // A dangling link also lands here; creating through it is left to the
        // create call, which decides like any other missing target.
        return errno == ENOENT ? CopyTargetState::Absent : CopyTargetState::Unreachable;
    }

    struct stat opened {};
    if (source.valid() && ::fstat(source.fd(), &opened) == 0 && opened.st_dev == there.st_dev &&
        opened.st_ino == there.st_ino) {
        return CopyTargetState::SameFile;
    }
    if (!S_ISREG(there.st_mode)) return CopyTargetState::NotRegular;
    if ((there.st_mode & S_IWUSR) == 0) return CopyTargetState::ReadOnly;
    return CopyTargetState::Replaceable;
}

CopyTargetState CopyTargetFile::Open(const FileHandle& source, const QString& target) {
    Discard();
    const std::optional<QByteArray> host = detail::HostPath(target);
    if (!host) return CopyTargetState::Unreachable;
    host_ = *host;
    dir_ = detail::HostDirectoryOf(host_);

    // The usual case first, in one call: nothing is there yet. O_EXCL never
    // follows a link, so a dangling one cannot lead the file out of the tree.
    const int fd = ::open(host_.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd >= 0) {
        created_ = FileHandle::Adopt(fd);
        replacing_ = false;
        return CopyTargetState::Absent;
    }
    if (errno != EEXIST) return detail::SetLastOsError(errno), CopyTargetState::Unreachable;

    const CopyTargetState state = ProbeCopyTarget(source, target);
    // Absent after EEXIST: a dangling link, which like cp we do not follow.
    if (state == CopyTargetState::Absent) return CopyTargetState::Unreachable;
    if (state != CopyTargetState::Replaceable) return state;

    const QByteArray final = detail::ResolveLink(host_);
    host_ = final;
    dir_ = detail::HostDirectoryOf(host_);
    if (replacement_.Open(final, 0600)) {
        replacing_ = true;
        return CopyTargetState::Replaceable;
    }
    // A writable file in a directory that takes no new names: written in
    // place as before, since nothing can be put beside it.
    if (errno != EACCES && errno != EPERM) {
        detail::SetLastOsError(errno);
        return CopyTargetState::Unreachable;
    }
    const int inPlace = ::open(final.constData(),
                               O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (inPlace < 0) return detail::SetLastOsError(errno), CopyTargetState::Unreachable;
    created_ = FileHandle::Adopt(inPlace);
    return CopyTargetState::Replaceable;
}

void CopyTargetFile::CarryAttributes(const FileStamp& source) {
    const int out = fd();
    if (out < 0) return;
    const timespec times[2] = {{0, UTIME_OMIT}, source.modified};
    ::futimens(out, times);
    // Set-user-ID and set-group-ID stay behind: the copy belongs to whoever
    // made it, and carrying them would hand out someone else's rights.
    ::fchmod(out, source.mode & 01777);
}

bool CopyTargetFile::Commit() {
    if (replacing_) {
        if (!replacement_.Commit()) return detail::SetLastOsError(errno), false;
        return true;
    }
    if (!created_.valid()) return false;
    if (!created_.Close()) {
        // Our own new file: removed whatever its permission bits say.
        ::unlink(host_.constData());
        return false;
    }
    return true;
}

void CopyTargetFile::Discard() {
    if (replacing_) {
        replacement_.Discard();
        replacing_ = false;
        return;
    }
    if (created_.valid()) {
        created_.Close();
        ::unlink(host_.constData());
    }
}

}  // namespace platform
