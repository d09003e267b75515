#pragma once
// Kernel file operations that the one thread hands to the kernel and waits for
// by pumping: an io_uring whose completions wake the event loop through an
// eventfd, so a slow or hung device holds the operation, never the window.
//
// Where the ring cannot be had (a kernel without it, io_uring_disabled, a
// sandbox that refuses it) every operation runs as the plain call at Submit,
// with the same results.
//
// An operation that is given up (its wait timed out) is cancelled; whatever
// the kernel cannot cancel is abandoned safely: its request, with the path
// texts, the statx buffer and the caller's keepAlive (buffer, descriptor
// owner), stays alive until its completion arrives, and a descriptor an
// abandoned open brings back is closed. While such an operation is
// outstanding, the file system it waits on counts as not answering
// (DriveAnswers), so the next calls there fail at once instead of queueing
// behind it.

#include "platform/Pump.h"

#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {

enum class IoOp {
    OpenAt,
    Read,
    Write,
    Statx,
    Close,
    Fsync,
    Fdatasync,
    SyncFileRange,
    RenameAt,
    LinkAt,
    UnlinkAt,
    MkdirAt,
    FSetXattr,
    FGetXattr,
};

// One operation, in the terms of the system call of the same name.
struct IoRequest {
    IoOp op = IoOp::Statx;
    int dirFd = AT_FDCWD;  // openat, statx, renameat/linkat (old), unlinkat, mkdirat
    QByteArray path{};     // copied into the request; kept until the completion;
                           // fsetxattr, fgetxattr: the attribute's name
    int dirFd2 = AT_FDCWD;
    QByteArray path2{};      // renameat, linkat: the new name; fsetxattr: the value
    int fd = -1;             // read, write, close, fsync, fdatasync, sync_file_range, xattrs
    int flags = 0;           // open flags, statx/unlinkat/renameat/linkat flags
    std::uint32_t mode = 0;  // openat, mkdirat
    std::uint32_t mask = STATX_BASIC_STATS;
    // The host path of the file or directory the call is about, where path
    // does not name it (a descriptor, /proc/self/fd): its device is the one
    // that answers.
    QByteArray place{};
    void* buffer = nullptr;  // read, write, fgetxattr: memory that keepAlive must own
    std::uint32_t length = 0;
    std::int64_t offset = -1;  // read, write (-1: the file position); sync_file_range
    // Owned until the kernel is done with the request (the buffer, a
    // descriptor's owner), also when the request is abandoned.
    std::shared_ptr<void> keepAlive{};

    // Where the call goes: place, else path.
    const QByteArray& where() const { return place.isEmpty() ? path : place; }
};

// An abort request as the waits of one piece of work see it.
struct AbortWatch {
    const bool* requested = nullptr;  // none: never given up
    std::chrono::milliseconds grace{0};
    // When the work is given up; set once the request was seen set.
    std::optional<std::chrono::steady_clock::time_point> giveUpAt;
    // Asked when the request is first seen set, then each time the grace has
    // passed: true while the device has written since it was last asked,
    // which grants another grace. A slow device that writes is waited for;
    // only one that has stopped is given up.
    std::function<bool()> progressing{};
};

// Whether the block device of the mount that holds hostPath is still
// writing: its count of sectors written (sysfs) moved within the last
// second, the first look counting as a move. Empty where the file system
// asks a server (FUSE, network): nothing tells progress there.
std::function<bool()> DeviceWriting(const QByteArray& hostPath);

class IoOperation;
using IoTicket = std::shared_ptr<IoOperation>;

// A submitted operation.
class IoOperation {
public:
    bool done() const { return done_; }
    // The call's result: >= 0 on success (a count, a descriptor), -errno on failure.
    int result() const { return result_; }
    // What a finished statx found.
    const struct statx& stat() const { return statx_; }

private:
    friend class AsyncIo;
    IoRequest request_;
    struct statx statx_ {};
    int result_ = 0;
    bool done_ = false;
    bool abandoned_ = false;
    QByteArray driveRoot_;  // the mount an abandoned operation waits on
};

class AsyncIo {
public:
    // The process's ring, set up on first use.
    static AsyncIo& Instance();

    // True when operations go to the kernel's ring; false when they run as
    // plain calls.
    bool RingActive() const;

    // Hands the operation to the kernel. Without the ring it runs here and
    // now, and the ticket is done at once. An operation on a drive that does
    // not answer fails at once with -ETIMEDOUT, except a close, which is
    // handed on to run once the device answers.
    IoTicket Submit(IoRequest request);

    // Pumps (with input) until every ticket is done or timeout has passed
    // with none of them finishing. The ones still running then are given up
    // (cancelled, else abandoned) and read -ETIMEDOUT. True when all finished.
    bool Wait(std::span<const IoTicket> tickets, std::chrono::milliseconds timeout,
              PumpInput input = PumpInput::Handle);
    bool Wait(const IoTicket& ticket, std::chrono::milliseconds timeout,
              PumpInput input = PumpInput::Handle) {
        return Wait(std::span<const IoTicket>(&ticket, 1), timeout, input);
    }
    // Pumps (with input) until the ticket is done, however long that takes,
    // unless the abort request is set and the ticket not done by
    // abort.grace after it was first seen set (by this wait or an earlier one
    // with the same watch): it is given up then (cancelled, else abandoned)
    // and reads -ECANCELED. True when it finished.
    bool WaitUnlessAborted(const IoTicket& ticket, AbortWatch& abort,
                           PumpInput input = PumpInput::Handle);
    // Submit and Wait: the call's result.
    int Run(IoRequest request, std::chrono::milliseconds timeout,
            PumpInput input = PumpInput::Handle);
    // The calls a piece of file work makes of a device: all handed over at
    // once, then waited for, input left waiting, while the device answers
    // within kDeviceAnswerTimeout (a device that does not answer fails them
    // with -ETIMEDOUT). Their tickets, in order. Calls about names on a file
    // system that answers from memory (AnswersFromMemory) are made here and
    // now: a hop to the kernel's workers would cost more than the call.
    std::vector<IoTicket> Ask(std::vector<IoRequest> requests);
    IoTicket Ask(IoRequest request);
    // Hands the operation to the kernel now and waits for nothing: clean-up
    // whose outcome changes nothing, or work asked ahead of its use. A call
    // about names where they are answered from memory is made here and now,
    // as Ask makes it.
    IoTicket Send(IoRequest request);
    // The plain call, here and now, whatever the ring: for work that must
    // not pump (saving the queue, whose pumps could start another save).
    static IoTicket RunHere(IoRequest request);

    // Gives the operation up now: cancelled, else abandoned until it completes.
    void Abandon(const IoTicket& ticket);

    // False while an operation given up on the file system that holds
    // hostPath has not completed: that device does not answer.
    bool DriveAnswers(const QByteArray& hostPath) const;

    // Operations given up and not yet completed.
    int Abandoned() const;

    // Tests and benchmarks: plain calls instead of the ring (true), or the
    // ring again when it can be had (false).
    static void ForceSynchronous(bool synchronous);

    ~AsyncIo();
    AsyncIo(const AsyncIo&) = delete;
    AsyncIo& operator=(const AsyncIo&) = delete;

private:
    AsyncIo();
    struct Ring;
    // One step of a wait: the kernel waited for without a pump until
    // quietUntil, then events pumped; at most `left`.
    void WaitStep(std::chrono::steady_clock::time_point quietUntil, std::chrono::milliseconds left,
                  PumpInput input);
    std::unique_ptr<Ring> ring_;
};

// The mount point that holds an absolute host path (from the mount table,
// without asking the device); empty for a relative one.
QByteArray MountPointOf(const QByteArray& hostPath);

// Whether the file system holding an absolute host path keeps its names in
// the kernel's memory or on a local block device (ext4 on a disk, tmpfs),
// rather than asking a server for each (FUSE, NFS, SMB): look-ups and
// creations there come back at once. From the mount table.
bool AnswersFromMemory(const QByteArray& hostPath);

// Whether the file system holding an absolute host path is served by FUSE
// (virtiofs aside): the kernel's syncfs asks nothing of its server, which may
// still hold the data in a cache of its own (a disk served by ntfs-3g), so
// its files and directories are flushed one by one (fsync).
bool SyncfsMissesServer(const QByteArray& hostPath);

// The device number of the file system mounted where an absolute host path
// lies, from the mount table (0 for a relative path): what a stat of its
// mount point would say, without asking the device.
std::uint64_t MountedDeviceOf(const QByteArray& hostPath);

// The mount table is read again at the next question, however recently it
// was read: for one who has just mounted or unmounted a device.
void ReadMountsAgain();

// A descriptor owned jointly by its holders and by every request made
// relative to it (keep(), as the request's keepAlive): closed when the last
// of them lets go, so a request that is given up and runs later never meets
// its number reused for another directory. -1 when it holds none.
class SharedFd {
public:
    explicit SharedFd(int fd = -1) { Reset(fd); }
    int get() const { return fd_ ? *fd_ : -1; }
    std::shared_ptr<void> keep() const { return fd_; }
    void Reset(int fd = -1);

private:
    std::shared_ptr<int> fd_;
};

// A directory held open while a run names files in it, so that the calls
// about those names start from it: on a file system that asks a server,
// each step of a whole path is one more question and answer. A hold stands
// for its path only until LetGoAll (a run lets go at each settle and at its
// end); a file begun under a hold keeps it, so its later names are given in
// the very directory it was made in.
class HeldDirectory {
public:
    // The directory dir (a host path) held, the same for every caller until
    // LetGoAll; null where names are answered from memory (a walk costs
    // nothing there) or it cannot be opened: calls then name whole paths,
    // and fail as they would.
    static std::shared_ptr<const HeldDirectory> Of(const QByteArray& dir);
    // The next Of opens its directory anew. Holds in use stay good.
    static void LetGoAll();
    // The request with those of its paths that name this directory or an
    // entry of it named from the hold, which it keeps open until the kernel
    // is done with it. Without a hold, the request as it is.
    static IoRequest Relate(IoRequest request, const std::shared_ptr<const HeldDirectory>& dir);

    HeldDirectory(QByteArray path, int fd) : path_(std::move(path)), fd_(fd) {}

private:
    QByteArray path_;
    SharedFd fd_;
};

// How long a listing or a look-up waits for a device that gives no answer
// before it counts the place as unreadable.
inline constexpr std::chrono::milliseconds kDeviceAnswerTimeout{3000};

}  // namespace platform
