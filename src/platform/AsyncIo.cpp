#include "platform/AsyncIo.h"

#include "platform/Drives.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>
#include <liburing.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>
#include <utility>

namespace platform {

namespace {

bool g_forceSynchronous = false;
constexpr unsigned kRingEntries = 256;
constexpr std::chrono::milliseconds kQuietWait{10};
// How long the mount table is taken as it was last seen.
constexpr std::chrono::milliseconds kMountsFresh{5};

int Result(long r) {
    return r < 0 ? -errno : static_cast<int>(r);
}

// The mount table, read again whenever the kernel says it changed (an
// exceptional condition on the open table, proc(5)): mounts come and go
// under a running program. The kernel is asked at most every few
// milliseconds: every call about a file asks where it lies, and a system
// call each time made small-file runs a fifth slower.
bool g_mountsStale = false;

const std::vector<MountEntry>& Mounts() {
    static int fd = -1;
    static std::vector<MountEntry> mounts;
    static bool read = false;
    static std::chrono::steady_clock::time_point asked;
    const auto now = std::chrono::steady_clock::now();
    if (std::exchange(g_mountsStale, false)) read = false;
    if (read && now - asked < kMountsFresh) return mounts;
    asked = now;
    if (fd < 0) fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    pollfd p{fd, POLLPRI, 0};
    const bool changed = fd < 0 || (::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR)));
    if (read && !changed) return mounts;
    QByteArray text;
    if (fd >= 0) {
        char chunk[65536];
        ::lseek(fd, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
            text.append(chunk, n);
    }
    mounts = ParseMountInfo(text);
    read = fd >= 0;
    return mounts;
}

const MountEntry* MountOf(const QByteArray& host) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : Mounts()) {
        const QByteArray& point = m.mountPoint;
        const bool holds = host == point || (host.startsWith(point) &&
                                             (point.endsWith('/') || host.at(point.size()) == '/'));
        if (holds && (!best || point.size() >= best->mountPoint.size())) best = &m;
    }
    return best;
}

// Operations that move a file's data: a slow device is slow at these
// whatever its kind.
bool MovesData(IoOp op) {
    return op == IoOp::Read || op == IoOp::Write || op == IoOp::Fsync || op == IoOp::Fdatasync ||
           op == IoOp::SyncFileRange;
}

// A call about names where they are answered from memory: made here and
// now, a hop to the kernel's workers would cost more than the call.
bool AnswersAtOnce(const IoRequest& r) {
    return !MovesData(r.op) && AnswersFromMemory(r.where());
}

}  // namespace

void ReadMountsAgain() {
    g_mountsStale = true;
}

QByteArray MountPointOf(const QByteArray& host) {
    if (!host.startsWith('/')) return {};
    const MountEntry* m = MountOf(host);
    return m ? m->mountPoint : QByteArrayLiteral("/");
}

std::uint64_t MountedDeviceOf(const QByteArray& host) {
    if (!host.startsWith('/')) return 0;
    const MountEntry* m = MountOf(host);
    if (!m) return 0;
    const QList<QByteArray> parts = m->device.split(':');
    if (parts.size() != 2) return 0;
    return makedev(parts[0].toUInt(), parts[1].toUInt());
}

std::function<bool()> DeviceWriting(const QByteArray& hostPath) {
    if (!AnswersFromMemory(hostPath)) return {};
    using Clock = std::chrono::steady_clock;
    // Looked up first when an abort is seen: a copy that is not aborted pays nothing.
    return [hostPath, last = qint64(-1), movedAt = Clock::time_point()]() mutable {
        const std::uint64_t device = MountedDeviceOf(hostPath);
        QFile f(QStringLiteral("/sys/dev/block/%1:%2/stat").arg(major(device)).arg(minor(device)));
        if (major(device) == 0 || !f.open(QIODevice::ReadOnly)) return false;
        // The seventh field: sectors written. A slow device completes a
        // large write only every few hundred milliseconds: one that wrote
        // within the last second, or since the first look, counts as writing.
        const QList<QByteArray> fields = f.readAll().simplified().split(' ');
        const qint64 now = fields.size() > 6 ? fields[6].toLongLong() : -1;
        if (now < 0) return false;
        if (last < 0 || now != last) movedAt = Clock::now();
        last = now;
        return Clock::now() - movedAt < std::chrono::seconds(1);
    };
}

bool AnswersFromMemory(const QByteArray& host) {
    if (!host.startsWith('/')) return false;
    const MountEntry* m = MountOf(host);
    if (!m) return false;
    if (m->fsType == "tmpfs" || m->fsType == "ramfs") return true;
    return m->source.startsWith("/dev/") && !m->fsType.startsWith("fuse");
}

bool SyncfsMissesServer(const QByteArray& host) {
    const MountEntry* m = host.startsWith('/') ? MountOf(host) : nullptr;
    return m && (m->fsType == "fuse" || m->fsType == "fuseblk" || m->fsType.startsWith("fuse."));
}

struct AsyncIo::Ring {
    io_uring ring{};
    bool active = false;
    bool unsubmitted = false;
    int eventFd = -1;
    io_uring_probe* probe = nullptr;
    // Owned by the application object, which goes before this ring at exit.
    QPointer<QSocketNotifier> notifier;
    std::unordered_map<IoOperation*, IoTicket> inFlight;
    QHash<QByteArray, int> silentDrives;  // abandoned operations by mount point

    void Flush() {
        if (!unsubmitted) return;
        unsubmitted = false;
        io_uring_submit(&ring);
    }

    io_uring_sqe* Entry() {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring);
        if (!sqe) {
            // The submission queue is full: hand it over, which empties it.
            io_uring_submit(&ring);
            sqe = io_uring_get_sqe(&ring);
        }
        if (sqe) unsubmitted = true;
        return sqe;
    }

    void Reap() {
        io_uring_cqe* cqe = nullptr;
        while (io_uring_peek_cqe(&ring, &cqe) == 0) {
            auto* op = static_cast<IoOperation*>(io_uring_cqe_get_data(cqe));
            const int res = cqe->res;
            io_uring_cqe_seen(&ring, cqe);
            if (!op) continue;  // a cancellation's own completion
            auto it = inFlight.find(op);
            if (it == inFlight.end()) continue;
            const IoTicket keep = std::move(it->second);
            inFlight.erase(it);
            Complete(*keep, res);
        }
    }

    void Complete(IoOperation& op, int res) {
        if (!op.abandoned_) {
            op.result_ = res;
            op.done_ = true;
            return;
        }
        // Nobody waits for it any more: what it opened is closed, what it
        // held is let go, and its drive answers again.
        if (op.request_.op == IoOp::OpenAt && res >= 0) ::close(res);
        // The drive answers before what the operation held is let go: the
        // clean-up that follows may ask it.
        if (!op.driveRoot_.isEmpty()) {
            auto it = silentDrives.find(op.driveRoot_);
            if (it != silentDrives.end() && --it.value() <= 0) silentDrives.erase(it);
        }
        op.request_.keepAlive.reset();
    }

    bool Supports(IoOp op) const {
        static const int codes[] = {
            IORING_OP_OPENAT,    IORING_OP_READ,     IORING_OP_WRITE,    IORING_OP_STATX,
            IORING_OP_CLOSE,     IORING_OP_FSYNC,    IORING_OP_FSYNC,    IORING_OP_SYNC_FILE_RANGE,
            IORING_OP_RENAMEAT,  IORING_OP_LINKAT,   IORING_OP_UNLINKAT, IORING_OP_MKDIRAT,
            IORING_OP_FSETXATTR, IORING_OP_FGETXATTR};
        return probe && io_uring_opcode_supported(probe, codes[static_cast<int>(op)]);
    }

    bool Prepare(IoOperation& op) {
        IoRequest& r = op.request_;
        if (!Supports(r.op)) return false;
        io_uring_sqe* sqe = Entry();
        if (!sqe) return false;
        const char* path = r.path.constData();
        const char* path2 = r.path2.constData();
        const auto offset = static_cast<__u64>(r.offset);
        switch (r.op) {
            case IoOp::OpenAt:
                io_uring_prep_openat(sqe, r.dirFd, path, r.flags, r.mode);
                break;
            case IoOp::Read:
                io_uring_prep_read(sqe, r.fd, r.buffer, r.length, offset);
                break;
            case IoOp::Write:
                io_uring_prep_write(sqe, r.fd, r.buffer, r.length, offset);
                break;
            case IoOp::Statx:
                io_uring_prep_statx(sqe, r.dirFd, path, r.flags, r.mask, &op.statx_);
                break;
            case IoOp::Close:
                io_uring_prep_close(sqe, r.fd);
                break;
            case IoOp::Fsync:
                io_uring_prep_fsync(sqe, r.fd, 0);
                break;
            case IoOp::Fdatasync:
                io_uring_prep_fsync(sqe, r.fd, IORING_FSYNC_DATASYNC);
                break;
            case IoOp::SyncFileRange:
                io_uring_prep_sync_file_range(sqe, r.fd, r.length, r.offset < 0 ? 0 : offset,
                                              r.flags);
                break;
            case IoOp::RenameAt:
                io_uring_prep_renameat(sqe, r.dirFd, path, r.dirFd2, path2,
                                       static_cast<unsigned>(r.flags));
                break;
            case IoOp::LinkAt:
                io_uring_prep_linkat(sqe, r.dirFd, path, r.dirFd2, path2, r.flags);
                break;
            case IoOp::UnlinkAt:
                io_uring_prep_unlinkat(sqe, r.dirFd, path, r.flags);
                break;
            case IoOp::MkdirAt:
                io_uring_prep_mkdirat(sqe, r.dirFd, path, r.mode);
                break;
            case IoOp::FSetXattr:
                io_uring_prep_fsetxattr(sqe, r.fd, path, path2, r.flags,
                                        static_cast<unsigned>(r.path2.size()));
                break;
            case IoOp::FGetXattr:
                io_uring_prep_fgetxattr(sqe, r.fd, path, static_cast<char*>(r.buffer), r.length);
                break;
        }
        // The kernel tries a read or a write here first, in the submitting
        // thread; on a file system that asks a server that can mean waiting
        // for its answer (20 to 30 ms a chunk on the test share). There it
        // goes to a worker at once.
        if (MovesData(r.op) && !AnswersFromMemory(r.where())) sqe->flags |= IOSQE_ASYNC;
        io_uring_sqe_set_data(sqe, &op);
        return true;
    }
};

namespace {

// The operation as the plain system call.
int RunPlain(IoRequest& r, struct statx& sx) {
    const char* path = r.path.constData();
    const char* path2 = r.path2.constData();
    switch (r.op) {
        case IoOp::OpenAt:
            return Result(::openat(r.dirFd, path, r.flags, static_cast<mode_t>(r.mode)));
        case IoOp::Read:
            return Result(r.offset < 0 ? ::read(r.fd, r.buffer, r.length)
                                       : ::pread(r.fd, r.buffer, r.length, r.offset));
        case IoOp::Write:
            return Result(r.offset < 0 ? ::write(r.fd, r.buffer, r.length)
                                       : ::pwrite(r.fd, r.buffer, r.length, r.offset));
        case IoOp::Statx:
            return Result(::statx(r.dirFd, path, r.flags, r.mask, &sx));
        case IoOp::Close:
            return Result(::close(r.fd));
        case IoOp::Fsync:
            return Result(::fsync(r.fd));
        case IoOp::Fdatasync:
            return Result(::fdatasync(r.fd));
        case IoOp::SyncFileRange:
            return Result(::sync_file_range(r.fd, r.offset < 0 ? 0 : r.offset, r.length,
                                            static_cast<unsigned>(r.flags)));
        case IoOp::RenameAt:
            return Result(
                ::renameat2(r.dirFd, path, r.dirFd2, path2, static_cast<unsigned>(r.flags)));
        case IoOp::LinkAt:
            return Result(::linkat(r.dirFd, path, r.dirFd2, path2, r.flags));
        case IoOp::UnlinkAt:
            return Result(::unlinkat(r.dirFd, path, r.flags));
        case IoOp::MkdirAt:
            return Result(::mkdirat(r.dirFd, path, static_cast<mode_t>(r.mode)));
        case IoOp::FSetXattr:
            return Result(::fsetxattr(r.fd, path, path2, std::size_t(r.path2.size()), r.flags));
        case IoOp::FGetXattr:
            return Result(::fgetxattr(r.fd, path, r.buffer, r.length));
    }
    return -EINVAL;
}

}  // namespace

AsyncIo& AsyncIo::Instance() {
    static AsyncIo io;
    return io;
}

AsyncIo::AsyncIo() : ring_(std::make_unique<Ring>()) {
    Ring& r = *ring_;
    // Refused by the kernel (ENOSYS), by io_uring_disabled or a sandbox
    // (EPERM), or short of locked memory (ENOMEM): plain calls then.
    if (io_uring_queue_init(kRingEntries, &r.ring, 0) != 0) return;
    r.eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (r.eventFd < 0 || io_uring_register_eventfd(&r.ring, r.eventFd) != 0) {
        if (r.eventFd >= 0) ::close(r.eventFd);
        r.eventFd = -1;
        io_uring_queue_exit(&r.ring);
        return;
    }
    // Look-ups wait in the kernel's workers, by default a few for each
    // processor: on a share with latency, many must wait side by side.
    unsigned workers[2] = {kRingEntries, kRingEntries};
    io_uring_register_iowq_max_workers(&r.ring, workers);
    r.probe = io_uring_get_probe_ring(&r.ring);
    r.active = true;
}

AsyncIo::~AsyncIo() {
    Ring& r = *ring_;
    if (!r.active) return;
    delete r.notifier;
    if (r.probe) io_uring_free_probe(r.probe);
    io_uring_queue_exit(&r.ring);
    ::close(r.eventFd);
}

bool AsyncIo::RingActive() const {
    return ring_->active && !g_forceSynchronous;
}

void AsyncIo::ForceSynchronous(bool synchronous) {
    g_forceSynchronous = synchronous;
}

IoTicket AsyncIo::Submit(IoRequest request) {
    Ring& r = *ring_;
    auto ticket = std::make_shared<IoOperation>();
    IoOperation& op = *ticket;
    op.request_ = std::move(request);
    // A close still goes to the kernel: refused, its descriptor would stay
    // open, and the volume busy (no unmount), for the program's life.
    if (op.request_.op != IoOp::Close && !r.silentDrives.isEmpty() &&
        r.silentDrives.contains(MountPointOf(op.request_.where()))) {
        op.result_ = -ETIMEDOUT;
        op.done_ = true;
        return ticket;
    }
    if (RingActive() && r.Prepare(op)) {
        r.inFlight.emplace(&op, ticket);
        if (!r.notifier && QCoreApplication::instance()) {
            r.notifier =
                new QSocketNotifier(r.eventFd, QSocketNotifier::Read, QCoreApplication::instance());
            QObject::connect(r.notifier, &QSocketNotifier::activated, [&r] {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(r.eventFd, &count, sizeof count);
                r.Reap();
            });
        }
        return ticket;
    }
    op.result_ = RunPlain(op.request_, op.statx_);
    op.done_ = true;
    return ticket;
}

bool AsyncIo::Wait(std::span<const IoTicket> tickets, std::chrono::milliseconds timeout,
                   PumpInput input) {
    using Clock = std::chrono::steady_clock;
    Ring& r = *ring_;
    r.Flush();
    auto deadline = Clock::now() + timeout;
    const auto quietUntil = Clock::now() + kQuietWait;
    std::size_t doneBefore = 0;
    for (;;) {
        if (r.active) r.Reap();
        std::size_t done = 0;
        for (const IoTicket& t : tickets)
            done += t->done() ? 1 : 0;
        if (done == tickets.size()) return true;
        const auto now = Clock::now();
        // The device is slow, not silent, while any of them finishes.
        if (done > doneBefore) deadline = now + timeout;
        doneBefore = done;
        if (now >= deadline) {
            for (const IoTicket& t : tickets)
                Abandon(t);
            return false;
        }
        WaitStep(quietUntil, std::chrono::ceil<std::chrono::milliseconds>(deadline - now), input);
    }
}

bool AsyncIo::WaitUnlessAborted(const IoTicket& ticket, AbortWatch& abort, PumpInput input) {
    using Clock = std::chrono::steady_clock;
    Ring& r = *ring_;
    r.Flush();
    const auto quietUntil = Clock::now() + kQuietWait;
    for (;;) {
        if (r.active) r.Reap();
        if (ticket->done()) return true;
        const auto now = Clock::now();
        if (abort.requested && *abort.requested && !abort.giveUpAt) {
            abort.giveUpAt = now + abort.grace;
            if (abort.progressing) abort.progressing();  // where the device stands now
        }
        if (abort.giveUpAt && now >= *abort.giveUpAt) {
            if (!abort.progressing || !abort.progressing()) {
                Abandon(ticket);
                ticket->result_ = -ECANCELED;
                return false;
            }
            abort.giveUpAt = now + abort.grace;
        }
        WaitStep(quietUntil,
                 abort.giveUpAt
                     ? std::chrono::ceil<std::chrono::milliseconds>(*abort.giveUpAt - now)
                     : std::chrono::milliseconds(100),
                 input);
    }
}

void AsyncIo::WaitStep(std::chrono::steady_clock::time_point quietUntil,
                       std::chrono::milliseconds left, PumpInput input) {
    Ring& r = *ring_;
    // A device that answers within a few milliseconds is waited for
    // without a pump, so code on a fast disk is not re-entered.
    const auto quiet =
        std::chrono::ceil<std::chrono::milliseconds>(quietUntil - std::chrono::steady_clock::now());
    if (r.notifier && quiet.count() <= 0) {
        PumpMessagesWaiting(std::min(left, std::chrono::milliseconds(100)), input);
    } else {
        __kernel_timespec ts{};
        const auto ms =
            std::min<long long>({left.count(), 100LL, std::max<long long>(1, quiet.count())});
        ts.tv_nsec = ms * 1000000LL;
        io_uring_cqe* cqe = nullptr;
        io_uring_wait_cqe_timeout(&r.ring, &cqe, &ts);
    }
}

int AsyncIo::Run(IoRequest request, std::chrono::milliseconds timeout, PumpInput input) {
    const IoTicket ticket = Submit(std::move(request));
    Wait(ticket, timeout, input);
    return ticket->result();
}

std::vector<IoTicket> AsyncIo::Ask(std::vector<IoRequest> requests) {
    std::vector<IoTicket> tickets;
    tickets.reserve(requests.size());
    for (IoRequest& r : requests)
        tickets.push_back(AnswersAtOnce(r) ? RunHere(std::move(r)) : Submit(std::move(r)));
    Wait(tickets, kDeviceAnswerTimeout, PumpInput::Defer);
    return tickets;
}

IoTicket AsyncIo::Ask(IoRequest request) {
    std::vector<IoRequest> one;
    one.push_back(std::move(request));
    return Ask(std::move(one)).front();
}

IoTicket AsyncIo::Send(IoRequest request) {
    if (AnswersAtOnce(request)) return RunHere(std::move(request));
    IoTicket ticket = Submit(std::move(request));
    ring_->Flush();
    return ticket;
}

IoTicket AsyncIo::RunHere(IoRequest request) {
    auto ticket = std::make_shared<IoOperation>();
    ticket->request_ = std::move(request);
    ticket->result_ = RunPlain(ticket->request_, ticket->statx_);
    ticket->done_ = true;
    return ticket;
}

void AsyncIo::Abandon(const IoTicket& ticket) {
    IoOperation& op = *ticket;
    if (op.done_) return;
    Ring& r = *ring_;
    op.abandoned_ = true;
    op.done_ = true;
    op.result_ = -ETIMEDOUT;
    op.driveRoot_ = MountPointOf(op.request_.where());
    if (!op.driveRoot_.isEmpty()) ++r.silentDrives[op.driveRoot_];
    if (io_uring_sqe* sqe = r.Entry()) {
        io_uring_prep_cancel(sqe, &op, 0);
        io_uring_sqe_set_data(sqe, nullptr);
    }
    r.Flush();
}

bool AsyncIo::DriveAnswers(const QByteArray& hostPath) const {
    if (ring_->silentDrives.isEmpty()) return true;
    const QByteArray root = MountPointOf(hostPath);
    return root.isEmpty() || !ring_->silentDrives.contains(root);
}

int AsyncIo::Abandoned() const {
    int n = 0;
    for (const auto& [op, ticket] : ring_->inFlight)
        n += op->abandoned_ ? 1 : 0;
    return n;
}

namespace {

QHash<QByteArray, std::shared_ptr<const HeldDirectory>>& Held() {
    static QHash<QByteArray, std::shared_ptr<const HeldDirectory>> held;
    return held;
}

// name as seen from dir when it is dir itself or one of its entries.
std::optional<QByteArray> EntryOf(const QByteArray& dir, const QByteArray& name) {
    if (name == dir) return QByteArrayLiteral(".");
    const qsizetype at = dir.endsWith('/') ? dir.size() : dir.size() + 1;
    if (name.size() <= at || !name.startsWith(dir) || name.at(at - 1) != '/') return std::nullopt;
    QByteArray entry = name.mid(at);
    if (entry.contains('/') || entry == "." || entry == "..") return std::nullopt;
    return entry;
}

}  // namespace

void SharedFd::Reset(int fd) {
    if (fd < 0) {
        fd_.reset();
        return;
    }
    fd_ = std::shared_ptr<int>(new int(fd), [](int* owned) {
        ::close(*owned);
        delete owned;
    });
}

std::shared_ptr<const HeldDirectory> HeldDirectory::Of(const QByteArray& dir) {
    if (!dir.startsWith('/') || AnswersFromMemory(dir)) return nullptr;
    auto& held = Held();
    if (const auto it = held.constFind(dir); it != held.cend()) return *it;
    const int fd =
        AsyncIo::Instance()
            .Ask({.op = IoOp::OpenAt, .path = dir, .flags = O_PATH | O_DIRECTORY | O_CLOEXEC})
            ->result();
    if (fd < 0) return nullptr;
    auto hold = std::make_shared<const HeldDirectory>(dir, fd);
    held.insert(dir, hold);
    return hold;
}

void HeldDirectory::LetGoAll() {
    Held().clear();
}

IoRequest HeldDirectory::Relate(IoRequest r, const std::shared_ptr<const HeldDirectory>& dir) {
    if (!dir) return r;
    const std::optional<QByteArray> first =
        r.dirFd == AT_FDCWD ? EntryOf(dir->path_, r.path) : std::nullopt;
    const std::optional<QByteArray> second =
        r.dirFd2 == AT_FDCWD && !r.path2.isEmpty() ? EntryOf(dir->path_, r.path2) : std::nullopt;
    if (!first && !second) return r;
    // The device that answers is still known by the whole path.
    if (r.place.isEmpty()) r.place = first ? r.path : r.path2;
    if (first) {
        r.dirFd = dir->fd_.get();
        r.path = *first;
    }
    if (second) {
        r.dirFd2 = dir->fd_.get();
        r.path2 = *second;
    }
    // Calls about names keep nothing else alive.
    r.keepAlive = dir->fd_.keep();
    return r;
}

}  // namespace platform
