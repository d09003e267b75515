#pragma once
// The file-system side of copying and moving one file: the chunk copy between
// two open files, the rename that moves a file within one file system, the
// deletion of a moved source that checks it is still the file that was
// copied, and the flush of the file systems written.

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

// A page-aligned buffer for copies that cannot be left to the kernel,
// allocated at its first use and kept for every later copy.
class CopyBuffer {
public:
    explicit CopyBuffer(std::int64_t size) : size_(size) {}
    std::byte* data();
    std::int64_t size() const { return size_; }

private:
    struct Free {
        void operator()(std::byte* p) const;
    };
    std::int64_t size_;
    std::unique_ptr<std::byte[], Free> bytes_;
};

enum class ChunkFailure { None, Source, Target };

struct ChunkResult {
    std::int64_t copied = 0;  // less than asked: the source ended, or a failure
    ChunkFailure failure = ChunkFailure::None;
};

// Copies n bytes from the position of the open file `from` to that of `to`.
// The kernel copies when it can (copy_file_range); the first time it cannot,
// for whatever reason, this copy goes on through the buffer with read and
// write, which also tell a failing source from a failing target.
class ChunkCopier {
public:
    ChunkResult Copy(int from, int to, std::int64_t n, CopyBuffer& buffer);

private:
    ChunkResult CopyThroughBuffer(int from, int to, std::int64_t n, CopyBuffer& buffer);
    bool kernelCopy_ = true;
};

// A copied file as it was when its copy began: where it is and what it was.
struct CopiedSource {
    QByteArray host;
    FileStamp stamp;
};

// The source of a copy, opened by drive-letter path.
class CopySource {
public:
    bool Open(const QString& path);  // false: LastOsError()
    int fd() const { return file_.fd(); }
    const FileHandle& file() const { return file_; }
    const CopiedSource& Copied() const { return copied_; }
    // True while the path still names the file opened, with the size and
    // modification time it had when opened.
    bool Unchanged() const;
    void Close() { file_.Close(); }

private:
    FileHandle file_;
    CopiedSource copied_;
};

enum class RenameOutcome {
    Renamed,
    Skipped,      // the target is the source itself
    SourceError,  // no regular file to move
    TargetError,  // the target may not be replaced
    CopyInstead,  // another file system, or a rename would not give a copy's result
};

// Moves a file within one file system by renaming it: over an existing
// target atomically, else never replacing what appears meanwhile. size gets
// the file's size, targetDir the host directory the file now lives in.
// Read-only, set-user-ID and linked sources ask for a copy instead: a copy
// leaves a read-only source in place, drops the set-ID bits and copies what
// a link points to.
RenameOutcome RenameWithinFileSystem(const QString& source, const QString& target,
                                     std::int64_t& size, QByteArray& targetDir);

// Deletes a moved source when it is still the file that was copied; a
// read-only file stays, as DeleteFile would leave it.
bool DeleteIfUnchanged(const CopiedSource& source);

// Flushes the file system of each host directory, once per file system
// (syncfs). Per directory: whether its file system is now on disk.
std::vector<bool> FlushFileSystems(const std::vector<QByteArray>& hostDirs);

// Tests: runs after every flush of a file system, with the directory it was
// reached through. An empty function removes it.
void SetFlushHook(std::function<void(const QByteArray& hostDir)> hook);

}  // namespace platform
