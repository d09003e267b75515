#include "persistence/ColumnWidths.h"

#include "persistence/Profile.h"
#include "platform/StringGrid.h"

namespace persistence {

namespace {

QString ColumnKey(int viewIndex) {
    return QStringLiteral("Col%1").arg(viewIndex);
}

}  // namespace

void LoadColumnWidths(platform::StringGrid& grid, const TColumnSize& store) {
    if (!store.Active()) return;
    Profile profile(store.Key);
    int viewIndex = 0;
    for (int col = 0; col < grid.ColCount(); ++col) {
        if (grid.ColumnHidden(col)) continue;
        const int current = grid.ColWidth(col);
        const int width = profile.ProfileReadInt(store.Section, ColumnKey(viewIndex), current);
        if (width != current) grid.SetColWidth(col, width);
        ++viewIndex;
    }
    profile.Release();
}

void SaveColumnWidths(const platform::StringGrid& grid, const TColumnSize& store) {
    if (!store.Active()) return;
    Profile profile(store.Key);
    int viewIndex = 0;
    for (int col = 0; col < grid.ColCount(); ++col) {
        if (grid.ColumnHidden(col)) continue;
        profile.ProfileWriteInt(store.Section, ColumnKey(viewIndex), grid.ColWidth(col));
        ++viewIndex;
    }
    profile.Release();
}

}  // namespace persistence
