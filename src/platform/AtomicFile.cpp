#include "platform/AtomicFile.h"

#include "platform/FileSystemDetail.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {

namespace {

constexpr qsizetype kBufferSize = 256 * 1024;

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

AtomicFile::AtomicFile(QString hostPath) : path_(std::move(hostPath)) {}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Fail(Stage stage, int err) {
    if (error_ == 0) {
        error_ = err != 0 ? err : EIO;
        stage_ = stage;
    }
    Discard();
    return false;
}

bool AtomicFile::Open() {
    Discard();
    error_ = 0;
    stage_ = Stage::None;
    if (path_.isEmpty()) return Fail(Stage::Create, ENOENT);
    target_ = detail::ResolveLink(QFile::encodeName(path_));

    struct stat st {};
    mode_t mode = 0666 & ~CurrentUmask();
    if (stat(target_.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(Stage::Create, EISDIR);
        if (!S_ISREG(st.st_mode)) return Fail(Stage::Create, EACCES);
        if ((st.st_mode & S_IWUSR) == 0) return Fail(Stage::Create, EACCES);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return Fail(Stage::Create, errno);
    }

    // Left by an earlier run that was killed on a file system without
    // unnamed temporaries: only this program's own, of processes now gone.
    ReplacementFile::RemoveStale(target_);
    if (const Result<void> opened = temp_.Open(target_, mode); !opened)
        return Fail(Stage::Create, opened.error().code);
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFile::FlushBuffer() {
    if (buffer_.isEmpty()) return true;
    const bool ok = WriteAll(temp_.fd(), buffer_.constData(), buffer_.size());
    buffer_.resize(0);  // keeps the capacity for the next round
    return ok;
}

bool AtomicFile::Write(QByteArrayView bytes) {
    if (!temp_.IsOpen()) return Fail(Stage::Write, error_ != 0 ? error_ : EBADF);
    if (buffer_.size() + bytes.size() > kBufferSize) {
        if (!FlushBuffer()) return Fail(Stage::Write, errno);
        if (bytes.size() >= kBufferSize) {
            if (!WriteAll(temp_.fd(), bytes.data(), bytes.size())) return Fail(Stage::Write, errno);
            return true;
        }
    }
    buffer_.append(bytes.data(), bytes.size());
    return true;
}

bool AtomicFile::Write(char c) {
    return Write(QByteArrayView(&c, 1));
}

bool AtomicFile::Commit() {
    if (!temp_.IsOpen()) return Fail(Stage::Commit, error_ != 0 ? error_ : EBADF);
    if (!FlushBuffer()) return Fail(Stage::Write, errno);
    if (fsync(temp_.fd()) != 0) return Fail(Stage::Write, errno);
    if (const Result<void> committed = temp_.Commit(); !committed) {
        const OsError& error = committed.error();
        return Fail(error.step == Step::Close ? Stage::Write : Stage::Commit, error.code);
    }
    // The rename itself is durable only once the directory is synced; the new
    // content is complete either way, so a failure here is not reported.
    const int dir =
        ::open(detail::HostDirectoryOf(target_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicFile::Discard() {
    temp_.Discard();
    buffer_.clear();
}

}  // namespace platform
