#pragma once
// The program's own files sit beside the executable and are named after it
// (ferrovant gives ferrovant.ini and ferrovant.csv). These are host paths.

#include <QString>

namespace persistence {

// path with the extension of its file name replaced by ext (".ini"); a name
// without an extension gets ext appended. Dots in directory names do not count.
QString ChangeFileExt(const QString& path, const QString& ext);

// The settings file: the executable's full path with the extension ".ini".
QString SettingsFilePath();
// The queue file: the executable's full path with the extension ".csv".
QString QueueFilePath();

}  // namespace persistence
