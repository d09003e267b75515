#include "platform/Paths.h"

#include <QStringList>

namespace platform {

namespace {

bool IsAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

bool IsSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}

// Plain "*" / "?" matching with one-star backtracking: linear in practice and
// without recursion, so a hostile pattern of many stars cannot blow the stack.
bool Glob(const QString& name, const QString& pattern) {
    qsizetype n = 0, p = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < pattern.size() &&
            (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
            continue;
        }
        if (starP < 0) return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool IsDriveRoot(const QString& dir) {
    return dir.size() == 3 && IsAsciiLetter(dir[0]) && dir[1] == u':' && dir[2] == u'\\';
}

QString JoinPath(const QString& dir, const QString& name) {
    if (dir.endsWith(u'\\')) return dir + name;
    return dir + u'\\' + name;
}

QString ExtractFileName(const QString& path) {
    return path.mid(path.lastIndexOf(u'\\') + 1);
}

QString ExtractFileDir(const QString& path) {
    qsizetype i = path.lastIndexOf(u'\\');
    if (i < 0) {
        // "C:name" keeps its drive part, as the home platform does.
        if (path.size() >= 2 && path[1] == u':') return path.left(2);
        return QString();
    }
    // The separator after "C:" (or the second of a leading "\\") belongs to
    // the root and stays; any other one is dropped.
    const bool keep = i == 0 || path[i - 1] == u':' || path[i - 1] == u'\\';
    return path.left(keep ? i + 1 : i);
}

std::optional<QString> NormalizeDrivePath(const QString& path) {
    if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != u':') return std::nullopt;
    if (path.size() > 2 && !IsSeparator(path[2])) return std::nullopt;  // drive-relative
    QStringList parts;
    qsizetype start = 2;
    for (qsizetype i = 2; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        const QString part = path.mid(start, i - start);
        start = i + 1;
        if (part.isEmpty() || part == u".") continue;
        if (part == u"..") {
            // Above the root is the root, so a path can never leave its drive.
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    QString out = QString(path[0].toUpper()) + QStringLiteral(":\\");
    out += parts.join(u'\\');
    return out;
}

bool MatchesMask(const QString& name, const QString& pattern) {
    if (Glob(name, pattern)) return true;
    // "name.*" also matches "name" itself, so "*.*" matches names without a dot.
    return pattern.endsWith(u".*") && Glob(name, pattern.chopped(2));
}

}  // namespace platform
