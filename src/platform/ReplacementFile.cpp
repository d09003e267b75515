#include "platform/ReplacementFile.h"

#include "platform/AsyncIo.h"
#include "platform/ChunkIo.h"
#include "platform/FileSystemDetail.h"

#include <QFile>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace platform {
namespace {

// ".name.~" : what every temporary of target starts with, before the pid.
QByteArray StemOf(const QByteArray& target) {
    return '.' + target.mid(target.lastIndexOf('/') + 1) + ".~";
}

QByteArray TemporaryPattern(const QByteArray& target) {
    QByteArray dir = detail::HostDirectoryOf(target);
    if (!dir.endsWith('/')) dir += '/';
    return dir + StemOf(target) + QByteArray::number(::getpid()) + ".XXXXXX";
}

void FillRandom(QByteArray& pattern) {
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (qsizetype i = pattern.size() - 6; i < pattern.size(); ++i)
        pattern[i] = Letters[::arc4random_uniform(sizeof Letters - 1)];
}

// linkat through /proc needs no privilege, AT_EMPTY_PATH does; without /proc
// an unnamed file could never be given its name.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// The attribute that marks a resumable partial: "<key> <bytes on disk>".
constexpr char PartialMark[] = "user.ferrovant.partial";

QByteArray PartialName(const QByteArray& target) {
    QByteArray dir = detail::HostDirectoryOf(target);
    if (!dir.endsWith('/')) dir += '/';
    return dir + StemOf(target) + "partial";
}

IoRequest OpenRequest(const QByteArray& path, int flags, mode_t mode) {
    return {.op = IoOp::OpenAt, .path = path, .flags = flags, .mode = mode};
}

IoTicket Ask(bool ring, IoRequest request) {
    return ring ? AsyncIo::Instance().Ask(std::move(request))
                : AsyncIo::RunHere(std::move(request));
}

// What adopting a file left by an earlier copy found.
enum class Adopted { Resumed, Unmarked, Busy };

// Opens path when it is a partial of this source: marked with key, holding
// at least the part marked, and not being written by another copy (which
// holds its lock). On Resumed, fd is open at the end of the marked part,
// the rest cut off, and offset tells where that is.
Adopted Adopt(bool ring, const QByteArray& path, const QByteArray& key, int& fd,
              std::int64_t& offset) {
    fd = Ask(ring, OpenRequest(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0))
             ->result();
    if (fd < 0) return Adopted::Unmarked;
    const auto give_up = [&fd](Adopted why) {
        ::close(fd);
        fd = -1;
        return why;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return give_up(Adopted::Unmarked);
    // Only a copy that is running holds the lock; file systems without
    // locks cannot tell, and the partial counts as left behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return give_up(Adopted::Busy);
    char mark[256];
    const ssize_t n = ::fgetxattr(fd, PartialMark, mark, sizeof mark);
    if (n <= 0) return give_up(Adopted::Unmarked);
    const QByteArray value(mark, n);
    if (!value.startsWith(key + ' ')) return give_up(Adopted::Unmarked);
    bool ok = false;
    offset = value.mid(key.size() + 1).toLongLong(&ok);
    if (!ok || offset < 0 || offset > st.st_size || ::ftruncate(fd, offset) != 0 ||
        ::lseek(fd, offset, SEEK_SET) != offset) {
        return give_up(Adopted::Unmarked);
    }
    return Adopted::Resumed;
}

// linkat through /proc: the unnamed file behind fd gets the name, which
// it never replaces nor follows when it is a dangling link.
IoRequest LinkRequest(int fd, const QByteArray& name) {
    return {.op = IoOp::LinkAt,
            .path = "/proc/self/fd/" + QByteArray::number(fd),
            .path2 = name,
            .flags = AT_SYMLINK_FOLLOW,
            .place = name};
}

IoRequest CloseRequest(int fd, const QByteArray& place) {
    return {.op = IoOp::Close, .fd = fd, .place = place};
}

IoRequest RenameRequest(const QByteArray& from, const QByteArray& to, unsigned flags) {
    return {.op = IoOp::RenameAt, .path = from, .path2 = to, .flags = int(flags)};
}

IoRequest UnlinkRequest(const QByteArray& path) {
    return {.op = IoOp::UnlinkAt, .path = path};
}

std::vector<IoTicket> Ask(bool ring, std::vector<IoRequest> requests) {
    if (ring) return AsyncIo::Instance().Ask(std::move(requests));
    std::vector<IoTicket> tickets;
    for (IoRequest& r : requests)
        tickets.push_back(AsyncIo::RunHere(std::move(r)));
    return tickets;
}

// A new unnamed file in dir.
IoRequest UnnamedRequest(const QByteArray& dir, mode_t mode) {
    return OpenRequest(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

// A new hidden file, never one that is there already.
IoRequest HiddenRequest(const QByteArray& name, mode_t mode) {
    return OpenRequest(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

// Directories whose file system makes no unnamed files: not asked again.
QSet<QByteArray> namedOnly;
// Directories swept of the temporaries of processes gone.
QSet<QByteArray> swept;

// The permission bits a new file loses to the process's umask, read once.
mode_t Umask() {
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (!line.startsWith("Umask:")) continue;
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) return mode_t(value);
            }
        }
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return mask;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

Result<void> ReplacementFile::Open(const QByteArray& target, mode_t mode, Placement placement) {
    if (TakeAhead(target, mode, placement)) return {};
    Discard();
    target_ = target;
    placement_ = placement;
    const QByteArray dir = detail::HostDirectoryOf(target);
    if (ring_) dir_ = HeldDirectory::Of(dir);
    if (CanNameUnnamedFiles() && !namedOnly.contains(dir)) {
        const IoTicket unnamed = Ask(ring_, InDirectory(UnnamedRequest(dir, mode)));
        if (unnamed->result() >= 0) {
            fd_ = unnamed->result();
        } else if (unnamed->result() == -EOPNOTSUPP || unnamed->result() == -EISDIR) {
            namedOnly.insert(dir);
        }
    }
    if (fd_ < 0) {
        // Whatever else went wrong, the named way reports it properly.
        // Named temporaries of processes that died are swept once per
        // directory: they would otherwise pile up.
        if (!swept.contains(dir)) {
            swept.insert(dir);
            RemoveStaleIn(dir, {});
        }
        QByteArray name = TemporaryPattern(target);
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            FillRandom(name);
            const IoTicket created = Ask(ring_, InDirectory(HiddenRequest(name, mode)));
            if (created->result() >= 0) {
                fd_ = created->result();
                named_ = name;
            } else if (created->result() != -EEXIST) {
                return OsError{-created->result(), Step::Create};
            }
        }
        if (fd_ < 0) return OsError{EEXIST, Step::Create};
    }
    // The bits the umask took are given back: the file gets exactly `mode`.
    if ((mode & Umask()) != 0 && ::fchmod(fd_, mode) != 0) return Fail(Step::Create);
    return {};
}

void ReplacementFile::OpenAhead(const QByteArray& target, mode_t mode) {
    Discard();
    if (!ring_) return;
    const QByteArray dir = detail::HostDirectoryOf(target);
    const bool unnamed = CanNameUnnamedFiles() && !namedOnly.contains(dir);
    if (!unnamed && !swept.contains(dir)) return;
    aheadName_.clear();
    if (!unnamed) {
        aheadName_ = TemporaryPattern(target);
        FillRandom(aheadName_);
    }
    aheadDir_ = HeldDirectory::Of(dir);
    ahead_ = AsyncIo::Instance().Send(HeldDirectory::Relate(
        unnamed ? UnnamedRequest(dir, mode) : HiddenRequest(aheadName_, mode), aheadDir_));
    aheadTarget_ = target;
    aheadMode_ = mode;
}

bool ReplacementFile::MadeAhead() {
    if (!ahead_) return false;
    AsyncIo::Instance().Wait(ahead_, kDeviceAnswerTimeout, PumpInput::Defer);
    return ahead_->result() >= 0;
}

bool ReplacementFile::TakeAhead(const QByteArray& target, mode_t mode, Placement placement) {
    if (!ahead_) return false;
    const IoTicket ahead = std::exchange(ahead_, nullptr);
    std::shared_ptr<const HeldDirectory> dir = std::move(aheadDir_);
    AsyncIo::Instance().Wait(ahead, kDeviceAnswerTimeout, PumpInput::Defer);
    const bool wanted = placement == Placement::New && target == aheadTarget_;
    if (ahead->result() < 0) {
        if (aheadName_.isEmpty() &&
            (ahead->result() == -EOPNOTSUPP || ahead->result() == -EISDIR)) {
            namedOnly.insert(detail::HostDirectoryOf(aheadTarget_));
        }
        return false;
    }
    Discard();
    fd_ = ahead->result();
    named_ = aheadName_;
    target_ = aheadTarget_;
    dir_ = std::move(dir);
    placement_ = Placement::New;
    if (!wanted) {
        Discard();
        return false;
    }
    if ((mode != aheadMode_ || (mode & Umask()) != 0) && ::fchmod(fd_, mode) != 0) {
        (void)Fail(Step::Create);
        return false;
    }
    return true;
}

Result<std::int64_t> ReplacementFile::OpenResumable(const QByteArray& target, mode_t mode,
                                                    Placement placement, const QByteArray& key) {
    Discard();
    std::int64_t offset = 0;
    // After an Abort the part is under the target's own name.
    if (placement == Placement::Replace &&
        Adopt(ring_, target, key, fd_, offset) == Adopted::Resumed) {
        target_ = named_ = target;
    } else {
        const QByteArray partial = PartialName(target);
        const Adopted left = Adopt(ring_, partial, key, fd_, offset);
        if (left == Adopted::Busy) {
            // Another copy is writing it: this one goes its own way.
            const Result<void> opened = Open(target, mode, placement);
            if (!opened) return opened.error();
            return 0;
        }
        if (left == Adopted::Unmarked) {
            // Not this source's, or left before anything was marked: begun anew.
            (void)Ask(ring_, UnlinkRequest(partial));
            offset = 0;
            const int created =
                Ask(ring_, OpenRequest(
                               partial,
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600))
                    ->result();
            if (created < 0) return OsError{-created, Step::Create};
            fd_ = created;
            (void)::flock(fd_, LOCK_EX | LOCK_NB);
        }
        target_ = target;
        named_ = partial;
    }
    placement_ = placement;
    resumable_ = true;
    key_ = key;
    if (::fchmod(fd_, mode) != 0) return Fail(Step::Create);
    return offset;
}

void ReplacementFile::MarkDurable(std::int64_t bytes) {
    if (!IsResumable()) return;
    // On a USB stick the data still on its way is seconds of writing: waited
    // for through the ring, with the window answering, for as long as the
    // device writes. One that has stopped writing for AbortGrace is given
    // up, as a chunk is, and the part keeps the mark of its last flush.
    AsyncIo& io = AsyncIo::Instance();
    IoRequest flush{.op = IoOp::Fdatasync, .fd = fd_, .place = target_};
    const IoTicket flushed = ring_ ? io.Submit(std::move(flush)) : AsyncIo::RunHere(flush);
    static constexpr bool aborted = true;
    AbortWatch watch{&aborted, AbortGrace, std::nullopt, DeviceWriting(target_)};
    if (io.WaitUnlessAborted(flushed, watch) && flushed->result() == 0) MarkFlushed(bytes);
}

void ReplacementFile::MarkFlushed(std::int64_t bytes) {
    if (!IsResumable()) return;
    const QByteArray mark = key_ + ' ' + QByteArray::number(qint64(bytes));
    (void)::fsetxattr(fd_, PartialMark, mark.constData(), std::size_t(mark.size()), 0);
}

OsError ReplacementFile::Fail(Step step) {
    return Fail(errno, step);
}

OsError ReplacementFile::Fail(int code, Step step) {
    Discard();
    return OsError{code, step};
}

Result<void> ReplacementFile::Commit(Content content) {
    ReplacementFile* const self = this;
    return CommitAll(std::span(&self, 1), content).front();
}

std::vector<Result<void>> ReplacementFile::CommitAll(std::span<ReplacementFile* const> files,
                                                     Content content) {
    std::vector<Result<void>> results(files.size());
    const bool ring = !files.empty() && files.front()->ring_;
    // Asks one request of each file for which `request` makes one, all at
    // once, and hands each its answer.
    const auto step = [&](const auto& request, const auto& answer) {
        std::vector<std::size_t> asked;
        std::vector<IoRequest> requests;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!results[i]) continue;
            if (std::optional<IoRequest> r = request(i, *files[i])) {
                asked.push_back(i);
                requests.push_back(std::move(*r));
            }
        }
        if (requests.empty()) return;
        const std::vector<IoTicket> answers = Ask(ring, std::move(requests));
        for (std::size_t k = 0; k < asked.size(); ++k)
            answer(asked[k], *files[asked[k]], answers[k]->result());
    };

    std::vector<bool> linkedAsTarget(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        ReplacementFile& f = *files[i];
        if (f.fd_ < 0) {
            results[i] = OsError{EBADF, Step::Link};
        } else if (f.resumable_ && content == Content::Whole) {
            (void)::fremovexattr(f.fd_, PartialMark);
        }
    }

    // 1. An unnamed file gets a name: a new file its target's, a new
    // version a temporary one beside the target (drawn again while the
    // one drawn is taken).
    std::vector<QByteArray> drawn(files.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool again = false;
        step(
            [&](std::size_t i, ReplacementFile& f) -> std::optional<IoRequest> {
                if (!f.named_.isEmpty() || linkedAsTarget[i]) return std::nullopt;
                if (f.placement_ == Placement::New) {
                    if (attempt > 0) return std::nullopt;
                    return f.InDirectory(LinkRequest(f.fd_, f.target_));
                }
                drawn[i] = TemporaryPattern(f.target_);
                FillRandom(drawn[i]);
                return f.InDirectory(LinkRequest(f.fd_, drawn[i]));
            },
            [&](std::size_t i, ReplacementFile& f, int result) {
                if (result >= 0) {
                    if (f.placement_ == Placement::New) {
                        linkedAsTarget[i] = true;
                    } else {
                        f.named_ = drawn[i];
                    }
                } else if (result == -EEXIST && f.placement_ == Placement::Replace) {
                    again = true;
                } else {
                    results[i] = f.Fail(-result, Step::Link);
                }
            });
        if (!again) break;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (results[i] && files[i]->named_.isEmpty() && !linkedAsTarget[i])
            results[i] = files[i]->Fail(EEXIST, Step::Link);
    }

    // 2. Closed: a close that reports an error may mean the data never
    // reached the disk, and then nothing of the file stays.
    step(
        [](std::size_t, ReplacementFile& f) {
            return std::optional(CloseRequest(std::exchange(f.fd_, -1), f.target_));
        },
        [&](std::size_t i, ReplacementFile& f, int result) {
            if (result >= 0 || result == -EINTR) return;
            if (linkedAsTarget[i]) {
                (void)Ask(ring, f.InDirectory(UnlinkRequest(f.target_)));
                results[i] = OsError{-result, Step::Close};
            } else {
                results[i] = f.Fail(-result, Step::Close);
            }
        });

    // 3. Renamed to the target's name; a new file without replacing what
    // may have appeared there meanwhile. Linked to it, or resumed under
    // it, a file has its name already.
    step(
        [&](std::size_t i, ReplacementFile& f) -> std::optional<IoRequest> {
            if (linkedAsTarget[i] || f.named_ == f.target_) return std::nullopt;
            return f.InDirectory(RenameRequest(
                f.named_, f.target_, f.placement_ == Placement::New ? RENAME_NOREPLACE : 0));
        },
        [&](std::size_t i, ReplacementFile& f, int result) {
            if (result == -EINVAL || result == -ENOSYS) {
                // File systems without RENAME_NOREPLACE: look, then rename.
                const int there = Ask(ring, f.InDirectory({.op = IoOp::Statx,
                                                           .path = f.target_,
                                                           .flags = AT_SYMLINK_NOFOLLOW}))
                                      ->result();
                if (there == 0) {
                    result = -EEXIST;
                } else if (there != -ENOENT) {
                    result = there;
                } else {
                    result =
                        Ask(ring, f.InDirectory(RenameRequest(f.named_, f.target_, 0)))->result();
                }
            }
            if (result < 0) results[i] = f.Fail(-result, Step::Rename);
        });
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (results[i]) files[i]->named_.clear();
    }
    return results;
}

void ReplacementFile::Discard() {
    // A file begun ahead and not taken goes too, once the device answered.
    if (ahead_) (void)TakeAhead({}, 0, Placement::Replace);
    // Clean-up: made here and now, except on a device known not to answer,
    // where nobody waits for it.
    const bool silent = ring_ && !AsyncIo::Instance().DriveAnswers(target_);
    const auto letGo = [silent](IoRequest r) {
        if (silent) {
            AsyncIo::Instance().Send(std::move(r));
        } else {
            (void)AsyncIo::RunHere(std::move(r));
        }
    };
    if (fd_ >= 0) letGo(CloseRequest(std::exchange(fd_, -1), target_));
    // A part resumed under the target's name stays, as the Abort left it.
    if (!named_.isEmpty() && named_ != target_) letGo(InDirectory(UnlinkRequest(named_)));
    named_.clear();
    dir_.reset();
    resumable_ = false;
}

IoRequest ReplacementFile::InDirectory(IoRequest request) const {
    return HeldDirectory::Relate(std::move(request), dir_);
}

void ReplacementFile::RemoveStale(const QByteArray& target) {
    RemoveStaleIn(detail::HostDirectoryOf(target), StemOf(target));
}

void ReplacementFile::RemoveStaleIn(const QByteArray& directory, const QByteArray& stem) {
    DIR* dir = ::opendir(directory.constData());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(stem)) continue;
        // ".name.~<pid>.XXXXXX": the pid and six letters after the stem, or
        // after any ".~" when no stem is given.
        qsizetype at = stem.size();
        if (stem.isEmpty()) {
            if (!name.startsWith('.') || (at = name.lastIndexOf(".~")) < 0) continue;
            at += 2;
        }
        const QByteArray rest = name.mid(at);
        const qsizetype dot = rest.indexOf('.');
        if (dot <= 0 || rest.size() - dot - 1 != 6) continue;
        bool ok = false;
        const long pid = rest.left(dot).toLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace platform
