#pragma once
// Listing and removing whole directory trees.

#include "platform/FileCopy.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace queue {

// Appends every subdirectory below dir (post-order) and every file below dir.
// Links to directories are listed as entries of their own and never followed.
// With ids, each directory walked is recorded, by the name its files are
// listed under, with the identity it had when the walk listed it. With
// sizes, each file's size as listed, in the order of files.
using DirectoryIds = QHash<QString, platform::DirectoryId>;
void CollectTree(const QString& dir, const QString& mask, QStringList& dirs, QStringList& files,
                 DirectoryIds* ids = nullptr, std::vector<std::int64_t>* sizes = nullptr);

enum class Force { No, Yes };

// True when dir and everything below it were removed. Without force, a tree
// that still holds a file is refused untouched. Never leaves the tree, never
// follows a link, never enters another file system mounted inside it.
bool RemoveTree(const QString& dir, Force force);

}  // namespace queue
