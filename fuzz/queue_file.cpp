// The queue file may be edited by hand. Any bytes must load without a crash
// into a table that keeps its shape (a header row, at least one data row, the
// eight queue columns), and what the program writes of such a table must read
// back to the same cells.

#include "persistence/QueueFile.h"
#include "platform/StringGrid.h"
#include "queue/QueueTable.h"
#include "queue/Vocabulary.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Load(QByteArray bytes, platform::StringGrid& grid) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    persistence::LoadQueueStream(buffer, grid);
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    queue::QueueTable table;
    Load(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
         table.Grid());
    platform::StringGrid& grid = table.Grid();
    if (grid.RowCount() < 2 || grid.ColCount() < queue::QueueColumnCount) std::abort();

    // The program writes the header it shows; a loaded title row may hold any
    // text, so the written table carries the usual titles.
    for (int col = 0; col < grid.ColCount(); ++col) {
        grid.SetCell(col, 0, col < queue::QueueColumnCount ? queue::ColumnTitle(col) : QString());
    }
    QByteArray written;
    for (int row = 0; row < grid.RowCount(); ++row) {
        written += persistence::EncodeQueueRow(grid, row);
        written += "\r\n";
    }
    queue::QueueTable again;
    Load(written, again.Grid());
    if (again.RowCount() != grid.RowCount()) std::abort();
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int col = 0; col < grid.ColCount(); ++col) {
            const QString& cell = grid.Cell(col, row);
            if (HasLineBreak(cell)) continue;
            if (col >= again.Grid().ColCount() || again.Cell(col, row) != cell) std::abort();
        }
    }
    return 0;
}
