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
#include <optional>
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

// Which directory a path led to when it was looked at. A file queued from a
// walked tree keeps the identity of the directory the walk listed, so that a
// directory replaced later (by a link to somewhere else, say) is noticed
// instead of followed.
struct DirectoryId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const DirectoryId&) const = default;
};

// The directory a drive-letter path leads to now; nullopt when it leads to none.
std::optional<DirectoryId> IdentifyDirectory(const QString& dir);

// Whether the directory that holds a file (drive-letter path) is still `expected`.
bool InDirectory(const QString& file, const DirectoryId& expected);

// A copied file as it was when its copy began: where it is and what it was.
struct CopiedSource {
    QByteArray host;
    FileStamp stamp;
    // Set: the deletion happens only inside this directory, never through a
    // path that has come to lead elsewhere.
    std::optional<DirectoryId> dir = std::nullopt;
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
// a link points to. With sourceDir, the source is taken only from that
// directory, held open for the rename: anything else is a SourceError.
RenameOutcome RenameWithinFileSystem(const QString& source, const QString& target,
                                     std::int64_t& size, QByteArray& targetDir,
                                     const DirectoryId* sourceDir = nullptr);

// Deletes a moved source when it is still the file that was copied; a
// read-only file stays, as DeleteFile would leave it.
bool DeleteIfUnchanged(const CopiedSource& source);

// Flushes the file system of each host directory, once per file system
// (syncfs). Per directory: whether its file system is now on disk.
std::vector<bool> FlushFileSystems(const std::vector<QByteArray>& hostDirs);

// Starts writing a stretch of a file to its disk without waiting for it, so
// that the flush at the end of a run finds little left and holds the window
// only briefly. Advice only: a failure shows at the flush.
void StartWriteBack(int fd, std::int64_t offset, std::int64_t bytes);
// Waits until a stretch of a file started earlier is on its disk. A copy
// that waits for what it wrote a few chunks ago never runs further ahead of
// the disk than that, so no flush has much to wait for.
void AwaitWriteBack(int fd, std::int64_t offset, std::int64_t bytes);

// Tests: runs after every flush of a file system, with the directory it was
// reached through. An empty function removes it.
void SetFlushHook(std::function<void(const QByteArray& hostDir)> hook);

}  // namespace platform
