#pragma once
// The event pump. Long work (a tree walk, a file copy, a queue run) calls
// PumpMessages() between steps; every other command runs inside those pumps.

#include <cstdint>
#include <functional>

namespace platform {

// Processes the pending events of the application (if one exists), then runs
// the test hook, if installed, with the 1-based number of this pump.
void PumpMessages();

// Tests: a hook that runs at every pump with its number (counted from 1 since
// the hook was installed). Pass an empty function to remove it.
void SetPumpHook(std::function<void(std::int64_t pumpNumber)> hook);

// Pumps since the hook was last set (or since start).
std::int64_t PumpCount();

}  // namespace platform
