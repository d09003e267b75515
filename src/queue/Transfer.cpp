#include "queue/Transfer.h"

#include <QHash>
#include <QSet>

#include <chrono>
#include <utility>
#include <vector>

namespace queue {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto SettleEvery = std::chrono::seconds(1);
}  // namespace

struct TransferEngine::State {
    struct Deferred {
        platform::CopiedSource source;
        QByteArray targetDir;
    };

    // Kept for the engine's life: no file pays for allocating it.
    platform::CopyBuffer buffer{CopyChunkSize};
    std::vector<Deferred> deferred;
    Clock::time_point firstDeferred;
    // Every directory written since the last settle, each once.
    std::vector<QByteArray> writtenDirs;
    QSet<QByteArray> written;
    SameFileSystemMove sameFileSystemMove = SameFileSystemMove::Rename;

    void Wrote(const QByteArray& dir) {
        if (dir.isEmpty() || written.contains(dir)) return;
        written.insert(dir);
        writtenDirs.push_back(dir);
    }
};

TransferEngine::TransferEngine() : state_(std::make_unique<State>()) {}
TransferEngine::~TransferEngine() = default;

CopyResult TransferEngine::Copy(CopyProgress& progress, const FilePaths& paths,
                                const std::optional<platform::DirectoryId>& sourceDir) {
    if (const std::optional<CopyResult> refused = BeginFile(progress, paths)) return *refused;
    platform::CopiedFile copied;
    const CopyResult result = CopyInChunks(
        progress, state_->buffer,
        {*paths.sourceHost, paths.targetHost.value_or(QByteArray()), 0, false, sourceDir}, copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    return result;
}

CopyResult TransferEngine::Move(CopyProgress& progress, const FilePaths& paths,
                                const std::optional<platform::DirectoryId>& sourceDir) {
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
            return CopyResult::Complete;
        }
    }

    platform::CopiedFile copied;
    const CopyResult result = CopyInChunks(
        progress, state_->buffer,
        {*paths.sourceHost, paths.targetHost.value_or(QByteArray()), 0, true, sourceDir}, copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    if (result == CopyResult::Complete) {
        // The source goes only once the target's file system has been flushed.
        if (state_->deferred.empty()) state_->firstDeferred = Clock::now();
        state_->deferred.push_back({copied.source, copied.targetDir});
    }
    return result;
}

void TransferEngine::SettleIfDue() {
    if (state_->deferred.empty()) return;
    if (state_->deferred.size() >= SettleEveryFiles ||
        Clock::now() - state_->firstDeferred >= SettleEvery) {
        SettleAll();
    }
}

void TransferEngine::SettleAll() {
    // Taken out first: whatever a later call adds belongs to the next settle.
    const std::vector<State::Deferred> batch = std::exchange(state_->deferred, {});
    const std::vector<QByteArray> dirs = std::exchange(state_->writtenDirs, {});
    state_->written.clear();
    if (dirs.empty()) return;

    const std::vector<bool> flushed = platform::FlushFileSystems(dirs);
    QHash<QByteArray, bool> onDisk;
    for (std::size_t i = 0; i < dirs.size(); ++i)
        onDisk.insert(dirs[i], flushed[i]);
    // A source whose target could not be flushed stays: the file is then at
    // both places, never at none.
    for (const State::Deferred& d : batch) {
        if (onDisk.value(d.targetDir, false)) platform::DeleteIfUnchanged(d.source);
    }
}

std::int64_t TransferEngine::PendingDeletions() const {
    return std::int64_t(state_->deferred.size());
}

void TransferEngine::SetSameFileSystemMove(SameFileSystemMove how) {
    state_->sameFileSystemMove = how;
}

}  // namespace queue
