#include "queue/Transfer.h"

#include "platform/ReplacementFile.h"

#include <QHash>
#include <QSet>

#include <unistd.h>

#include <algorithm>
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
    };

    // Kept for the engine's life: no file pays for allocating it.
    platform::CopyBuffer buffer{CopyChunkSize};
    std::vector<Finished> finished;
    std::int64_t moves = 0;  // finished files with a source to delete
    Clock::time_point firstFinished;
    // Every directory written since the last settle, each once.
    std::vector<QByteArray> writtenDirs;
    QSet<QByteArray> written;
    QSet<QByteArray> unnamed;  // the names the finished files will get
    SameFileSystemMove sameFileSystemMove = SameFileSystemMove::Rename;

    void Wrote(const QByteArray& dir) {
        if (dir.isEmpty() || written.contains(dir)) return;
        written.insert(dir);
        writtenDirs.push_back(dir);
    }
    void Finish(Finished file) {
        if (finished.empty()) firstFinished = Clock::now();
        if (file.source) ++moves;
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
    platform::CopiedFile copied;
    const CopyResult result = CopyInChunks(
        progress, state_->buffer,
        {*paths.sourceHost, paths.targetHost.value_or(QByteArray()), 0, false, sourceDir, {}},
        copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    if (result == CopyResult::Complete)
        state_->Finish({ticket, copied.target, std::nullopt, copied.targetDir, copied.unnamed});
    return result;
}

CopyResult TransferEngine::Move(CopyProgress& progress, const FilePaths& paths,
                                const std::optional<platform::DirectoryId>& sourceDir,
                                std::uint64_t ticket) {
    if (const std::optional<CopyResult> refused = BeginFile(progress, paths)) return *refused;
    if (state_->sameFileSystemMove == SameFileSystemMove::Rename) {
        if (!paths.targetHost) return CopyResult::TargetError;
        const platform::Result<std::optional<platform::Renamed>> renamed =
            platform::RenameWithinFileSystem(*paths.sourceHost, *paths.targetHost, sourceDir);
        if (!renamed) return ResultOf(renamed.error());
        if (*renamed) {
            // Atomic: at every moment the file is under one of its names.
            progress.counters.CurrentFileDone = (*renamed)->size;
            progress.counters.RunBytes += (*renamed)->size;
            state_->Wrote((*renamed)->targetDir);
            state_->Finish({ticket, std::nullopt, std::nullopt, (*renamed)->targetDir, nullptr});
            return CopyResult::Complete;
        }
    }

    platform::CopiedFile copied;
    const CopyResult result = CopyInChunks(
        progress, state_->buffer,
        {*paths.sourceHost, paths.targetHost.value_or(QByteArray()), 0, true, sourceDir, {}},
        copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    // The source goes only once the target is on disk and the row durably done.
    if (result == CopyResult::Complete)
        state_->Finish({ticket, copied.target, copied.source, copied.targetDir, copied.unnamed});
    return result;
}

void TransferEngine::SettleIfDue(SettleLog* log) {
    if (state_->finished.empty()) return;
    if (state_->finished.size() >= SettleEveryFiles ||
        Clock::now() - state_->firstFinished >= SettleEvery) {
        SettleAll(log);
    }
}

void TransferEngine::SettleAll(SettleLog* log) {
    // Taken out first: whatever a later call adds belongs to the next settle.
    const std::vector<State::Finished> batch = std::exchange(state_->finished, {});
    state_->moves = 0;
    const std::vector<QByteArray> dirs = std::exchange(state_->writtenDirs, {});
    state_->written.clear();
    state_->unnamed.clear();
    if (dirs.empty() && batch.empty()) return;

    // 1. The targets' data reaches the disk.
    const std::vector<bool> flushed = platform::FlushFileSystems(dirs);
    QHash<QByteArray, bool> onDisk;
    for (std::size_t i = 0; i < dirs.size(); ++i)
        onDisk.insert(dirs[i], flushed[i]);
    // 2. Only then do new files get their names, which reach the disk in
    // turn: a power cut never leaves a name on data the disk does not hold.
    std::vector<CopyResult> outcomes(batch.size(), CopyResult::Complete);
    std::vector<QByteArray> namedDirs;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const State::Finished& f = batch[i];
        if (!onDisk.value(f.targetDir, false)) {
            // Data the disk may not hold must not pass for the file.
            outcomes[i] = CopyResult::TargetError;
            if (f.unnamed) {
                f.unnamed->Discard();
            } else if (f.target && platform::StillWritten(*f.target)) {
                ::unlink(f.target->host.constData());
            }
        } else if (f.unnamed) {
            if (!f.unnamed->Commit()) {
                outcomes[i] = CopyResult::TargetError;
            } else if (std::find(namedDirs.begin(), namedDirs.end(), f.targetDir) ==
                       namedDirs.end()) {
                namedDirs.push_back(f.targetDir);
            }
        }
    }
    const std::vector<bool> namesFlushed = platform::FlushFileSystems(namedDirs);
    for (std::size_t i = 0; i < namedDirs.size(); ++i)
        onDisk.insert(namedDirs[i], namesFlushed[i]);
    // 3. A finished file is done only when its target is on disk and still
    // the file written, and a moved source still the file copied.
    std::vector<const platform::CopiedSource*> deletions;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const State::Finished& f = batch[i];
        CopyResult& outcome = outcomes[i];
        // Whole, but with its name perhaps not on disk, the row stays.
        if (outcome == CopyResult::Complete && (!onDisk.value(f.targetDir, false) ||
                                                (f.target && !platform::StillWritten(*f.target)))) {
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
}

bool TransferEngine::Awaits(const FilePaths& paths) const {
    return (paths.targetHost && state_->unnamed.contains(*paths.targetHost)) ||
           (paths.sourceHost && state_->unnamed.contains(*paths.sourceHost));
}

std::int64_t TransferEngine::PendingFiles() const {
    return std::int64_t(state_->finished.size());
}

std::int64_t TransferEngine::PendingDeletions() const {
    return state_->moves;
}

void TransferEngine::SetSameFileSystemMove(SameFileSystemMove how) {
    state_->sameFileSystemMove = how;
}

}  // namespace queue
