#pragma once
// A script of the prompts a test expects, in order, with the answers to give.
// Installed as the dialog provider while it lives (the previous provider comes
// back when it goes). A prompt that does not match the next expectation, or
// that comes when none is left, fails the running test and is answered Cancel
// (an input box returns its default text). Expectations still waiting when the
// script is destroyed fail the test too.
//
//     testsupport::ScriptedDialogs dialogs;
//     dialogs.ExpectMessage(platform::MsgKind::Confirmation, "Overwrite?", platform::mrYes,
//                           platform::mbYes | platform::mbNo);
//     dialogs.ExpectErrorBox("Disk full");      // text as thrown; "." is added by the box
//     dialogs.ExpectInput("New Directory", "Name:", "Photos");
//     RunTheCommand();
//     EXPECT_EQ(dialogs.Remaining(), 0);

#include "platform/Dialogs.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

namespace testsupport {

enum class TextMatch { Exact, Contains };

// One prompt as it was shown.
struct ShownPrompt {
    enum class Type { Message, Input };
    Type type = Type::Message;
    platform::MsgKind kind = platform::MsgKind::Information;  // messages only
    QString caption;
    QString text;          // message text, or the input box's prompt
    unsigned buttons = 0;  // messages only
    QString defaultText;   // input boxes only
    int answer = 0;        // what the script answered (messages)
    QString inputResult;   // what the script returned (input boxes)
};

class ScriptedDialogs : public platform::DialogProvider {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // A message box of this kind (caption "Warning", "Error", "Information",
    // "Confirm"; the application title for Custom). buttons == 0 leaves the
    // buttons unchecked.
    ScriptedDialogs& ExpectMessage(platform::MsgKind kind, const QString& text, int answer,
                                   unsigned buttons = 0, TextMatch match = TextMatch::Exact);
    // ShowNotice: application title, no icon, OK; answered OK.
    ScriptedDialogs& ExpectNotice(const QString& text, TextMatch match = TextMatch::Exact);
    // ShowErrorBox / Guard: failureMessage is the failure's own message; the
    // box's text is compared after ErrorBoxText (the added ".").
    ScriptedDialogs& ExpectErrorBox(const QString& failureMessage,
                                    TextMatch match = TextMatch::Exact);
    // An input box with this caption and prompt that returns result.
    ScriptedDialogs& ExpectInput(const QString& caption, const QString& prompt,
                                 const QString& result);
    // Runs action while the last expected prompt is "open", before it is
    // answered (e.g. to press Abort while a question waits).
    ScriptedDialogs& AndDo(std::function<void()> action);

    // Every prompt shown so far, matched or not.
    const std::vector<ShownPrompt>& Shown() const { return shown_; }
    // Expectations not met yet.
    int Remaining() const { return static_cast<int>(expected_.size()); }

    int Message(const platform::MessageRequest& request) override;
    QString Input(const QString& caption, const QString& prompt,
                  const QString& defaultText) override;

private:
    struct Expectation {
        ShownPrompt::Type type;
        platform::MsgKind kind;
        bool titleCaption;  // the application title instead of the kind's caption
        QString text;
        TextMatch match;
        unsigned buttons;
        int answer;
        QString inputCaption;
        QString inputResult;
        std::function<void()> action;
    };
    static QString ExpectedCaption(const Expectation& expectation);
    static QString Describe(const ShownPrompt& prompt);
    static QString Describe(const Expectation& expectation);

    platform::DialogProvider* previous_;
    std::deque<Expectation> expected_;
    std::vector<ShownPrompt> shown_;
};

}  // namespace testsupport
