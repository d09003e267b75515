#include "app/TrafficLights.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace app {
namespace {

// Drawn at this multiple of the final size and scaled down, so the small
// round lamps get smooth edges beyond what antialiasing alone gives.
constexpr int kScale = 4;
constexpr double kLampRadius = 3.75;
constexpr double kHousingRadius = 7.0;

struct LampColours {
    QColor lit;    // body of the lit lamp
    QColor core;   // hot centre of the lit lamp
    QColor unlit;  // faint tint of the dark lamp
};

const LampColours kLamps[3] = {
    {QColor(0xF0, 0x24, 0x1A), QColor(0xFF, 0xD8, 0xC8), QColor(0x54, 0x34, 0x32)},  // red
    {QColor(0xFF, 0xAA, 0x00), QColor(0xFF, 0xF4, 0xC0), QColor(0x52, 0x48, 0x30)},  // amber
    {QColor(0x1E, 0xD8, 0x4A), QColor(0xD8, 0xFF, 0xE0), QColor(0x32, 0x4A, 0x38)},  // green
};

QColor Darker(const QColor& c, int factor) {
    return c.darker(factor);
}

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

void DrawHousing(QPainter& p, const QPainterPath& housing) {
    QLinearGradient body(0, 0.5, 0, kTrafficLightHeight - 0.5);
    body.setColorAt(0.0, QColor(0x5C, 0x5F, 0x64));
    body.setColorAt(0.45, QColor(0x2E, 0x30, 0x34));
    body.setColorAt(1.0, QColor(0x18, 0x19, 0x1C));
    p.fillPath(housing, body);
    p.setPen(QPen(QColor(0x0A, 0x0A, 0x0C), 0.9));
    p.drawPath(housing);
    // A thin sheen along the top edge gives the housing some volume.
    p.setPen(QPen(QColor(255, 255, 255, 60), 0.6));
    p.drawArc(QRectF(1.6, 1.4, kTrafficLightWidth - 3.2, kTrafficLightHeight - 3.0), 30 * 16,
              120 * 16);
}

void DrawLamp(QPainter& p, const QPainterPath& housing, int lamp, bool lit) {
    const QPointF c = TrafficLampCentre(lamp);
    const LampColours& colours = kLamps[lamp];
    const double r = kLampRadius;

    // Recess ring: every lamp sits in a dark socket.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x08, 0x08, 0x0A));
    p.drawEllipse(c, r + 0.7, r + 0.7);

    if (lit) {
        // Glow spilling onto the housing around the lamp.
        p.save();
        p.setClipPath(housing);
        QRadialGradient glow(c, r + 3.6);
        glow.setColorAt(0.0, WithAlpha(colours.lit, 200));
        glow.setColorAt(0.55, WithAlpha(colours.lit, 110));
        glow.setColorAt(1.0, WithAlpha(colours.lit, 0));
        p.setBrush(glow);
        p.drawEllipse(c, r + 3.6, r + 3.6);
        p.restore();

        QRadialGradient body(c + QPointF(-0.6, -0.8), r * 1.15);
        body.setColorAt(0.0, colours.core);
        body.setColorAt(0.35, colours.lit.lighter(115));
        body.setColorAt(0.8, colours.lit);
        body.setColorAt(1.0, Darker(colours.lit, 135));
        p.setBrush(body);
    } else {
        QRadialGradient body(c + QPointF(-0.5, -0.9), r * 1.2);
        body.setColorAt(0.0, colours.unlit);
        body.setColorAt(0.7, Darker(colours.unlit, 200));
        body.setColorAt(1.0, QColor(0x10, 0x10, 0x12));
        p.setBrush(body);
    }
    p.drawEllipse(c, r, r);

    // Reflection of the lens, stronger on a lit lamp.
    QRadialGradient shine(c + QPointF(-0.9, -1.6), 2.0);
    shine.setColorAt(0.0, QColor(255, 255, 255, lit ? 200 : 90));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(c + QPointF(-0.9, -1.6), 2.0, 1.3);
}

QImage DrawLights(int litLamp) {
    QImage big(kTrafficLightWidth * kScale, kTrafficLightHeight * kScale,
               QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(kScale, kScale);
        QPainterPath housing;
        housing.addRoundedRect(
            QRectF(0.5, 0.5, kTrafficLightWidth - 1.0, kTrafficLightHeight - 1.0), kHousingRadius,
            kHousingRadius);
        DrawHousing(p, housing);
        for (int lamp = 0; lamp < 3; ++lamp)
            DrawLamp(p, housing, lamp, lamp == litLamp);
    }
    return big.scaled(kTrafficLightWidth, kTrafficLightHeight, Qt::IgnoreAspectRatio,
                      Qt::SmoothTransformation);
}

}  // namespace

QPointF TrafficLampCentre(int lamp) {
    // The outer lamps share their centres with the housing's rounded ends.
    constexpr double xs[3] = {7.5, 16.0, 24.5};
    return QPointF(xs[lamp < 0 ? 0 : lamp > 2 ? 2 : lamp], kTrafficLightHeight / 2.0);
}

TImageList MakeTrafficLightsHorizontal() {
    TImageList list(kTrafficLightWidth, kTrafficLightHeight);
    list.Add(DrawLights(-1));  // LightsOff
    list.Add(DrawLights(2));   // LightGreen: right lamp
    list.Add(DrawLights(1));   // LightAmber: middle lamp
    list.Add(DrawLights(0));   // LightRed: left lamp
    return list;
}

}  // namespace app
