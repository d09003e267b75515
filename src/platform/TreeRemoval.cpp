#include "platform/TreeRemoval.h"

#include "platform/AsyncIo.h"
#include "platform/FileSystemDetail.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace platform {
namespace {

// One directory on the way down: what it is, and its names still to visit.
struct Level {
    dev_t device;
    ino_t inode;
    std::vector<QByteArray> names;
    std::size_t next = 0;
};

// Where the tree lives: an entry elsewhere is another file system's.
struct Mount {
    dev_t device;
    std::uint64_t id;
    bool knowsId;
};

// An open directory, kept open also by the calls made relative to it until
// the kernel is done with them.
using Fd = SharedFd;

// The names of the open directory, sorted as a directory search lists them,
// leaving out those the drive-letter form cannot write (DirectorySearch
// skips them too, so nothing could ever name them).
bool ReadNames(int fd, std::vector<QByteArray>& names) {
    const int copy = ::dup(fd);
    if (copy < 0) return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    // The copy shares its position with fd, which an earlier walk may have moved.
    ::rewinddir(dir);
    std::vector<std::pair<QString, QByteArray>> found;
    for (errno = 0; const dirent* entry = ::readdir(dir); errno = 0) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..") continue;
        const QString name = QString::fromUtf8(raw);
        if (name.contains(u'\\') || name.toUtf8() != raw) continue;
        found.emplace_back(name, raw);
    }
    const int err = errno;
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.first < b.first;
    });
    for (auto& f : found)
        names.push_back(std::move(f.second));
    return err == 0;
}

// The walk's calls on the tree's device, asked through the ring (AsyncIo::Ask:
// plain calls where names are answered from memory): a share that hangs
// fails the removal instead of holding the window. Results as the calls
// return them, -errno on failure.
class TreeCalls {
public:
    explicit TreeCalls(QByteArray place) : place_(std::move(place)) {}

    // dir: the directory the name is taken in; null for the whole path.
    Fd Open(const Fd* dir, const char* name) {
        const int opened = Ask(dir, {.op = IoOp::OpenAt,
                                     .path = name,
                                     .flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC})
                               ->result();
        return Fd(opened >= 0 ? opened : -1);
    }
    int Examine(const Fd& dir, const char* name, struct statx& sx,
                int flags = AT_SYMLINK_NOFOLLOW) {
        const IoTicket t = Ask(&dir, {.op = IoOp::Statx,
                                      .path = name,
                                      .flags = flags | AT_NO_AUTOMOUNT,
                                      .mask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_MNT_ID});
        if (t->result() == 0) sx = t->stat();
        return t->result();
    }
    // What the open directory is.
    bool Identify(const Fd& dir, dev_t& device, ino_t& inode) {
        struct statx sx {};
        if (Examine(dir, "", sx, AT_EMPTY_PATH) != 0) return false;
        device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        inode = sx.stx_ino;
        return true;
    }
    bool Unlink(const Fd* dir, const char* name, int flags) {
        return Ask(dir, {.op = IoOp::UnlinkAt, .path = name, .flags = flags})->result() == 0;
    }

private:
    IoTicket Ask(const Fd* dir, IoRequest request) {
        request.place = place_;
        if (dir) {
            request.dirFd = dir->get();
            request.keepAlive = dir->keep();
        }
        return AsyncIo::Instance().Ask(std::move(request));
    }
    QByteArray place_;
};

bool IsMountPoint(const struct statx& sx, const Mount& tree) {
    if (makedev(sx.stx_dev_major, sx.stx_dev_minor) != tree.device) return true;
    if ((sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
        (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT))
        return true;
    // A bind mount of a directory of the same file system shows only here.
    return tree.knowsId && (sx.stx_mask & STATX_MNT_ID) && sx.stx_mnt_id != tree.id;
}

enum class Pass { Check, Remove };

// One walk below the open directory top. Check: true when nothing but
// directories lies below. Remove: true when everything below is gone.
bool Walk(int top, const Mount& tree, TreeContent content, Pass pass, TreeCalls& calls,
          const std::function<void()>& afterEntry) {
    Fd fd(::dup(top));
    dev_t device = 0;
    ino_t inode = 0;
    if (fd.get() < 0 || !calls.Identify(fd, device, inode)) return false;
    std::vector<Level> stack;
    stack.push_back({device, inode, {}, 0});
    if (!ReadNames(fd.get(), stack.back().names) && pass == Pass::Remove) return false;

    while (true) {
        Level& here = stack.back();
        if (here.next == here.names.size()) {
            if (stack.size() == 1) return true;
            // Back up through "..", which must be the directory we came from:
            // one renamed away meanwhile ends the walk instead of misleading it.
            const Level& parent = stack[stack.size() - 2];
            const Fd up = calls.Open(&fd, "..");
            if (up.get() < 0 || !calls.Identify(up, device, inode) || device != parent.device ||
                inode != parent.inode)
                return false;
            fd = up;
            const QByteArray name = parent.names[parent.next - 1];
            stack.pop_back();
            if (pass == Pass::Remove && !calls.Unlink(&fd, name.constData(), AT_REMOVEDIR))
                return false;
            continue;
        }

        const QByteArray name = here.names[here.next++];
        struct statx sx {};
        if (const int looked = calls.Examine(fd, name.constData(), sx); looked != 0) {
            // Gone since the directory was read: nothing left to do for it.
            if (looked != -ENOENT) return false;
            afterEntry();
            continue;
        }
        if (S_ISDIR(sx.stx_mode)) {
            if (IsMountPoint(sx, tree)) return false;
            const Fd sub = calls.Open(&fd, name.constData());
            // One that cannot be entered contributes nothing to a check; a
            // removal can still take it when it is empty.
            if (sub.get() < 0) {
                if (pass == Pass::Remove && !calls.Unlink(&fd, name.constData(), AT_REMOVEDIR))
                    return false;
                afterEntry();
                continue;
            }
            // What was examined must be what was opened, or a swap is under way.
            if (!calls.Identify(sub, device, inode) || inode != sx.stx_ino ||
                device != makedev(sx.stx_dev_major, sx.stx_dev_minor))
                return false;
            stack.push_back({device, inode, {}, 0});
            if (!ReadNames(sub.get(), stack.back().names) && pass == Pass::Remove) return false;
            fd = sub;
            afterEntry();
            continue;
        }
        // Anything else is a file here: a link, a FIFO, a socket, a device too.
        if (pass == Pass::Check || content == TreeContent::EmptyDirectoriesOnly) return false;
        if (S_ISREG(sx.stx_mode) && (sx.stx_mode & S_IWUSR) == 0) return false;
        if (!calls.Unlink(&fd, name.constData(), 0)) return false;
        afterEntry();
    }
}

}  // namespace

bool RemoveDirectoryTree(const QString& dir, TreeContent content,
                         const std::function<void()>& afterEntry) {
    const Result<QByteArray> host = HostPath(dir);
    if (!host) return false;
    TreeCalls calls(*host);
    // O_NOFOLLOW: a link given as the tree is neither walked nor removed.
    Fd top = calls.Open(nullptr, host->constData());
    if (top.get() < 0) return false;
    struct statx sx {};
    if (calls.Examine(top, "", sx, AT_EMPTY_PATH) != 0) return false;
    const Mount tree{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_mnt_id,
                     (sx.stx_mask & STATX_MNT_ID) != 0};

    if (content == TreeContent::EmptyDirectoriesOnly &&
        !Walk(top.get(), tree, content, Pass::Check, calls, afterEntry))
        return false;
    if (!Walk(top.get(), tree, content, Pass::Remove, calls, afterEntry)) return false;
    top.Reset();
    // By name, the name the caller gave: a link put in its place is no directory.
    return calls.Unlink(nullptr, host->constData(), AT_REMOVEDIR);
}

}  // namespace platform
