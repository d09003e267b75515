#include "platform/widgets/QtDialogs.h"
#include "support/widgets/WhenModal.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace platform;
using testsupport::WhenModalShows;

namespace {

void PressKey(QDialog* box, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target && box->isAncestorOf(target) ? target : box, key, mods);
}

// The buttons of a box from left to right as they appear.
std::vector<QPushButton*> ButtonsInView(QDialog* box) {
    auto buttons = box->findChildren<QPushButton*>();
    std::vector<QPushButton*> out(buttons.begin(), buttons.end());
    std::sort(out.begin(), out.end(), [box](QPushButton* a, QPushButton* b) {
        return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
    });
    return out;
}

int Ask(unsigned buttons, std::function<void(QDialog*)> action,
        MsgKind kind = MsgKind::Confirmation) {
    MessageRequest request;
    request.kind = kind;
    request.caption = KindCaption(kind);
    request.text = QStringLiteral("Proceed?");
    request.buttons = buttons;
    WhenModalShows(std::move(action));
    return QtDialogProvider().Message(request);
}

TEST(QtMessageBox, ButtonsAppearInFixedOrderWithAccessKeys) {
    const unsigned all = mbHelp | mbYesToAll | mbNoToAll | mbAll | mbIgnore | mbRetry | mbAbort |
                         mbCancel | mbOK | mbNo | mbYes;
    QStringList captions;
    const int answer = Ask(all, [&](QDialog* box) {
        for (QPushButton* b : ButtonsInView(box))
            captions << b->text();
        box->close();
    });
    EXPECT_EQ(captions, QStringList({"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore",
                                     "&All", "N&o to All", "Yes to &All", "&Help"}));
    EXPECT_EQ(answer, mrCancel);
}

TEST(QtMessageBox, EnterEscapeAndCloseAnswerByTheRules) {
    struct Row {
        unsigned buttons;
        int enter;   // answer to Enter
        int escape;  // answer to Escape, mrNone when Escape leaves the box open
    };
    const Row rows[] = {
        {mbOK, mrOk, mrOk},
        {mbOK | mbCancel, mrOk, mrCancel},
        {mbYes | mbNo, mrYes, mrNo},
        {mbYes | mbNo | mbCancel, mrYes, mrCancel},
        {mbYes | mbNo | mbNoToAll | mbYesToAll | mbCancel, mrYes, mrCancel},
        {mbAbort | mbRetry | mbIgnore, mrRetry, mrNone},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.buttons);
        EXPECT_EQ(Ask(r.buttons, [](QDialog* box) { PressKey(box, Qt::Key_Return); }), r.enter);

        bool stayedOpen = false;
        const int escaped = Ask(r.buttons, [&](QDialog* box) {
            PressKey(box, Qt::Key_Escape);
            stayedOpen = box->isVisible();
            if (stayedOpen) box->close();
        });
        if (r.escape == mrNone) {
            EXPECT_TRUE(stayedOpen);
            EXPECT_EQ(escaped, mrCancel);  // from the close
        } else {
            EXPECT_FALSE(stayedOpen);
            EXPECT_EQ(escaped, r.escape);
        }

        // Closing answers Cancel whatever the buttons.
        EXPECT_EQ(Ask(r.buttons, [](QDialog* box) { box->close(); }), mrCancel);
    }
}

TEST(QtMessageBox, ClickedButtonGivesItsAnswerAndHelpKeepsTheBoxOpen) {
    const int answer = Ask(mbYes | mbNo | mbNoToAll | mbYesToAll | mbHelp, [](QDialog* box) {
        auto buttons = ButtonsInView(box);
        QTest::mouseClick(buttons.back(), Qt::LeftButton);  // Help
        EXPECT_TRUE(box->isVisible());
        QTest::mouseClick(buttons[2], Qt::LeftButton);  // No to All
    });
    EXPECT_EQ(answer, mrNoToAll);
}

TEST(QtMessageBox, AccessKeyPressesItsButton) {
    EXPECT_EQ(Ask(mbYes | mbNo | mbCancel,
                  [](QDialog* box) { PressKey(box, Qt::Key_N, Qt::AltModifier); }),
              mrNo);
}

TEST(QtMessageBox, CaptionIconAndPlainText) {
    struct Row {
        MsgKind kind;
        QString caption;
        bool icon;
    };
    const Row rows[] = {
        {MsgKind::Warning, "Warning", true},         {MsgKind::Error, "Error", true},
        {MsgKind::Information, "Information", true}, {MsgKind::Confirmation, "Confirm", true},
        {MsgKind::Custom, "Ferrovant", false},
    };
    for (const Row& r : rows) {
        MessageRequest request;
        request.kind = r.kind;
        request.caption = r.caption;
        request.text = QStringLiteral("<b>C:\\x&y.txt</b>");
        std::unique_ptr<QDialog> box(CreateMessageDialog(request));
        EXPECT_EQ(box->windowTitle(), r.caption);
        EXPECT_EQ(box->findChild<QLabel*>("Image") != nullptr, r.icon);
        auto* text = box->findChild<QLabel*>("Message");
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->textFormat(), Qt::PlainText);
        EXPECT_EQ(text->text(), request.text);
    }
}

QString AskInput(const QString& defaultText, std::function<void(QDialog*)> action) {
    WhenModalShows(std::move(action));
    return QtDialogProvider().Input("New Directory", "Name:", defaultText);
}

TEST(QtInputBox, ReturnsTheFieldOnOkAndTheDefaultOtherwise) {
    const auto type = [](QDialog* box, const QString& text) {
        QTest::keyClicks(box->findChild<QLineEdit*>("Edit"), text);
    };
    // Typing replaces the default: it starts all selected.
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           type(box, "Photos");
                           PressKey(box, Qt::Key_Return);
                       }),
              "Photos");
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           type(box, "Photos");
                           QTest::mouseClick(ButtonsInView(box).at(0), Qt::LeftButton);  // OK
                       }),
              "Photos");
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           type(box, "Photos");
                           PressKey(box, Qt::Key_Escape);
                       }),
              "old");
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           type(box, "Photos");
                           QTest::mouseClick(ButtonsInView(box).at(1), Qt::LeftButton);  // Cancel
                       }),
              "old");
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           type(box, "Photos");
                           box->close();
                       }),
              "old");
    // OK on an emptied field gives the empty text, not the default.
    EXPECT_EQ(AskInput("old",
                       [&](QDialog* box) {
                           PressKey(box, Qt::Key_Delete);
                           PressKey(box, Qt::Key_Return);
                       }),
              "");
}

TEST(QtInputBox, LayoutAndLengthLimit) {
    std::unique_ptr<QDialog> box(CreateInputDialog("Rename", "New name:", "report.txt"));
    EXPECT_EQ(box->windowTitle(), "Rename");
    EXPECT_EQ(box->findChild<QLabel*>("Prompt")->text(), "New name:");
    auto* edit = box->findChild<QLineEdit*>("Edit");
    EXPECT_EQ(edit->selectedText(), "report.txt");
    QStringList captions;
    for (auto* b : box->findChildren<QPushButton*>()) {
        captions << b->text();
        EXPECT_EQ(b->isDefault(), b->text() == "OK");
    }
    EXPECT_EQ(captions, QStringList({"OK", "Cancel"}));

    const QString typed = AskInput("", [](QDialog* b) {
        QTest::keyClicks(b->findChild<QLineEdit*>("Edit"), QString(300, u'x'));
        PressKey(b, Qt::Key_Return);
    });
    EXPECT_EQ(typed.size(), kInputBoxMaxLength);
}

TEST(QtDialogs, InstallMakesTheRealBoxesCurrent) {
    DialogProvider* before = CurrentDialogProvider();
    InstallQtDialogs();
    EXPECT_NE(dynamic_cast<QtDialogProvider*>(CurrentDialogProvider()), nullptr);
    QString title;
    WhenModalShows([&](QDialog* box) {
        title = box->windowTitle();
        PressKey(box, Qt::Key_Return);
    });
    ShowNotice("Queue finished");
    EXPECT_EQ(title, ApplicationTitle());
    SetDialogProvider(before);
}

}  // namespace
