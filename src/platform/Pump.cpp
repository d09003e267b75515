#include "platform/Pump.h"

#include <QCoreApplication>

namespace platform {
namespace {
std::function<void(std::int64_t)> pumpHook;
std::int64_t pumps = 0;
}  // namespace

void PumpMessages(PumpInput input) {
    if (QCoreApplication::instance()) {
        QCoreApplication::processEvents(
            input == PumpInput::Defer ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    }
    ++pumps;
    if (pumpHook) {
        // A copy: the hook may remove or replace itself.
        auto hook = pumpHook;
        hook(pumps);
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
