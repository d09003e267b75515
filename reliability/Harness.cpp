#include "reliability/Harness.h"

#include "platform/Drives.h"

#include <QFile>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <random>

namespace reliability {

namespace {

// Not in the exported kernel headers: the ext4 (and XFS) "going down" request.
constexpr unsigned long kShutdownRequest = _IOR('X', 125, std::uint32_t);
constexpr std::uint32_t kNoLogFlush = 2;

std::mt19937_64& Generator() {
    static std::mt19937_64 generator{std::random_device{}()};
    return generator;
}

}  // namespace

QByteArray Content(const QByteArray& name, std::int64_t size) {
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    std::uint64_t state = 1469598103934665603ull;
    for (char c : name)
        state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char* bytes = out.data();
    for (std::int64_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        bytes[i] = static_cast<char>(state >> 56);
    }
    return out;
}

QByteArray ReadHostFile(const QByteArray& path, bool* ok) {
    QFile f(QFile::decodeName(path));
    const bool opened = f.open(QIODevice::ReadOnly);
    if (ok) *ok = opened;
    return opened ? f.readAll() : QByteArray();
}

bool WriteHostFile(const QByteArray& path, const QByteArray& bytes) {
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
}

bool HostExists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

bool CutFileSystem(int fd) {
    std::uint32_t flags = kNoLogFlush;
    return ::ioctl(fd, kShutdownRequest, &flags) == 0;
}

int AnsweringDialogs::Message(const platform::MessageRequest& request) {
    asked.append(request.text);
    const platform::MsgButton button = platform::DefaultButton(request.buttons);
    return button != 0 ? platform::ButtonResult(button) : platform::mrOk;
}

QString AnsweringDialogs::Input(const QString& caption, const QString& prompt,
                                const QString& defaultText) {
    asked.append(caption + QLatin1String(": ") + prompt);
    return defaultText;
}

void InstallHostDrives(const std::vector<QByteArray>& roots) {
    std::vector<platform::Drive> drives;
    char letter = 'C';
    for (const QByteArray& root : roots) {
        platform::Drive d;
        d.letter = QChar(letter++);
        d.hostRoot = root;
        drives.push_back(d);
    }
    platform::InstallDrives(platform::DriveTable(std::move(drives)));
}

std::int64_t RandomBetween(std::int64_t low, std::int64_t high) {
    if (high <= low) return low;
    return std::uniform_int_distribution<std::int64_t>(low, high)(Generator());
}

void SeedRandom(std::uint64_t seed) {
    Generator().seed(seed);
}

}  // namespace reliability
