#pragma once
// Small icons for the panes: a file's icon by its name alone, folders and drive
// roots. They come from the freedesktop icon theme (breeze when installed),
// with the style's standard icons where the theme has nothing.

#include "platform/Drives.h"

#include <QIcon>
#include <QString>
#include <QStyle>

namespace platform {

// Points Qt at the system icon themes once; later calls do nothing.
void InitIconTheme();

// The icon of an ordinary file with this name, looked up from its extension
// only: the file is never opened or even looked at, so a slow or vanished
// medium cannot stall the painting of a list.
QIcon FileIcon(const QString& name);

QIcon FolderOpenIcon();
QIcon FolderClosedIcon();
QIcon DriveIcon(DriveType type);

// A toolbar picture by its theme name, or the style's fallback.
QIcon CommandIcon(const QString& themeName, QStyle::StandardPixmap fallback);

}  // namespace platform
