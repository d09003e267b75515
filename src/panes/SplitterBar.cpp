#include "panes/SplitterBar.h"

#include "platform/Guard.h"

#include <QMouseEvent>

#include <utility>

namespace panes {

TSplitterBar::TSplitterBar(QWidget* above, std::function<void(int)> setHeight, QWidget* parent)
    : QWidget(parent), above_(above), setHeight_(std::move(setHeight)) {
    setFixedHeight(5);
    setCursor(Qt::SizeVerCursor);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void TSplitterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    startY_ = static_cast<int>(event->globalPosition().y());
    startHeight_ = above_->height();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const int wanted = startHeight_ + static_cast<int>(event->globalPosition().y()) - startY_;
    platform::Guard([&] { setHeight_(wanted < 0 ? 0 : wanted); });
}

void TSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

}  // namespace panes
