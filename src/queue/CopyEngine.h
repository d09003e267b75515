#pragma once
// One queued file copied: what the copy reads and advances while it runs, the
// result a row is marked with, and the call itself. The file work of a whole
// run, moves and their deferred deletions included, is TransferEngine
// (Transfer.h), built on this.

#include "platform/FileCopy.h"
#include "queue/RunState.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace queue {

inline constexpr long long CopyChunkSize = 1'000'001;

enum class CopyResult { Complete, Aborted, Skipped, SourceError, TargetError };

// The status word a result is written into the table as.
const QString& StatusWord(CopyResult result);

// The result an error of the file work stands for: the source's side, the
// target's, or Skipped when the target is the source under another name.
CopyResult ResultOf(const platform::OsError& error);

// What a copy reads and advances while it runs.
struct CopyProgress {
    TRunCounters& counters;  // CurrentFileDone and RunBytes grow per chunk
    bool& abortRequested;    // cleared when a copy begins, read after every chunk pump
};

// Where one file goes: the drive-letter texts, compared as the user reads
// them, and the host paths they were resolved to once (nullopt: no drive
// holds it).
struct FilePaths {
    QString source;
    QString target;
    std::optional<QByteArray> sourceHost;
    std::optional<QByteArray> targetHost;
};

FilePaths ResolvePaths(const QString& source, const QString& target);

// Begins a file's turn: clears the abort request and the current file's
// count. Skipped when the target is the source's own text, SourceError when
// no drive holds the source; nullopt when the file work may begin.
std::optional<CopyResult> BeginFile(CopyProgress& progress, const FilePaths& paths);

// Copies one file in chunks of CopyChunkSize, pumping events after each and
// reading the abort request after the pump: an Abort during the last chunk
// still counts. An aborted copy keeps its part under the target's name; one
// whose chunk in flight the device did not complete within AbortGrace of the
// request is given up and keeps nothing (ChunkIo.h). An
// existing target is replaced only once the copy is whole; a failed copy
// leaves it as it was. copied tells what the run must flush and, for a
// move, delete later.
CopyResult CopyInChunks(CopyProgress& progress, platform::CopyBuffer& buffer,
                        platform::FileCopyRequest request, platform::CopiedFile& copied);

}  // namespace queue
