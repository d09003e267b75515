#pragma once
// Writes a file whole or not at all. The content goes to a temporary file in
// the target's directory (unnamed where the file system allows, so a kill
// part-way leaves nothing), is flushed to the disk and then renamed over the
// target, so a reader (or a crash) sees either the old file or the complete
// new one. Any failure removes the temporary and leaves the old file as it was.
//
// Works on host paths: the program's own files (settings, queue) live beside
// the executable, not on the drives the panes browse.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/ReplacementFile.h"

namespace platform {

class AtomicFile {
public:
    // Which step failed, so callers can word the failure as their file needs.
    enum class Stage { None, Create, Write, Commit };

    explicit AtomicFile(QString hostPath);
    ~AtomicFile();  // discards an uncommitted temporary
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary. Refuses a target that exists but is not a
    // regular file, and one that is read-only (no write permission for the
    // owner), since the program treats such a file as one it may not change.
    bool Open();
    // Buffered; once a write failed, every later call fails at once.
    bool Write(QByteArrayView bytes);
    bool Write(char c);
    // Flushes, syncs, carries the old file's permissions over and renames.
    bool Commit();
    void Discard();

    // errno of the first failure, 0 while none happened.
    int Error() const { return error_; }
    Stage FailedStage() const { return stage_; }
    const QString& Path() const { return path_; }

private:
    bool Fail(Stage stage, int err);
    bool FlushBuffer();

    QString path_;
    QByteArray target_;  // host bytes of the file finally written (links resolved)
    ReplacementFile temp_;
    int error_ = 0;
    Stage stage_ = Stage::None;
    QByteArray buffer_;
};

}  // namespace platform
