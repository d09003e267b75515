#include "panes/FileListBox.h"

#include "platform/Guard.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace panes {

namespace {

// Presses left of this offset land in the check column.
constexpr int kCheckColumnHit = 16;
// The check column is painted in the background colour up to here.
constexpr int kCheckColumnWidth = 18;

}  // namespace

TCheckFileListBoxEx::TCheckFileListBoxEx(QWidget* parent) : TFileListBoxEx(parent) {}

void TCheckFileListBoxEx::SyncTicks() const {
    if (ticks_.Count() != Count()) ticks_.SetCount(Count());
}

bool TCheckFileListBoxEx::Ticked(int index) const {
    SyncTicks();
    return ticks_.Get(index);
}

void TCheckFileListBoxEx::SetTicked(int index, bool ticked) {
    SyncTicks();
    ticks_.Set(index, ticked);
    viewport()->update(ItemRect(index));
}

void TCheckFileListBoxEx::SetFlat(bool flat) {
    flat_ = flat;
    viewport()->update();
}

void TCheckFileListBoxEx::ItemInserted(int index) {
    TFileListBoxEx::ItemInserted(index);
    // The entry is in the list already; bring the ticks to the count before it.
    ticks_.SetCount(Count() - 1);
    ticks_.Insert(index, false);
}

void TCheckFileListBoxEx::ItemDeleted(int index) {
    TFileListBoxEx::ItemDeleted(index);
    ticks_.SetCount(Count() + 1);
    ticks_.Delete(index);
}

void TCheckFileListBoxEx::ItemsCleared() {
    TFileListBoxEx::ItemsCleared();
    ticks_.Clear();
}

void TCheckFileListBoxEx::Toggle(int index) {
    SetTicked(index, !Ticked(index));
    emit OnClickCheck(this, index);
}

void TCheckFileListBoxEx::Press(QMouseEvent* event) {
    platform::Guard([&] {
        if (event->button() == Qt::LeftButton) TFileListBoxEx::mousePressEvent(event);
        const QPoint pos = event->position().toPoint();
        if (pos.x() >= kCheckColumnHit) return;
        const int index = ItemAtPos(pos);
        if (index >= 0) Toggle(index);
    });
}

void TCheckFileListBoxEx::mousePressEvent(QMouseEvent* event) {
    // The second press of a double click arrives once more as the double-click
    // event; counting both would toggle three times.
    if (event->flags() & Qt::MouseEventCreatedDoubleClick) return;
    Press(event);
}

void TCheckFileListBoxEx::mouseDoubleClickEvent(QMouseEvent* event) {
    Press(event);
}

void TCheckFileListBoxEx::keyPressEvent(QKeyEvent* event) {
    const int index = ItemIndex();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && index >= 0)
        platform::Guard([&] { Toggle(index); });
    // Insert toggles the entry and moves on to the next, as in file managers.
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier && index >= 0) {
        platform::Guard([&] {
            Toggle(index);
            UserSelect(std::min(index + 1, Count() - 1), false);
        });
        return;
    }
    TFileListBoxEx::keyPressEvent(event);
}

void TCheckFileListBoxEx::DrawCheckBox(QPainter& painter, const QRect& row, bool ticked) {
    const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    const QRect area(row.left() + 1, row.top() + 1, 15, row.height() - 2);
    QRect box(0, 0, std::min(w, area.width()), std::min(h, area.height()));
    box.moveCenter(area.center());

    if (!flat_) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = box;
        option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        option.state |= ticked ? QStyle::State_On : QStyle::State_Off;
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        return;
    }
    // Flat: no raised border, a thin frame one pixel inside the box's edge.
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QRect frame = box.adjusted(1, 1, -1, -1);
    painter.fillRect(frame,
                     palette().color(group, isEnabled() ? QPalette::Base : QPalette::Button));
    painter.setPen(palette().color(group, QPalette::Dark));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    if (!ticked) return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(palette().color(group, QPalette::Text), 1.6);
    painter.setPen(pen);
    const QRectF in = QRectF(frame).adjusted(2.5, 2.5, -2.5, -2.5);
    const QPointF points[3] = {
        QPointF(in.left(), in.top() + in.height() * 0.5),
        QPointF(in.left() + in.width() * 0.4, in.bottom()),
        QPointF(in.right(), in.top()),
    };
    painter.drawPolyline(points, 3);
}

void TCheckFileListBoxEx::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    // The check column keeps the background colour even on the selected row,
    // so the tick reads apart from the selection.
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.fillRect(QRect(rect.left(), rect.top(), kCheckColumnWidth, rect.height()),
                     palette().color(group, QPalette::Base));
    painter.save();
    DrawCheckBox(painter, rect, Ticked(index));
    painter.restore();
    DrawEntry(painter, index, rect, selected, kCheckColumnWidth);
}

platform::AccessibleEntry TCheckFileListBoxEx::AccessibleEntryAt(int index) const {
    platform::AccessibleEntry entry = TFileListBoxEx::AccessibleEntryAt(index);
    if (index >= 0 && index < Count()) entry.checked = Ticked(index);
    return entry;
}

void TCheckFileListBoxEx::AccessibleToggle(int index) {
    if (index >= 0 && index < Count()) Toggle(index);
}

}  // namespace panes
