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

namespace platform::detail {

FileStamp StampOf(const struct stat& st);

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

// Attributes, size and time of one entry, never following a link to a
// directory; name decides hidden ("." and ".." never are).
Result<EntryInfo> InspectEntry(const QByteArray& host, const QString& name);

// Opens host and keeps it only when it is a regular file (O_NONBLOCK, so the
// open returns at once even if the entry turned into a FIFO meanwhile);
// opened gets what fstat said.
Result<int> OpenRegular(const QByteArray& host, int flags, mode_t mode = 0,
                        struct stat* opened = nullptr);

}  // namespace platform::detail
