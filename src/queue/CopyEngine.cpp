#include "queue/CopyEngine.h"

#include "platform/CopyTarget.h"
#include "platform/FileSystem.h"
#include "platform/Pump.h"
#include "queue/RunState.h"
#include "queue/Vocabulary.h"

#include <cstddef>
#include <memory>
#include <new>

namespace queue {
namespace {

// Page-aligned so the kernel copies between whole pages of the cache and the
// buffer; allocated once per copy, never inside the loop.
constexpr std::align_val_t BufferAlignment{4096};

struct AlignedDelete {
    void operator()(std::byte* p) const { ::operator delete[](p, BufferAlignment); }
};
using ChunkBuffer = std::unique_ptr<std::byte[], AlignedDelete>;

ChunkBuffer NewChunkBuffer() {
    return ChunkBuffer(static_cast<std::byte*>(::operator new[](CopyChunkSize, BufferAlignment)));
}

// A target that did not receive every byte must not look like a finished copy:
// the runner deletes a moved source only after "Complete", and a user who finds
// a file of the right name would trust it. The source is never touched here, so
// dropping what we wrote loses nothing.
QString DiscardTarget(platform::FileHandle& target, const QString& path, const QString& status) {
    target.Close();
    platform::DeleteFile(path);
    return status;
}

}  // namespace

QString CopyOneFile(const QString& source, const QString& target) {
    AbortRequested = false;
    RunCounters.CurrentFileDone = 0;

    if (source == target) return StatusSkipped;

    platform::FileHandle in = platform::FileHandle::OpenRead(source);
    if (!in.valid()) return StatusSourceError;

    // Measured once through the open handle: the size on record in the queue
    // may be stale, and a path search could find another entry.
    std::int64_t remaining = in.Size();
    if (remaining < 0 || !in.SeekToStart()) return StatusSourceError;
    in.AdviseSequential();

    switch (platform::ProbeCopyTarget(in, target)) {
        case platform::CopyTargetState::Absent:
        case platform::CopyTargetState::Replaceable:
            break;
        case platform::CopyTargetState::SameFile:
            // Another spelling of the source (a link, a lower-case drive
            // letter): truncating the target would destroy the source.
            return StatusSkipped;
        case platform::CopyTargetState::ReadOnly:
        case platform::CopyTargetState::NotRegular:
        case platform::CopyTargetState::Unreachable:
            return StatusTargetError;
    }

    platform::FileHandle out = platform::FileHandle::Create(target);
    if (!out.valid()) return StatusTargetError;

    const ChunkBuffer buffer = NewChunkBuffer();
    while (remaining > 0) {
        const std::int64_t n = in.Read(buffer.get(), CopyChunkSize);
        // The file shrank or the device failed before the measured size was reached.
        if (n <= 0) return DiscardTarget(out, target, StatusSourceError);

        // A source that grew while we copied ends at the size measured above,
        // so the counters and the row's size stay in step with the target.
        const std::int64_t take = n < remaining ? n : remaining;
        if (out.Write(buffer.get(), take) != take) {
            return DiscardTarget(out, target, StatusTargetError);
        }
        remaining -= take;
        RunCounters.CurrentFileDone += take;
        RunCounters.RunBytes += take;

        platform::PumpMessages();
        // Looked at after the pump, so an Abort during the last chunk still counts.
        if (AbortRequested) break;
    }

    if (AbortRequested) {
        // The partial target stays: the row is marked for a restart, not finished.
        in.Close();
        out.Close();
        return StatusAborted;
    }

    const auto modified = in.ModificationTime();
    in.Close();
    if (modified) out.SetModificationTime(*modified);
    // A close that reports an error may mean the data never reached the disk.
    if (!out.Close()) {
        platform::DeleteFile(target);
        return StatusTargetError;
    }
    // After the close, so a read-only source gives a read-only target that we
    // did not need to write through. Best effort, like the date.
    platform::CopyPermissions(source, target);
    return StatusComplete;
}

}  // namespace queue
