#pragma once
// Assistive technology (screen readers, the AT-SPI bus) for widgets that draw
// their entries themselves: the pane lists and the status bar's panels. Such a
// widget implements AccessibleEntrySource; once InstallAccessibleEntries has
// run, each of its entries appears as a child with its name, description,
// selection and check state, and the actions "Press" (what a click on the
// entry does) and "Toggle" (for entries with a check box). The same factory
// gives grid views their table (StringGridEx.h).

#include <QAccessible>
#include <QList>
#include <QPair>
#include <QRect>
#include <QString>

#include <optional>

namespace platform {

struct AccessibleEntry {
    QString name;
    QString description;
    bool selected = false;
    std::optional<bool> checked;  // none: the entry has no check box
};

class AccessibleEntrySource {
public:
    virtual ~AccessibleEntrySource() = default;
    virtual QAccessible::Role AccessibleRole() const { return QAccessible::List; }
    virtual QAccessible::Role AccessibleEntryRole() const { return QAccessible::ListItem; }
    virtual int AccessibleEntryCount() const = 0;
    virtual AccessibleEntry AccessibleEntryAt(int index) const = 0;
    // In screen coordinates; empty when the entry is scrolled out of view.
    virtual QRect AccessibleEntryRect(int index) const = 0;
    virtual void AccessiblePress(int index) { (void)index; }
    virtual void AccessibleToggle(int index) { (void)index; }
};

// An accessible child without a QObject and without children of its own (a
// list's entry, a table's cell): what both kinds answer alike.
class AccessibleLeaf : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit AccessibleLeaf(QAccessibleInterface* parent) : parent_(parent) {}

    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent_->window(); }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation) const override {
        return {};
    }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return parent_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QAccessibleInterface* parent_;
};

// Registers the factory that gives every AccessibleEntrySource widget its
// interface; later calls do nothing.
void InstallAccessibleEntries();

// Tells assistive technology that the entries of widget changed.
void NotifyAccessibleEntriesChanged(QObject* widget);

}  // namespace platform
