#pragma once
// Whole-file reads and writes on host paths, for tests of the program's own
// files (settings, queue, placement) that live outside the drive table.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace testsupport {

// The file's bytes, or "<missing>" when it cannot be opened.
inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size()) << path.toStdString();
}

}  // namespace testsupport
