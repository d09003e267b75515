#pragma once
// What a file copy would meet at its target path, looked at before the target
// is created or replaced, and the file the copy then writes.

#include "platform/FileSystem.h"
#include "platform/ReplacementFile.h"

#include <QByteArray>
#include <QString>

namespace platform {

enum class CopyTargetState {
    Absent,       // nothing there: the copy creates it
    Replaceable,  // a regular file the copy may replace
    ReadOnly,     // a regular file without the owner's write bit
    NotRegular,   // a directory, FIFO, socket or device: never opened for writing
    SameFile,     // the very file the source handle has open (a link or another spelling)
    Unreachable,  // no drive maps the path, or it cannot be examined
};

// Follows links, because writing the target would go through them too.
// The owner's write bit is looked at even for root, who could write anyway:
// a file marked read-only is not replaced behind the user's back.
CopyTargetState ProbeCopyTarget(const FileHandle& source, const QString& target);

// The file a copy writes. Where nothing is there, the target itself is
// created. A file the copy may replace gets a new version beside it (through
// a link, beside what the link names) that takes its place only at Commit:
// until the copy is whole, the old file stays as it was. Only where no new
// name can be made beside it (a directory without write permission) is it
// written in place.
class CopyTargetFile {
public:
    CopyTargetFile() = default;
    CopyTargetFile(const CopyTargetFile&) = delete;
    CopyTargetFile& operator=(const CopyTargetFile&) = delete;
    ~CopyTargetFile() { Discard(); }

    // Absent or Replaceable: open for writing. Any other state: nothing opened.
    CopyTargetState Open(const FileHandle& source, const QString& target);
    int fd() const { return replacing_ ? replacement_.fd() : created_.fd(); }
    // The source's permission bits (never set-user-ID or set-group-ID) and
    // modification time, after the last write. Best effort.
    void CarryAttributes(const FileStamp& source);
    // Closes, and puts a replacement in place. False when the data may not
    // have been written; nothing of the copy remains then.
    bool Commit();
    // Removes what was written; an old target stays as it was.
    void Discard();
    // The host directory the file ends in.
    const QByteArray& HostDirectory() const { return dir_; }

private:
    QByteArray host_;
    QByteArray dir_;
    FileHandle created_;
    ReplacementFile replacement_;
    bool replacing_ = false;
};

}  // namespace platform
