#pragma once
// Test drives: a temporary directory whose subdirectories stand in for drives.
//
//     testsupport::TempDrives drives;              // C: and D:, current directory C:\ .
//     drives.writeFile("C:\\Src\\a.txt", "hello");  // parents are created
//     drives.writeFile("C:\\Src\\big.bin", 3'000'000);  // Pattern(3'000'000)
//     ... code under test, using drive-letter paths literally ...
//     EXPECT_EQ(drives.readFile("D:\\Tgt\\a.txt"), "hello");
//
// The constructor maps each letter to <tmp>/<letter>, installs that table with
// platform::InstallDrives (which also resets the current directory) and makes
// C:\ (the first letter's root) the current directory. The destructor restores
// the system's table (platform::ResetDrives) and removes the whole temporary
// tree, read-only parts included. One instance at a time.
//
// Every helper takes drive-letter paths and fails the test (ADD_FAILURE) when
// it cannot do its job, so a broken set-up never passes silently.

#include "platform/Drives.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>
#include <cstdint>
#include <optional>

namespace testsupport {

class TempDrives {
public:
    // letters: the drives to create, e.g. "CD" (the default) or "CDEF".
    explicit TempDrives(const QString& letters = QStringLiteral("CD"));
    ~TempDrives();
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // The temporary root that holds one directory per drive.
    const QByteArray& root() const { return root_; }
    // The host path of a drive-letter path ("C:\a" -> "<tmp>/C/a").
    QByteArray host(const QString& path) const;

    // Adds (or replaces) a drive; the current directory is kept.
    void addDrive(QChar letter, platform::DriveType type = platform::DriveType::Fixed,
                  const QString& label = QString(), const QString& remoteName = QString());
    // Free space reported for a drive; nullopt asks the file system again.
    void setFreeSpace(QChar letter, std::optional<std::int64_t> bytes);

    // Deterministic content of a given size (no two neighbouring megabytes alike).
    static QByteArray Pattern(std::int64_t size);

    void makeDir(const QString& path);  // with every missing parent
    void writeFile(const QString& path, const QByteArray& content);
    void writeFile(const QString& path, std::int64_t size);  // Pattern(size)
    void writeFile(const QString& path, const char* content) {
        writeFile(path, QByteArray(content));
    }
    // A file of the given size that takes (almost) no disk space.
    void makeSparseFile(const QString& path, std::int64_t size);
    void makeFifo(const QString& path);
    // A symbolic link at linkPath holding target verbatim (a host path, or a
    // name relative to the link's directory).
    void makeSymlink(const QString& linkPath, const QByteArray& target);

    // The drive's volume goes (not ready, its letter kept) or comes back.
    void setReady(QChar letter, bool ready);

    QByteArray readFile(const QString& path) const;  // empty (and a failure) when missing
    bool exists(const QString& path) const;          // any entry, links not followed
    void setMode(const QString& path, mode_t mode);  // chmod
    mode_t mode(const QString& path) const;          // permission bits (07777)
    void setReadOnly(const QString& path, bool readOnly);
    // Modification time in whole seconds since the epoch.
    void setMTime(const QString& path, std::int64_t seconds);
    std::int64_t mtime(const QString& path) const;

private:
    void install();

    QByteArray root_;
    platform::DriveTable table_;
};

}  // namespace testsupport
