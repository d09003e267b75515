// Directory search, and the two look-ups built on it and on the drive table.
#include "platform/AsyncIo.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemDetail.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <memory>
#include <vector>

namespace platform {

namespace {

constexpr std::int32_t kSpecialAttrs = faHidden | faSysFile | faVolumeID | faDirectory;

bool HasWildcard(const QString& mask) {
    return mask.contains(u'*') || mask.contains(u'?');
}

// How many look-ups of a listing are in flight at once: on a share every one
// waits out the network's latency, so they wait side by side.
constexpr std::size_t kLookupsInFlight = 128;

// A directory's descriptor, shared with the look-ups relative to it: one given
// up keeps it open until the kernel is done with it.
struct DirectoryFd {
    int fd = -1;
    ~DirectoryFd() {
        if (fd >= 0) ::close(fd);
    }
};

// Opens a directory through the kernel's ring: a device that does not answer
// gives ETIMEDOUT, not a window that stops.
// Only to look names up in it (forReading false) a directory need not be readable.
std::shared_ptr<DirectoryFd> OpenDirectory(const QByteArray& host, bool forReading) {
    IoRequest open;
    open.op = IoOp::OpenAt;
    open.path = host;
    open.flags = (forReading ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
    const int fd = AsyncIo::Instance().Run(std::move(open), kDeviceAnswerTimeout, PumpInput::Defer);
    if (fd < 0) {
        errno = -fd;
        return nullptr;
    }
    auto dir = std::make_shared<DirectoryFd>();
    dir->fd = fd;
    return dir;
}

// The names of an open directory, "." and ".." left out, each one that can be
// written in drive-letter form; false with errno when it cannot be read.
bool ReadNames(const DirectoryFd& opened, std::vector<QString>& names) {
    const int fd = ::dup(opened.fd);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    // readdir() tells the end from a failure only through errno, which the
    // work between two calls may touch.
    for (errno = 0; const dirent* entry = ::readdir(dir); errno = 0) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..") continue;
        const QString name = QString::fromUtf8(raw);
        // Such a name could not be written back, or would be read as two names.
        if (name.contains(u'\\') || name.toUtf8() != raw) continue;
        names.push_back(name);
    }
    const int err = errno;
    ::closedir(dir);
    errno = err;
    return err == 0;
}

IoRequest Lookup(const std::shared_ptr<DirectoryFd>& dir, const QString& name, bool follow) {
    IoRequest r;
    r.op = IoOp::Statx;
    r.dirFd = dir->fd;
    r.path = name.toUtf8();
    r.flags = AT_NO_AUTOMOUNT | (follow ? 0 : AT_SYMLINK_NOFOLLOW);
    r.mask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME;
    r.keepAlive = dir;
    return r;
}

// The attributes of the named entries of an open directory, many look-ups in
// flight at once, pumping while the device is slow. An entry that cannot be
// examined (removed meanwhile) stays nullopt. False with ETIMEDOUT when the
// device stops answering.
bool InspectAll(const std::shared_ptr<DirectoryFd>& dir, const std::vector<QString>& names,
                std::vector<std::optional<detail::EntryInfo>>& infos) {
    AsyncIo& io = AsyncIo::Instance();
    infos.assign(names.size(), std::nullopt);
    std::vector<IoTicket> batch;
    std::vector<IoTicket> links;
    for (std::size_t first = 0; first < names.size(); first += kLookupsInFlight) {
        const std::size_t end = std::min(names.size(), first + kLookupsInFlight);
        batch.clear();
        for (std::size_t i = first; i < end; ++i)
            batch.push_back(io.Submit(Lookup(dir, names[i], false)));
        if (!io.Wait(batch, kDeviceAnswerTimeout, PumpInput::Defer)) return false;
        // What the links among them lead to.
        links.assign(batch.size(), nullptr);
        bool anyLink = false;
        for (std::size_t k = 0; k < batch.size(); ++k) {
            if (batch[k]->result() == 0 && S_ISLNK(batch[k]->stat().stx_mode)) {
                links[k] = io.Submit(Lookup(dir, names[first + k], true));
                anyLink = true;
            }
        }
        if (anyLink) {
            std::vector<IoTicket> pending;
            for (const IoTicket& t : links)
                if (t) pending.push_back(t);
            if (!io.Wait(pending, kDeviceAnswerTimeout, PumpInput::Defer)) return false;
        }
        for (std::size_t k = 0; k < batch.size(); ++k) {
            if (batch[k]->result() != 0) continue;
            std::optional<detail::EntryStat> target;
            if (links[k] && links[k]->result() == 0) target = detail::StatOf(links[k]->stat());
            infos[first + k] =
                detail::ClassifyEntry(detail::StatOf(batch[k]->stat()), target, names[first + k]);
        }
    }
    return true;
}

}  // namespace

struct DirectorySearch::State {
    std::vector<QString> names;
    std::vector<std::optional<detail::EntryInfo>> infos;
    std::size_t next = 0;
    std::int32_t filter = 0;
};

DirectorySearch::~DirectorySearch() {
    Close();
}

void DirectorySearch::Close() {
    delete state_;
    state_ = nullptr;
}

Result<void> DirectorySearch::First(const QString& pattern, std::int32_t attrFilter,
                                    SearchRec& out) {
    const OsError nothing{ENOENT, Step::Open};
    Close();
    const QString full = ExpandFileName(pattern);
    // A root names no entry of any directory, so it finds nothing.
    if (full.isEmpty() || IsDriveRoot(full)) return nothing;
    const QString dir = ExtractFileDir(full);
    const QString mask = ExtractFileName(full);

    state_ = new State;
    state_->filter = attrFilter;
    const std::optional<QByteArray> host = Drives().toHost(dir);
    if (!host) return OsError{ENOENT, Step::Resolve};
    const bool wildcard = HasWildcard(mask);
    const std::shared_ptr<DirectoryFd> opened = OpenDirectory(*host, wildcard);
    if (!opened) return Errno(Step::Open);
    if (!wildcard) {
        state_->names.push_back(mask);
    } else {
        std::vector<QString> names;
        if (!ReadNames(*opened, names)) return Errno(Step::Read);
        std::erase_if(names, [&](const QString& n) { return !MatchesMask(n, mask); });
        // Sorted as the home platform's volumes list them, so walks and queued
        // rows come out in an order the user can follow, the same on every run.
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
        if (!IsDriveRoot(dir)) {
            for (const QString& dot : {QStringLiteral("."), QStringLiteral("..")}) {
                if (MatchesMask(dot, mask)) state_->names.push_back(dot);
            }
        }
        state_->names.insert(state_->names.end(), names.begin(), names.end());
    }
    if (!InspectAll(opened, state_->names, state_->infos)) return OsError{ETIMEDOUT, Step::Read};
    if (!Next(out)) return nothing;
    return {};
}

bool DirectorySearch::Next(SearchRec& out) {
    if (!state_) return false;
    while (state_->next < state_->names.size()) {
        const std::size_t i = state_->next++;
        // An entry removed since the directory was read is simply not there.
        const std::optional<detail::EntryInfo>& info = state_->infos[i];
        if (!info) continue;
        if (info->attr & ~state_->filter & kSpecialAttrs) continue;
        out.name = state_->names[i];
        out.attr = info->attr;
        out.size = info->size;
        out.modified = info->modified;
        return true;
    }
    return false;
}

std::int64_t FileSizeOf(const QString& path) {
    // "what?.txt" is a legal name here; measuring "whatX.txt" instead would
    // let a copy end short of its source and still look complete.
    const QString full = ExpandFileName(path);
    if (!full.isEmpty() && !IsDriveRoot(full)) {
        if (const std::optional<QByteArray> host = Drives().toHost(full)) {
            const Result<detail::EntryInfo> info =
                detail::InspectEntry(*host, ExtractFileName(full));
            if (info) return info->size;
            // A device that does not answer is not asked a second time.
            if (info.error().code == ETIMEDOUT) return -1;
        }
    }
    DirectorySearch search;
    SearchRec rec;
    if (!search.First(path, faAnyFile, rec)) return -1;
    return rec.size;
}

namespace {

// The mount of the drive named by path's first character while it is
// ready; nullopt for no drive, one that went, or one whose free space is
// set by hand (tests: override).
std::optional<QByteArray> ReadyDriveRoot(const QString& path,
                                         std::optional<std::int64_t>* override = nullptr) {
    if (path.isEmpty()) return std::nullopt;
    const char16_t c = path[0].unicode();
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) return std::nullopt;
    const Drive* drive = Drives().find(path[0]);
    if (!drive) return std::nullopt;
    if (drive->freeSpaceOverride) {
        if (override) *override = drive->freeSpaceOverride;
        return std::nullopt;
    }
    // A volume unmounted since the table was read is not ready: its bare
    // mount point would report the free space of the disk below.
    return Drives().toHost(QString(path[0]) + QStringLiteral(":\\"));
}

}  // namespace

std::int64_t DriveFreeSpace(const QString& path) {
    std::optional<std::int64_t> override;
    const std::optional<QByteArray> root = ReadyDriveRoot(path, &override);
    if (override) return *override;
    if (!root) return -1;
    // The kernel's ring has no statfs: a device known not to answer is not asked.
    if (!AsyncIo::Instance().DriveAnswers(*root)) return -1;
    struct statvfs vfs {};
    if (::statvfs(root->constData(), &vfs) != 0) return -1;
    return std::int64_t(vfs.f_bavail) * std::int64_t(vfs.f_frsize);
}

bool RoomCheck::HasRoom(const QString& path, std::int64_t bytes, std::int64_t written) {
    const auto now = std::chrono::steady_clock::now();
    if (free_ >= 0 && !path.isEmpty() && path[0].toUpper() == drive_ && written >= writtenThen_ &&
        now - askedAt_ < std::chrono::seconds(1) && free_ - (written - writtenThen_) >= bytes) {
        const std::optional<QByteArray> root = ReadyDriveRoot(path);
        if (root && !AnswersFromMemory(*root)) return true;
    }
    free_ = DriveFreeSpace(path);
    drive_ = path.isEmpty() ? QChar() : path[0].toUpper();
    writtenThen_ = written;
    askedAt_ = now;
    return free_ >= bytes;
}

}  // namespace platform
