#include "platform/FileCopy.h"

#include "platform/AsyncIo.h"
#include "platform/FileSystemDetail.h"
#include "platform/ReplacementFile.h"

#include <QHash>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <new>
#include <utility>

namespace platform {
namespace {

// How many chunks the copy of a large file may run ahead of its disk.
constexpr std::int64_t WriteBehindChunks = 32;

// A resumable copy (ResumableSize, FileCopy.h) marks how far it is on disk
// every second or every ResumableSize bytes, whichever comes first: on a
// fast disk a file may take less than a second.
constexpr auto MarkEvery = std::chrono::seconds(1);

std::function<bool(const QByteArray&)> flushHook;

// One call through the kernel's ring, waited for by pumping (input left
// waiting) while the device answers within kDeviceAnswerTimeout: a file on
// a device that hangs makes the row fail, never holds the window.
IoTicket Ask(IoRequest request) {
    return AsyncIo::Instance().Ask(std::move(request));
}

IoRequest Statx(int dirFd, const char* name, int flags) {
    return {.op = IoOp::Statx, .dirFd = dirFd, .path = name, .flags = flags};
}

// The file open at fd, which is host.
IoRequest Measure(int fd, const QByteArray& host) {
    return {.op = IoOp::Statx, .dirFd = fd, .path = "", .flags = AT_EMPTY_PATH, .place = host};
}

// The same, keeping the file open until the kernel is done with the call.
IoRequest Measure(const SharedFd& file, const QByteArray& host) {
    IoRequest r = Measure(file.get(), host);
    r.keepAlive = file.keep();
    return r;
}

// One keepAlive for a request that needs two things kept.
std::shared_ptr<void> KeepBoth(std::shared_ptr<void> a, std::shared_ptr<void> b) {
    return std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<void>>>(std::move(a),
                                                                                     std::move(b));
}

// What is at a target's name, links not followed: asked from its directory's
// hold where there is one.
IoRequest LookUp(const QByteArray& target) {
    return HeldDirectory::Relate(Statx(AT_FDCWD, target.constData(), AT_SYMLINK_NOFOLLOW),
                                 HeldDirectory::Of(detail::HostDirectoryOf(target)));
}

// A file named relative to its directory: that directory held open when an
// identity is expected (the name then cannot be reached through a swapped
// path between the check and the use), else the whole path from here. The
// directory is opened and measured through the ring, as are the calls
// Request makes: a source device that hangs fails them instead of holding
// the window.
class InDir {
public:
    InDir(const QByteArray& host, const std::optional<DirectoryId>& expected) : host_(host) {
        if (!expected) {
            name_ = host;
            ok_ = true;
            return;
        }
        const QByteArray dir = detail::HostDirectoryOf(host);
        const IoTicket opened =
            Ask({.op = IoOp::OpenAt, .path = dir, .flags = O_PATH | O_DIRECTORY | O_CLOEXEC});
        if (opened->result() < 0) {
            error_ = -opened->result();
            return;
        }
        dir_.Reset(opened->result());
        const IoTicket measured = Ask(Measure(dir_, dir));
        if (measured->result() < 0) {
            error_ = -measured->result();
            return;
        }
        const FileStamp st = detail::StampOf(measured->stat());
        ok_ = DirectoryId{st.device, st.inode} == *expected;
        name_ = host.mid(host.lastIndexOf('/') + 1);
    }
    InDir(const InDir&) = delete;
    InDir& operator=(const InDir&) = delete;

    bool ok() const { return ok_; }
    // Why not: ENOENT for a directory that is not the one expected, else
    // what the device said (ETIMEDOUT when it did not answer).
    int error() const { return error_; }
    int fd() const { return dir_.get() >= 0 ? dir_.get() : AT_FDCWD; }
    const char* name() const { return name_.constData(); }
    // A call about the file, named from its directory, which stays open
    // until the kernel is done with the call.
    IoRequest Request(IoOp op, int flags) const {
        return {.op = op,
                .dirFd = fd(),
                .path = name_,
                .flags = flags,
                .place = host_,
                .keepAlive = dir_.keep()};
    }

private:
    QByteArray host_;
    SharedFd dir_;
    bool ok_ = false;
    int error_ = ENOENT;
    QByteArray name_;
};

// The source of a copy, taken from its directory when one is expected.
class CopySource {
public:
    Result<void> Open(const QByteArray& host, const std::optional<DirectoryId>& dir) {
        copied_.host = host;
        const InDir in(host, dir);
        if (!in.ok()) return OsError{in.error(), Step::Open};
        // FIFOs, sockets and devices are refused before opening: opening a
        // device can have effects of its own, and a FIFO would never end.
        const IoTicket look = Ask(in.Request(IoOp::Statx, 0));
        if (look->result() < 0) return OsError{-look->result(), Step::Open};
        if (!S_ISREG(look->stat().stx_mode)) return OsError{EACCES, Step::Open};
        const IoTicket opened =
            Ask(in.Request(IoOp::OpenAt, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (opened->result() < 0) return OsError{-opened->result(), Step::Open};
        file_ = FileHandle::Adopt(opened->result());
        const IoTicket measured = Ask(Measure(opened->result(), host));
        if (measured->result() < 0) return OsError{-measured->result(), Step::Open};
        const FileStamp stamp = detail::StampOf(measured->stat());
        if (!S_ISREG(stamp.mode)) return OsError{EACCES, Step::Open};
        copied_.stamp = stamp;
        copied_.dir = dir;
        // Only big files are worth a call to say they will be read straight through.
        if (stamp.size > (std::int64_t(1) << 20)) file_.AdviseSequential();
        return {};
    }
    int fd() const { return file_.fd(); }
    const CopiedSource& Copied() const { return copied_; }
    // True while the path still names the file opened, with the size and
    // modification time it had when opened.
    bool Unchanged() const {
        const std::vector<IoTicket> now = AsyncIo::Instance().Ask(
            {Measure(file_.fd(), copied_.host), Statx(AT_FDCWD, copied_.host.constData(), 0)});
        return now[0]->result() == 0 && now[1]->result() == 0 &&
               detail::StampOf(now[0]->stat()).SameContentAs(copied_.stamp) &&
               detail::StampOf(now[1]->stat()).SameFileAs(copied_.stamp);
    }

private:
    FileHandle file_;
    CopiedSource copied_;
};

// The file a copy writes. Where nothing is there, the target itself is
// created. A file the copy may replace gets a new version beside it (through
// a link, beside what the link names) that takes its place only at Commit:
// until the copy is whole, the old file stays as it was. Only where no new
// name can be made beside it (a directory without write permission) is it
// written in place. The destructor removes what an uncommitted copy wrote.
class CopyTarget {
public:
    CopyTarget() = default;
    CopyTarget(const CopyTarget&) = delete;
    CopyTarget& operator=(const CopyTarget&) = delete;
    ~CopyTarget() { Discard(); }

    Result<void> Open(const QByteArray& host, const FileStamp& source, TargetAhead* ahead) {
        host_ = host;
        // Large files are written so that a copy cut short can go on later.
        if (source.size >= ResumableSize) key_ = ResumeKey(source);
        dir_ = detail::HostDirectoryOf(host_);
        // The usual case first: nothing is there yet. The new file has no name
        // (or a hidden one) until it is whole, so a crash or a kill never
        // leaves part of it under the target's name. Its name is given
        // without replacing anything, nor following a dangling link.
        if (host_.isEmpty()) return OsError{ENOENT, Step::Resolve};
        // Begun ahead while the file before was copied, or asked now.
        TargetAhead::Taken ready = ahead ? ahead->Take(host_) : TargetAhead::Taken{};
        if (ready.file) replacement_ = std::move(ready.file);
        IoTicket entry = std::move(ready.look);
        if (entry) {
            AsyncIo::Instance().Wait(entry, kDeviceAnswerTimeout, PumpInput::Defer);
        } else {
            entry = Ask(LookUp(host_));
        }
        if (entry->result() < 0) {
            if (entry->result() != -ENOENT) return OsError{-entry->result(), Step::Examine};
            const Result<void> opened =
                OpenReplacement(ReplacementFile::Placement::New, source.mode);
            if (!opened) return opened.error();
            replacing_ = true;
            return {};
        }

        // Links are followed, because writing the target would go through
        // them too. The owner's write bit is looked at even for root, who
        // could write anyway: a file marked read-only is not replaced behind
        // the user's back.
        const IoTicket followed = Ask(Statx(AT_FDCWD, host_.constData(), 0));
        if (followed->result() < 0) {
            // A dangling link, which like cp we do not follow.
            return OsError{-followed->result(),
                           followed->result() == -ENOENT ? Step::Create : Step::Examine};
        }
        const FileStamp there = detail::StampOf(followed->stat());
        if (there.SameFileAs(source)) {
            // Another spelling of the source (a link, a lower-case drive
            // letter): writing the target would destroy the source.
            return OsError{EEXIST, Step::SameFile};
        }
        if (!S_ISREG(there.mode))
            return OsError{S_ISDIR(there.mode) ? EISDIR : EACCES, Step::TargetRefused};
        if ((there.mode & S_IWUSR) == 0) return OsError{EACCES, Step::TargetRefused};

        host_ = detail::ResolveLink(host_);
        dir_ = detail::HostDirectoryOf(host_);
        const Result<void> replacement =
            OpenReplacement(ReplacementFile::Placement::Replace, source.mode);
        if (replacement) {
            replacing_ = true;
            return {};
        }
        // A writable file in a directory that takes no new names: written in
        // place as before, since nothing can be put beside it.
        const int err = replacement.error().code;
        if (err != EACCES && err != EPERM) return replacement.error();
        const int inPlace = ::open(
            host_.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
        if (inPlace < 0) return Errno(Step::Create);
        created_ = FileHandle::Adopt(inPlace);
        return {};
    }
    int fd() const { return replacing_ ? replacement_->fd() : created_.fd(); }
    const QByteArray& HostDirectory() const { return dir_; }
    // Where the copy goes on from: the part of a resumed file already on disk.
    std::int64_t ResumedAt() const { return resumedAt_; }
    bool Resumable() const { return replacing_ && replacement_->IsResumable(); }
    // A resumable file whose first `bytes` are on disk: marked so.
    void MarkFlushed(std::int64_t bytes) {
        if (replacing_) replacement_->MarkFlushed(bytes);
    }
    // The file as written so far, under the name it ends with, measured
    // while the source's times and permission bits are set on it: the two
    // wait for the device side by side.
    Result<WrittenTarget> WrittenWithAttributes(const FileStamp& source) {
        IoRequest measure = Statx(fd(), "", AT_EMPTY_PATH);
        measure.place = host_;
        const IoTicket measured = AsyncIo::Instance().Send(std::move(measure));
        CarryAttributes(source);
        AsyncIo::Instance().Wait(measured, kDeviceAnswerTimeout, PumpInput::Defer);
        if (measured->result() < 0) return OsError{-measured->result(), Step::Examine};
        const FileStamp st = detail::StampOf(measured->stat());
        return WrittenTarget{host_, st.device, st.inode, st.size};
    }

    // The source's times and permission bits, after the last write. Best
    // effort. Both times are set: file systems of FUSE's high-level layer
    // ignore a time left out and would give the copy the time of the copy.
    void CarryAttributes(const FileStamp& source) {
        const timespec times[2] = {source.accessed, source.modified};
        ::futimens(fd(), times);
        if (!createdWithMode_) ::fchmod(fd(), CopiedMode(source.mode));
    }

    // An Abort: the part copied goes under the target's name now, its
    // durable part marked for the copy that goes on from it.
    Result<void> CommitPartial(std::int64_t bytes) {
        if (!replacing_) return Close();
        replacing_ = false;
        replacement_->MarkDurable(bytes);
        return replacement_->Commit(ReplacementFile::Content::Partial);
    }
    // The whole copy: its new version, not yet under the target's name (the
    // caller names it once its data is on disk), or nothing where it was
    // written in place, which is closed now. An error when the data may not
    // have been written; nothing of the copy remains then.
    Result<std::unique_ptr<ReplacementFile>> Release() {
        if (replacing_) {
            replacing_ = false;
            return std::move(replacement_);
        }
        const Result<void> closed = Close();
        if (!closed) return closed.error();
        return std::unique_ptr<ReplacementFile>();
    }

private:
    static QByteArray ResumeKey(const FileStamp& s) {
        return QByteArray::number(qulonglong(s.device)) + ' ' +
               QByteArray::number(qulonglong(s.inode)) + ' ' + QByteArray::number(qint64(s.size)) +
               ' ' + QByteArray::number(qint64(s.modified.tv_sec)) + '.' +
               QByteArray::number(qint64(s.modified.tv_nsec)) + ' ' +
               QByteArray::number(qint64(s.changed.tv_sec)) + '.' +
               QByteArray::number(qint64(s.changed.tv_nsec));
    }

    // Set-user-ID and set-group-ID stay behind: the copy belongs to whoever
    // made it, and carrying them would hand out someone else's rights.
    static mode_t CopiedMode(mode_t source) { return source & 01777; }

    // A whole copy's file is made with the source's permission bits at
    // once; a resumable one, opened again later, stays the owner's until
    // it is whole.
    Result<void> OpenReplacement(ReplacementFile::Placement placement, mode_t sourceMode) {
        if (key_.isEmpty()) {
            createdWithMode_ = true;
            return replacement_->Open(host_, CopiedMode(sourceMode), placement);
        }
        const Result<std::int64_t> opened =
            replacement_->OpenResumable(host_, 0600, placement, key_);
        if (!opened) return opened.error();
        resumedAt_ = *opened;
        return {};
    }

    Result<void> Close() {
        const Result<void> closed = created_.Close();
        // Our own new file: removed whatever its permission bits say.
        if (!closed) ::unlink(host_.constData());
        return closed;
    }

    void Discard() {
        if (replacing_) {
            replacement_->Discard();
        } else if (created_.valid()) {
            (void)created_.Close();
            ::unlink(host_.constData());
        }
    }

    QByteArray host_;
    QByteArray dir_;
    FileHandle created_;
    std::unique_ptr<ReplacementFile> replacement_ =
        std::make_unique<ReplacementFile>(ReplacementFile::Calls::Ring);
    bool createdWithMode_ = false;
    bool replacing_ = false;
    QByteArray key_;  // the source, for a resumable file
    std::int64_t resumedAt_ = 0;
};

}  // namespace

TargetAhead::TargetAhead() = default;
TargetAhead::~TargetAhead() = default;

void TargetAhead::Prepare(const QByteArray& target, mode_t mode) {
    nextTarget_ = target;
    nextMode_ = mode;
}

void TargetAhead::Drop() {
    if (look_) AsyncIo::Instance().Wait(look_, kDeviceAnswerTimeout, PumpInput::Defer);
    stale_ = false;
    look_.reset();
    file_.reset();
    target_.clear();
    nextTarget_.clear();
}

TargetAhead::Taken TargetAhead::Take(const QByteArray& target) {
    Taken taken;
    if (file_ && target == target_) {
        if (!stale_) taken.look = std::exchange(look_, nullptr);
        taken.file = std::move(file_);
    }
    const QByteArray next = std::exchange(nextTarget_, {});
    Drop();
    // A file system that answers from memory answers the copy's own calls
    // at once: nothing to win there.
    if (next.isEmpty() || !AsyncIo::Instance().RingActive() || AnswersFromMemory(next))
        return taken;
    target_ = next;
    look_ = AsyncIo::Instance().Send(LookUp(next));
    file_ = std::make_unique<ReplacementFile>(ReplacementFile::Calls::Ring);
    file_->OpenAhead(next, nextMode_);
    return taken;
}

void TargetAhead::NamesChanged() {
    stale_ = true;
}

bool TargetAhead::Made(const QByteArray& target) {
    return file_ && target == target_ && file_->MadeAhead();
}

std::optional<DirectoryId> IdentifyDirectory(const QString& dir) {
    const Result<QByteArray> host = HostPath(dir);
    struct statx sx {};
    if (!host || detail::StatWaiting(*host, true, sx) != 0 || !S_ISDIR(sx.stx_mode))
        return std::nullopt;
    const FileStamp st = detail::StampOf(sx);
    return DirectoryId{st.device, st.inode};
}

Result<CopiedFile> CopyFile(const FileCopyRequest& request, CopyBuffer& buffer,
                            const std::function<bool(std::int64_t bytes)>& afterChunk) {
    // Shared with a chunk that is given up: the kernel may still use both
    // files, which are closed (and an unfinished target removed) only then.
    const auto files = std::make_shared<std::pair<CopySource, CopyTarget>>();
    CopySource& in = files->first;
    CopyTarget& out = files->second;
    if (const Result<void> opened = in.Open(request.source, request.sourceDir); !opened)
        return opened.error();
    if (const Result<void> opened = out.Open(request.target, in.Copied().stamp, request.ahead);
        !opened)
        return opened.error();
    CopiedFile copied;
    copied.targetDir = out.HostDirectory();

    // Measured once through the open handle: the size on record in the queue
    // may be stale, and a path search could find another entry. A source that
    // grew while we copy ends at this size, so the counters stay in step.
    const std::int64_t size = in.Copied().stamp.size;
    const std::int64_t chunkSize = request.chunkSize;
    // A file cut short before goes on from its part on disk.
    const std::int64_t resumedAt = out.ResumedAt();
    if (resumedAt > 0) {
        if (::lseek(in.fd(), resumedAt, SEEK_SET) != resumedAt) return Errno(Step::Read);
        if (request.resumed) request.resumed(resumedAt);
    }
    auto lastMark = std::chrono::steady_clock::now();
    std::int64_t marked = resumedAt;
    ChunkCopier copier(
        {in.fd(), out.fd(), request.source, request.target, files, request.abortRequested}, buffer);
    for (std::int64_t done = resumedAt; done < size;) {
        const std::int64_t want = std::min(size - done, chunkSize);
        const Result<std::int64_t> chunk = copier.Copy(want);
        if (!chunk) return chunk.error();
        // A file that shrank before the measured size was reached.
        if (*chunk < want) return OsError{0, Step::Read};
        // A large file goes to the disk while it is copied, never more than
        // a few chunks behind, not all at once in the flush that ends the
        // run: that flush holds the window while it waits. Advice only: a
        // failure shows at the flush.
        if (size > chunkSize) {
            if (const Result<void> sent =
                    copier.WriteBehind(done, want, WriteBehindChunks * chunkSize);
                !sent)
                return sent.error();
        }
        done += want;
        if (const auto now = std::chrono::steady_clock::now();
            size >= ResumableSize &&
            (now - lastMark >= MarkEvery || done - marked >= ResumableSize)) {
            if (out.Resumable()) {
                const Result<bool> flushed = copier.Flush();
                if (!flushed) return flushed.error();
                if (*flushed) out.MarkFlushed(done);
            }
            lastMark = now;
            marked = done;
        }
        if (!afterChunk(want)) {
            // The partial data stays under the target's name, for a restart.
            (void)out.CommitPartial(done);
            copied.stopped = true;
            return copied;
        }
    }

    // Appended to, rewritten or replaced while we copied: what we have is
    // not what a move would delete.
    if (request.sourceMustStay && !in.Unchanged()) return OsError{0, Step::SourceChanged};
    // Date and permissions on the open file, after the last write; a
    // read-only source gives a read-only target all the same.
    const Result<WrittenTarget> written = out.WrittenWithAttributes(in.Copied().stamp);
    if (!written) return written.error();
    // The target must hold what the writes said they wrote: a file of any
    // other size is no copy, whatever went wrong on the way.
    if (written->size != size) return OsError{EIO, Step::Write};
    Result<std::unique_ptr<ReplacementFile>> unnamed = out.Release();
    if (!unnamed) return unnamed.error();
    copied.unnamed = std::move(*unnamed);
    copied.source = in.Copied();
    copied.target = *written;
    return copied;
}

namespace {

// Where a file renamed by a move came from, on the file itself until the
// queue has durably recorded the move: the same journal of the file system
// that holds the rename holds the mark, so a move row that a crash brings
// back can tell its file already moved from a source that went missing.
constexpr char MovedFromMark[] = "user.ferrovant.moved-from";

class MoveMark {
public:
    // Marks the source at `from`, a regular file of its directory.
    MoveMark(const InDir& in, const QByteArray& from) {
        const int fd =
            Ask(in.Request(IoOp::OpenAt, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY))
                ->result();
        if (fd < 0) return;
        file_.Reset(fd);
        IoRequest mark{
            .op = IoOp::FSetXattr, .path = MovedFromMark, .path2 = from, .fd = fd, .place = from};
        mark.keepAlive = file_.keep();
        if (Ask(std::move(mark))->result() != 0) file_.Reset();
    }
    // Unless the rename happened, the mark goes again.
    ~MoveMark() {
        if (file_.get() >= 0 && !kept_) ::fremovexattr(file_.get(), MovedFromMark);
    }
    MoveMark(const MoveMark&) = delete;
    MoveMark& operator=(const MoveMark&) = delete;
    void Keep() { kept_ = true; }
    // The marked file, for a call about it to keep open: on a FUSE device
    // its close waits for a rename of it still under way, so a rename given
    // up closes it only once the kernel is done.
    std::shared_ptr<void> keep() const { return file_.keep(); }

private:
    SharedFd file_;
    bool kept_ = false;
};

}  // namespace

Result<std::optional<Renamed>> RenameWithinFileSystem(const QByteArray& from, const QByteArray& to,
                                                      const std::optional<DirectoryId>& sourceDir) {
    const std::optional<Renamed> copyInstead;
    const InDir in(from, sourceDir);
    if (!in.ok()) return OsError{in.error(), Step::Open};

    const IoTicket look = Ask(in.Request(IoOp::Statx, AT_SYMLINK_NOFOLLOW));
    if (look->result() < 0) return OsError{-look->result(), Step::Open};
    const FileStamp st = detail::StampOf(look->stat());
    if (S_ISLNK(st.mode)) return copyInstead;
    if (!S_ISREG(st.mode)) return OsError{EACCES, Step::Open};
    if ((st.mode & S_IWUSR) == 0 || (st.mode & (S_ISUID | S_ISGID)) != 0) return copyInstead;
    MoveMark mark(in, from);
    const auto renamed = [&](const QByteArray& path) {
        mark.Keep();
        return std::optional(Renamed{st.size, detail::HostDirectoryOf(path)});
    };
    // Through the ring: a device that hangs gives ETIMEDOUT after the wait.
    const auto rename = [&](const QByteArray& path, int flags) {
        IoRequest r = in.Request(IoOp::RenameAt, flags);
        r.path2 = path;
        r.keepAlive = KeepBoth(std::move(r.keepAlive), mark.keep());
        return Ask(std::move(r))->result();
    };
    // A rename given up may still happen once the device answers: the file
    // keeps its mark, and the row is offered again, where a move that finds
    // its file moved completes.
    const auto unanswered = [&] {
        mark.Keep();
        return OsError{ETIMEDOUT, Step::Rename};
    };

    int err = -rename(to, RENAME_NOREPLACE);
    if (err == 0) return renamed(to);
    if (err == ETIMEDOUT) return unanswered();
    if (err == EINVAL || err == ENOSYS) {
        // No RENAME_NOREPLACE here: look, then rename.
        const int there = Ask(Statx(AT_FDCWD, to.constData(), AT_SYMLINK_NOFOLLOW))->result();
        if (there == -ETIMEDOUT) return OsError{ETIMEDOUT, Step::Examine};
        if (there != 0) {
            if (there != -ENOENT) return copyInstead;
            err = -rename(to, 0);
            if (err == ETIMEDOUT) return unanswered();
            return err == 0 ? renamed(to) : copyInstead;
        }
    } else if (err != EEXIST) {
        // Another file system (EXDEV), or a refusal a copy words the way the
        // user knows (a directory without write permission, say).
        return copyInstead;
    }

    // Something is there: replaced only as a copy would replace it.
    const IoTicket seen = Ask(Statx(AT_FDCWD, to.constData(), 0));
    if (seen->result() < 0) return OsError{-seen->result(), Step::Examine};
    const FileStamp there = detail::StampOf(seen->stat());
    if (there.device == st.device && there.inode == st.inode)
        return OsError{EEXIST, Step::SameFile};
    if (!S_ISREG(there.mode) || (there.mode & S_IWUSR) == 0)
        return OsError{EACCES, Step::TargetRefused};
    const QByteArray final = detail::ResolveLink(to);
    err = -rename(final, 0);
    if (err == ETIMEDOUT) return unanswered();
    return err == 0 ? renamed(final) : copyInstead;
}

std::optional<Renamed> MovedBefore(const QByteArray& source, const QByteArray& target) {
    // Asked through the ring: a rename given up may still hold the target's
    // directory, where a plain open would wait for the device.
    const IoTicket opened =
        Ask({.op = IoOp::OpenAt,
             .path = target,
             .flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY});
    if (opened->result() < 0) return std::nullopt;
    SharedFd file(opened->result());
    auto from = std::make_shared<std::array<char, PATH_MAX>>();
    IoRequest mark{.op = IoOp::FGetXattr,
                   .path = MovedFromMark,
                   .fd = file.get(),
                   .place = target,
                   .buffer = from->data(),
                   .length = PATH_MAX};
    mark.keepAlive = KeepBoth(file.keep(), from);
    const int n = Ask(std::move(mark))->result();
    if (n <= 0 || QByteArray(from->data(), n) != source) return std::nullopt;
    const std::vector<IoTicket> seen =
        AsyncIo::Instance().Ask({Measure(file, target), Statx(AT_FDCWD, source.constData(), 0)});
    // The source gone, not merely unanswered.
    const int sourceLook = seen[1]->result();
    if (seen[0]->result() < 0 || !S_ISREG(seen[0]->stat().stx_mode) || sourceLook == 0 ||
        sourceLook == -ETIMEDOUT) {
        return std::nullopt;
    }
    return Renamed{std::int64_t(seen[0]->stat().stx_size), detail::HostDirectoryOf(target)};
}

void ForgetMove(const QByteArray& target) {
    ::lremovexattr(target.constData(), MovedFromMark);
}

std::vector<bool> StillWritten(std::span<const WrittenTarget* const> targets) {
    std::vector<IoRequest> looks;
    for (const WrittenTarget* t : targets)
        looks.push_back(Statx(AT_FDCWD, t->host.constData(), AT_SYMLINK_NOFOLLOW));
    const std::vector<IoTicket> answers = AsyncIo::Instance().Ask(std::move(looks));
    std::vector<bool> still(targets.size(), false);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (answers[i]->result() < 0) continue;
        const FileStamp st = detail::StampOf(answers[i]->stat());
        still[i] = S_ISREG(st.mode) && st.device == targets[i]->device &&
                   st.inode == targets[i]->inode && st.size == targets[i]->size;
    }
    return still;
}

namespace {

// Whether the source, looked at from in, is still the file copied; when
// `deletable`, also that it is no read-only file, which DeleteFile would
// leave. Both looks go to the device together.
bool StillTheSource(const InDir& in, const CopiedSource& source, bool deletable) {
    std::vector<IoRequest> looks;
    looks.push_back(in.Request(IoOp::Statx, 0));
    if (deletable) looks.push_back(in.Request(IoOp::Statx, AT_SYMLINK_NOFOLLOW));
    const std::vector<IoTicket> seen = AsyncIo::Instance().Ask(std::move(looks));
    for (const IoTicket& t : seen) {
        if (t->result() != 0) return false;
    }
    if (!detail::StampOf(seen[0]->stat()).SameContentAs(source.stamp)) return false;
    if (!deletable) return true;
    const mode_t mode = seen[1]->stat().stx_mode;
    return !S_ISREG(mode) || (mode & S_IWUSR) != 0;
}

}  // namespace

bool SourceUnchanged(const CopiedSource& source) {
    const InDir in(source.host, source.dir);
    return in.ok() && StillTheSource(in, source, false);
}

bool DeleteIfUnchanged(const CopiedSource& source) {
    const InDir in(source.host, source.dir);
    if (!in.ok() || !StillTheSource(in, source, true)) return false;
    return AsyncIo::Instance().Ask(in.Request(IoOp::UnlinkAt, 0))->result() == 0;
}

namespace {

// How fast each device took its last flush of some size, in bytes a second:
// what a plain syncfs of the next batch would hold the window for.
QHash<dev_t, double> flushPaces;
constexpr std::int64_t kPacedBatch = 256 << 10;

// Whether syncfs may write `bytes` itself, within about 50 ms: a batch under
// 256 KiB always may (50 ms at 5 MB/s), a larger one where the device's
// last flush was fast enough. A device not yet seen counts as slow.
bool QuickToFlush(dev_t device, std::int64_t bytes) {
    if (bytes < kPacedBatch) return true;
    const auto pace = flushPaces.constFind(device);
    return pace != flushPaces.constEnd() && double(bytes) / *pace < 0.05;
}

void Paced(dev_t device, std::int64_t bytes, std::chrono::steady_clock::duration took) {
    const double seconds = std::chrono::duration<double>(took).count();
    if (bytes >= kPacedBatch && seconds > 0) flushPaces.insert(device, double(bytes) / seconds);
}

}  // namespace

std::vector<bool> FlushFileSystems(const std::vector<QByteArray>& hostDirs,
                                   const std::vector<FileToFlush>& files) {
    using Clock = std::chrono::steady_clock;
    AsyncIo& io = AsyncIo::Instance();
    std::vector<bool> flushed(hostDirs.size(), false);
    // Where syncfs never reaches the server, each file and each directory
    // (its names) is flushed by itself instead, all at once; an answer
    // decides for the directory. A file's flush given up may still run later
    // on a reused descriptor number: the flush of another file, which harms
    // nothing. A directory's flush keeps the directory open.
    std::vector<IoRequest> byItself;
    std::vector<QByteArray> decidesFor;
    for (const FileToFlush& f : files) {
        if (!SyncfsMissesServer(f.hostDir)) continue;
        byItself.push_back({.op = IoOp::Fsync, .fd = f.fd, .place = f.hostDir});
        decidesFor.push_back(f.hostDir);
    }
    // The directories are opened and measured through the ring: a device
    // that does not answer fails its flush instead of holding the window.
    std::vector<IoRequest> opens;
    for (const QByteArray& dir : hostDirs)
        opens.push_back(
            {.op = IoOp::OpenAt, .path = dir, .flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC});
    const std::vector<IoTicket> opened = io.Ask(std::move(opens));
    // Measured through the ring as well; each measure keeps its directory
    // open until the kernel is done with it.
    std::vector<SharedFd> fds;
    std::vector<IoRequest> measures;
    for (std::size_t i = 0; i < hostDirs.size(); ++i) {
        if (opened[i]->result() < 0) continue;
        fds.emplace_back(opened[i]->result());
        measures.push_back(Measure(fds.back(), hostDirs[i]));
    }
    const std::vector<IoTicket> measured = io.Ask(std::move(measures));
    std::vector<std::size_t> flushedByItself;
    struct Synced {
        std::size_t dir = 0;  // the first directory found on the device
        int fd = -1;
        std::int64_t bytes = 0;
        bool writeOut = false;  // the data first, through the ring
        std::optional<Clock::time_point> wroteOut{};
        bool ok = false;
    };
    QHash<dev_t, Synced> devices;
    QHash<QByteArray, dev_t> deviceOf;
    for (std::size_t i = 0, m = 0; i < hostDirs.size(); ++i) {
        if (opened[i]->result() < 0) continue;
        const SharedFd& fd = fds[m];
        const IoTicket& st = measured[m++];
        if (st->result() != 0) continue;
        if (SyncfsMissesServer(hostDirs[i])) {
            flushedByItself.push_back(i);
            byItself.push_back(
                {.op = IoOp::Fsync, .fd = fd.get(), .place = hostDirs[i], .keepAlive = fd.keep()});
            decidesFor.push_back(hostDirs[i]);
            continue;
        }
        const dev_t device = detail::StampOf(st->stat()).device;
        deviceOf.insert(hostDirs[i], device);
        if (!devices.contains(device)) devices.insert(device, {i, fd.get()});
    }
    // syncfs waits for all the data written since the last flush, in a plain
    // call: on a USB stick that keeps a second's copies in the page cache,
    // seconds of the window held. Where that would take long, the files'
    // data goes out first through the ring, waited for however long the
    // device takes (one that is slow but writes is no hung one), so that
    // syncfs is left with the names and the journal. Nothing is given up:
    // the descriptors stay the batch's.
    for (const FileToFlush& f : files) {
        if (const auto d = deviceOf.constFind(f.hostDir); d != deviceOf.constEnd())
            devices[*d].bytes += f.bytes;
    }
    for (auto d = devices.begin(); d != devices.end(); ++d)
        d->writeOut = !QuickToFlush(d.key(), d->bytes);
    std::vector<IoTicket> dataOut;
    std::vector<QByteArray> dataFor;
    for (const FileToFlush& f : files) {
        const auto d = deviceOf.constFind(f.hostDir);
        if (d == deviceOf.constEnd() || !devices.value(*d).writeOut) continue;
        dataOut.push_back(io.Submit({.op = IoOp::SyncFileRange,
                                     .fd = f.fd,
                                     .flags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                              SYNC_FILE_RANGE_WAIT_AFTER,
                                     .place = f.hostDir,
                                     .offset = 0}));
        dataFor.push_back(f.hostDir);
    }
    QSet<QByteArray> failed;
    AbortWatch never;
    const Clock::time_point outFrom = Clock::now();
    for (std::size_t k = 0; k < dataOut.size(); ++k) {
        if (!io.WaitUnlessAborted(dataOut[k], never) || dataOut[k]->result() < 0)
            failed.insert(dataFor[k]);
        devices[deviceOf.value(dataFor[k])].wroteOut = Clock::now();
    }
    for (auto d = devices.begin(); d != devices.end(); ++d) {
        const Clock::time_point from = Clock::now();
        // Since Linux 5.8 syncfs also reports write-back errors.
        d->ok = ::syncfs(d->fd) == 0 && (!flushHook || flushHook(hostDirs[d->dir]));
        Paced(d.key(), d->bytes, d->wroteOut ? *d->wroteOut - outFrom : Clock::now() - from);
    }
    for (std::size_t i = 0; i < hostDirs.size(); ++i) {
        if (const auto d = deviceOf.constFind(hostDirs[i]); d != deviceOf.constEnd())
            flushed[i] = devices.value(*d).ok && !failed.contains(hostDirs[i]);
    }
    const std::vector<IoTicket> answers = io.Ask(std::move(byItself));
    for (std::size_t k = 0; k < answers.size(); ++k) {
        if (answers[k]->result() < 0) failed.insert(decidesFor[k]);
    }
    for (const std::size_t i : flushedByItself)
        flushed[i] = !failed.contains(hostDirs[i]) && (!flushHook || flushHook(hostDirs[i]));
    return flushed;
}

void SetFlushHook(std::function<bool(const QByteArray& hostDir)> hook) {
    flushHook = std::move(hook);
}

}  // namespace platform
