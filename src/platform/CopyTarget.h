#pragma once
// What a file copy would meet at its target path, looked at before the target
// is created or truncated.

#include "platform/FileSystem.h"

#include <QString>

namespace platform {

enum class CopyTargetState {
    Absent,       // nothing there: the copy creates it
    Replaceable,  // a regular file the copy may truncate
    ReadOnly,     // a regular file without the owner's write bit
    NotRegular,   // a directory, FIFO, socket or device: never opened for writing
    SameFile,     // the very file the source handle has open (a link or another spelling)
    Unreachable,  // no drive maps the path, or it cannot be examined
};

// Follows links, because opening the target for writing would follow them too.
// The owner's write bit is looked at even for root, who could write anyway:
// a file marked read-only is not replaced behind the user's back.
CopyTargetState ProbeCopyTarget(const FileHandle& source, const QString& target);

}  // namespace platform
