#include "support/ScriptedDialogs.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <utility>

namespace testsupport {

using platform::MsgKind;

namespace {

const char* KindName(MsgKind kind) {
    switch (kind) {
        case MsgKind::Warning:
            return "Warning";
        case MsgKind::Error:
            return "Error";
        case MsgKind::Information:
            return "Information";
        case MsgKind::Confirmation:
            return "Confirmation";
        case MsgKind::Custom:
            return "Custom";
    }
    return "?";
}

bool TextMatches(const QString& actual, const QString& expected, TextMatch match) {
    return match == TextMatch::Exact ? actual == expected : actual.contains(expected);
}

}  // namespace

ScriptedDialogs::ScriptedDialogs() : previous_(platform::CurrentDialogProvider()) {
    platform::SetDialogProvider(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    platform::SetDialogProvider(previous_);
    for (const auto& e : expected_)
        ADD_FAILURE() << "Expected prompt never shown: " << Describe(e).toStdString();
}

ScriptedDialogs& ScriptedDialogs::ExpectMessage(MsgKind kind, const QString& text, int answer,
                                                unsigned buttons, TextMatch match) {
    expected_.push_back(
        {ShownPrompt::Type::Message, kind, false, text, match, buttons, answer, {}, {}, {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectNotice(const QString& text, TextMatch match) {
    return ExpectMessage(MsgKind::Custom, text, platform::mrOk, platform::mbOK, match);
}

ScriptedDialogs& ScriptedDialogs::ExpectErrorBox(const QString& failureMessage, TextMatch match) {
    const QString text =
        match == TextMatch::Exact ? platform::ErrorBoxText(failureMessage) : failureMessage;
    expected_.push_back({ShownPrompt::Type::Message,
                         MsgKind::Error,
                         true,
                         text,
                         match,
                         platform::mbOK,
                         platform::mrOk,
                         {},
                         {},
                         {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::ExpectInput(const QString& caption, const QString& prompt,
                                              const QString& result) {
    expected_.push_back({ShownPrompt::Type::Input,
                         MsgKind::Custom,
                         false,
                         prompt,
                         TextMatch::Exact,
                         0,
                         0,
                         caption,
                         result,
                         {}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::AndDo(std::function<void()> action) {
    if (expected_.empty()) {
        ADD_FAILURE() << "AndDo without an expected prompt";
        return *this;
    }
    expected_.back().action = std::move(action);
    return *this;
}

int ScriptedDialogs::Message(const platform::MessageRequest& request) {
    ShownPrompt shown;
    shown.type = ShownPrompt::Type::Message;
    shown.kind = request.kind;
    shown.caption = request.caption;
    shown.text = request.text;
    shown.buttons = request.buttons;
    shown.answer = platform::mrCancel;

    bool ok = !expected_.empty() && expected_.front().type == ShownPrompt::Type::Message;
    if (ok) {
        const Expectation& e = expected_.front();
        const QString caption = ExpectedCaption(e);
        ok = e.kind == request.kind && caption == request.caption &&
             TextMatches(request.text, e.text, e.match) &&
             (e.buttons == 0 || e.buttons == request.buttons);
    }
    if (!ok) {
        ADD_FAILURE() << "Unexpected prompt: " << Describe(shown).toStdString() << "\n  expected: "
                      << (expected_.empty() ? std::string("nothing")
                                            : Describe(expected_.front()).toStdString());
        shown_.push_back(shown);
        return platform::mrCancel;
    }

    Expectation e = std::move(expected_.front());
    expected_.pop_front();
    shown.answer = e.answer;
    shown_.push_back(shown);
    if (e.action) e.action();
    return e.answer;
}

QString ScriptedDialogs::Input(const QString& caption, const QString& prompt,
                               const QString& defaultText) {
    ShownPrompt shown;
    shown.type = ShownPrompt::Type::Input;
    shown.kind = MsgKind::Custom;
    shown.caption = caption;
    shown.text = prompt;
    shown.defaultText = defaultText;
    shown.inputResult = defaultText;

    const bool ok = !expected_.empty() && expected_.front().type == ShownPrompt::Type::Input &&
                    expected_.front().inputCaption == caption && expected_.front().text == prompt;
    if (!ok) {
        ADD_FAILURE() << "Unexpected prompt: " << Describe(shown).toStdString() << "\n  expected: "
                      << (expected_.empty() ? std::string("nothing")
                                            : Describe(expected_.front()).toStdString());
        shown_.push_back(shown);
        return defaultText;
    }

    Expectation e = std::move(expected_.front());
    expected_.pop_front();
    shown.inputResult = e.inputResult;
    shown_.push_back(shown);
    if (e.action) e.action();
    return e.inputResult;
}

QString ScriptedDialogs::ExpectedCaption(const Expectation& e) {
    return e.titleCaption ? platform::ApplicationTitle() : platform::KindCaption(e.kind);
}

QString ScriptedDialogs::Describe(const ShownPrompt& p) {
    if (p.type == ShownPrompt::Type::Input)
        return QStringLiteral("input box [%1] \"%2\" (default \"%3\")")
            .arg(p.caption, p.text, p.defaultText);
    return QStringLiteral("%1 box [%2] \"%3\" buttons 0x%4")
        .arg(QString::fromLatin1(KindName(p.kind)), p.caption, p.text,
             QString::number(p.buttons, 16));
}

QString ScriptedDialogs::Describe(const Expectation& e) {
    if (e.type == ShownPrompt::Type::Input)
        return QStringLiteral("input box [%1] \"%2\"").arg(e.inputCaption, e.text);
    const QString caption = ExpectedCaption(e);
    return QStringLiteral("%1 box [%2] %3\"%4\" buttons %5")
        .arg(QString::fromLatin1(KindName(e.kind)), caption,
             e.match == TextMatch::Contains ? QStringLiteral("containing ") : QString(), e.text,
             e.buttons == 0 ? QStringLiteral("any")
                            : QStringLiteral("0x") + QString::number(e.buttons, 16));
}

}  // namespace testsupport
