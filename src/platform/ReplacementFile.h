#pragma once
// A new version of a file, written beside it and put in its place whole; or
// a new file, written the same way and given its name only when whole.
//
// Where the file system allows, the new version is an unnamed file (O_TMPFILE)
// that gets a name only at Commit, so a crash or a kill part-way leaves
// nothing behind. Elsewhere it is a hidden file named after the target and
// this process (".name.~<pid>.XXXXXX"); RemoveStale clears such files left by
// processes that are gone. Works on host paths.
//
// A large file's new version can instead be resumable: written under a fixed
// hidden name (".name.~partial") that outlives a crash, and marked (an
// extended attribute) with the source it copies and how much of it is known
// to be on disk, so that the next copy of the same source goes on from there.

#include "platform/Result.h"

#include <QByteArray>

#include <sys/types.h>

#include <memory>
#include <span>
#include <vector>

namespace platform {

class HeldDirectory;
class IoOperation;
struct IoRequest;

class ReplacementFile {
public:
    // Here: every call is made here and now, as saving the queue needs (its
    // waits must not pump). Ring: the calls on the target's device go
    // through the kernel's ring and are waited for by pumping, so a slow or
    // hung device holds the file, never the window (AsyncIo.h).
    enum class Calls { Here, Ring };
    explicit ReplacementFile(Calls calls = Calls::Here) : ring_(calls == Calls::Ring) {}
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
    // Starts opening a New file for target ahead of its use (Calls::Ring
    // only): the calls are handed to the ring and not waited for. The Open
    // of that target as New, with any mode, takes what they made; anything
    // else (another target, Discard) lets it go.
    void OpenAhead(const QByteArray& target, mode_t mode);
    // Whether the file OpenAhead began was made; waits for the device.
    bool MadeAhead();
    // Opens a resumable new version of target: the partial a crash or an
    // Abort left (under the hidden name, or under the target's own name after
    // an Abort) when its mark names this source (key) and the file still
    // holds the part marked, cut back to that part; else a new partial. The
    // offset the copy goes on from: 0 for a new one.
    Result<std::int64_t> OpenResumable(const QByteArray& target, mode_t mode, Placement placement,
                                       const QByteArray& key);
    // A resumable file: makes its first `bytes` durable, then marks them
    // so. Best effort: a mark that cannot be written only means a later copy
    // starts over.
    void MarkDurable(std::int64_t bytes);
    // The mark alone, for bytes the caller has made durable.
    void MarkFlushed(std::int64_t bytes);
    bool IsResumable() const { return resumable_ && fd_ >= 0; }

    int fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Gives the written file a name (Step::Link), closes it (Step::Close)
    // and renames it over the target (Step::Rename); a New file is linked or
    // renamed to the target's name without replacing what may have appeared
    // there (EEXIST). On an error the target is as it was and nothing of the
    // new version remains.
    // Whole: a resumable file's mark goes first. Partial (an Abort): the mark
    // stays, for the copy that goes on from it.
    enum class Content { Whole, Partial };
    Result<void> Commit(Content content = Content::Whole);
    // Commits whole files all at once: each step (naming, closing,
    // renaming) is asked of every file together, so on a device with
    // latency a batch costs a few answers, not a few per file. The results
    // in order.
    static std::vector<Result<void>> CommitAll(std::span<ReplacementFile* const> files,
                                               Content content = Content::Whole);
    void Discard();

    // Removes the temporaries beside target that processes no longer running
    // left behind (a crash between naming and renaming, or a file system
    // without unnamed files).
    static void RemoveStale(const QByteArray& target);
    // The same for every target in a directory.
    static void RemoveStaleIn(const QByteArray& directory, const QByteArray& stem);

private:
    OsError Fail(Step step);
    OsError Fail(int code, Step step);
    // The file OpenAhead began, once the device has answered: taken when it
    // is for target, else let go.
    bool TakeAhead(const QByteArray& target, mode_t mode, Placement placement);
    // A call about a name in the target's directory, made from its hold.
    IoRequest InDirectory(IoRequest request) const;

    bool ring_ = false;
    QByteArray target_;
    QByteArray named_;  // the temporary's name once it has one
    // The target's directory, held where its names are asked of a server
    // (Calls::Ring): every name of this file is given there.
    std::shared_ptr<const HeldDirectory> dir_;
    int fd_ = -1;
    Placement placement_ = Placement::Replace;
    bool resumable_ = false;
    QByteArray key_;
    std::shared_ptr<IoOperation> ahead_;
    QByteArray aheadTarget_;
    QByteArray aheadName_;  // empty: an unnamed file
    std::shared_ptr<const HeldDirectory> aheadDir_;
    mode_t aheadMode_ = 0;
};

}  // namespace platform
