// The queue's figures onto the nine status panels.
#include "app/MainStatusPanels.h"
#include "app/MainUnit.h"
#include "app/richtext/RichStatusBar.h"
#include "panes/FilePanels.h"
#include "platform/Clock.h"

namespace app {

void TMainForm::RefreshStatistics() {
    const bool running = session_.State() != queue::QueueState::Stopped;
    queue::TRunCounters counters = session_.Counters();
    if (running && runClock_.isValid()) counters.SecondsRun = runClock_.elapsed() / 1000;
    const queue::QueueStatistics s =
        queue::ComputeStatistics(session_.State(), counters, platform::Now());
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
    // Each label asks its drive's file system; during a run, where this runs
    // every second and for every row, once a second is enough.
    if (!running || !freeSpaceShown_.isValid() || freeSpaceShown_.elapsed() >= 1000) {
        Panels->ShowFreeSpace();
        freeSpaceShown_.start();
    }
}

}  // namespace app
