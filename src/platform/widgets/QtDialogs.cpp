#include "platform/widgets/QtDialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace platform {

namespace {

constexpr int kButtonMinWidth = 75;
constexpr int kIconSize = 32;
constexpr int kMaxTextWidth = 480;

QWidget* DefaultParent(QWidget* parent) {
    return parent ? parent : QApplication::activeWindow();
}

QHBoxLayout* CentredRow(const std::vector<QPushButton*>& buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    row->addStretch(1);
    return row;
}

// Escape and the close box answer differently (Escape presses a button, closing
// always answers Cancel), so both routes through QDialog::reject are taken
// over here.
class MessageForm : public QDialog {
public:
    explicit MessageForm(QWidget* parent) : QDialog(parent) {}

    void SetEscapeButton(QPushButton* button) { escape_ = button; }
    void reject() override { done(mrCancel); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            // Without Cancel, No or OK the box ignores Escape.
            if (escape_) escape_->click();
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    QPointer<QPushButton> escape_;
};

QIcon KindIcon(MsgKind kind, const QStyle* style) {
    switch (kind) {
        case MsgKind::Warning:
            return style->standardIcon(QStyle::SP_MessageBoxWarning);
        case MsgKind::Error:
            return style->standardIcon(QStyle::SP_MessageBoxCritical);
        case MsgKind::Information:
            return style->standardIcon(QStyle::SP_MessageBoxInformation);
        case MsgKind::Confirmation:
            return style->standardIcon(QStyle::SP_MessageBoxQuestion);
        case MsgKind::Custom:
            break;
    }
    return {};
}

class InputForm : public QDialog {
public:
    using QDialog::QDialog;
    QLineEdit* edit = nullptr;
};

}  // namespace

QDialog* CreateMessageDialog(const MessageRequest& request, QWidget* parent) {
    auto* form = new MessageForm(DefaultParent(parent));
    form->setObjectName(QStringLiteral("MessageDlg"));
    form->setWindowTitle(request.caption);
    form->setModal(true);
    form->setWindowFlags((form->windowFlags() | Qt::WindowCloseButtonHint) &
                         ~Qt::WindowContextHelpButtonHint);

    auto* body = new QHBoxLayout;
    const QIcon icon = KindIcon(request.kind, form->style());
    if (!icon.isNull()) {
        auto* iconLabel = new QLabel(form);
        iconLabel->setObjectName(QStringLiteral("Image"));
        iconLabel->setPixmap(icon.pixmap(kIconSize, kIconSize));
        iconLabel->setAlignment(Qt::AlignTop);
        body->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    auto* message = new QLabel(form);
    message->setObjectName(QStringLiteral("Message"));
    // File names reach these texts; they must never be read as markup.
    message->setTextFormat(Qt::PlainText);
    message->setText(request.text);
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A wrapping label in a fixed-size box would otherwise settle on a narrow
    // column; short texts keep one line, long ones wrap at a readable width.
    const QFontMetrics metrics(message->font());
    int widest = 0;
    for (const QString& line : request.text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    message->setMinimumWidth(std::min(widest + 2, kMaxTextWidth));
    body->addWidget(message, 1);

    std::vector<QPushButton*> buttons;
    const MsgButton enter = DefaultButton(request.buttons);
    const MsgButton escape = EscapeButton(request.buttons);
    QPushButton* focus = nullptr;
    for (MsgButton b : OrderedButtons(request.buttons)) {
        auto* button = new QPushButton(ButtonCaption(b), form);
        button->setMinimumWidth(kButtonMinWidth);
        button->setProperty("modalResult", ButtonResult(b));
        const int result = ButtonResult(b);
        if (result != mrNone)
            QObject::connect(button, &QPushButton::clicked, form,
                             [form, result] { form->done(result); });
        if (b == enter) {
            button->setDefault(true);
            focus = button;
        }
        if (b == escape) form->SetEscapeButton(button);
        buttons.push_back(button);
    }
    if (!focus && !buttons.empty()) focus = buttons.front();

    auto* layout = new QVBoxLayout(form);
    layout->addLayout(body);
    layout->addSpacing(8);
    layout->addLayout(CentredRow(buttons));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (focus) focus->setFocus(Qt::OtherFocusReason);
    return form;
}

QDialog* CreateInputDialog(const QString& caption, const QString& prompt,
                           const QString& defaultText, QWidget* parent) {
    auto* form = new InputForm(DefaultParent(parent));
    form->setObjectName(QStringLiteral("InputBox"));
    form->setWindowTitle(caption);
    form->setModal(true);
    form->setWindowFlags((form->windowFlags() | Qt::WindowCloseButtonHint) &
                         ~Qt::WindowContextHelpButtonHint);

    auto* label = new QLabel(form);
    label->setObjectName(QStringLiteral("Prompt"));
    label->setTextFormat(Qt::PlainText);
    label->setText(prompt);

    form->edit = new QLineEdit(form);
    form->edit->setObjectName(QStringLiteral("Edit"));
    form->edit->setMaxLength(kInputBoxMaxLength);
    form->edit->setText(defaultText);
    form->edit->selectAll();
    form->edit->setMinimumWidth(240);
    label->setBuddy(form->edit);

    auto* ok = new QPushButton(ButtonCaption(mbOK), form);
    auto* cancel = new QPushButton(ButtonCaption(mbCancel), form);
    for (QPushButton* b : {ok, cancel}) {
        b->setMinimumWidth(kButtonMinWidth);
        // Enter in the field must press OK, never whichever button last had focus.
        b->setAutoDefault(false);
    }
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, form, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, form, &QDialog::reject);

    auto* layout = new QVBoxLayout(form);
    layout->addWidget(label);
    layout->addWidget(form->edit);
    layout->addSpacing(8);
    layout->addLayout(CentredRow({ok, cancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    form->edit->setFocus(Qt::OtherFocusReason);
    return form;
}

QString InputDialogText(const QDialog* dialog) {
    const auto* form = dynamic_cast<const InputForm*>(dialog);
    return form && form->edit ? form->edit->text() : QString();
}

int QtDialogProvider::Message(const MessageRequest& request) {
    // A parent destroyed while the box runs takes the box along; QPointer
    // notices, and an unanswered box counts as closed: Cancel.
    QPointer<QDialog> dialog = CreateMessageDialog(request);
    const int result = dialog->exec();
    delete dialog.data();
    return result == mrNone ? int(mrCancel) : result;
}

QString QtDialogProvider::Input(const QString& caption, const QString& prompt,
                                const QString& defaultText) {
    QPointer<QDialog> dialog = CreateInputDialog(caption, prompt, defaultText);
    const int result = dialog->exec();
    QString text = defaultText;
    if (dialog && result == QDialog::Accepted) text = InputDialogText(dialog);
    delete dialog.data();
    return text;
}

void InstallQtDialogs() {
    static QtDialogProvider provider;
    SetDialogProvider(&provider);
}

}  // namespace platform
