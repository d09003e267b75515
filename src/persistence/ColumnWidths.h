#pragma once
// The column-width store of a table: one profile entry per column in view
// ("Col0", "Col1" ... by view order) in the store's section. A store reads
// and writes only when Save is on and both Key (the profile file's path) and
// Section are set, so a table whose store never gets a Key keeps its widths
// to itself.

#include <QString>

namespace platform {
class StringGrid;
}

namespace persistence {

enum ColumnSizeLocation { clIniFile, clRegistry };

struct TColumnSize {
    bool Save = true;
    QString Section;
    // Only profile files exist here; a store set to the registry keeps nothing.
    ColumnSizeLocation Location = clIniFile;
    QString Key;

    bool Active() const {
        return Save && Location == clIniFile && !Key.isEmpty() && !Section.isEmpty();
    }
};

// Applies the stored widths as read, without a range check; a missing or
// unreadable entry keeps the column's current width. Never fails.
void LoadColumnWidths(platform::StringGrid& grid, const TColumnSize& store);
// Writes the width of every column in view. Throws platform::Failure
// "Unable to write to " and the path when the file cannot be written.
void SaveColumnWidths(const platform::StringGrid& grid, const TColumnSize& store);

}  // namespace persistence
