#include "panes/ListBoxBase.h"

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/Locale.h"

#include <QCollator>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>
#include <memory>

namespace panes {

namespace {

// A pause this long between two typed characters starts a new search.
constexpr double kTypeAheadPauseMs = 500.0;
constexpr double kMsPerDay = 86'400'000.0;

const QCollator& EntryCollator() {
    static std::unique_ptr<QCollator> collator;
    static int generation = -1;
    if (!collator || generation != platform::LocaleGeneration()) {
        generation = platform::LocaleGeneration();
        collator = std::make_unique<QCollator>(QLocale(platform::CurrentLocale().collationName));
        collator->setCaseSensitivity(Qt::CaseInsensitive);
        collator->setNumericMode(false);
        collator->setIgnorePunctuation(false);
    }
    return *collator;
}

}  // namespace

int CompareEntries(const QString& a, const QString& b) {
    return EntryCollator().compare(a, b);
}

void SortEntries(QStringList& texts) {
    const QCollator& collator = EntryCollator();
    std::stable_sort(texts.begin(), texts.end(), [&collator](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
}

TListBoxBase::TListBoxBase(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
}

const QString& TListBoxBase::Item(int index) const {
    if (index < 0 || index >= Count()) throw platform::EListError(index);
    return items_[index];
}

void TListBoxBase::SetItemIndex(int index) {
    const int next = (index >= 0 && index < Count()) ? index : -1;
    if (next == itemIndex_) return;
    itemIndex_ = next;
    if (next >= 0) MakeVisible(next);
    viewport()->update();
}

void TListBoxBase::SetItemHeight(int height) {
    itemHeight_ = std::max(1, height);
    UpdateScrollBar();
    viewport()->update();
}

int TListBoxBase::ItemAtPos(const QPoint& pos) const {
    if (pos.y() < 0) return -1;
    const int index = verticalScrollBar()->value() + pos.y() / itemHeight_;
    return index < Count() ? index : -1;
}

QRect TListBoxBase::ItemRect(int index) const {
    const int row = index - verticalScrollBar()->value();
    return QRect(0, row * itemHeight_, viewport()->width(), itemHeight_);
}

void TListBoxBase::MakeVisible(int index) {
    if (index < 0 || index >= Count()) return;
    QScrollBar* bar = verticalScrollBar();
    const int rows = std::max(1, viewport()->height() / itemHeight_);
    if (index < bar->value())
        bar->setValue(index);
    else if (index >= bar->value() + rows)
        bar->setValue(index - rows + 1);
}

void TListBoxBase::InsertItem(int index, const QString& text) {
    index = std::clamp(index, 0, Count());
    items_.insert(index, text);
    if (itemIndex_ >= index) ++itemIndex_;
    ItemInserted(index);
    UpdateScrollBar();
    viewport()->update();
    platform::NotifyAccessibleEntriesChanged(this);
}

void TListBoxBase::DeleteItem(int index) {
    if (index < 0 || index >= Count()) throw platform::EListError(index);
    items_.removeAt(index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
    ItemDeleted(index);
    UpdateScrollBar();
    viewport()->update();
    platform::NotifyAccessibleEntriesChanged(this);
}

void TListBoxBase::ClearItems() {
    items_.clear();
    itemIndex_ = -1;
    ItemsCleared();
    UpdateScrollBar();
    viewport()->update();
    platform::NotifyAccessibleEntriesChanged(this);
}

void TListBoxBase::ReplaceItems(const QStringList& texts) {
    ClearItems();
    items_ = texts;
    verticalScrollBar()->setValue(0);
    UpdateScrollBar();
    viewport()->update();
    platform::NotifyAccessibleEntriesChanged(this);
}

QSize TListBoxBase::sizeHint() const {
    return QSize(120, itemHeight_ * 8 + 2 * frameWidth());
}

void TListBoxBase::UpdateScrollBar() {
    const int rows = std::max(1, viewport()->height() / itemHeight_);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, Count() - rows));
    bar->setPageStep(rows);
}

void TListBoxBase::UserSelect(int index, bool announceUnchanged) {
    if (index < 0 || index >= Count()) return;
    const bool changed = index != itemIndex_;
    SetItemIndex(index);
    MakeVisible(index);
    if (changed || announceUnchanged) UserSelectionChanged();
}

void TListBoxBase::SelectFirstMatch() {
    for (int i = 0; i < Count(); ++i) {
        if (items_[i].startsWith(search_, Qt::CaseInsensitive)) {
            UserSelect(i);
            return;
        }
    }
}

bool TListBoxBase::TypeAhead(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const double now = platform::Now();
    // Whole milliseconds: a day count cannot hold 500 ms exactly.
    const bool paused =
        lastTypeAhead_ < 0 || std::round((now - lastTypeAhead_) * kMsPerDay) >= kTypeAheadPauseMs;
    if (event->key() == Qt::Key_Backspace && (search_.isEmpty() || paused) && GoUp()) {
        search_.clear();
        return true;
    }
    if (event->key() == Qt::Key_Backspace) {
        lastTypeAhead_ = now;
        if (!search_.isEmpty()) search_.chop(1);
        if (search_.isEmpty())
            UserSelect(0);
        else
            SelectFirstMatch();
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty() || text.at(0).unicode() < 32 || text.at(0).unicode() == 127) return false;
    if (paused) search_.clear();
    lastTypeAhead_ = now;
    search_ += text;
    SelectFirstMatch();
    return true;
}

void TListBoxBase::DrawFocus(QPainter& painter, const QRect& rect) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect;
    option.backgroundColor = palette().color(QPalette::Highlight);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void TListBoxBase::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(font());
    const int first = verticalScrollBar()->value();
    const int rows = viewport()->height() / itemHeight_ + 1;
    for (int i = first; i < Count() && i < first + rows; ++i) {
        const QRect rect = ItemRect(i);
        const bool selected = i == itemIndex_;
        painter.save();
        DrawItem(painter, i, rect, selected);
        painter.restore();
        if (selected && hasFocus()) DrawFocus(painter, rect);
    }
}

void TListBoxBase::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void TListBoxBase::mousePressEvent(QMouseEvent* event) {
    platform::Guard([&] {
        if (event->button() != Qt::LeftButton) return;
        const int index = ItemAtPos(event->position().toPoint());
        if (index >= 0) UserSelect(index);
    });
}

void TListBoxBase::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void TListBoxBase::keyPressEvent(QKeyEvent* event) {
    platform::Guard([&] {
        const int rows = std::max(1, viewport()->height() / itemHeight_);
        const int current = itemIndex_;
        int target = -2;
        switch (event->key()) {
            case Qt::Key_Up:
                target = current < 0 ? 0 : current - 1;
                break;
            case Qt::Key_Down:
                target = current < 0 ? 0 : current + 1;
                break;
            case Qt::Key_Home:
                target = 0;
                break;
            case Qt::Key_End:
                target = Count() - 1;
                break;
            case Qt::Key_PageUp:
                target = current < 0 ? 0 : current - (rows - 1);
                break;
            case Qt::Key_PageDown:
                target = current < 0 ? 0 : current + (rows - 1);
                break;
            default:
                break;
        }
        if (target != -2) {
            if (Count() > 0) UserSelect(std::clamp(target, 0, Count() - 1), false);
            event->accept();
            return;
        }
        if (TypeAhead(event)) {
            event->accept();
            return;
        }
        event->ignore();
    });
}

platform::AccessibleEntry TListBoxBase::AccessibleEntryAt(int index) const {
    platform::AccessibleEntry entry;
    if (index < 0 || index >= Count()) return entry;
    entry.name = Item(index);
    entry.selected = index == ItemIndex();
    return entry;
}

QRect TListBoxBase::AccessibleEntryRect(int index) const {
    const QRect rect = ItemRect(index).intersected(viewport()->rect());
    if (rect.isEmpty()) return QRect();
    return QRect(viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

void TListBoxBase::AccessiblePress(int index) {
    if (index < 0 || index >= Count()) return;
    MakeVisible(index);
    UserSelect(index);
}

}  // namespace panes
