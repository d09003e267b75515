#pragma once
// Every event handler is entered through Guard: a failure of the program's
// hierarchy (or any std::exception) ends the handler and is shown in the error
// box; nothing crosses Qt's event loop.

#include <functional>

namespace platform {

// Runs handler; returns false when it ended with a failure (already shown).
bool Guard(const std::function<void()>& handler);

}  // namespace platform
