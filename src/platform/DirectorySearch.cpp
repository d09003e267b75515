// Directory search, and the two look-ups built on it and on the drive table.
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemDetail.h"
#include "platform/Paths.h"

#include <dirent.h>
#include <sys/statvfs.h>
#include <cerrno>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

constexpr std::int32_t kSpecialAttrs = faHidden | faSysFile | faVolumeID | faDirectory;

bool HasWildcard(const QString& mask) {
    return mask.contains(u'*') || mask.contains(u'?');
}

// The names of a directory, "." and ".." left out, each one that can be
// written in drive-letter form; false with errno when it cannot be read.
bool ReadNames(const QByteArray& host, std::vector<QString>& names) {
    DIR* dir = ::opendir(host.constData());
    if (!dir) return false;
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

}  // namespace

struct DirectorySearch::State {
    QByteArray hostDir;  // empty for a search for one plain path
    QByteArray plainHost;
    std::vector<QString> names;
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
    if (!HasWildcard(mask)) {
        const std::optional<QByteArray> host = Drives().toHost(full);
        if (!host) return OsError{ENOENT, Step::Resolve};
        state_->plainHost = *host;
        state_->names.push_back(mask);
        if (!Next(out)) return nothing;
        return {};
    }

    const std::optional<QByteArray> host = Drives().toHost(dir);
    if (!host) return OsError{ENOENT, Step::Resolve};
    state_->hostDir = *host;
    std::vector<QString> names;
    if (!ReadNames(*host, names)) return Errno(Step::Read);
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
    if (!Next(out)) return nothing;
    return {};
}

bool DirectorySearch::Next(SearchRec& out) {
    if (!state_) return false;
    while (state_->next < state_->names.size()) {
        const QString& name = state_->names[state_->next++];
        QByteArray host = state_->plainHost;
        if (!state_->hostDir.isEmpty()) {
            host = state_->hostDir;
            if (!host.endsWith('/')) host += '/';
            host += name.toUtf8();
        }
        // An entry removed since the directory was read is simply not there.
        const Result<detail::EntryInfo> info = detail::InspectEntry(host, name);
        if (!info) continue;
        if (info->attr & ~state_->filter & kSpecialAttrs) continue;
        out.name = name;
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
            if (auto info = detail::InspectEntry(*host, ExtractFileName(full))) return info->size;
        }
    }
    DirectorySearch search;
    SearchRec rec;
    if (!search.First(path, faAnyFile, rec)) return -1;
    return rec.size;
}

std::int64_t DriveFreeSpace(const QString& path) {
    if (path.isEmpty()) return -1;
    const char16_t c = path[0].unicode();
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) return -1;
    const Drive* drive = Drives().find(path[0]);
    if (!drive) return -1;
    if (drive->freeSpaceOverride) return *drive->freeSpaceOverride;
    struct statvfs vfs {};
    if (::statvfs(drive->hostRoot.constData(), &vfs) != 0) return -1;
    return std::int64_t(vfs.f_bavail) * std::int64_t(vfs.f_frsize);
}

}  // namespace platform
