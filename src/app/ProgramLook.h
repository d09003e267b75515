#pragma once
// The program's colours hold on any desktop: its palette names every role of
// every colour group, so a dark desktop palette never mixes its light texts
// into the program's light backgrounds.

#include <QColor>
#include <QPalette>

namespace app {

// The face colour of dialogs and message boxes.
inline constexpr unsigned DialogColor = 0xF0F0F0;

// A complete light palette with window as its window colour: black texts on
// white bases, grey bevels, a blue selection with white text. Every role of
// every group is set, so nothing is taken from the desktop's palette.
QPalette ProgramPalette(QColor window = QColor::fromRgb(DialogColor));

}  // namespace app
