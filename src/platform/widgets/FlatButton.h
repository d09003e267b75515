#pragma once
// The flat image buttons of the program's tool strips and dialogs, and the two
// round pictures the dialogs accept and cancel with.

#include <QIcon>
#include <QRect>
#include <QString>

class QToolButton;
class QWidget;

namespace platform {

// A button without a frame until the pointer is over it, at a fixed place.
// The hint is its tooltip (markup allowed); the accessible name is what a
// screen reader announces and what tests find it by.
QToolButton* NewFlatButton(QWidget* parent, const QIcon& icon, const QRect& geometry,
                           const QString& hint, const QString& accessibleName);

// A 23 x 22 button of a tool strip at (left, top) with a 16-pixel picture.
QToolButton* NewStripButton(QWidget* strip, const char* name, int left, int top,
                            const QString& hint, const QIcon& icon);

enum class RoundMark { Tick, Cross };

// A green disc with a white tick, or a red disc with a white cross.
QIcon RoundMarkIcon(RoundMark mark, int size);

}  // namespace platform
