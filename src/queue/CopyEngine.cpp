#include "queue/CopyEngine.h"

#include "platform/Pump.h"
#include "queue/Vocabulary.h"

#include <cerrno>

namespace queue {

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

CopyResult ResultOf(const platform::OsError& error) {
    switch (error.step) {
        case platform::Step::SameFile:
            return CopyResult::Skipped;
        case platform::Step::Open:
        case platform::Step::Read:
        case platform::Step::SourceChanged:
            return CopyResult::SourceError;
        default:
            return CopyResult::TargetError;
    }
}

FilePaths ResolvePaths(const QString& source, const QString& target) {
    FilePaths paths{source, target, std::nullopt, std::nullopt};
    if (platform::Result<QByteArray> host = platform::HostPath(source)) paths.sourceHost = *host;
    if (platform::Result<QByteArray> host = platform::HostPath(target)) paths.targetHost = *host;
    return paths;
}

std::optional<CopyResult> BeginFile(CopyProgress& progress, const FilePaths& paths) {
    progress.abortRequested = false;
    progress.counters.CurrentFileDone = 0;
    if (paths.source == paths.target) return CopyResult::Skipped;
    if (!paths.sourceHost) return CopyResult::SourceError;
    return std::nullopt;
}

CopyResult CopyInChunks(CopyProgress& progress, platform::CopyBuffer& buffer,
                        platform::FileCopyRequest request, platform::CopiedFile& copied) {
    request.chunkSize = CopyChunkSize;
    // The progress of a resumed file starts at the part already there; the
    // speed counts only what this run copies.
    request.resumed = [&progress](std::int64_t offset) {
        progress.counters.CurrentFileDone = offset;
    };
    request.abortRequested = &progress.abortRequested;
    const auto afterChunk = [&progress](std::int64_t bytes) {
        progress.counters.CurrentFileDone += bytes;
        progress.counters.RunBytes += bytes;
        platform::PumpMessages();
        return !progress.abortRequested;
    };
    platform::Result<platform::CopiedFile> result = platform::CopyFile(request, buffer, afterChunk);
    // A chunk given up on a device that did not answer the abort: the row
    // ends as any aborted one, and the run with it.
    if (!result && result.error().code == ECANCELED && progress.abortRequested)
        return CopyResult::Aborted;
    if (!result) return ResultOf(result.error());
    copied = std::move(*result);
    return copied.stopped ? CopyResult::Aborted : CopyResult::Complete;
}

}  // namespace queue
