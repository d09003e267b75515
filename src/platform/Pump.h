#pragma once
// The event pump. Long work (a tree walk, a file copy, a queue run) calls
// PumpMessages() between steps; every other command runs inside those pumps.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

// What a pump does with the user's input: handles it (every command runs
// inside the pumps of long work), or leaves it waiting until the window takes
// commands again (while a queue file loads, the window repaints but nothing
// may act on a half-loaded queue).
enum class PumpInput { Handle, Defer };

// Processes the pending events of the application (if one exists), then runs
// the test hook, if installed, with the 1-based number of this pump.
void PumpMessages(PumpInput input = PumpInput::Handle);

// The same, but when nothing is pending it sleeps until an event arrives (a
// completion of the kernel's ring, a timer, the user) or atMost has passed.
// For waits on the kernel that keep the window alive. Neither counted nor
// seen by the hook: how often a wait pumps depends on how fast a disk answers,
// and tests number the pumps of the work itself.
void PumpMessagesWaiting(std::chrono::milliseconds atMost, PumpInput input = PumpInput::Handle);

// Tests: a hook that runs at every pump with its number (counted from 1 since
// the hook was installed). Pass an empty function to remove it.
void SetPumpHook(std::function<void(std::int64_t pumpNumber)> hook);

// Pumps since the hook was last set (or since start).
std::int64_t PumpCount();

// For loops of many short steps that each change what the window shows (rows
// added to the queue): a pump at every step would repaint the window at every
// step, and the repaints would take longer than the work. Step pumps at its
// first call and then whenever interval has passed since its last pump.
class PacedPump {
public:
    explicit PacedPump(std::chrono::steady_clock::duration interval = std::chrono::milliseconds(20),
                       PumpInput input = PumpInput::Handle)
        : interval_(interval), input_(input) {}
    void Step();

private:
    std::chrono::steady_clock::duration interval_;
    PumpInput input_;
    std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace platform
