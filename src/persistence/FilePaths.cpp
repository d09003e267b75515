#include "persistence/FilePaths.h"

#include "platform/Errors.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <cerrno>

namespace persistence {

namespace {

const QString kFolder = QStringLiteral("ferrovant");

// A portable install: a directory the user can write that is no system
// place (root can write /usr/bin, yet a package's program must not leave its
// files there).
bool PortableDirectory(const QString& dir) {
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib"}) {
        const QString place = QString::fromLatin1(system);
        if (dir == place || dir.startsWith(place + u'/')) return false;
    }
    return ::access(QFile::encodeName(dir).constData(), W_OK | X_OK) == 0;
}

// mkdir -p, owner-only; a failure is the error box's.
void MakeDirectory(const QString& dir) {
    QByteArray part;
    const int err = platform::MakePrivateDirectories(QFile::encodeName(dir), &part);
    if (err == ENOTDIR) {
        throw platform::Failure(QStringLiteral("Cannot create directory ") + dir +
                                QStringLiteral(": ") + QFile::decodeName(part) +
                                QStringLiteral(" is not a directory"));
    }
    if (err != 0) {
        throw platform::Failure(QStringLiteral("Cannot create directory ") + dir +
                                QStringLiteral(": ") +
                                platform::IoErrorText(platform::IoCodeFromErrno(err)));
    }
}

}  // namespace

QString ChangeFileExt(const QString& path, const QString& ext) {
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    // A leading dot names a hidden file; it is not an extension.
    if (dot > nameStart) return path.left(dot) + ext;
    return path + ext;
}

OwnFilePaths OwnFilePathsFor(const QString& exePath, const EnvironmentLookup& env) {
    const QFileInfo exe(exePath);
    if (PortableDirectory(exe.absolutePath())) {
        return {ChangeFileExt(exePath, QStringLiteral(".ini")),
                ChangeFileExt(exePath, QStringLiteral(".csv")), false};
    }
    const QString name = exe.fileName();
    const QString config =
        platform::XdgBaseDirectory(env, "XDG_CONFIG_HOME", QStringLiteral(".config"));
    const QString state =
        platform::XdgBaseDirectory(env, "XDG_STATE_HOME", QStringLiteral(".local/state"));
    return {ChangeFileExt(config + u'/' + kFolder + u'/' + name, QStringLiteral(".ini")),
            ChangeFileExt(state + u'/' + kFolder + u'/' + name, QStringLiteral(".csv")), true};
}

OwnFilePaths OwnFilePathsOfThisProgram() {
    return OwnFilePathsFor(QCoreApplication::applicationFilePath(),
                           [](const char* name) { return qEnvironmentVariable(name); });
}

QString JournalPathFor(const QString& queuePath) {
    return ChangeFileExt(queuePath, QStringLiteral(".journal"));
}

void MakeOwnFileDirectories(const OwnFilePaths& files) {
    if (!files.perUser) return;
    MakeDirectory(QFileInfo(files.settings).absolutePath());
    MakeDirectory(QFileInfo(files.queue).absolutePath());
}

}  // namespace persistence
