#include "platform/Pump.h"

#include <QCoreApplication>
#include <QTimer>

namespace platform {
namespace {
std::function<void(std::int64_t)> pumpHook;
std::int64_t pumps = 0;

QEventLoop::ProcessEventsFlags Flags(PumpInput input) {
    return input == PumpInput::Defer ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
}

void Pumped() {
    ++pumps;
    if (pumpHook) {
        // A copy: the hook may remove or replace itself.
        auto hook = pumpHook;
        hook(pumps);
    }
}

}  // namespace

void PumpMessages(PumpInput input) {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(Flags(input));
    Pumped();
}

void PumpMessagesWaiting(std::chrono::milliseconds atMost, PumpInput input) {
    if (QCoreApplication::instance()) {
        // Its expiry is the event that ends the wait when nothing else comes.
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(atMost);
        QCoreApplication::processEvents(Flags(input) | QEventLoop::WaitForMoreEvents);
    }
}

void SetPumpHook(std::function<void(std::int64_t)> hook) {
    pumpHook = std::move(hook);
    pumps = 0;
}

std::int64_t PumpCount() {
    return pumps;
}

void PacedPump::Step() {
    const auto now = std::chrono::steady_clock::now();
    if (last_ && now - *last_ < interval_) return;
    PumpMessages(input_);
    // From the end of the pump: a pump that painted for longer than the
    // interval still leaves the work its share.
    last_ = std::chrono::steady_clock::now();
}

}  // namespace platform
