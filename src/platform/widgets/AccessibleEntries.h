#pragma once
// Assistive technology (screen readers, the AT-SPI bus) for widgets that draw
// their entries themselves: the pane lists and the status bar's panels. Such a
// widget implements AccessibleEntrySource; once InstallAccessibleEntries has
// run, each of its entries appears as a child with its name, description,
// selection and check state, and the actions "Press" (what a click on the
// entry does) and "Toggle" (for entries with a check box). The same factory
// gives grid views their table (StringGridEx.h).

#include <QAccessible>
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

// Registers the factory that gives every AccessibleEntrySource widget its
// interface; later calls do nothing.
void InstallAccessibleEntries();

// Tells assistive technology that the entries of widget changed.
void NotifyAccessibleEntriesChanged(QObject* widget);

}  // namespace platform
