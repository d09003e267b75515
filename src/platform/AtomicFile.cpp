#include "platform/AtomicFile.h"

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

QByteArray DirectoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray BaseNameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Writing through a symbolic link keeps the link and replaces what it names.
QByteArray ResolveTarget(const QByteArray& path) {
    struct stat st {};
    if (lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    if (realpath(path.constData(), resolved) == nullptr) return path;
    return QByteArray(resolved);
}

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
    target_ = ResolveTarget(QFile::encodeName(path_));

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

    QByteArray pattern = DirectoryOf(target_);
    if (!pattern.endsWith('/')) pattern += '/';
    pattern += '.' + BaseNameOf(target_) + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return Fail(Stage::Create, errno);
    fd_ = fd;
    temp_ = pattern;
    if (fchmod(fd_, mode) != 0) return Fail(Stage::Create, errno);
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFile::FlushBuffer() {
    if (buffer_.isEmpty()) return true;
    const bool ok = WriteAll(fd_, buffer_.constData(), buffer_.size());
    buffer_.resize(0);  // keeps the capacity for the next round
    return ok;
}

bool AtomicFile::Write(QByteArrayView bytes) {
    if (fd_ < 0) return Fail(Stage::Write, error_ != 0 ? error_ : EBADF);
    if (buffer_.size() + bytes.size() > kBufferSize) {
        if (!FlushBuffer()) return Fail(Stage::Write, errno);
        if (bytes.size() >= kBufferSize) {
            if (!WriteAll(fd_, bytes.data(), bytes.size())) return Fail(Stage::Write, errno);
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
    if (fd_ < 0) return Fail(Stage::Commit, error_ != 0 ? error_ : EBADF);
    if (!FlushBuffer()) return Fail(Stage::Write, errno);
    if (fsync(fd_) != 0) return Fail(Stage::Write, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail(Stage::Write, errno);
    if (::rename(temp_.constData(), target_.constData()) != 0) return Fail(Stage::Commit, errno);
    temp_.clear();
    // The rename itself is durable only once the directory is synced; the new
    // content is complete either way, so a failure here is not reported.
    const int dir = ::open(DirectoryOf(target_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
    buffer_.clear();
}

}  // namespace platform
