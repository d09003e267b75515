#include "persistence/FilePaths.h"

#include <QCoreApplication>

namespace persistence {

QString ChangeFileExt(const QString& path, const QString& ext) {
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    // A leading dot names a hidden file; it is not an extension.
    if (dot > nameStart) return path.left(dot) + ext;
    return path + ext;
}

QString SettingsFilePath() {
    return ChangeFileExt(QCoreApplication::applicationFilePath(), QStringLiteral(".ini"));
}

QString QueueFilePath() {
    return ChangeFileExt(QCoreApplication::applicationFilePath(), QStringLiteral(".csv"));
}

}  // namespace persistence
