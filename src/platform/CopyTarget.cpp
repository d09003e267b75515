#include "platform/CopyTarget.h"

#include "platform/Drives.h"

#include <sys/stat.h>

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

}  // namespace platform
