#pragma once
// The words of the queue table's cells and its column layout.

#include <QString>

#include <optional>

namespace queue {

enum QueueColumn : int {
    colRow = 0,
    colSourceDir = 1,
    colFileName = 2,
    colTargetDir = 3,
    colRealSize = 4,
    colFileSize = 5,
    colAction = 6,
    colStatus = 7,
    QueueColumnCount = 8,
};

// Header texts and design widths, by column index.
QString ColumnTitle(int col);
int ColumnDesignWidth(int col);

inline const QString ActionCopy = QStringLiteral("Copy");
inline const QString ActionMove = QStringLiteral("Move");
inline const QString ActionRemoveDir = QStringLiteral("RemoveDir");

enum class Action { Copy, Move, RemoveDir };
// The action an Action cell names; nullopt for any other text.
std::optional<Action> ActionOf(const QString& word);

inline const QString StatusPending = QStringLiteral("Pending");
inline const QString StatusInProgress = QStringLiteral("In Progress");
inline const QString StatusComplete = QStringLiteral("Complete");
inline const QString StatusAborted = QStringLiteral("Aborted");
inline const QString StatusFailed = QStringLiteral("Failed");
inline const QString StatusSkipped = QStringLiteral("Skipped");
inline const QString StatusSourceError = QStringLiteral("Source Error");
inline const QString StatusTargetError = QStringLiteral("Target Error");

}  // namespace queue
