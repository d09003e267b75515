#pragma once
// Internals shared by the file-system units of platform/ (FileSystem.cpp,
// DirectorySearch.cpp, CurrentDir.cpp); nothing outside platform/ includes this.

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>
#include <optional>

struct stat;

namespace platform::detail {

// Records errno (or the given value) for LastOsError().
void SetLastOsError(int err);

// A drive-letter path (absolute or relative) -> host path through the drive
// table in force; nullopt with ENOENT recorded when no drive holds it.
std::optional<QByteArray> HostPath(const QString& path);

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
// directory; name decides hidden ("." and ".." never are). nullopt with the
// errno recorded when the entry cannot be examined.
std::optional<EntryInfo> InspectEntry(const QByteArray& host, const QString& name);

}  // namespace platform::detail
