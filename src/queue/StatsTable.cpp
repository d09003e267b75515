#include "queue/StatsTable.h"

#include "queue/Format.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

namespace queue {

int PathLevel(const QString& path) {
    return static_cast<int>(path.count(u'\\'));
}

std::optional<QString> ParentPath(const QString& path) {
    const qsizetype last = path.lastIndexOf(u'\\');
    if (last < 0) return std::nullopt;
    return path.left(last);
}

void InitStatsTable(platform::StringGrid& stats) {
    if (stats.ColCount() != StatsColumnCount) stats.SetColCount(StatsColumnCount);
    const QString titles[] = {QStringLiteral("Target Directory"), QStringLiteral("Total File Size"),
                              QStringLiteral("Total File Size"), QStringLiteral("Level")};
    const int widths[] = {301, 130, 92, 64};
    for (int col = 0; col < StatsColumnCount; ++col) {
        stats.SetCell(col, 0, titles[col]);
        stats.SetColWidth(col, widths[col]);
    }
    stats.SetRowCount(1);
    stats.SetRowCount(2);
}

namespace {

struct DirTotal {
    QString dir;
    double total = 0;  // as the "%.2f" cell would hold it
    bool credited = false;
    int level = 0;
};

// The statistics rows while they are built. A queue of a million rows meets
// each target directory many times, so each target text is resolved once to
// the rows it credits (itself and its ancestors) and looked up by hash after.
class TotalsBuilder {
public:
    TotalsBuilder() : rows_(1) { rowOf_.insert(QString(), 0); }

    void Credit(const QString& target, std::int64_t size) {
        auto chain = chains_.constFind(target);
        if (chain == chains_.constEnd()) chain = chains_.insert(target, ChainOf(target));
        for (const int row : *chain) {
            rows_[static_cast<std::size_t>(row)].total += static_cast<double>(size);
            rows_[static_cast<std::size_t>(row)].credited = true;
        }
        // Only the designed blank row is taken over by a directory: once
        // anything was credited to it, even under the empty text, it keeps
        // its total.
        if (!chain->empty() && chain->front() == 0) firstRowFree_ = false;
    }

    std::vector<DirTotal>& Rows() { return rows_; }

private:
    std::vector<int> ChainOf(const QString& target) {
        std::vector<int> chain;
        QString dir = target;
        for (;;) {
            chain.push_back(RowOf(dir));
            std::optional<QString> parent = ParentPath(dir);
            if (!parent || parent->isEmpty()) break;
            dir = *std::move(parent);
        }
        return chain;
    }

    int RowOf(const QString& dir) {
        const auto found = rowOf_.constFind(dir);
        if (found != rowOf_.constEnd()) return *found;
        int row = 0;
        if (firstRowFree_) {
            rowOf_.remove(QString());
            firstRowFree_ = false;
        } else {
            row = static_cast<int>(rows_.size());
            rows_.emplace_back();
        }
        rows_[static_cast<std::size_t>(row)].dir = dir;
        rows_[static_cast<std::size_t>(row)].level = PathLevel(dir);
        rowOf_.insert(dir, row);
        return row;
    }

    std::vector<DirTotal> rows_;
    QHash<QString, int> rowOf_;
    QHash<QString, std::vector<int>> chains_;
    bool firstRowFree_ = true;
};

std::int64_t WholeBytes(double total) {
    // Totals of hand-edited sizes can pass what 64 bits hold.
    if (!(total > -9223372036854775808.0)) return std::numeric_limits<std::int64_t>::min();
    if (!(total < 9223372036854775808.0)) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(total);
}

enum class Finished { No, Yes };

void WriteRows(platform::StringGrid& stats, const std::vector<DirTotal>& rows,
               const std::vector<std::size_t>& order, Finished finished) {
    stats.SetRowCount(1);
    stats.SetRowCount(1 + static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
        const DirTotal& r = rows[order[i]];
        const int row = 1 + static_cast<int>(i);
        stats.SetCell(colStatsDir, row, r.dir);
        stats.SetCell(colStatsTotal, row, r.credited ? RealSizeText(r.total) : QStringLiteral("0"));
        if (finished == Finished::Yes)
            stats.SetCell(colStatsSizeText, row, FormatSize(WholeBytes(r.total)));
        stats.SetCell(colStatsLevel, row, static_cast<long long>(r.level));
    }
}

}  // namespace

void UpdateQueueStats(const platform::StringGrid& queue, platform::StringGrid& stats) {
    stats.ShowTableColumn(colStatsTotal);
    TotalsBuilder totals;
    std::vector<std::size_t> order;
    try {
        for (int row = 1; row < queue.RowCount(); ++row) {
            const QString& action = queue.Cell(colAction, row);
            if (action != ActionCopy && action != ActionMove) continue;
            const std::int64_t size = ReadSize(queue.Cell(colRealSize, row));
            totals.Credit(queue.Cell(colTargetDir, row), size);
        }
    } catch (...) {
        order.resize(totals.Rows().size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        WriteRows(stats, totals.Rows(), order, Finished::No);
        throw;
    }
    const std::vector<DirTotal>& rows = totals.Rows();
    order.resize(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return rows[a].level < rows[b].level; });
    WriteRows(stats, rows, order, Finished::Yes);
    stats.HideTableColumn(colStatsTotal);
}

}  // namespace queue
