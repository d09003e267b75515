#include "queue/Transfer.h"

#include "platform/FileCopy.h"
#include "queue/CopyEngine.h"
#include "queue/Vocabulary.h"

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

const QString& StatusWord(CopyResult result) {
    switch (result) {
        case CopyResult::Complete:
            return StatusComplete;
        case CopyResult::Aborted:
            return StatusAborted;
        case CopyResult::Skipped:
            return StatusSkipped;
        case CopyResult::SourceError:
            return StatusSourceError;
        case CopyResult::TargetError:
            break;
    }
    return StatusTargetError;
}

CopyResult CopyOneFile(CopyProgress& progress, const QString& source, const QString& target) {
    platform::CopyBuffer buffer(CopyChunkSize);
    CopiedFile copied;
    return CopyInChunks(progress, buffer, source, target, SourceCheck::None, copied);
}

TransferEngine::TransferEngine() : state_(std::make_unique<State>()) {}
TransferEngine::~TransferEngine() = default;

CopyResult TransferEngine::Copy(CopyProgress& progress, const QString& source,
                                const QString& target, const platform::DirectoryId* sourceDir) {
    if (sourceDir && !platform::InDirectory(source, *sourceDir)) return CopyResult::SourceError;
    CopiedFile copied;
    const CopyResult result =
        CopyInChunks(progress, state_->buffer, source, target, SourceCheck::None, copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    return result;
}

CopyResult TransferEngine::Move(CopyProgress& progress, const QString& source,
                                const QString& target, const platform::DirectoryId* sourceDir) {
    if (state_->sameFileSystemMove == SameFileSystemMove::Rename) {
        progress.abortRequested = false;
        progress.counters.CurrentFileDone = 0;
        if (source == target) return CopyResult::Skipped;
        std::int64_t size = 0;
        QByteArray dir;
        switch (platform::RenameWithinFileSystem(source, target, size, dir, sourceDir)) {
            case platform::RenameOutcome::Renamed:
                // Atomic: at every moment the file is under one of its names.
                progress.counters.CurrentFileDone = size;
                progress.counters.RunBytes += size;
                state_->Wrote(dir);
                return CopyResult::Complete;
            case platform::RenameOutcome::Skipped:
                return CopyResult::Skipped;
            case platform::RenameOutcome::SourceError:
                return CopyResult::SourceError;
            case platform::RenameOutcome::TargetError:
                return CopyResult::TargetError;
            case platform::RenameOutcome::CopyInstead:
                break;
        }
    } else if (sourceDir && !platform::InDirectory(source, *sourceDir)) {
        return CopyResult::SourceError;
    }

    CopiedFile copied;
    const CopyResult result = CopyInChunks(progress, state_->buffer, source, target,
                                           SourceCheck::UnchangedToTheEnd, copied);
    if (result == CopyResult::Complete || result == CopyResult::Aborted)
        state_->Wrote(copied.targetDir);
    if (result == CopyResult::Complete) {
        // The source goes only once the target's file system has been flushed.
        if (state_->deferred.empty()) state_->firstDeferred = Clock::now();
        if (sourceDir) copied.source.dir = *sourceDir;
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
