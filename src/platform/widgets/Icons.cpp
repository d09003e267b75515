#include "platform/widgets/Icons.h"

#include <QApplication>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace platform {

namespace {

QIcon Themed(const QString& name, const QString& fallbackName, QStyle::StandardPixmap fallback) {
    InitIconTheme();
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull() && !fallbackName.isEmpty()) icon = QIcon::fromTheme(fallbackName);
    if (icon.isNull() && QApplication::style())
        icon = QApplication::style()->standardIcon(fallback);
    return icon;
}

}  // namespace

void InitIconTheme() {
    static bool done = false;
    if (done) return;
    done = true;
    QStringList paths = QIcon::themeSearchPaths();
    const QString system = QStringLiteral("/usr/share/icons");
    if (!paths.contains(system)) paths.append(system);
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("breeze"));
}

QIcon FileIcon(const QString& name) {
    // A list of thousands of files shares a few dozen types: cache by type.
    static QHash<QString, QIcon> cache;
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const QString key = type.name();
    auto it = cache.constFind(key);
    if (it != cache.constEnd()) return *it;
    QIcon icon = Themed(type.iconName(), type.genericIconName(), QStyle::SP_FileIcon);
    if (icon.isNull())
        icon = Themed(QStringLiteral("application-octet-stream"), {}, QStyle::SP_FileIcon);
    cache.insert(key, icon);
    return icon;
}

QIcon FolderOpenIcon() {
    static const QIcon icon =
        Themed(QStringLiteral("folder-open"), QStringLiteral("folder"), QStyle::SP_DirOpenIcon);
    return icon;
}

QIcon FolderClosedIcon() {
    static const QIcon icon = Themed(QStringLiteral("folder"), {}, QStyle::SP_DirClosedIcon);
    return icon;
}

QIcon CommandIcon(const QString& themeName, QStyle::StandardPixmap fallback) {
    return Themed(themeName, {}, fallback);
}

QIcon DriveIcon(DriveType type) {
    switch (type) {
        case DriveType::Removable:
            return Themed(QStringLiteral("drive-removable-media"), {}, QStyle::SP_DriveFDIcon);
        case DriveType::Remote:
            return Themed(QStringLiteral("folder-network"), QStringLiteral("network-server"),
                          QStyle::SP_DriveNetIcon);
        case DriveType::CdRom:
            return Themed(QStringLiteral("drive-optical"), QStringLiteral("media-optical"),
                          QStyle::SP_DriveCDIcon);
        case DriveType::RamDisk:
        case DriveType::Fixed:
            break;
    }
    return Themed(QStringLiteral("drive-harddisk"), {}, QStyle::SP_DriveHDIcon);
}

}  // namespace platform
