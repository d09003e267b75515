#pragma once
// File-system operations on drive-letter paths, translated through the drive
// table (Drives.h). Operations return a Result that carries the host errno
// and the failing step; questions (FileExists, ...) return bool. None throws.
//
// Attributes on Linux: read-only is "no write permission for the owner";
// hidden is a name starting with "."; system is anything that is not a regular
// file, a directory or a symbolic link; archive is set on regular files.
//
// Every function also takes a path relative to the current directory
// (ExpandFileName). Read-only is honoured as the program's home platform does,
// also for a privileged user the kernel would let through: a read-only file is
// neither replaced by Create nor removed by DeleteFile (EACCES).

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>

namespace platform {

enum FileAttr : std::int32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faSymLink = 0x40,  // set together with faDirectory for a link to a directory
    faAnyFile = 0x3F,
};

// A drive-letter path (absolute or relative to the current directory) as a
// host path through the drive table in force; ENOENT when no drive holds it.
Result<QByteArray> HostPath(const QString& path);

// What tells one file's content from another's for a move: the same entry on
// the same device, with the same size, modification time and change time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    timespec modified{};
    timespec accessed{};
    timespec changed{};      // status change time (st_ctim)
    std::uint32_t mode = 0;  // type and permission bits

    bool SameFileAs(const FileStamp& other) const {
        return device == other.device && inode == other.inode;
    }
    // The change time too: a program can put the modification time back
    // after rewriting a file, but never the change time.
    bool SameContentAs(const FileStamp& other) const {
        return SameFileAs(other) && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// One open file. Move-only; the destructor closes a file still open.
// Files are opened with ordinary sharing: Linux has only advisory locks,
// which would keep out just the programs that ask for them.
class FileHandle {
public:
    FileHandle() = default;
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    // Opens an existing regular file for reading. Anything that is not a
    // regular file (FIFO, socket, device, directory) is refused without
    // blocking.
    static Result<FileHandle> OpenRead(const QString& path);
    // Creates or truncates a regular file for reading and writing.
    static Result<FileHandle> Create(const QString& path);

    // Takes over a descriptor opened elsewhere in platform/.
    static FileHandle Adopt(int fd) { return FileHandle(fd); }

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Reads up to n bytes: the count read, 0 at end of file.
    Result<std::int64_t> Read(void* buffer, std::int64_t n);
    // Writes n bytes: the count written, fewer only when the disk took no more.
    Result<std::int64_t> Write(const void* buffer, std::int64_t n);
    // Tells the kernel the file will be read once from start to end.
    void AdviseSequential();
    std::optional<FileStamp> Stamp() const;
    // Closes; an error means the data may not have been written.
    Result<void> Close();

private:
    explicit FileHandle(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Attributes by path (faXxx bits), -1 when the path does not exist.
std::int32_t FileGetAttr(const QString& path);

bool FileExists(const QString& path);  // a non-directory entry (links to files count)
// FileExists, or nullopt when the device gave no answer in time.
std::optional<bool> AskFileExists(const QString& path);
bool DirectoryExists(const QString& path);  // a directory (not a link to one)
// DirectoryExists, or nullopt when the device gave no answer in time.
std::optional<bool> AskDirectoryExists(const QString& path);
Result<void> DeleteFile(const QString& path);  // a non-directory entry; a link is removed itself
Result<void> RenameFile(const QString& oldPath, const QString& newPath);
Result<void> CreateDir(const QString& path);
Result<void> RemoveDir(const QString& path);  // an empty directory, never through a link
// Creates path with every missing parent; fine when it exists afterwards.
Result<void> ForceDirectories(const QString& path);

struct SearchRec {
    QString name;
    std::int32_t attr = 0;
    std::int64_t size = 0;
    timespec modified{};
};

// Directory search in the manner of FindFirst/FindNext. The pattern is a
// directory plus a mask ("C:\Data\*.*", "C:\*.*") or a plain path (a last
// name without "*" or "?", which finds that one entry, exactly). Entries
// with hidden, system or directory attributes are returned only when the
// filter holds that attribute; ordinary files always. "." and ".." come
// first, for every directory other than a drive root (and are directories),
// then the entries sorted by name ignoring case. The directory is read whole
// by First, so no descriptor stays open between steps. Names that hold a "\"
// or are not valid UTF-8 are skipped. A link to a directory is reported as
// faDirectory | faSymLink, a link to a file as that file (its size), a broken
// link as an empty file.
class DirectorySearch {
public:
    DirectorySearch() = default;
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // An error when nothing matches (ENOENT) or the directory cannot be read.
    Result<void> First(const QString& pattern, std::int32_t attrFilter, SearchRec& out);
    bool Next(SearchRec& out);
    void Close();

private:
    struct State;
    State* state_ = nullptr;
};

// The process's current directory in drive-letter form, kept here (the host
// working directory is never changed). Initially the host working directory,
// or the first drive's root when no drive holds that.
QString GetCurrentDir();
// Makes dir the current directory when it exists and can be entered; a
// relative path or ".." is taken from the current one. False otherwise.
bool SetCurrentDir(const QString& dir);
// Forgets the current directory and the per-drive memory (next use starts over).
void ResetCurrentDir();
// The directory the given drive was last left in by SetCurrentDir, else its root.
QString DriveCurrentDir(QChar letter);
// Whether dir (absolute or relative to the current directory) is a directory
// the process may enter.
Result<void> CanEnterDirectory(const QString& dir);

// The absolute canonical form of path: relative names are taken from the
// current directory ("name", "\name" on the current drive, "X:name");
// separators, "." and ".." are resolved. Empty for what names no drive
// (empty text, network paths).
QString ExpandFileName(const QString& path);

// The size of the first entry a search for path finds (every attribute
// included); -1 when the search finds nothing. Full 64-bit. An entry whose
// name is exactly the last part of path wins over other matches of "*" or "?"
// in it (such names are legal here).
std::int64_t FileSizeOf(const QString& path);
// Free bytes for the user on the drive named by the first character of path;
// -1 when the platform cannot tell (no such drive, not a drive letter).
std::int64_t DriveFreeSpace(const QString& path);

// The free-space check a run makes before each file: whether the drive named
// by the first character of path has room for `bytes` more. It asks as
// DriveFreeSpace does, except on a file system that asks a server for it
// (a share: a round trip a file) when its answer of less than a second ago,
// less all the run has written since (`written`, counted by the caller),
// still leaves room. A drive that went is never taken for one with room.
class RoomCheck {
public:
    bool HasRoom(const QString& path, std::int64_t bytes, std::int64_t written);

private:
    QChar drive_;
    std::int64_t free_ = -1;
    std::int64_t writtenThen_ = 0;
    std::chrono::steady_clock::time_point askedAt_;
};

}  // namespace platform
