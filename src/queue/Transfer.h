#pragma once
// The file work of one queue run: copies, moves, and the deletion of moved
// sources once their targets are on disk.
//
// A moved file must exist on disk before its source goes, without paying a
// flush per file: a move within one file system is a rename; a move across
// file systems copies, and the source's deletion waits until the target's
// file system has been flushed (syncfs, batched). A crash in between leaves
// the file at both places, never at none.

#include "platform/FileCopy.h"
#include "queue/CopyEngine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace queue {

// How a "Move" within one file system is done: a rename, or (tests,
// benchmarks) the copy and deferred deletion used across file systems.
enum class SameFileSystemMove { Rename, Copy };

class TransferEngine {
public:
    TransferEngine();
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // A "Copy" row. With sourceDir, the source must still lie in that
    // directory, or the row is a SourceError and nothing is touched.
    CopyResult Copy(CopyProgress& progress, const FilePaths& paths,
                    const std::optional<platform::DirectoryId>& sourceDir = std::nullopt);
    // A "Move" row. Complete means the target is complete and the source is
    // gone or scheduled to go at the next settle; the row can be dropped.
    // With sourceDir, the source is taken, and later deleted, only from there.
    CopyResult Move(CopyProgress& progress, const FilePaths& paths,
                    const std::optional<platform::DirectoryId>& sourceDir = std::nullopt);

    // Settles the deferred deletions when enough time or files have gathered.
    void SettleIfDue();
    // Flushes every file system written since the last settle (one syncfs
    // each), then deletes the deferred sources that are still the files that
    // were copied. Before a "RemoveDir" row, at Stop, Abort, the end of a run
    // and at close.
    void SettleAll();

    // Deferred deletions still waiting.
    std::int64_t PendingDeletions() const;

    void SetSameFileSystemMove(SameFileSystemMove how);

    // A settle is due once this many moved sources wait, or the oldest has
    // waited a second.
    static constexpr std::size_t SettleEveryFiles = 256;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace queue
