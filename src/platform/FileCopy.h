#pragma once
// The file-system side of copying and moving one file: the copy itself, the
// rename that moves a file within one file system, the deletion of a moved
// source that checks it is still the file that was copied, and the flush of
// the file systems written. Everything here works on host paths, resolved
// once by the caller.

#include "platform/ChunkIo.h"
#include "platform/FileSystem.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {

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

// A copied file as it was when its copy began: where it is and what it was.
struct CopiedSource {
    QByteArray host;
    FileStamp stamp;
    // Set: the deletion happens only inside this directory, never through a
    // path that has come to lead elsewhere.
    std::optional<DirectoryId> dir = std::nullopt;
};

struct FileCopyRequest {
    QByteArray source;  // host paths
    QByteArray target;
    std::int64_t chunkSize = 0;
    // A move: the source must still be the file that was opened, with the
    // size and time it had then, or the copy fails with SourceChanged.
    bool sourceMustStay = false;
    // Set: the source is taken from this directory only.
    std::optional<DirectoryId> sourceDir;
    // Told where the copy goes on from when it resumes a file cut short.
    std::function<void(std::int64_t offset)> resumed;
    // Looked at while a chunk is waited for: set, a chunk that does not
    // complete within AbortGrace is given up (ChunkIo.h).
    const bool* abortRequested = nullptr;
    // Made ready ahead: taken when it is for this target.
    class TargetAhead* ahead = nullptr;
};

// A copy's target as it was written: its name and the very file under it.
struct WrittenTarget {
    QByteArray host;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
};

// For each target, whether its name still leads to the very file that was
// written, at its size: not removed, replaced or cut short by another
// program since. Asked of the devices all at once.
std::vector<bool> StillWritten(std::span<const WrittenTarget* const> targets);

class ReplacementFile;
class IoOperation;

// From this size on a copy cut short goes on where it stopped.
inline constexpr std::int64_t ResumableSize = std::int64_t(64) << 20;

// A copy to come, made ready while another file is copied: its target is
// looked up and a new file for it begun on the device ahead, both taken by
// the copy of that very target (FileCopyRequest::ahead). On a device with
// latency per operation the next file's first answers then come while this
// one is written. Nothing shows meanwhile: the new file has no name, or a
// hidden one, and goes when not taken.
class TargetAhead {
public:
    TargetAhead();
    ~TargetAhead();
    TargetAhead(const TargetAhead&) = delete;
    TargetAhead& operator=(const TargetAhead&) = delete;

    // The target to make ready next, with the permission bits of its new
    // file: begun by the next copy once that copy has taken its own.
    void Prepare(const QByteArray& target, mode_t mode);
    // Lets what was begun go: its row went or the run ends.
    void Drop();
    // Names changed on the devices since the look-up: the copy asks again
    // (the new file stays good).
    void NamesChanged();
    // Whether the new file for target was made, so its directory is there.
    // Waits for the device's answer.
    bool Made(const QByteArray& target);

    // For the copy of target: its look-up (none when names changed since)
    // and new file (to open as New for target) when they were begun for
    // it; then what Prepare asked for next is begun, and anything else let
    // go.
    struct Taken {
        std::shared_ptr<IoOperation> look;
        std::unique_ptr<ReplacementFile> file;
    };
    Taken Take(const QByteArray& target);

private:
    QByteArray target_;
    std::shared_ptr<IoOperation> look_;
    std::unique_ptr<ReplacementFile> file_;
    bool stale_ = false;
    QByteArray nextTarget_;
    mode_t nextMode_ = 0;
};

// What a copy leaves for the settling of a move and the flush at the end of a run.
struct CopiedFile {
    CopiedSource source;
    WrittenTarget target;
    QByteArray targetDir;  // the host directory the target ends in
    bool stopped = false;  // afterChunk said stop: the part copied is under the target's name
    // The whole copy, not yet under the target's name: Commit gives it the
    // name, which the caller does once the data is on disk, so that a power
    // cut never leaves a name on a file the disk does not hold. Null where
    // the file was written in place.
    std::shared_ptr<ReplacementFile> unnamed;
};

// Copies one file, the one way the program copies: opens the source and
// measures it once through the handle; opens the target (a new file, or a
// replacement beside an existing one that takes its place only when whole);
// copies chunk by chunk (copy_file_range, read and write where the kernel
// cannot), starting each large chunk on its way to the disk; calls
// afterChunk(bytes) after each chunk, and stops when it says false; then sets
// the source's times and permission bits (never set-user-ID or set-group-ID)
// and leaves the target unnamed (CopiedFile::unnamed). A source that grew is
// copied as far as it was measured; one that shrank is a Read failure.
//
// A file of 64 MiB or more is written resumably: when the target's
// directory holds the part a crash or an Abort left of this very source
// (device, inode, size, both times), the copy goes on from its last part
// known to be on disk (request.resumed is told where).
//
// Errors: Step::SameFile when the target is the source under another name;
// Step::Open, Read and SourceChanged on the source's side; any other step is
// the target's; ECANCELED when a chunk was given up after an abort request.
// Nothing of a failed copy remains, and a target it was to replace stays as
// it was (for a chunk given up: once its device has answered).
Result<CopiedFile> CopyFile(const FileCopyRequest& request, CopyBuffer& buffer,
                            const std::function<bool(std::int64_t bytes)>& afterChunk);

struct Renamed {
    std::int64_t size = 0;
    QByteArray targetDir;
};

// Moves a file within one file system by renaming it: over an existing
// target atomically, else never replacing what appears meanwhile. nullopt:
// a rename would not do, copy instead (another file system; read-only,
// set-user-ID and linked sources, since a copy leaves a read-only source in
// place, drops the set-ID bits and copies what a link points to). With
// sourceDir, the source is taken only from that directory, held open for
// the rename. Errors as CopyFile's.
Result<std::optional<Renamed>> RenameWithinFileSystem(const QByteArray& source,
                                                      const QByteArray& target,
                                                      const std::optional<DirectoryId>& sourceDir);

// A file renamed there (RenameWithinFileSystem) carries where it came from
// until ForgetMove, once the queue has durably recorded the move. MovedBefore:
// the file a move from source left at target, when source is gone and target
// bears its mark (a move row a crash brought back); nullopt otherwise.
std::optional<Renamed> MovedBefore(const QByteArray& source, const QByteArray& target);
void ForgetMove(const QByteArray& target);

// Whether a copied source is still the file that was copied, unchanged.
bool SourceUnchanged(const CopiedSource& source);
// Deletes a moved source when it is still the file that was copied; a
// read-only file stays, as DeleteFile would leave it.
bool DeleteIfUnchanged(const CopiedSource& source);

// Flushes the file system of each host directory, once per file system
// (syncfs). Per directory: whether its file system is now on disk. Where
// syncfs does not reach the server (SyncfsMissesServer), each directory is
// flushed by itself instead, and so is each of `files` (open descriptors,
// with the host directory each lies in) there: one that fails fails its
// directory. Elsewhere the data of `files` goes out through the ring before
// syncfs where a plain syncfs would hold the thread long (a slow device).
struct FileToFlush {
    int fd = -1;
    QByteArray hostDir;
    std::int64_t bytes = 0;  // written since it was opened
};
std::vector<bool> FlushFileSystems(const std::vector<QByteArray>& hostDirs,
                                   const std::vector<FileToFlush>& files = {});

// Tests: runs after every flush of a file system, with the directory it was
// reached through; false makes the flush count as failed, as a dying disk's
// would. An empty function removes it.
void SetFlushHook(std::function<bool(const QByteArray& hostDir)> hook);

}  // namespace platform
