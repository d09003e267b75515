#pragma once
// Internals shared by the file-system units of platform/ (FileSystem.cpp,
// DirectorySearch.cpp, CurrentDir.cpp); nothing outside platform/ includes this.

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>
#include <optional>

#include <sys/types.h>

struct stat;
struct statx;

namespace platform::detail {

FileStamp StampOf(const struct stat& st);
FileStamp StampOf(const struct statx& sx);

// The directory part of a host path ("/a/b" -> "/a", "/a" -> "/", "a" -> ".").
QByteArray HostDirectoryOf(const QByteArray& path);

// Writing through a symbolic link keeps the link and replaces what it names:
// the host path of that file (path itself when it is no link or leads nowhere).
QByteArray ResolveLink(const QByteArray& path);

struct EntryInfo {
    std::int32_t attr = 0;
    std::int64_t size = 0;
    timespec modified{};
};

// What the attributes are made from: an entry's type and permission bits,
// size and modification time.
struct EntryStat {
    std::uint32_t mode = 0;
    std::int64_t size = 0;
    timespec modified{};
};

EntryStat StatOf(const struct statx& sx);

// The attributes of an entry; target is what a link leads to (nullopt for a
// broken link), unused for anything else.
EntryInfo ClassifyEntry(const EntryStat& self, const std::optional<EntryStat>& target,
                        const QString& name);

// statx of a host path through the kernel's ring, waited for by pumping
// (input left waiting): 0, or the errno (ETIMEDOUT when the device gives no
// answer within kDeviceAnswerTimeout).
int StatWaiting(const QByteArray& host, bool follow, struct statx& out);

// Attributes, size and time of one entry, never following a link to a
// directory; name decides hidden ("." and ".." never are).
Result<EntryInfo> InspectEntry(const QByteArray& host, const QString& name);

// Opens host and keeps it only when it is a regular file (O_NONBLOCK, so the
// open returns at once even if the entry turned into a FIFO meanwhile);
// opened gets what fstat said.
Result<int> OpenRegular(const QByteArray& host, int flags, mode_t mode = 0,
                        struct stat* opened = nullptr);

}  // namespace platform::detail
