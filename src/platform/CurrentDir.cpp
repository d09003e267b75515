// The process's current directory, kept in drive-letter form. The host working
// directory is never changed: the tree walk uses this one as its cursor while
// the pump runs other commands, and chdir() would also move every relative
// path the rest of the process (Qt, the tests) resolves.
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemDetail.h"
#include "platform/Paths.h"

#include <QHash>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <optional>

namespace platform {

namespace {

struct CurrentDirState {
    std::optional<QString> current;
    QHash<QChar, QString> perDrive;  // upper-case letter -> last directory on it
};

CurrentDirState& State() {
    static CurrentDirState state;
    return state;
}

QString InitialDir() {
    const DriveTable& drives = Drives();
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer)) {
        if (std::optional<QString> dir = drives.fromHost(QByteArray(buffer))) return *dir;
    }
    if (!drives.drives().empty())
        return QString(drives.drives().front().letter) + QStringLiteral(":\\");
    return QStringLiteral("C:\\");
}

bool IsLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

}  // namespace

QString GetCurrentDir() {
    CurrentDirState& state = State();
    if (!state.current) state.current = InitialDir();
    return *state.current;
}

void ResetCurrentDir() {
    State().current.reset();
    State().perDrive.clear();
}

QString DriveCurrentDir(QChar letter) {
    const QChar upper = letter.toUpper();
    const QString current = GetCurrentDir();
    if (current[0] == upper) return current;
    return State().perDrive.value(upper, QString(upper) + QStringLiteral(":\\"));
}

QString ExpandFileName(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) return QString();
    const auto isSep = [](QChar c) { return c == u'\\' || c == u'/'; };
    // Network paths cannot be reached through the drive table.
    if (path.size() >= 2 && isSep(path[0]) && isSep(path[1])) return QString();
    QString absolute;
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == u':') {
        if (path.size() == 2 || isSep(path[2])) {
            absolute = path;
        } else {
            absolute = JoinPath(DriveCurrentDir(path[0]), path.mid(2));
        }
    } else if (isSep(path[0])) {
        absolute = GetCurrentDir().left(2) + path;
    } else {
        absolute = JoinPath(GetCurrentDir(), path);
    }
    return NormalizeDrivePath(absolute).value_or(QString());
}

Result<void> CanEnterDirectory(const QString& dir) {
    const Result<QByteArray> host = HostPath(dir);
    if (!host) return host.error();
    // Through the ring: a device that hangs makes the place one that cannot
    // be entered (ETIMEDOUT) after a few seconds, with the window alive.
    struct statx sx {};
    if (const int err = detail::StatWaiting(*host, true, sx); err != 0)
        return OsError{err, Step::Open};
    if (!S_ISDIR(sx.stx_mode)) return OsError{ENOTDIR, Step::Open};
    if (::access(host->constData(), X_OK) != 0) return Errno(Step::Open);
    return {};
}

bool SetCurrentDir(const QString& dir) {
    const QString full = ExpandFileName(dir);
    if (full.isEmpty() || !CanEnterDirectory(full)) return false;
    CurrentDirState& state = State();
    state.current = full;
    state.perDrive.insert(full[0], full);
    return true;
}

}  // namespace platform
