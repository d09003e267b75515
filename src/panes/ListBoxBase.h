#pragma once
// The owner-drawn list both pane lists are built on: text entries, one selected
// entry, rows of a fixed height, type-ahead search, and the two notifications
// the panes react to. Subclasses draw the rows and decide what a selection
// change announces.

#include "platform/widgets/AccessibleEntries.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

class QKeyEvent;
class QPainter;

namespace panes {

// Ascending order of entry texts: the user's locale collation, ignoring case.
// Punctuation such as "[" sorts before digits and letters.
int CompareEntries(const QString& a, const QString& b);

// Sorts texts with CompareEntries; entries that compare equal keep their order.
void SortEntries(QStringList& texts);

class TListBoxBase : public QAbstractScrollArea, public platform::AccessibleEntrySource {
    Q_OBJECT
public:
    explicit TListBoxBase(QWidget* parent = nullptr);

    int Count() const { return static_cast<int>(items_.size()); }
    // Out of range: EListError.
    const QString& Item(int index) const;
    const QStringList& Items() const { return items_; }

    int ItemIndex() const { return itemIndex_; }
    // Moves the selection without any notification; -1 (or out of range) clears it.
    void SetItemIndex(int index);
    void ClearSelection() { SetItemIndex(-1); }

    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    // The entry under a point of the viewport, -1 below the last one.
    int ItemAtPos(const QPoint& pos) const;
    QRect ItemRect(int index) const;
    void MakeVisible(int index);

    // Removes one entry (the selection stays on its entry) or all of them.
    void DeleteItem(int index);
    void ClearItems();

    QSize sizeHint() const override;

    // The entries as assistive technology sees them; a press selects the
    // entry as a click does.
    int AccessibleEntryCount() const override { return Count(); }
    platform::AccessibleEntry AccessibleEntryAt(int index) const override;
    QRect AccessibleEntryRect(int index) const override;
    void AccessiblePress(int index) override;

signals:
    void OnClick();
    void OnChange();

protected:
    void InsertItem(int index, const QString& text);
    // Replaces every entry at once; the selection is cleared. Subclasses see
    // ItemsCleared only and attach their per-entry data afterwards.
    void ReplaceItems(const QStringList& texts);

    virtual void ItemInserted(int index) { (void)index; }
    virtual void ItemDeleted(int index) { (void)index; }
    virtual void ItemsCleared() {}
    virtual void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) = 0;
    // A selection made by the user; by default announces OnClick.
    virtual void UserSelectionChanged() { emit OnClick(); }
    // Backspace with no search under way: the parent directory, where the
    // list has one to show; false when it has none.
    virtual bool GoUp() { return false; }

    // Selects index on the user's behalf and announces it; with
    // announceUnchanged false nothing is announced when the selection stays.
    void UserSelect(int index, bool announceUnchanged = true);
    // Handles a typed character or Backspace; false when the key is neither.
    // Backspace shortens a search typed within the pause, else goes up.
    bool TypeAhead(QKeyEvent* event);
    void DrawFocus(QPainter& painter, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateScrollBar();
    void SelectFirstMatch();

    QStringList items_;
    int itemIndex_ = -1;
    int itemHeight_ = 16;
    QString search_;
    double lastTypeAhead_ = -1.0;  // when the last type-ahead key came, in days
};

}  // namespace panes
