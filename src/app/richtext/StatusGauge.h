#pragma once
// The gauge of a status-bar panel: its value, bar length, level colours and
// the banded vertical gradient. Kept apart from the bar so the arithmetic can
// be checked without a widget.

#include "app/richtext/RichStatusPanel.h"

#include <QColor>
#include <QRect>
#include <QString>

class QFont;
class QPainter;

namespace app {

// The value shown: Position itself for a percentage gauge, otherwise the
// position's share of Min..Max in percent (halves to even; 0 for an empty range).
int GaugeValue(const TProgressStyle& style);

// The bar's length in pixels for value v over innerWidth, halves to even.
// Kept within 0..innerWidth, so a position beyond 100 cannot paint outside.
int GaugeBarLength(int value, int innerWidth);

struct GaugeColors {
    QColor main;
    QColor edge;
};
GaugeColors GaugeLevelColors(const TProgressStyle& style, int value);

// The text written over the gauge ("50%", or Prefix + Position + Suffix).
QString GaugeText(const TProgressStyle& style, int value);

// A vertical gradient from `from` at the top to `to` at the bottom in 11
// bands, clipped to rect.
void PaintBandGradient(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to);

// The whole gauge panel in its drawing rectangle r. faceColor stands in for
// an unset BackGround.
void PaintGauge(QPainter& painter, const QRect& r, const TProgressStyle& style, const QFont& font,
                const QColor& faceColor);

}  // namespace app
