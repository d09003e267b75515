#include "support/TempDrives.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <fstream>

namespace testsupport {

namespace {

QByteArray ErrnoText() {
    return QByteArray(std::strerror(errno));
}

// Removal needs write and search permission on every directory of the tree;
// tests leave read-only and closed directories behind on purpose.
void MakeRemovable(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    ::chmod(path.constData(), (st.st_mode & 07777) | S_IRWXU);
    DIR* dir = ::opendir(path.constData());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") MakeRemovable(path + '/' + name);
    }
    ::closedir(dir);
}

void MakeParent(const QByteArray& host) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(host.toStdString()).parent_path(),
                                        ec);
    if (ec) ADD_FAILURE() << "cannot create the parent of " << host.constData();
}

}  // namespace

TempDrives::TempDrives(const QString& letters) {
    QByteArray templ = QFile::encodeName(QDir::tempPath()) + "/ferrovant-test-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        ADD_FAILURE() << "mkdtemp: " << ErrnoText().constData();
        return;
    }
    root_ = templ;
    std::vector<platform::Drive> drives;
    for (QChar letter : letters) {
        platform::Drive d;
        d.letter = letter.toUpper();
        d.hostRoot = root_ + '/' + QString(d.letter).toUtf8();
        ::mkdir(d.hostRoot.constData(), 0755);
        drives.push_back(d);
    }
    table_ = platform::DriveTable(std::move(drives));
    platform::InstallDrives(table_);
    if (!table_.drives().empty())
        platform::SetCurrentDir(QString(table_.drives().front().letter) + QStringLiteral(":\\"));
}

TempDrives::~TempDrives() {
    platform::ResetDrives();
    if (root_.isEmpty()) return;
    MakeRemovable(root_);
    std::error_code ec;
    std::filesystem::remove_all(root_.toStdString(), ec);
}

void TempDrives::install() {
    const QString current = platform::GetCurrentDir();
    platform::InstallDrives(table_);
    platform::SetCurrentDir(current);
}

QByteArray TempDrives::host(const QString& path) const {
    const std::optional<QByteArray> host = table_.toHost(path);
    if (!host) {
        ADD_FAILURE() << "no test drive holds " << path.toStdString();
        return QByteArray();
    }
    return *host;
}

void TempDrives::addDrive(QChar letter, platform::DriveType type, const QString& label,
                          const QString& remoteName) {
    std::vector<platform::Drive> drives;
    for (const platform::Drive& d : table_.drives()) {
        if (d.letter != letter.toUpper()) drives.push_back(d);
    }
    platform::Drive d;
    d.letter = letter.toUpper();
    d.hostRoot = root_ + '/' + QString(d.letter).toUtf8();
    d.type = type;
    d.label = label;
    d.remoteName = remoteName;
    ::mkdir(d.hostRoot.constData(), 0755);
    drives.push_back(d);
    table_ = platform::DriveTable(std::move(drives));
    install();
}

void TempDrives::setReady(QChar letter, bool ready) {
    std::vector<platform::Drive> drives = table_.drives();
    for (platform::Drive& d : drives) {
        if (d.letter == letter.toUpper()) d.ready = ready;
    }
    table_ = platform::DriveTable(std::move(drives));
    install();
}

void TempDrives::setFreeSpace(QChar letter, std::optional<std::int64_t> bytes) {
    table_.setFreeSpaceOverride(letter, bytes);
    platform::SetFreeSpaceOverride(letter, bytes);
}

QByteArray TempDrives::Pattern(std::int64_t size) {
    QByteArray out(size, Qt::Uninitialized);
    char* bytes = out.data();
    for (std::int64_t i = 0; i < size; ++i)
        bytes[i] = char((i % 251) ^ ((i / 1000001) * 37 & 0xff));
    return out;
}

void TempDrives::makeDir(const QString& path) {
    std::error_code ec;
    std::filesystem::create_directories(host(path).toStdString(), ec);
    if (ec) ADD_FAILURE() << "cannot create " << path.toStdString() << ": " << ec.message();
}

void TempDrives::writeFile(const QString& path, const QByteArray& content) {
    const QByteArray h = host(path);
    MakeParent(h);
    std::ofstream out(h.toStdString(), std::ios::binary | std::ios::trunc);
    out.write(content.constData(), content.size());
    if (!out) ADD_FAILURE() << "cannot write " << path.toStdString();
}

void TempDrives::writeFile(const QString& path, std::int64_t size) {
    writeFile(path, Pattern(size));
}

void TempDrives::makeSparseFile(const QString& path, std::int64_t size) {
    const QByteArray h = host(path);
    MakeParent(h);
    const int fd = ::open(h.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0)
        ADD_FAILURE() << "cannot make sparse " << path.toStdString() << ": "
                      << ErrnoText().constData();
    if (fd >= 0) ::close(fd);
}

void TempDrives::makeFifo(const QString& path) {
    const QByteArray h = host(path);
    MakeParent(h);
    if (::mkfifo(h.constData(), 0644) != 0)
        ADD_FAILURE() << "mkfifo " << path.toStdString() << ": " << ErrnoText().constData();
}

void TempDrives::makeSymlink(const QString& linkPath, const QByteArray& target) {
    const QByteArray h = host(linkPath);
    MakeParent(h);
    if (::symlink(target.constData(), h.constData()) != 0)
        ADD_FAILURE() << "symlink " << linkPath.toStdString() << ": " << ErrnoText().constData();
}

QByteArray TempDrives::readFile(const QString& path) const {
    std::ifstream in(host(path).toStdString(), std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return QByteArray();
    }
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return QByteArray::fromStdString(data);
}

bool TempDrives::exists(const QString& path) const {
    struct stat st {};
    return ::lstat(host(path).constData(), &st) == 0;
}

void TempDrives::setMode(const QString& path, mode_t mode) {
    if (::chmod(host(path).constData(), mode) != 0)
        ADD_FAILURE() << "chmod " << path.toStdString() << ": " << ErrnoText().constData();
}

mode_t TempDrives::mode(const QString& path) const {
    struct stat st {};
    if (::stat(host(path).constData(), &st) != 0) {
        ADD_FAILURE() << "stat " << path.toStdString() << ": " << ErrnoText().constData();
        return 0;
    }
    return st.st_mode & 07777;
}

void TempDrives::setReadOnly(const QString& path, bool readOnly) {
    const mode_t m = mode(path);
    setMode(path, readOnly ? m & ~mode_t(0222) : m | S_IWUSR);
}

void TempDrives::setMTime(const QString& path, std::int64_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), 0}};
    if (::utimensat(AT_FDCWD, host(path).constData(), times, 0) != 0)
        ADD_FAILURE() << "utimensat " << path.toStdString() << ": " << ErrnoText().constData();
}

std::int64_t TempDrives::mtime(const QString& path) const {
    struct stat st {};
    if (::stat(host(path).constData(), &st) != 0) {
        ADD_FAILURE() << "stat " << path.toStdString() << ": " << ErrnoText().constData();
        return 0;
    }
    return st.st_mtim.tv_sec;
}

}  // namespace testsupport
