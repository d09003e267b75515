#pragma once
// Copies one queued file in chunks of 1,000,001 bytes, pumping events after
// each chunk. The copy entry points are in Transfer.h; this is the work
// behind them.

#include "platform/FileCopy.h"
#include "queue/Transfer.h"

#include <QByteArray>
#include <QString>

namespace queue {

inline constexpr long long CopyChunkSize = 1'000'001;
// How far the copy of a large file may run ahead of its disk.
inline constexpr long long WriteBehindBytes = 32 * CopyChunkSize;

enum class SourceCheck {
    None,
    // A move: the source must still be the file that was opened, with the
    // size and time it had then, or the copy ends "Source Error".
    UnchangedToTheEnd,
};

// What a copy leaves for the settling of a move and the flush at the end of a run.
struct CopiedFile {
    platform::CopiedSource source;  // set on Complete
    QByteArray targetDir;           // set once the target was opened
};

CopyResult CopyInChunks(CopyProgress& progress, platform::CopyBuffer& buffer, const QString& source,
                        const QString& target, SourceCheck check, CopiedFile& copied);

}  // namespace queue
