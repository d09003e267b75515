#include "app/richtext/StatusGauge.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace app {
namespace {

constexpr int kBands = 11;

// Round to nearest, halves to even (the default floating-point rounding mode).
int RoundEven(double x) {
    return static_cast<int>(std::nearbyint(x));
}

int Channel(int a, int b, int k) {
    return std::clamp(a + RoundEven(static_cast<double>(k) * (b - a) / kBands), 0, 255);
}

}  // namespace

int GaugeValue(const TProgressStyle& style) {
    if (style.Indication == TProgressIndication::piPercentage) return style.Position;
    if (style.Max == style.Min) return 0;
    const double share = (static_cast<double>(style.Position) - style.Min) * 100.0 /
                         (static_cast<double>(style.Max) - style.Min);
    return RoundEven(share);
}

int GaugeBarLength(int value, int innerWidth) {
    if (innerWidth <= 0 || value <= 0) return 0;
    return std::clamp(RoundEven(static_cast<double>(value) * innerWidth / 100.0), 0, innerWidth);
}

GaugeColors GaugeLevelColors(const TProgressStyle& style, int value) {
    if (value < style.Level1Perc) return {style.Level0Color, style.Level0ColorTo};
    if (value < style.Level2Perc) return {style.Level1Color, style.Level1ColorTo};
    if (value >= 100) return {style.Level3Color, style.Level3ColorTo};
    return {style.Level2Color, style.Level2ColorTo};
}

QString GaugeText(const TProgressStyle& style, int value) {
    if (style.Indication == TProgressIndication::piPercentage)
        return QString::number(value) + QLatin1Char('%');
    return style.Prefix + QString::number(style.Position) + style.Suffix;
}

void PaintBandGradient(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to) {
    const int h = rect.height();
    if (h <= 0 || rect.width() <= 0) return;
    const int bandHeight = RoundEven(static_cast<double>(h) / kBands) + 1;
    for (int k = 0; k < kBands; ++k) {
        const int y = rect.top() + RoundEven(static_cast<double>(k) * h / kBands);
        const QColor color(Channel(from.red(), to.red(), k), Channel(from.green(), to.green(), k),
                           Channel(from.blue(), to.blue(), k));
        // Bands overlap by design; the clip keeps the last ones inside the rectangle.
        painter.fillRect(QRect(rect.left(), y, rect.width(), bandHeight).intersected(rect), color);
    }
}

void PaintGauge(QPainter& painter, const QRect& r, const TProgressStyle& style, const QFont& font,
                const QColor& faceColor) {
    const int value = GaugeValue(style);
    const int innerWidth = r.width() - 2;
    const QColor background = style.BackGround.isValid() ? style.BackGround : faceColor;

    if (style.ShowBorder) {
        const QRect inside = r.adjusted(1, 1, -1, -1);
        painter.fillRect(inside, background);
        painter.setPen(style.BorderColor);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(inside.adjusted(0, 0, -1, -1));
    } else {
        painter.fillRect(r, background);
    }

    const int length = GaugeBarLength(value, innerWidth);
    if (length > 0) {
        const GaugeColors colors = GaugeLevelColors(style, value);
        const int top = r.top() + 1;
        const int bottom = r.top() + r.height() - 2;  // exclusive
        const QRect bar(r.left() + 1, top, length, bottom - top);
        if (style.Stacked) {
            // Each level's range in its own colour, one after the other.
            const int cut1 = GaugeBarLength(std::min(value, style.Level1Perc), innerWidth);
            const int cut2 =
                std::max(cut1, GaugeBarLength(std::min(value, style.Level2Perc), innerWidth));
            painter.fillRect(QRect(bar.left(), top, cut1, bar.height()), style.Level0Color);
            painter.fillRect(QRect(bar.left() + cut1, top, cut2 - cut1, bar.height()),
                             style.Level1Color);
            painter.fillRect(QRect(bar.left() + cut2, top, length - cut2, bar.height()),
                             style.Level2Color);
        } else if (style.ShowGradient) {
            const int split = top + (bottom - top) / 2;
            PaintBandGradient(painter, QRect(bar.left(), top, length, split - top), colors.edge,
                              colors.main);
            PaintBandGradient(painter, QRect(bar.left(), split, length, bottom - split),
                              colors.main, colors.edge);
        } else {
            painter.fillRect(bar, colors.main);
        }
        if (!style.CompletionSmooth && !style.Stacked) {
            // Cut the bar into blocks by painting the gaps back in the background.
            const int block = std::max(4, bar.height() * 2 / 3);
            for (int x = bar.left() + block; x < bar.left() + length; x += block + 2)
                painter.fillRect(QRect(x, top, 2, bar.height()).intersected(bar), background);
        }
    }

    if (!style.ShowPercentage) return;
    const QString text = GaugeText(style, value);
    const QFontMetrics metrics(font);
    const int x = r.left() + (r.width() - metrics.horizontalAdvance(text)) / 2;
    const int y = r.top() + (r.height() - metrics.height()) / 2;
    painter.setFont(font);
    painter.setPen(style.TextColor);
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

}  // namespace app
