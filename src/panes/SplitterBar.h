#pragma once
// A horizontal bar the user drags to change the height of the panel above
// it. The new height goes through a guard the owner supplies, so a rule such
// as a minimum height applies to dragging exactly as to any other change.

#include <QWidget>

#include <functional>

namespace panes {

class TSplitterBar : public QWidget {
    Q_OBJECT
public:
    // setHeight receives the height the drag asks for.
    TSplitterBar(QWidget* above, std::function<void(int)> setHeight, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* above_;
    std::function<void(int)> setHeight_;
    bool dragging_ = false;
    int startY_ = 0;
    int startHeight_ = 0;
};

}  // namespace panes
