#pragma once
// Message boxes, input boxes and the error box. The engine asks through these
// functions; the program installs the real Qt dialogs at start-up
// (widgets/QtDialogs.h), tests install a script of expected prompts.

#include <QString>

#include <vector>

namespace platform {

enum class MsgKind { Warning, Error, Information, Confirmation, Custom };

// Buttons, in the fixed order in which they appear.
enum MsgButton : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};

// Answers.
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

struct MessageRequest {
    MsgKind kind = MsgKind::Information;
    QString caption;  // "Warning", "Error", "Information", "Confirm", or the title for Custom
    QString text;
    unsigned buttons = mbOK;
};

// What shows the dialogs. Implementations: the real Qt dialogs and the test script.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    virtual int Message(const MessageRequest& request) = 0;
    // The field's text on OK; the default text on Cancel or close.
    virtual QString Input(const QString& caption, const QString& prompt,
                          const QString& defaultText) = 0;
};

// Installs the provider (not owned); nullptr removes it. Without a provider
// every prompt throws a Failure, so an unexpected prompt cannot pass silently.
void SetDialogProvider(DialogProvider* provider);
DialogProvider* CurrentDialogProvider();

const QString& ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The caption of a kind: "Warning", "Error", "Information", "Confirm".
QString KindCaption(MsgKind kind);
// The buttons present, in the fixed display order.
std::vector<MsgButton> OrderedButtons(unsigned buttons);
// "&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All",
// "N&o to All", "Yes to &All", "&Help".
QString ButtonCaption(MsgButton button);
int ButtonResult(MsgButton button);
// Enter: OK when present, else Yes, else Retry (0 when none of them).
MsgButton DefaultButton(unsigned buttons);
// Escape: Cancel when present, else No, else OK (0 when none of them).
MsgButton EscapeButton(unsigned buttons);

// A modal message box of the given kind; returns the answer (mrXxx).
int MessageDlg(const QString& text, MsgKind kind, unsigned buttons);
// A plain notice: the application title as caption and one OK button.
void ShowNotice(const QString& text);
// The error box of an unhandled failure: application title, error icon, OK,
// text passed through ErrorBoxText.
void ShowErrorBox(const QString& message);
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText);

}  // namespace platform
