#include "platform/Guard.h"

#include "platform/Dialogs.h"
#include "platform/Errors.h"

#include <QString>

#include <cstdio>
#include <exception>

namespace platform {

namespace {

// Showing the box may itself fail (no provider installed, a provider that
// throws); the guard is the last line before Qt's event loop, so that second
// failure is reported on stderr instead of escaping.
void Show(const QString& message) {
    try {
        ShowErrorBox(message);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ferrovant: %s (while showing: %s)\n", e.what(),
                     message.toLocal8Bit().constData());
    } catch (...) {
        std::fprintf(stderr, "ferrovant: %s\n", message.toLocal8Bit().constData());
    }
}

}  // namespace

bool Guard(const std::function<void()>& handler) {
    try {
        if (handler) handler();
        return true;
    } catch (const Failure& failure) {
        Show(failure.message());
    } catch (const std::exception& e) {
        Show(QString::fromUtf8(e.what()));
    }
    return false;
}

}  // namespace platform
