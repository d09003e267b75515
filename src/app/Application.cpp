#include "app/Application.h"

#include "platform/Guard.h"

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    platform::Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace app
