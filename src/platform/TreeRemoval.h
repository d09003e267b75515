#pragma once
// Removal of a whole directory tree, walked through open directory handles
// (openat, unlinkat, fstatat) the way rm does: no path is ever rebuilt, so a
// directory swapped for a link while the walk pumps events cannot send it out
// of the tree, and no depth is too deep.

#include <QString>

#include <functional>

namespace platform {

enum class TreeContent {
    EmptyDirectoriesOnly,  // refused, untouched, when the tree holds any other entry
    Everything,
};

// Removes dir (drive-letter form) and what is below it. Links are removed
// themselves, never followed; a read-only file is not deleted; a file system
// mounted inside the tree is left as it is, with its content, and the removal
// fails. Names that cannot be written in drive-letter form are not touched,
// so their directories stay. afterEntry runs after each entry met. True when
// dir is gone.
bool RemoveDirectoryTree(const QString& dir, TreeContent content,
                         const std::function<void()>& afterEntry);

}  // namespace platform
