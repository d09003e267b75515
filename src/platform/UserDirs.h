#pragma once
// The per-user places of the freedesktop base directory rules.

#include <QByteArray>
#include <QString>

#include <functional>

namespace platform {

// Reads an environment variable (injectable, for tests).
using EnvironmentLookup = std::function<QString(const char* name)>;

// An XDG base directory: the variable when it holds an absolute path (a
// relative one is ignored, as the rules say), else fallback below the home
// directory.
QString XdgBaseDirectory(const EnvironmentLookup& env, const char* variable,
                         const QString& fallback);

// mkdir -p, owner-only for what it creates, as the rules ask of a program's
// folders there: 0, or the errno with the part that failed in *failedPart
// (ENOTDIR when something other than a directory stands in the way).
int MakePrivateDirectories(const QByteArray& dir, QByteArray* failedPart = nullptr);

}  // namespace platform
