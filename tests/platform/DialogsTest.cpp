#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace platform;
using testsupport::ScriptedDialogs;
using testsupport::TextMatch;

namespace {

TEST(DialogButtons, AllButtonsInFixedOrderWithCaptionsAndAnswers) {
    struct Row {
        MsgButton button;
        const char* caption;
        int result;
    };
    const Row expected[] = {
        {mbYes, "&Yes", mrYes},
        {mbNo, "&No", mrNo},
        {mbOK, "OK", mrOk},
        {mbCancel, "Cancel", mrCancel},
        {mbAbort, "&Abort", mrAbort},
        {mbRetry, "&Retry", mrRetry},
        {mbIgnore, "&Ignore", mrIgnore},
        {mbAll, "&All", mrAll},
        {mbNoToAll, "N&o to All", mrNoToAll},
        {mbYesToAll, "Yes to &All", mrYesToAll},
        {mbHelp, "&Help", mrNone},
    };
    unsigned all = 0;
    for (const Row& r : expected)
        all |= r.button;
    const auto ordered = OrderedButtons(all);
    ASSERT_EQ(ordered.size(), std::size(expected));
    for (size_t i = 0; i < ordered.size(); ++i) {
        SCOPED_TRACE(expected[i].caption);
        EXPECT_EQ(ordered[i], expected[i].button);
        EXPECT_EQ(ButtonCaption(ordered[i]), QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(ButtonResult(ordered[i]), expected[i].result);
    }
    // The order does not depend on how the set was written.
    EXPECT_EQ(OrderedButtons(mbCancel | mbYesToAll | mbYes),
              (std::vector<MsgButton>{mbYes, mbCancel, mbYesToAll}));
    EXPECT_TRUE(OrderedButtons(0).empty());
}

TEST(DialogButtons, EnterAndEscapeRules) {
    struct Row {
        unsigned buttons;
        unsigned enter;
        unsigned escape;
    };
    const Row rows[] = {
        {mbOK, mbOK, mbOK},
        {mbOK | mbCancel, mbOK, mbCancel},
        {mbYes | mbNo, mbYes, mbNo},
        {mbYes | mbNo | mbCancel, mbYes, mbCancel},
        {mbYes | mbNo | mbOK, mbOK, mbNo},
        {mbAbort | mbRetry | mbIgnore, mbRetry, 0},
        {mbRetry | mbCancel, mbRetry, mbCancel},
        {mbYes | mbNo | mbNoToAll | mbYesToAll | mbCancel, mbYes, mbCancel},
        {mbAll | mbHelp, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.buttons);
        EXPECT_EQ(static_cast<unsigned>(DefaultButton(r.buttons)), r.enter);
        EXPECT_EQ(static_cast<unsigned>(EscapeButton(r.buttons)), r.escape);
    }
}

// Restores the title and the provider a test changes.
class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedTitle_ = ApplicationTitle();
        savedProvider_ = CurrentDialogProvider();
    }
    void TearDown() override {
        SetApplicationTitle(savedTitle_);
        SetDialogProvider(savedProvider_);
    }

private:
    QString savedTitle_;
    DialogProvider* savedProvider_ = nullptr;
};

TEST_F(DialogsTest, WithoutProviderEveryPromptThrowsNamingIt) {
    SetDialogProvider(nullptr);
    const auto expectThrowNaming = [](const std::function<void()>& prompt, const char* name) {
        try {
            prompt();
            ADD_FAILURE() << "no failure for " << name;
        } catch (const Failure& f) {
            EXPECT_TRUE(f.message().contains(QString::fromUtf8(name))) << f.what();
        }
    };
    expectThrowNaming([] { MessageDlg("Delete all?", MsgKind::Confirmation, mbYes | mbNo); },
                      "Delete all?");
    expectThrowNaming([] { ShowNotice("Queue started"); }, "Queue started");
    expectThrowNaming([] { ShowErrorBox("Disk full"); }, "Disk full");
    expectThrowNaming([] { InputBox("New Directory", "Name:", "x"); }, "Name:");
}

TEST_F(DialogsTest, CaptionFollowsKindAndTitle) {
    SetApplicationTitle("Copier");
    ScriptedDialogs dialogs;
    dialogs.ExpectMessage(MsgKind::Warning, "w", mrOk)
        .ExpectMessage(MsgKind::Error, "e", mrOk)
        .ExpectMessage(MsgKind::Information, "i", mrOk)
        .ExpectMessage(MsgKind::Confirmation, "c", mrNo, mbYes | mbNo)
        .ExpectMessage(MsgKind::Custom, "u", mrOk)
        .ExpectNotice("n");
    EXPECT_EQ(MessageDlg("w", MsgKind::Warning, mbOK), mrOk);
    EXPECT_EQ(MessageDlg("e", MsgKind::Error, mbOK), mrOk);
    EXPECT_EQ(MessageDlg("i", MsgKind::Information, mbOK), mrOk);
    EXPECT_EQ(MessageDlg("c", MsgKind::Confirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(MessageDlg("u", MsgKind::Custom, mbOK), mrOk);
    ShowNotice("n");

    const QString captions[] = {"Warning", "Error", "Information", "Confirm", "Copier", "Copier"};
    ASSERT_EQ(dialogs.Shown().size(), std::size(captions));
    for (size_t i = 0; i < std::size(captions); ++i)
        EXPECT_EQ(dialogs.Shown()[i].caption, captions[i]);
    EXPECT_EQ(dialogs.Shown().back().buttons, unsigned(mbOK));
}

TEST_F(DialogsTest, DefaultTitleIsTheProgramName) {
    EXPECT_EQ(ApplicationTitle(), "Ferrovant");
}

TEST_F(DialogsTest, ErrorBoxUsesTitleErrorKindAndTerminatedText) {
    struct Row {
        const char* message;
        const char* shown;
    };
    const Row rows[] = {
        {"Disk full", "Disk full."},
        {"Cell does not contain a float value", "Cell does not contain a float value."},
        {"List index out of bounds (3)", "List index out of bounds (3)"},  // ')' sorts before '.'
        {"Done.", "Done."},
        {"Unable to write to C:\\x.ini", "Unable to write to C:\\x.ini."},
        {"", ""},
    };
    ScriptedDialogs dialogs;
    for (const Row& r : rows)
        dialogs.ExpectErrorBox(r.message);
    for (const Row& r : rows)
        ShowErrorBox(r.message);
    ASSERT_EQ(dialogs.Shown().size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& p = dialogs.Shown()[i];
        EXPECT_EQ(p.text, QString::fromUtf8(rows[i].shown));
        EXPECT_EQ(p.kind, MsgKind::Error);
        EXPECT_EQ(p.caption, ApplicationTitle());
        EXPECT_EQ(p.buttons, unsigned(mbOK));
    }
}

TEST_F(DialogsTest, InputBoxReturnsScriptedText) {
    ScriptedDialogs dialogs;
    dialogs.ExpectInput("New Directory", "Name:", "Photos");
    EXPECT_EQ(InputBox("New Directory", "Name:", "x"), "Photos");
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].defaultText, "x");
}

TEST_F(DialogsTest, GuardShowsFailuresAndReportsThem) {
    ScriptedDialogs dialogs;
    dialogs.ExpectErrorBox("Disk full").ExpectErrorBox("plain std failure");
    EXPECT_TRUE(Guard([] {}));
    EXPECT_FALSE(Guard([] { throw EInOutError(101); }));
    EXPECT_FALSE(Guard([] { throw std::runtime_error("plain std failure"); }));
    EXPECT_EQ(dialogs.Remaining(), 0);
}

TEST_F(DialogsTest, GuardSurvivesAFailureWithNobodyToShowIt) {
    SetDialogProvider(nullptr);
    bool ran = false;
    EXPECT_FALSE(Guard([&] {
        ran = true;
        throw EConvertError("Cell does not contain a float value");
    }));
    EXPECT_TRUE(ran);
}

TEST_F(DialogsTest, ScriptRestoresThePreviousProvider) {
    ScriptedDialogs outer;
    {
        ScriptedDialogs inner;
        EXPECT_EQ(CurrentDialogProvider(), &inner);
    }
    EXPECT_EQ(CurrentDialogProvider(), &outer);
}

TEST_F(DialogsTest, ScriptActionRunsBeforeTheAnswerReturns) {
    ScriptedDialogs dialogs;
    int seen = 0;
    dialogs.ExpectMessage(MsgKind::Confirmation, "Overwrite", mrYesToAll, 0, TextMatch::Contains)
        .AndDo([&] { seen = static_cast<int>(dialogs.Shown().size()); });
    EXPECT_EQ(MessageDlg("Overwrite C:\\a.txt?", MsgKind::Confirmation, mbYes | mbNo), mrYesToAll);
    EXPECT_EQ(seen, 1);
}

// The script's own failures: each must fail the running test, answer Cancel
// (or the default text) and be recorded.
TEST_F(DialogsTest, ScriptFailsOnUnexpectedOrMismatchedPrompts) {
    struct Case {
        const char* name;
        std::function<void(ScriptedDialogs&)> expect;
        std::function<void()> prompt;
    };
    const Case cases[] = {
        {"nothing expected", [](ScriptedDialogs&) {},
         [] { EXPECT_EQ(MessageDlg("Sure?", MsgKind::Confirmation, mbYes | mbNo), mrCancel); }},
        {"wrong text",
         [](ScriptedDialogs& d) { d.ExpectMessage(MsgKind::Confirmation, "Sure?", mrYes); },
         [] { EXPECT_EQ(MessageDlg("Sure!", MsgKind::Confirmation, mbYes), mrCancel); }},
        {"wrong kind",
         [](ScriptedDialogs& d) { d.ExpectMessage(MsgKind::Warning, "Sure?", mrYes); },
         [] { EXPECT_EQ(MessageDlg("Sure?", MsgKind::Confirmation, mbYes), mrCancel); }},
        {"wrong buttons",
         [](ScriptedDialogs& d) {
             d.ExpectMessage(MsgKind::Confirmation, "Sure?", mrYes, mbYes | mbNo);
         },
         [] { EXPECT_EQ(MessageDlg("Sure?", MsgKind::Confirmation, mbYes), mrCancel); }},
        {"error box expected, message shown",
         [](ScriptedDialogs& d) { d.ExpectErrorBox("Disk full"); },
         [] { EXPECT_EQ(MessageDlg("Disk full.", MsgKind::Error, mbOK), mrCancel); }},
        {"message expected, input shown",
         [](ScriptedDialogs& d) { d.ExpectMessage(MsgKind::Confirmation, "Sure?", mrYes); },
         [] { EXPECT_EQ(InputBox("c", "p", "def"), "def"); }},
        {"wrong input prompt", [](ScriptedDialogs& d) { d.ExpectInput("c", "p", "typed"); },
         [] { EXPECT_EQ(InputBox("c", "q", "def"), "def"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs* script = new ScriptedDialogs;
        c.expect(*script);
        EXPECT_NONFATAL_FAILURE(c.prompt(), "Unexpected prompt");
        EXPECT_EQ(script->Shown().size(), 1u);
        // The unmet expectation fails too when the script goes.
        if (script->Remaining() > 0)
            EXPECT_NONFATAL_FAILURE(delete script, "never shown");
        else
            delete script;
    }
}

}  // namespace
