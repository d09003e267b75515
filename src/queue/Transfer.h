#pragma once
// The file work of one queue run: copies, moves, and the settling of the
// files finished: their rows leave the queue once their targets are on disk,
// and moved sources are deleted once the queue durably forgot their rows.
//
// Without paying a flush per file: a move within one file system is a
// rename; a move across file systems copies. Finished files gather, and a
// settle (at most a second or 256 files apart) flushes the target file
// systems (syncfs), names the new files, flushes their names, reports each file, has the queue
// record the outcome durably, and only then deletes the moved sources. A crash at any moment leaves
// a moved file at one place at least, no row gone whose target is not on disk, and no row back for
// a file it already moved.

#include "platform/FileCopy.h"
#include "queue/CopyEngine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace queue {

// Where a settle reports each finished file, and what makes those reports
// durable (the queue's journal).
class SettleLog {
public:
    virtual ~SettleLog() = default;
    // The file of the row with this ticket: Complete (its target is on disk
    // and still the file written), TargetError (the target's file system
    // failed its flush, or another program removed or replaced the target
    // since) or SourceError (a moved source changed since its copy). Only
    // Complete lets a moved source go.
    virtual void Settled(std::uint64_t ticket, CopyResult outcome) = 0;
    // Makes what Settled reported durable; false when it could not (the moved
    // sources then stay, at both places).
    virtual bool Record() = 0;
};

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
    // directory, or the row is a SourceError and nothing is touched. A
    // Complete file waits, under its row's ticket, for the next settle.
    CopyResult Copy(CopyProgress& progress, const FilePaths& paths,
                    const std::optional<platform::DirectoryId>& sourceDir = std::nullopt,
                    std::uint64_t ticket = 0);
    // A "Move" row. Complete means the target is complete and the source is
    // gone (a rename) or goes at the settle that finds the row done. With
    // sourceDir, the source is taken, and later deleted, only from there.
    CopyResult Move(CopyProgress& progress, const FilePaths& paths,
                    const std::optional<platform::DirectoryId>& sourceDir = std::nullopt,
                    std::uint64_t ticket = 0);

    // Settles when enough time or files have gathered. The new files it
    // names are reported at the next settle, whose flush takes their names
    // to the disk: a run pays one flush a settle.
    void SettleIfDue(SettleLog* log = nullptr);
    // Flushes every file system written since the last settle (one syncfs
    // each); finds each finished file's target still the file written and a
    // moved source still the file copied; reports each to log; has log record
    // them; then deletes the moved sources reported Complete. Before a
    // "RemoveDir" row, at Stop, Abort, the end of a run and at close.
    void SettleAll(SettleLog* log = nullptr);

    // Whether a finished file waits to be named at either of these paths: a
    // row that reads or writes it must wait for the settle that names it.
    bool Awaits(const FilePaths& paths) const;

    // The row after the one about to run: its target's look-up and new file
    // are begun on the device now (platform::TargetAhead), for a copy or a
    // move between file systems that will not resume a large file. Let go
    // when the next copy is for another target, and at EndRun.
    void PrepareNext(const FilePaths& paths, bool move, std::int64_t size);
    // Whether the new file begun ahead for this row's target was made: its
    // directory is there.
    bool TargetDirectoryMade(const FilePaths& paths);
    // Lets go of what was begun ahead.
    void EndRun();

    // Finished files waiting for a settle, and the moved sources among them.
    std::int64_t PendingFiles() const;
    std::int64_t PendingDeletions() const;

    void SetSameFileSystemMove(SameFileSystemMove how);

    // A settle is due once this many finished files wait, or the oldest has
    // waited a second.
    static constexpr std::size_t SettleEveryFiles = 256;

private:
    // Names::AtNextFlush: the names given now are flushed (and their rows
    // reported) at the next settle, with its data; Now: by a second flush.
    enum class Names { AtNextFlush, Now };
    // The copy of a "Copy" row, or of a "Move" row that cannot be a rename;
    // a Complete file waits for the next settle.
    CopyResult CopyAndRecord(CopyProgress& progress, const FilePaths& paths,
                             const std::optional<platform::DirectoryId>& sourceDir,
                             std::uint64_t ticket, bool move);
    void Settle(SettleLog* log, Names names);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace queue
