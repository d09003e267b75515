#pragma once
// Texts in drive-letter form. A drive root is "C:\" (three characters); any
// other directory is held without a trailing "\"; a network path starts with "\\".

#include <QString>

#include <optional>

namespace platform {

// True for a three-character root such as "C:\".
bool IsDriveRoot(const QString& dir);

// dir + "\" + name, without doubling the "\" of a three-character root.
QString JoinPath(const QString& dir, const QString& name);

// The part after the last "\" (the whole text when there is none).
QString ExtractFileName(const QString& path);

// The directory part: "C:\Data\a.txt" -> "C:\Data", "C:\a.txt" -> "C:\".
QString ExtractFileDir(const QString& path);

// The canonical form of an absolute drive-letter path: upper-case letter,
// doubled separators ("\\" or "/") collapsed, "." dropped and ".." taken back
// one level (never above the root), no trailing "\" except on a root. "c:" alone
// is its root. nullopt for anything else (relative, network, "C:name").
std::optional<QString> NormalizeDrivePath(const QString& path);

// Windows-style wildcard match of one name against one pattern ("*" and "?",
// case-insensitive; "*.*" matches every name, with or without a dot).
bool MatchesMask(const QString& name, const QString& pattern);

}  // namespace platform
