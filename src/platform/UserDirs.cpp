#include "platform/UserDirs.h"

#include <QDir>

#include <sys/stat.h>
#include <cerrno>

namespace platform {

QString XdgBaseDirectory(const EnvironmentLookup& env, const char* variable,
                         const QString& fallback) {
    const QString value = env(variable);
    if (value.startsWith(u'/')) return value;
    QString home = env("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    return home + u'/' + fallback;
}

int MakePrivateDirectories(const QByteArray& dir, QByteArray* failedPart) {
    for (qsizetype slash = dir.indexOf('/', 1);; slash = dir.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? dir : dir.left(slash);
        struct stat st {};
        int err = 0;
        if (::stat(part.constData(), &st) != 0) {
            if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) err = errno;
        } else if (!S_ISDIR(st.st_mode)) {
            err = ENOTDIR;
        }
        if (err != 0) {
            if (failedPart) *failedPart = part;
            return err;
        }
        if (slash < 0) return 0;
    }
}

}  // namespace platform
