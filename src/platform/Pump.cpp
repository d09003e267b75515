#include "platform/Pump.h"

#include <QCoreApplication>

namespace platform {
namespace {
std::function<void(std::int64_t)> pumpHook;
std::int64_t pumps = 0;
}  // namespace

void PumpMessages() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
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

}  // namespace platform
