#pragma once
// Acting on a modal dialog from inside its exec(): the dialog only appears
// after the call that opens it has started, so the action waits for it.

#include <QDialog>

#include <functional>

namespace testsupport {

// Runs action on the active modal dialog once it is up and active. A dialog
// the action leaves open is closed two seconds later so that a failing test
// cannot hang the run.
void WhenModalShows(std::function<void(QDialog*)> action);

}  // namespace testsupport
