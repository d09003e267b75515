#include "platform/widgets/FlatButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

namespace platform {

QToolButton* NewFlatButton(QWidget* parent, const QIcon& icon, const QRect& geometry,
                           const QString& hint, const QString& accessibleName) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(icon);
    button->setGeometry(geometry);
    button->setIconSize(geometry.size() - QSize(6, 6));
    button->setToolTip(hint);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QToolButton* NewStripButton(QWidget* strip, const char* name, int left, int top,
                            const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(strip);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setGeometry(left, top, 23, 22);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    return button;
}

QIcon RoundMarkIcon(RoundMark mark, int size) {
    // Drawn at twice the size so that the picture stays smooth on dense screens.
    const int s = size * 2;
    QPixmap pixmap(s, s);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool tick = mark == RoundMark::Tick;
    const QColor light = tick ? QColor(0x6F, 0xD0, 0x6A) : QColor(0xF0, 0x6E, 0x64);
    const QColor dark = tick ? QColor(0x22, 0x8B, 0x2E) : QColor(0xC0, 0x25, 0x1C);
    QRadialGradient fill(QPointF(s * 0.38, s * 0.32), s * 0.62);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(QPen(dark.darker(120), s / 24.0));
    p.setBrush(fill);
    const double edge = s / 16.0;
    p.drawEllipse(QRectF(edge, edge, s - 2 * edge, s - 2 * edge));

    QPen markPen(Qt::white, s / 8.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(markPen);
    p.setBrush(Qt::NoBrush);
    if (tick) {
        QPainterPath path;
        path.moveTo(s * 0.29, s * 0.52);
        path.lineTo(s * 0.44, s * 0.67);
        path.lineTo(s * 0.72, s * 0.36);
        p.drawPath(path);
    } else {
        p.drawLine(QPointF(s * 0.34, s * 0.34), QPointF(s * 0.66, s * 0.66));
        p.drawLine(QPointF(s * 0.66, s * 0.34), QPointF(s * 0.34, s * 0.66));
    }
    p.end();
    pixmap.setDevicePixelRatio(2.0);
    return QIcon(pixmap);
}

}  // namespace platform
