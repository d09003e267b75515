#pragma once
// The real message and input boxes: modal Qt dialogs built by hand rather than
// QMessageBox/QInputDialog, because those order buttons by the desktop's
// conventions and treat Escape and the close box their own way, while this
// program's boxes keep one fixed button order and fixed Enter/Escape rules.

#include "platform/Dialogs.h"

#include <QDialog>

class QWidget;

namespace platform {

class QtDialogProvider : public DialogProvider {
public:
    int Message(const MessageRequest& request) override;
    QString Input(const QString& caption, const QString& prompt,
                  const QString& defaultText) override;
};

// Installs one process-wide QtDialogProvider (idempotent).
void InstallQtDialogs();

// The boxes themselves, not yet shown; exec() answers mrXxx for a message box,
// QDialog::Accepted / Rejected for an input box. Parent defaults to the
// active window so the box stays over the window it interrupts.
QDialog* CreateMessageDialog(const MessageRequest& request, QWidget* parent = nullptr);
QDialog* CreateInputDialog(const QString& caption, const QString& prompt,
                           const QString& defaultText, QWidget* parent = nullptr);
// The text of an input dialog's field.
QString InputDialogText(const QDialog* dialog);

// The longest text the input box accepts.
inline constexpr int kInputBoxMaxLength = 255;

}  // namespace platform
