#pragma once
// The main window. It owns the queue table and shows it as GridQueue.

#include "queue/QueueTable.h"

#include <QMainWindow>

namespace platform {
class TStringGridEx;
}

namespace app {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    queue::QueueTable& Queue() { return queue_; }
    platform::TStringGridEx* GridQueue = nullptr;

private:
    queue::QueueTable queue_;
};

// The main window's background, also used by its tool panels and splitters.
inline constexpr unsigned MainFormColor = 0xD0E6FD;

}  // namespace app
