#include "queue/CopyEngine.h"

#include "platform/CopyTarget.h"
#include "platform/Pump.h"

#include <algorithm>

namespace queue {

CopyResult CopyInChunks(CopyProgress& progress, platform::CopyBuffer& buffer, const QString& source,
                        const QString& target, SourceCheck check, CopiedFile& copied) {
    progress.abortRequested = false;
    progress.counters.CurrentFileDone = 0;

    if (source == target) return CopyResult::Skipped;

    // Measured once through the open handle: the size on record in the queue
    // may be stale, and a path search could find another entry.
    platform::CopySource in;
    if (!in.Open(source)) return CopyResult::SourceError;
    std::int64_t remaining = in.Copied().stamp.size;

    platform::CopyTargetFile out;
    switch (out.Open(in.file(), target)) {
        case platform::CopyTargetState::Absent:
        case platform::CopyTargetState::Replaceable:
            break;
        case platform::CopyTargetState::SameFile:
            // Another spelling of the source (a link, a lower-case drive
            // letter): writing the target would destroy the source.
            return CopyResult::Skipped;
        case platform::CopyTargetState::ReadOnly:
        case platform::CopyTargetState::NotRegular:
        case platform::CopyTargetState::Unreachable:
            return CopyResult::TargetError;
    }
    copied.targetDir = out.HostDirectory();

    // A target that did not receive every byte must not look like a finished
    // copy: a move deletes its source after "Complete", and a user who finds a
    // file of the right name would trust it. out.Discard() drops what was
    // written; an old target it was to replace stays as it was.
    platform::ChunkCopier copier;
    while (remaining > 0) {
        // A source that grew while we copied ends at the size measured above,
        // so the counters and the row's size stay in step with the target.
        const std::int64_t want = std::min<std::int64_t>(remaining, CopyChunkSize);
        const platform::ChunkResult chunk = copier.Copy(in.fd(), out.fd(), want, buffer);
        if (chunk.failure == platform::ChunkFailure::Target) {
            out.Discard();
            return CopyResult::TargetError;
        }
        // A failed read, or a file that shrank before the measured size was reached.
        if (chunk.failure == platform::ChunkFailure::Source || chunk.copied < want) {
            out.Discard();
            return CopyResult::SourceError;
        }
        // A large file goes to the disk while it is copied, never more than
        // a few chunks behind, not all at once in the flush that ends the
        // run: that flush holds the window while it waits.
        if (in.Copied().stamp.size > CopyChunkSize) {
            const std::int64_t at = progress.counters.CurrentFileDone;
            platform::StartWriteBack(out.fd(), at, want);
            if (at >= WriteBehindBytes)
                platform::AwaitWriteBack(out.fd(), at - WriteBehindBytes, want);
        }
        remaining -= want;
        progress.counters.CurrentFileDone += want;
        progress.counters.RunBytes += want;

        platform::PumpMessages();
        // Looked at after the pump, so an Abort during the last chunk still counts.
        if (progress.abortRequested) {
            // The partial data stays under the target's name: the row is
            // marked for a restart, not finished.
            in.Close();
            out.Commit();
            return CopyResult::Aborted;
        }
    }

    // Appended to, rewritten or replaced while we copied: what we have is
    // not what a move would delete.
    if (check == SourceCheck::UnchangedToTheEnd && !in.Unchanged()) {
        out.Discard();
        return CopyResult::SourceError;
    }
    // Date and permissions on the open file, after the last write; a
    // read-only source gives a read-only target all the same.
    out.CarryAttributes(in.Copied().stamp);
    in.Close();
    if (!out.Commit()) return CopyResult::TargetError;
    copied.source = in.Copied();
    return CopyResult::Complete;
}

}  // namespace queue
