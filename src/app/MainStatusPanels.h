#pragma once
// The main window's status bar: nine panels in fixed order. The queue display
// addresses them by these indexes.

#include "app/richtext/RichStatusPanel.h"

#include <vector>

namespace app {

class TRichStatusBar;

enum MainStatusPanel : int {
    PanelClock = 0,
    PanelQueueState = 1,
    PanelFileCount = 2,
    PanelPendingSize = 3,
    PanelSpeed = 4,
    PanelRemaining = 5,
    PanelArrival = 6,
    PanelProgress = 7,
    PanelCurrentFile = 8,
    MainStatusPanelCount = 9,
};

constexpr int kMainStatusBarHeight = 22;

// The nine panels as designed: widths, alignments, initial texts and hints.
// highlight is the system highlight colour the progress gauge is drawn in.
std::vector<TRichStatusPanel> MainStatusPanels(const QColor& highlight);

// Makes bar the main window's StatusBar1: its height, the nine panels, the
// traffic-light pictures and a clock that shows at once.
void ConfigureMainStatusBar(TRichStatusBar& bar);

}  // namespace app
