// The queue's figures onto the nine status panels.
#include "app/MainStatusPanels.h"
#include "app/MainUnit.h"
#include "app/RichStatusBar.h"
#include "panes/FilePanels.h"
#include "platform/Clock.h"

namespace app {

void TMainForm::RefreshStatistics() {
    const queue::QueueStatistics s =
        queue::ComputeStatistics(session_.State(), session_.Counters(), platform::Now());
    TRichStatusBar& bar = *StatusBar1;
    bar.SetPanelImage(PanelQueueState, s.stateImage);
    bar.SetPanelText(PanelQueueState, s.stateText);
    bar.SetPanelText(PanelFileCount, s.fileCount);
    bar.SetPanelText(PanelPendingSize, s.pendingSize);
    if (s.speed) bar.SetPanelText(PanelSpeed, *s.speed);
    if (s.remaining) bar.SetPanelText(PanelRemaining, *s.remaining);
    if (s.arrival) bar.SetPanelText(PanelArrival, *s.arrival);
    bar.SetPanelPosition(PanelProgress, s.progress);
    bar.SetPanelText(PanelCurrentFile, s.currentFile);
    Panels->ShowFreeSpace();
}

}  // namespace app
