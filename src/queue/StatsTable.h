#pragma once
// The queue statistics: for every target directory of the queued copy and
// move jobs, and for every directory above it up to the drive, the total size
// the queue sends there and the depth of the directory.

#include "platform/StringGrid.h"

#include <QString>

#include <optional>

namespace queue {

enum StatsColumn : int {
    colStatsDir = 0,
    colStatsTotal = 1,  // the running total as "%.2f"; kept out of view
    colStatsSizeText = 2,
    colStatsLevel = 3,
    StatsColumnCount = 4,
};

// The number of backslashes: C: is 0, C:\ and C:\Data are 1, C:\Data\Sub is 2.
int PathLevel(const QString& path);
// The text before the last backslash (C:\Data gives C:, C:\ gives C:, \Data
// gives the empty text); nullopt for a text without a backslash.
std::optional<QString> ParentPath(const QString& path);

// Titles, design widths and the designed rows (the header and one empty row).
void InitStatsTable(platform::StringGrid& stats);

// Rebuilds the statistics from the queue's rows: brings the total column into
// view, credits each "Copy" and "Move" row's Real Size to its target directory
// and every directory above it, writes the size texts, orders the rows by
// level (equal levels in the order their directories were first met) and
// takes the total column out of view again. A Real Size that does not read
// throws EConvertError and leaves the rows built so far, totals in view,
// without size texts or ordering.
void UpdateQueueStats(const platform::StringGrid& queue, platform::StringGrid& stats);

}  // namespace queue
