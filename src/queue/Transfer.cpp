#include "queue/Transfer.h"

#include "platform/AsyncIo.h"
#include "platform/ReplacementFile.h"

#include <QHash>
#include <QSet>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace queue {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto SettleEvery = std::chrono::seconds(1);
}  // namespace

struct TransferEngine::State {
    // A file finished since the last settle.
    struct Finished {
        std::uint64_t ticket = 0;
        // The target to find unchanged; none for a rename, whose file is the source's own.
        std::optional<platform::WrittenTarget> target;
        // A move's source, deleted once its row is durably done.
        std::optional<platform::CopiedSource> source;
        QByteArray targetDir;
        // A copy's target, named once its data is on disk.
        std::shared_ptr<platform::ReplacementFile> unnamed;
        // A renamed file, whose mark goes once its row is durably done.
        QByteArray renamedTo;
    };

    // Kept for the engine's life: no file pays for allocating it.
    platform::CopyBuffer buffer{CopyChunkSize};
    std::vector<Finished> finished;
    // Named at the last settle; their names reach the disk with the next flush.
    std::vector<Finished> named;
    Clock::time_point firstFinished;
    Clock::time_point namedAt;
    // Every directory written since the last settle, each once.
    std::vector<QByteArray> writtenDirs;
    QSet<QByteArray> written;
    QSet<QByteArray> unnamed;  // the names the finished files will get
    SameFileSystemMove sameFileSystemMove = SameFileSystemMove::Rename;
    platform::TargetAhead ahead;
    // The permission bits of the last file copied: the next is likely to
    // have the same, and its file begun ahead is made with them.
    mode_t lastMode = 0644;

    void Wrote(const QByteArray& dir) {
        if (dir.isEmpty() || written.contains(dir)) return;
        written.insert(dir);
        writtenDirs.push_back(dir);
    }
    void Finish(Finished file) {
        if (finished.empty()) firstFinished = Clock::now();
        if (file.unnamed && file.target) unnamed.insert(file.target->host);
        finished.push_back(std::move(file));
    }
};

TransferEngine::TransferEngine() : state_(std::make_unique<State>()) {}
TransferEngine::~TransferEngine() = default;

CopyResult TransferEngine::Copy(CopyProgress& progress, const FilePaths& paths,
                                const std::optional<platform::DirectoryId>& sourceDir,
                                std::uint64_t ticket) {
    if (const std::optional<CopyResult> refused = BeginFile(progress, paths)) return *refused;
    return CopyAndRecord(progress, paths, sourceDir, ticket, false);
}

CopyResult TransferEngine::CopyAndRecord(CopyProgress& progress, const FilePaths& paths,
                                         const std::optional<platform::DirectoryId>& sourceDir,
                                         std::uint64_t ticket, bool move) {
    platform::CopiedFile copied;
    const CopyResult result = CopyInChunks(progress, state_->buffer,
                                           {*paths.sourceHost,
                                            paths.targetHost.value_or(QByteArray()),
                                            0,
                                            move,
                                            sourceDir,
                                            {},
                                            nullptr,
                                            &state_->ahead},
                                           copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    // A moved source goes only once the target is on disk and the row durably done.
    if (result == CopyResult::Complete) {
        state_->lastMode = copied.source.stamp.mode & 01777;
        state_->Finish({ticket,
                        copied.target,
                        move ? std::optional(copied.source) : std::nullopt,
                        copied.targetDir,
                        copied.unnamed,
                        {}});
    }
    return result;
}

CopyResult TransferEngine::Move(CopyProgress& progress, const FilePaths& paths,
                                const std::optional<platform::DirectoryId>& sourceDir,
                                std::uint64_t ticket) {
    if (const std::optional<CopyResult> refused = BeginFile(progress, paths)) return *refused;
    // Across mount points a rename always fails (EXDEV): not even tried, as
    // the try costs calls on the source's device, a round trip each on a share.
    if (state_->sameFileSystemMove == SameFileSystemMove::Rename &&
        (!paths.targetHost ||
         platform::MountPointOf(*paths.sourceHost) == platform::MountPointOf(*paths.targetHost))) {
        if (!paths.targetHost) return CopyResult::TargetError;
        platform::Result<std::optional<platform::Renamed>> renamed =
            platform::RenameWithinFileSystem(*paths.sourceHost, *paths.targetHost, sourceDir);
        if (!renamed && renamed.error().step == platform::Step::Open &&
            renamed.error().code == ENOENT) {
            // A row a crash brought back after its rename: the file is there already.
            if (std::optional<platform::Renamed> before =
                    platform::MovedBefore(*paths.sourceHost, *paths.targetHost)) {
                renamed = std::move(before);
            }
        }
        // A rename the device did not answer may still happen: the row is
        // offered again, and its restart finds the file moved or renames it.
        if (!renamed && renamed.error().step == platform::Step::Rename &&
            renamed.error().code == ETIMEDOUT) {
            return CopyResult::Aborted;
        }
        if (!renamed) return ResultOf(renamed.error());
        if (*renamed) {
            // Atomic: at every moment the file is under one of its names.
            progress.counters.CurrentFileDone = (*renamed)->size;
            progress.counters.RunBytes += (*renamed)->size;
            state_->Wrote((*renamed)->targetDir);
            state_->Finish({ticket, std::nullopt, std::nullopt, (*renamed)->targetDir, nullptr,
                            *paths.targetHost});
            return CopyResult::Complete;
        }
    }

    return CopyAndRecord(progress, paths, sourceDir, ticket, true);
}

void TransferEngine::SettleIfDue(SettleLog* log) {
    const Clock::time_point now = Clock::now();
    if (state_->finished.size() >= SettleEveryFiles ||
        (!state_->finished.empty() && now - state_->firstFinished >= SettleEvery) ||
        (!state_->named.empty() && now - state_->namedAt >= SettleEvery)) {
        Settle(log, Names::AtNextFlush);
    }
}

void TransferEngine::SettleAll(SettleLog* log) {
    Settle(log, Names::Now);
}

namespace {

bool StillWritten(const platform::WrittenTarget& target) {
    const platform::WrittenTarget* const one = &target;
    return platform::StillWritten(std::span(&one, 1)).front();
}

// The outcome of a finished file whose file system failed its flush. A
// rename cannot be undone: the file is under one of its two names, and its
// row is offered again (a move that finds its file moved completes).
template <class Finished>
CopyResult NotOnDisk(const Finished& f) {
    return f.renamedTo.isEmpty() ? CopyResult::TargetError : CopyResult::Aborted;
}

}  // namespace

void TransferEngine::Settle(SettleLog* log, Names names) {
    using Finished = State::Finished;
    // Names change on the devices now: what was looked up ahead is stale.
    // The directories held since the last settle are opened anew by the
    // next files: a hold stands for its path only so long.
    state_->ahead.NamesChanged();
    platform::HeldDirectory::LetGoAll();
    // Taken out first: whatever a later call adds belongs to the next settle.
    std::vector<Finished> batch = std::exchange(state_->finished, {});
    std::vector<Finished> done = std::exchange(state_->named, {});
    std::vector<QByteArray> dirs = std::exchange(state_->writtenDirs, {});
    state_->written.clear();
    state_->unnamed.clear();
    const auto addOnce = [](std::vector<QByteArray>& list, const QByteArray& dir) {
        if (std::find(list.begin(), list.end(), dir) == list.end()) list.push_back(dir);
    };
    for (const Finished& f : done)
        addOnce(dirs, f.targetDir);
    if (dirs.empty() && batch.empty() && done.empty()) return;

    // 1. One flush for the data of the files finished since the last settle
    // and the names that settle gave.
    QHash<QByteArray, bool> onDisk;
    const auto flush = [&onDisk](const std::vector<QByteArray>& list,
                                 const std::vector<platform::FileToFlush>& files) {
        const std::vector<bool> flushed = platform::FlushFileSystems(list, files);
        for (std::size_t i = 0; i < list.size(); ++i)
            onDisk.insert(list[i], flushed[i]);
    };
    std::vector<platform::FileToFlush> files;
    for (const Finished& f : batch) {
        if (f.unnamed && f.unnamed->IsOpen())
            files.push_back({f.unnamed->fd(), f.targetDir, f.target ? f.target->size : 0});
    }
    flush(dirs, files);
    // 2. Only files whose data is on disk get their names: a power cut never
    // leaves a name on data the disk does not hold. A name reaches the disk
    // with the next settle's flush, which a run pays anyway; at once when
    // everything settles now.
    std::vector<CopyResult> outcomes(done.size(), CopyResult::Complete);
    std::vector<Finished> named;
    std::vector<platform::ReplacementFile*> toName;
    for (const Finished& f : batch) {
        if (f.unnamed && onDisk.value(f.targetDir, false)) toName.push_back(f.unnamed.get());
    }
    const std::vector<platform::Result<void>> naming = platform::ReplacementFile::CommitAll(toName);
    std::size_t next = 0;
    for (Finished& f : batch) {
        CopyResult outcome = CopyResult::Complete;
        if (!onDisk.value(f.targetDir, false)) {
            // Data the disk may not hold must not pass for the file.
            outcome = NotOnDisk(f);
            if (f.unnamed) {
                f.unnamed->Discard();
            } else if (f.target && StillWritten(*f.target)) {
                ::unlink(f.target->host.constData());
            }
        } else if (f.unnamed) {
            if (naming[next++]) {
                named.push_back(std::move(f));
                continue;
            }
            outcome = CopyResult::TargetError;
        }
        done.push_back(std::move(f));
        outcomes.push_back(outcome);
    }
    if (names == Names::Now) {
        std::vector<QByteArray> namedDirs;
        for (const Finished& f : named)
            addOnce(namedDirs, f.targetDir);
        flush(namedDirs, {});
        for (Finished& f : named) {
            done.push_back(std::move(f));
            outcomes.push_back(CopyResult::Complete);
        }
    } else {
        state_->named = std::move(named);
        state_->namedAt = Clock::now();
    }

    // 3. A finished file is done only when its target, name included, is on
    // disk and still the file written, and a moved source still the file copied.
    std::vector<const platform::WrittenTarget*> targets;
    for (std::size_t i = 0; i < done.size(); ++i) {
        if (outcomes[i] == CopyResult::Complete && onDisk.value(done[i].targetDir, false) &&
            done[i].target) {
            targets.push_back(&*done[i].target);
        }
    }
    const std::vector<bool> still = platform::StillWritten(targets);
    std::vector<const platform::CopiedSource*> deletions;
    for (std::size_t i = 0, t = 0; i < done.size(); ++i) {
        const Finished& f = done[i];
        CopyResult& outcome = outcomes[i];
        if (outcome == CopyResult::Complete && !onDisk.value(f.targetDir, false)) {
            outcome = NotOnDisk(f);
        } else if (outcome == CopyResult::Complete && f.target && !still[t++]) {
            outcome = CopyResult::TargetError;
        } else if (outcome == CopyResult::Complete && f.source &&
                   !platform::SourceUnchanged(*f.source)) {
            outcome = CopyResult::SourceError;
        }
        if (log) log->Settled(f.ticket, outcome);
        if (outcome == CopyResult::Complete && f.source) deletions.push_back(&*f.source);
    }
    // 4. The queue durably forgets those rows; 5. only then do their sources
    // go. Unrecorded, they stay: the file is then at both places, never at none.
    if (log && !log->Record()) return;
    for (const platform::CopiedSource* source : deletions)
        platform::DeleteIfUnchanged(*source);
    for (std::size_t i = 0; i < done.size(); ++i) {
        if (outcomes[i] == CopyResult::Complete && !done[i].renamedTo.isEmpty())
            platform::ForgetMove(done[i].renamedTo);
    }
}

void TransferEngine::PrepareNext(const FilePaths& paths, bool move, std::int64_t size) {
    if (!paths.sourceHost || !paths.targetHost || Awaits(paths) ||
        size >= platform::ResumableSize) {
        return;
    }
    if (move && state_->sameFileSystemMove == SameFileSystemMove::Rename &&
        platform::MountPointOf(*paths.sourceHost) == platform::MountPointOf(*paths.targetHost)) {
        return;
    }
    state_->ahead.Prepare(*paths.targetHost, state_->lastMode);
}

bool TransferEngine::TargetDirectoryMade(const FilePaths& paths) {
    return paths.targetHost && state_->ahead.Made(*paths.targetHost);
}

void TransferEngine::EndRun() {
    state_->ahead.Drop();
    platform::HeldDirectory::LetGoAll();
}

bool TransferEngine::Awaits(const FilePaths& paths) const {
    return (paths.targetHost && state_->unnamed.contains(*paths.targetHost)) ||
           (paths.sourceHost && state_->unnamed.contains(*paths.sourceHost));
}

std::int64_t TransferEngine::PendingFiles() const {
    return std::int64_t(state_->finished.size() + state_->named.size());
}

std::int64_t TransferEngine::PendingDeletions() const {
    const auto moves = [](const std::vector<State::Finished>& files) {
        return std::count_if(files.begin(), files.end(),
                             [](const State::Finished& f) { return f.source.has_value(); });
    };
    return std::int64_t(moves(state_->finished) + moves(state_->named));
}

void TransferEngine::SetSameFileSystemMove(SameFileSystemMove how) {
    state_->sameFileSystemMove = how;
}

}  // namespace queue
