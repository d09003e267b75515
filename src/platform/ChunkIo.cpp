#include "platform/ChunkIo.h"

#include "platform/AsyncIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

namespace platform {
namespace {

// Page-aligned so the kernel copies between whole pages of the cache and the buffer.
constexpr std::align_val_t BufferAlignment{4096};

// The most one system call is asked to move; Linux caps a transfer near 2 GiB.
constexpr std::int64_t MaxPerCall = 1 << 30;

// The ring takes O_NONBLOCK at its word and answers EAGAIN where the data is
// not cached yet; for the plain calls it means nothing on a regular file.
void Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

}  // namespace

std::byte* CopyBuffer::data() {
    return Share().get();
}

std::shared_ptr<std::byte> CopyBuffer::Share() {
    if (!bytes_) {
        bytes_.reset(static_cast<std::byte*>(::operator new[](std::size_t(size_), BufferAlignment)),
                     [](std::byte* p) { ::operator delete[](p, BufferAlignment); });
    }
    return bytes_;
}

// What a request to the kernel keeps alive until it completes.
struct ChunkCopier::Kept {
    std::shared_ptr<void> files;
    std::shared_ptr<std::byte> bytes;
};

ChunkCopier::ChunkCopier(ChunkFiles files, CopyBuffer& buffer)
    : files_(std::move(files)),
      abort_{files_.abortRequested, AbortGrace, std::nullopt, DeviceWriting(files_.toHost)},
      buffer_(buffer),
      kernelCopy_(MountPointOf(files_.fromHost) == MountPointOf(files_.toHost)) {
    if (!kernelCopy_ && AsyncIo::Instance().RingActive()) {
        Blocking(files_.from);
        Blocking(files_.to);
    }
}

Result<std::int64_t> ChunkCopier::Copy(std::int64_t n) {
    std::int64_t copied = 0;
    while (kernelCopy_ && copied < n) {
        const ssize_t got = ::copy_file_range(files_.from, nullptr, files_.to, nullptr,
                                              std::size_t(std::min(n - copied, MaxPerCall)), 0);
        if (got > 0) {
            copied += got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            // Not supported between these two files, a failure, or 0 (the
            // source ended, or a file system whose sizes reads do not give):
            // reads and writes say which, and where a failure lies.
            kernelCopy_ = false;
            if (AsyncIo::Instance().RingActive()) {
                Blocking(files_.from);
                Blocking(files_.to);
            }
        }
    }
    if (copied >= n) return copied;
    // Read and written at offsets of our own, from the files' positions,
    // which are left after what was copied.
    std::int64_t in = ::lseek(files_.from, 0, SEEK_CUR);
    std::int64_t out = ::lseek(files_.to, 0, SEEK_CUR);
    if (in < 0) return Errno(Step::Read);
    if (out < 0) return Errno(Step::Write);
    const std::int64_t start = copied;
    while (copied < n) {
        std::byte* bytes = buffer_.data();
        const Result<int> got = Await(IoOp::Read, files_.fromHost, files_.from,
                                      std::min(n - copied, buffer_.size()), Step::Read, bytes, in);
        if (!got) return got.error();
        if (*got == 0) break;
        in += *got;
        for (int put = 0; put < *got;) {
            const Result<int> wrote = Await(IoOp::Write, files_.toHost, files_.to, *got - put,
                                            Step::Write, bytes + put, out);
            if (!wrote) return wrote.error();
            if (*wrote == 0) return OsError{ENOSPC, Step::Write};
            put += *wrote;
            out += *wrote;
            copied += *wrote;
        }
    }
    if (copied > start && (::lseek(files_.from, in, SEEK_SET) != in)) return Errno(Step::Read);
    if (copied > start && (::lseek(files_.to, out, SEEK_SET) != out)) return Errno(Step::Write);
    return copied;
}

Result<void> ChunkCopier::WriteBehind(std::int64_t at, std::int64_t n, std::int64_t behind) {
    std::vector<IoTicket> tickets;
    const auto add = [&](std::int64_t from, unsigned flags) {
        IoRequest r;
        r.op = IoOp::SyncFileRange;
        r.path = files_.toHost;
        r.fd = files_.to;
        r.offset = from;
        r.length = std::uint32_t(n);
        r.flags = int(flags);
        r.keepAlive = files_.owner;
        tickets.push_back(AsyncIo::Instance().Submit(std::move(r)));
    };
    add(at, SYNC_FILE_RANGE_WRITE);
    if (at >= behind) {
        add(at - behind,
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
    AsyncIo& io = AsyncIo::Instance();
    for (const IoTicket& t : tickets) {
        if (!io.WaitUnlessAborted(t, abort_)) {
            for (const IoTicket& other : tickets)
                io.Abandon(other);
            return OsError{ECANCELED, Step::Write};
        }
    }
    return {};
}

Result<bool> ChunkCopier::Flush() {
    IoRequest r;
    r.op = IoOp::Fdatasync;
    r.path = files_.toHost;
    r.fd = files_.to;
    r.keepAlive = files_.owner;
    AsyncIo& io = AsyncIo::Instance();
    const IoTicket t = io.Submit(std::move(r));
    if (!io.WaitUnlessAborted(t, abort_)) {
        io.Abandon(t);
        return OsError{ECANCELED, Step::Write};
    }
    return t->result() == 0;
}

Result<int> ChunkCopier::Await(IoOp op, const QByteArray& host, int fd, std::int64_t n, Step step,
                               std::byte* bytes, std::int64_t offset) {
    AsyncIo& io = AsyncIo::Instance();
    if (!kept_) kept_ = std::make_shared<Kept>(Kept{files_.owner, buffer_.Share()});
    for (;;) {
        IoRequest r;
        r.op = op;
        r.path = host;
        r.fd = fd;
        r.buffer = bytes;
        r.length = std::uint32_t(n);
        r.offset = offset;
        r.keepAlive = kept_;
        const IoTicket ticket = io.Submit(std::move(r));
        if (!io.WaitUnlessAborted(ticket, abort_)) {
            // The kernel may still write into the buffer or from it: it is its now.
            buffer_.Disown();
            kept_.reset();
            return OsError{ECANCELED, step};
        }
        if (ticket->result() == -EINTR) continue;
        if (ticket->result() < 0) return OsError{-ticket->result(), step};
        return ticket->result();
    }
}

}  // namespace platform
