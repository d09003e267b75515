#include "queue/TreeWalk.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Pump.h"
#include "platform/TreeRemoval.h"

namespace queue {
namespace {

bool IsDotEntry(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

// A link to a directory is reported as a directory with faSymLink. It is listed
// as a file: deleting a file entry removes the link itself, so neither a walk nor
// a removal can ever reach what it points to, and a tree holding a link is not
// empty (a removal without force refuses it).
bool IsRealDirectory(const platform::SearchRec& rec) {
    return (rec.attr & platform::faDirectory) != 0 && (rec.attr & platform::faSymLink) == 0;
}

// Walks dir and returns its full name as the platform reported it on entering,
// or an empty text when dir could not be entered. The listed paths are built
// from that name, not from the current directory at each entry: whatever runs
// inside the pumps may change the current directory.
//
// With ids, a subdirectory is entered only while its parent's name still leads
// to the directory being listed: the walk goes by names, and a directory above
// replaced meanwhile by a link would lead it into another tree.
QString Walk(const QString& dir, const QString& mask, QStringList& dirs, QStringList& files,
             DirectoryIds* ids, std::vector<std::int64_t>* sizes, const QString& parent = {}) {
    // A link given as the tree is not entered (a drive root is always a directory).
    if (!platform::IsDriveRoot(dir) && !platform::DirectoryExists(dir)) return {};
    if (ids && !parent.isEmpty() && platform::IdentifyDirectory(parent) != ids->value(parent))
        return {};
    const std::optional<platform::DirectoryId> id =
        ids ? platform::IdentifyDirectory(dir) : std::nullopt;
    if (!platform::SetCurrentDir(dir)) return {};
    const QString base = platform::GetCurrentDir();
    if (id) ids->insert(base, *id);

    platform::DirectorySearch search;
    platform::SearchRec rec;
    const std::int32_t everything = platform::faAnyFile | platform::faSymLink;
    if (search.First(platform::JoinPath(base, mask), everything, rec)) {
        do {
            if (IsRealDirectory(rec)) {
                if (!IsDotEntry(rec.name)) {
                    const QString sub = platform::JoinPath(base, rec.name);
                    Walk(sub, mask, dirs, files, ids, sizes, base);
                    dirs.append(sub);
                }
            } else {
                files.append(platform::JoinPath(base, rec.name));
                if (sizes) sizes->push_back(rec.size);
            }
            const bool more = search.Next(rec);
            platform::PumpMessages();
            if (!more) break;
        } while (true);
    }
    search.Close();

    // Back up one level: the walked directory is no longer anyone's current
    // directory when a removal goes on to delete it.
    if (!platform::IsDriveRoot(base)) platform::SetCurrentDir(platform::ExtractFileDir(base));
    return base;
}

}  // namespace

void CollectTree(const QString& dir, const QString& mask, QStringList& dirs, QStringList& files,
                 DirectoryIds* ids, std::vector<std::int64_t>* sizes) {
    Walk(dir, mask, dirs, files, ids, sizes);
}

bool RemoveTree(const QString& dir, Force force) {
    const QString full = platform::ExpandFileName(dir);
    if (full.isEmpty()) return false;
    // The current directory ends where a walk of the tree would leave it: at
    // the parent, or unchanged when the tree cannot be entered.
    if ((platform::IsDriveRoot(full) || platform::DirectoryExists(full)) &&
        platform::SetCurrentDir(full) && !platform::IsDriveRoot(full)) {
        platform::SetCurrentDir(platform::ExtractFileDir(full));
    }
    const platform::TreeContent content = force == Force::Yes
                                              ? platform::TreeContent::Everything
                                              : platform::TreeContent::EmptyDirectoriesOnly;
    return platform::RemoveDirectoryTree(full, content, [] { platform::PumpMessages(); });
}

}  // namespace queue
