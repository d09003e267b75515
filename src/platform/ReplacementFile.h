#pragma once
// A new version of a file, written beside it and put in its place whole.
//
// Where the file system allows, the new version is an unnamed file (O_TMPFILE)
// that gets a name only at Commit, so a crash or a kill part-way leaves
// nothing behind. Elsewhere it is a hidden file named after the target and
// this process (".name.~<pid>.XXXXXX"); RemoveStale clears such files left by
// processes that are gone. Works on host paths.

#include "platform/Result.h"

#include <QByteArray>

#include <sys/types.h>

namespace platform {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();  // discards an uncommitted file
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Opens the new version of target (a host path, links already resolved)
    // in target's directory, with exactly the given permission bits.
    Result<void> Open(const QByteArray& target, mode_t mode);
    int fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Gives the written file a name (Step::Link), closes it (Step::Close)
    // and renames it over the target (Step::Rename). On an error the target
    // is as it was and nothing of the new version remains.
    Result<void> Commit();
    void Discard();

    // Removes the temporaries beside target that processes no longer running
    // left behind (a crash between naming and renaming, or a file system
    // without unnamed files).
    static void RemoveStale(const QByteArray& target);

private:
    OsError Fail(Step step);

    QByteArray target_;
    QByteArray named_;  // the temporary's name once it has one
    int fd_ = -1;
};

}  // namespace platform
