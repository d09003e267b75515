#include "platform/widgets/AccessibleEntries.h"

#include "platform/Guard.h"
#include "platform/widgets/StringGridEx.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

#include <unordered_map>

namespace platform {

namespace {

class EntriesInterface;

// One entry: no QObject of its own, so it is registered with Qt's cache by
// its list and lives until the list's interface goes.
class EntryInterface : public AccessibleLeaf {
public:
    EntryInterface(EntriesInterface* list, int index);

    bool isValid() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    int Index() const { return index_; }

private:
    AccessibleEntrySource* Source() const;
    EntriesInterface* list_;
    int index_;
};

class EntriesInterface : public QAccessibleWidget {
public:
    EntriesInterface(QWidget* widget, AccessibleEntrySource* source)
        : QAccessibleWidget(widget, source->AccessibleRole()), source_(source), widget_(widget) {}
    ~EntriesInterface() override {
        for (const auto& [index, id] : children_)
            QAccessible::deleteAccessibleInterface(id);
    }

    AccessibleEntrySource* Source() const { return widget_ ? source_ : nullptr; }

    int childCount() const override { return Source() ? Source()->AccessibleEntryCount() : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        if (auto found = children_.find(index); found != children_.end())
            return QAccessible::accessibleInterface(found->second);
        auto* entry = new EntryInterface(const_cast<EntriesInterface*>(this), index);
        children_[index] = QAccessible::registerAccessibleInterface(entry);
        return entry;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* entry = dynamic_cast<const EntryInterface*>(child);
        return entry && entry->parent() == this ? entry->Index() : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (Source()->AccessibleEntryRect(i).contains(x, y)) return child(i);
        }
        return nullptr;
    }

private:
    AccessibleEntrySource* source_;
    QPointer<QWidget> widget_;
    mutable std::unordered_map<int, QAccessible::Id> children_;
};

AccessibleEntrySource* EntryInterface::Source() const {
    return list_->Source();
}

bool EntryInterface::isValid() const {
    return Source() && index_ < Source()->AccessibleEntryCount();
}

EntryInterface::EntryInterface(EntriesInterface* list, int index)
    : AccessibleLeaf(list), list_(list), index_(index) {}

QString EntryInterface::text(QAccessible::Text t) const {
    if (!isValid()) return QString();
    const AccessibleEntry entry = Source()->AccessibleEntryAt(index_);
    if (t == QAccessible::Name) return entry.name;
    if (t == QAccessible::Description) return entry.description;
    return QString();
}

QRect EntryInterface::rect() const {
    return isValid() ? Source()->AccessibleEntryRect(index_) : QRect();
}

QAccessible::Role EntryInterface::role() const {
    return Source() ? Source()->AccessibleEntryRole() : QAccessible::ListItem;
}

QAccessible::State EntryInterface::state() const {
    QAccessible::State s;
    if (!isValid()) {
        s.invalid = true;
        return s;
    }
    const AccessibleEntry entry = Source()->AccessibleEntryAt(index_);
    if (role() == QAccessible::ListItem) {
        s.selectable = true;
        s.selected = entry.selected;
        s.focusable = true;
        s.focused = entry.selected && list_->state().focused;
    }
    if (entry.checked) {
        s.checkable = true;
        s.checked = *entry.checked;
    }
    if (rect().isEmpty()) s.invisible = true;
    return s;
}

QStringList EntryInterface::actionNames() const {
    if (!isValid() || role() != QAccessible::ListItem) return {};
    QStringList names{pressAction()};
    if (Source()->AccessibleEntryAt(index_).checked) names << toggleAction();
    return names;
}

void EntryInterface::doAction(const QString& actionName) {
    if (!isValid()) return;
    AccessibleEntrySource* source = Source();
    const int index = index_;
    // Entered from the accessibility bus, outside any widget's event handler.
    Guard([&] {
        if (actionName == pressAction()) source->AccessiblePress(index);
        if (actionName == toggleAction()) source->AccessibleToggle(index);
    });
}

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<TStringGridEx*>(object)) return NewGridAccessible(grid);
    auto* widget = qobject_cast<QWidget*>(object);
    auto* source = dynamic_cast<AccessibleEntrySource*>(object);
    if (!widget || !source) return nullptr;
    return new EntriesInterface(widget, source);
}

}  // namespace

void InstallAccessibleEntries() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(Factory);
}

void NotifyAccessibleEntriesChanged(QObject* widget) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(widget, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

}  // namespace platform
