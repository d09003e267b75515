#pragma once
// The data of one file's copy, a chunk at a time. Where source and target
// lie on one file system the kernel copies (copy_file_range, which may clone
// there); elsewhere, and wherever the kernel declines, the chunk is read into
// a buffer and written out. With the kernel's ring those reads and writes,
// and the write-behind's flushes, are handed to the ring and waited for by
// pumping: a slow device holds the chunk, never the window. Without it they
// are the plain calls.
//
// A chunk that has not completed `AbortGrace` after the abort request was
// seen set, on a device that is not writing (DeviceWriting: a local block
// device that wrote within the last second goes on being waited for, a
// grace at a time), is given up: cancelled, else abandoned to the kernel with the
// buffer and the files it uses, which are let go (closed, an unfinished
// target removed) only when the kernel is done with it. The copy then ends
// at once with ECANCELED; the device counts as not answering meanwhile.

#include "platform/AsyncIo.h"
#include "platform/Result.h"

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// A page-aligned buffer for copies that cannot be left to the kernel,
// allocated at its first use and kept for every later copy. A chunk given up
// keeps the memory it was using; the buffer then allocates anew.
class CopyBuffer {
public:
    explicit CopyBuffer(std::int64_t size) : size_(size) {}
    std::byte* data();
    std::int64_t size() const { return size_; }
    // The memory, held for as long as a request to the kernel may use it.
    std::shared_ptr<std::byte> Share();
    // Leaves the memory to whoever shares it; the next use allocates anew.
    void Disown() { bytes_.reset(); }

private:
    std::int64_t size_;
    std::shared_ptr<std::byte> bytes_;
};

// The run's end after it takes a few milliseconds more: the queue reads
// Stopped within 200 ms of the press.
inline constexpr std::chrono::milliseconds AbortGrace{190};

// The two open files of a copy.
struct ChunkFiles {
    int from = -1;
    int to = -1;
    QByteArray fromHost;  // the paths they were opened at: a device given up on
    QByteArray toHost;    // is not asked again until it answers
    // Owns both descriptors: kept by a chunk given up until the kernel lets go.
    std::shared_ptr<void> owner;
    // Read while a chunk is waited for; set: the chunk is given up after AbortGrace.
    const bool* abortRequested = nullptr;
};

class ChunkCopier {
public:
    ChunkCopier(ChunkFiles files, CopyBuffer& buffer);

    // Copies n bytes from the position of `from` to that of `to`: the count
    // copied, less than n only where the source ended. Errors: Step::Read or
    // Step::Write; ECANCELED when the chunk was given up.
    Result<std::int64_t> Copy(std::int64_t n);

    // The chunk [at, at + n) just written starts on its way to the disk, and
    // the one `behind` bytes before it is waited for, so a large file never
    // runs far ahead of its disk. Advice: a failure shows at the flush.
    // ECANCELED when given up.
    Result<void> WriteBehind(std::int64_t at, std::int64_t n, std::int64_t behind);

    // What was written so far made durable (fdatasync), waited for like a
    // chunk: false when the device refused; ECANCELED when given up.
    Result<bool> Flush();

private:
    struct Kept;
    // A read or write through the ring (or the plain call), waited for by
    // pumping, at an explicit offset: where the ring takes "the
    // file position" a short write near a full disk was seen to leave the
    // file shorter than the counts said.
    Result<int> Await(IoOp op, const QByteArray& host, int fd, std::int64_t n, Step step,
                      std::byte* bytes, std::int64_t offset);

    ChunkFiles files_;
    AbortWatch abort_;
    CopyBuffer& buffer_;
    bool kernelCopy_;
    std::shared_ptr<Kept> kept_;
};

}  // namespace platform
