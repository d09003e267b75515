#pragma once
// Where the program's own files live. A portable install, whose folder the
// user can write, keeps them beside the executable, named after it (ferrovant
// gives ferrovant.ini and ferrovant.csv). An install the user cannot write,
// or any in a system place (a package's /usr/bin), keeps the same files per user instead: the
// settings under $XDG_CONFIG_HOME/ferrovant, the queue and its journal under
// $XDG_STATE_HOME/ferrovant. These are host paths.

#include "platform/UserDirs.h"

#include <QString>

namespace persistence {

// path with the extension of its file name replaced by ext (".ini"); a name
// without an extension gets ext appended. Dots in directory names do not count.
QString ChangeFileExt(const QString& path, const QString& ext);

struct OwnFilePaths {
    QString settings;  // the INI file
    QString queue;     // the queue file; its journal sits beside it
    bool perUser = false;
};

// Reads an environment variable (empty when unset); tests pass their own.
using EnvironmentLookup = platform::EnvironmentLookup;

// The files of the executable at exePath: beside it when its directory can be
// written and lies outside /usr, /bin, /sbin and /lib, else per user. Relative or empty XDG
// variables are ignored, as the XDG rules say, in favour of ~/.config and ~/.local/state.
OwnFilePaths OwnFilePathsFor(const QString& exePath, const EnvironmentLookup& env);
// The same for this process's executable and environment.
OwnFilePaths OwnFilePathsOfThisProgram();

// The journal of a queue file: beside it, with the extension ".journal".
QString JournalPathFor(const QString& queuePath);

// Creates the directories the files go to (owner-only, as the XDG rules ask);
// throws platform::Failure "Cannot create directory <dir>: <reason>" when one
// cannot be made.
void MakeOwnFileDirectories(const OwnFilePaths& files);

}  // namespace persistence
