#pragma once
// The program's application object. Every event Qt delivers passes through
// platform::Guard, so a failure that a handler let through (also one raised
// inside a pump of a running queue) is shown and never crosses the event loop.

#include <QApplication>

namespace app {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
