#pragma once
// A new version of a file, written beside it and put in its place whole; or
// a new file, written the same way and given its name only when whole.
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

    // Replace: the new version takes the place of the file at target. New:
    // the file gets target's name only if nothing has it by then.
    enum class Placement { Replace, New };
    // Opens the new version of target (a host path, links already resolved)
    // in target's directory, with exactly the given permission bits.
    Result<void> Open(const QByteArray& target, mode_t mode,
                      Placement placement = Placement::Replace);
    int fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Gives the written file a name (Step::Link), closes it (Step::Close)
    // and renames it over the target (Step::Rename); a New file is linked or
    // renamed to the target's name without replacing what may have appeared
    // there (EEXIST). On an error the target is as it was and nothing of the
    // new version remains.
    Result<void> Commit();
    void Discard();

    // Removes the temporaries beside target that processes no longer running
    // left behind (a crash between naming and renaming, or a file system
    // without unnamed files).
    static void RemoveStale(const QByteArray& target);

private:
    OsError Fail(Step step);
    Result<void> CommitNew();

    QByteArray target_;
    QByteArray named_;  // the temporary's name once it has one
    int fd_ = -1;
    Placement placement_ = Placement::Replace;
};

}  // namespace platform
