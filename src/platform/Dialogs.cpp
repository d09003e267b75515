#include "platform/Dialogs.h"

#include "platform/Errors.h"

#include <array>
#include <utility>

namespace platform {

namespace {

DialogProvider* g_provider = nullptr;

QString& TitleStorage() {
    static QString title = QStringLiteral("Ferrovant");
    return title;
}

struct ButtonInfo {
    MsgButton button;
    const char16_t* caption;
    int result;
};

// The display order is the order of this table.
constexpr std::array<ButtonInfo, 11> kButtons{{
    {mbYes, u"&Yes", mrYes},
    {mbNo, u"&No", mrNo},
    {mbOK, u"OK", mrOk},
    {mbCancel, u"Cancel", mrCancel},
    {mbAbort, u"&Abort", mrAbort},
    {mbRetry, u"&Retry", mrRetry},
    {mbIgnore, u"&Ignore", mrIgnore},
    {mbAll, u"&All", mrAll},
    {mbNoToAll, u"N&o to All", mrNoToAll},
    {mbYesToAll, u"Yes to &All", mrYesToAll},
    // Help never closes a box: there is no help system to hand over to.
    {mbHelp, u"&Help", mrNone},
}};

const ButtonInfo* Find(MsgButton button) {
    for (const auto& info : kButtons)
        if (info.button == button) return &info;
    return nullptr;
}

MsgButton FirstPresent(unsigned buttons, std::initializer_list<MsgButton> preference) {
    for (MsgButton b : preference)
        if (buttons & b) return b;
    return static_cast<MsgButton>(0);
}

// A prompt with nobody to answer it must not pass as if the user had agreed.
DialogProvider& RequireProvider(const QString& what) {
    if (g_provider == nullptr)
        throw Failure(QStringLiteral("No dialog provider to show the prompt: %1").arg(what));
    return *g_provider;
}

}  // namespace

void SetDialogProvider(DialogProvider* provider) {
    g_provider = provider;
}

DialogProvider* CurrentDialogProvider() {
    return g_provider;
}

const QString& ApplicationTitle() {
    return TitleStorage();
}

void SetApplicationTitle(const QString& title) {
    TitleStorage() = title;
}

QString KindCaption(MsgKind kind) {
    switch (kind) {
        case MsgKind::Warning:
            return QStringLiteral("Warning");
        case MsgKind::Error:
            return QStringLiteral("Error");
        case MsgKind::Information:
            return QStringLiteral("Information");
        case MsgKind::Confirmation:
            return QStringLiteral("Confirm");
        case MsgKind::Custom:
            break;
    }
    return ApplicationTitle();
}

std::vector<MsgButton> OrderedButtons(unsigned buttons) {
    std::vector<MsgButton> out;
    for (const auto& info : kButtons)
        if (buttons & info.button) out.push_back(info.button);
    return out;
}

QString ButtonCaption(MsgButton button) {
    const ButtonInfo* info = Find(button);
    return info ? QString::fromUtf16(info->caption) : QString();
}

int ButtonResult(MsgButton button) {
    const ButtonInfo* info = Find(button);
    return info ? info->result : mrNone;
}

MsgButton DefaultButton(unsigned buttons) {
    return FirstPresent(buttons, {mbOK, mbYes, mbRetry});
}

MsgButton EscapeButton(unsigned buttons) {
    return FirstPresent(buttons, {mbCancel, mbNo, mbOK});
}

int MessageDlg(const QString& text, MsgKind kind, unsigned buttons) {
    MessageRequest request;
    request.kind = kind;
    request.caption = KindCaption(kind);
    request.text = text;
    request.buttons = buttons;
    return RequireProvider(text).Message(request);
}

void ShowNotice(const QString& text) {
    MessageRequest request;
    request.kind = MsgKind::Custom;
    request.caption = ApplicationTitle();
    request.text = text;
    request.buttons = mbOK;
    RequireProvider(text).Message(request);
}

void ShowErrorBox(const QString& message) {
    MessageRequest request;
    request.kind = MsgKind::Error;
    request.caption = ApplicationTitle();
    request.text = ErrorBoxText(message);
    request.buttons = mbOK;
    RequireProvider(request.text).Message(request);
}

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText) {
    return RequireProvider(caption + QStringLiteral(": ") + prompt)
        .Input(caption, prompt, defaultText);
}

}  // namespace platform
