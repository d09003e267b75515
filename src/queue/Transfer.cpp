#include "queue/Transfer.h"

#include "platform/FileSystem.h"
#include "queue/CopyEngine.h"
#include "queue/Vocabulary.h"

namespace queue {

// First cut: moves copy, then delete the source at once. The deferred,
// flushed deletion replaces this.
struct TransferEngine::State {};

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
    // Bridge over the global-state copy until the engine takes its state as arguments.
    RunCounters = progress.counters;
    AbortRequested = progress.abortRequested;
    const QString status = CopyOneFile(source, target);
    progress.counters.CurrentFileDone = RunCounters.CurrentFileDone;
    progress.counters.RunBytes = RunCounters.RunBytes;
    progress.abortRequested = AbortRequested;
    if (status == StatusComplete) return CopyResult::Complete;
    if (status == StatusAborted) return CopyResult::Aborted;
    if (status == StatusSkipped) return CopyResult::Skipped;
    if (status == StatusSourceError) return CopyResult::SourceError;
    return CopyResult::TargetError;
}

TransferEngine::TransferEngine() : state_(std::make_unique<State>()) {}
TransferEngine::~TransferEngine() = default;

CopyResult TransferEngine::Copy(CopyProgress& progress, const QString& source,
                                const QString& target) {
    return CopyOneFile(progress, source, target);
}

CopyResult TransferEngine::Move(CopyProgress& progress, const QString& source,
                                const QString& target) {
    const CopyResult result = CopyOneFile(progress, source, target);
    if (result == CopyResult::Complete) platform::DeleteFile(source);
    return result;
}

void TransferEngine::SettleIfDue() {}
void TransferEngine::SettleAll() {}
std::int64_t TransferEngine::PendingDeletions() const { return 0; }

}  // namespace queue
