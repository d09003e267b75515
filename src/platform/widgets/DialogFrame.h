#pragma once
// Small pieces every dialog of the program needs.

#include <QColor>

class QWidget;

namespace platform {

// Moves a window so that its frame is centred on the screen it is on.
void CentreOnScreen(QWidget* window);

// Fills the widget's background with a plain colour.
void SetBackground(QWidget* widget, const QColor& color);

}  // namespace platform
