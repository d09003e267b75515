#include "app/richtext/RichHint.h"

#include "platform/Errors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QScreen>

#include <gtest/gtest.h>

namespace app {
namespace {

QString FailureOf(QWidget* owner) {
    try {
        TRichHint hint(owner);
    } catch (const platform::Failure& f) {
        return f.message();
    }
    return {};
}

TEST(RichHint, CreationNeedsAFormAndOnlyOne) {
    QWidget form;
    QWidget* child = new QWidget(&form);
    EXPECT_EQ(FailureOf(nullptr), "Control parent must be a form!");
    EXPECT_EQ(FailureOf(child), "Control parent must be a form!");
    EXPECT_EQ(TRichHint::Active(), nullptr);

    auto* first = new TRichHint(&form);
    EXPECT_EQ(FailureOf(&form), "Only one instance of TRichHint allowed on form");
    EXPECT_EQ(form.findChildren<TRichHint*>().size(), 1);
    EXPECT_EQ(TRichHint::Active(), first);
    delete first;
    EXPECT_EQ(TRichHint::Active(), nullptr);
}

TEST(RichHint, ShortHintIsTheTextBeforeTheBar) {
    EXPECT_EQ(TRichHint::ShortHint("Copy|Copies the ticked files"), "Copy");
    EXPECT_EQ(TRichHint::ShortHint("<b>Ok</b>"), "<b>Ok</b>");
    EXPECT_EQ(TRichHint::ShortHint("|long only"), "");
}

class RichHintWindowTest : public ::testing::Test {
protected:
    QWidget form;
    TRichHint* hint = new TRichHint(&form);
    QRect screen = QGuiApplication::primaryScreen()->geometry();

    int LineHeight() { return QFontMetrics(hint->HintFont, hint->HintWindow()).height(); }
};

TEST_F(RichHintWindowTest, SizeFollowsTheMeasuredTextAndMargins) {
    TRichHintWindow* w = hint->HintWindow();
    const int gh = LineHeight();
    struct Case {
        const char* text;
        int lines;
    };
    for (const Case& c :
         {Case{"<b>Ok</b><br>Close this window", 2}, Case{"one line", 1}, Case{"a<br>b<br>c", 3}}) {
        w->ActivateHint(QRect(screen.topLeft() + QPoint(10, 10), QSize()), c.text);
        EXPECT_TRUE(w->isVisible()) << c.text;
        EXPECT_EQ(w->height(), c.lines * gh + 2 * hint->YMargin + 4) << c.text;
    }
    hint->XMargin = 5;
    hint->YMargin = 7;
    const QString text = "Queue files to <b>copy</b> from left to right";
    const RichTextResult m =
        MeasureRichText(hint->HintFont, text, QRect(0, 0, screen.width() - 16, 1000), {}, w);
    w->ActivateHint(QRect(screen.topLeft() + QPoint(10, 10), QSize()), text);
    EXPECT_EQ(w->size(), QSize(m.width + 2 * 5 + 16, gh + 2 * 7 + 4));
    EXPECT_EQ(w->pos(), screen.topLeft() + QPoint(10, 10));
}

TEST_F(RichHintWindowTest, MaxWidthWrapsLongHints) {
    TRichHintWindow* w = hint->HintWindow();
    const QString text = "a rather long hint text that cannot stay on one narrow line";
    hint->MaxWidth = 120;
    w->ActivateHint(QRect(screen.topLeft(), QSize()), text);
    EXPECT_LE(w->width(), 120 + 2 * hint->XMargin);
    EXPECT_GT(w->height(), 2 * LineHeight());
    // With Ellipsis the text stays on one line, cut with "...".
    hint->Ellipsis = true;
    w->ActivateHint(QRect(screen.topLeft(), QSize()), text);
    EXPECT_EQ(w->height(), LineHeight() + 2 * hint->YMargin + 4);
}

TEST_F(RichHintWindowTest, StaysTwoPixelsInsideTheScreen) {
    TRichHintWindow* w = hint->HintWindow();
    const int right = screen.x() + screen.width();
    const int bottom = screen.y() + screen.height();
    struct Case {
        QPoint corner;
        bool movesLeft;
        bool movesUp;
    };
    const Case cases[] = {
        {{right - 10, screen.y() + 50}, true, false},
        {{screen.x() + 50, bottom - 5}, false, true},
        {{right - 1, bottom - 1}, true, true},
        {{screen.x() + 50, screen.y() + 50}, false, false},
    };
    for (const Case& c : cases) {
        w->ActivateHint(QRect(c.corner, QSize()), "Close this <b>window</b><br>now");
        const QRect g = w->geometry();
        if (c.movesLeft)
            EXPECT_EQ(g.x() + g.width(), right - 2);
        else
            EXPECT_EQ(g.x(), c.corner.x());
        if (c.movesUp)
            EXPECT_EQ(g.y() + g.height(), bottom - 2);
        else
            EXPECT_EQ(g.y(), c.corner.y());
    }
}

TEST_F(RichHintWindowTest, RoundedStyleShapesTheWindow) {
    TRichHintWindow* w = hint->HintWindow();
    w->ActivateHint(QRect(screen.topLeft(), QSize()), "x");
    EXPECT_TRUE(w->mask().isEmpty());
    hint->HintStyle = THintStyle::hsRounded;
    w->ActivateHint(QRect(screen.topLeft(), QSize()), "x");
    EXPECT_FALSE(w->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(w->mask().contains(QPoint(w->width() / 2, w->height() / 2)));
}

TEST(RichHintWindow, ShowsNothingWithoutARichHint) {
    TRichHintWindow w;
    w.ActivateHint(QRect(10, 10, 0, 0), "text");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(RichHintWindowTest, ToolTipsOfAllWidgetsGoThroughTheHintWindow) {
    QWidget other;  // another window of the program
    QWidget* button = new QWidget(&other);
    QWidget* plain = new QWidget(button);  // no hint of its own: the parent's is used
    button->setToolTip("<b>Start</b>|Starts the queue");
    other.show();

    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), screen.topLeft() + QPoint(40, 40));
    QApplication::sendEvent(plain, &help);
    TRichHintWindow* w = hint->HintWindow();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Text(), "<b>Start</b>");
    EXPECT_GT(w->y(), 40);  // below the pointer

    // A new hint text closes the one being shown.
    button->setToolTip("Stop");
    EXPECT_FALSE(w->isVisible());

    QHelpEvent again(QEvent::ToolTip, QPoint(1, 1), screen.topLeft() + QPoint(40, 40));
    QApplication::sendEvent(button, &again);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Text(), "Stop");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(w->isVisible());

    // Without a hint text nothing shows.
    button->setToolTip("|long text only");
    QHelpEvent none(QEvent::ToolTip, QPoint(1, 1), screen.topLeft() + QPoint(40, 40));
    QApplication::sendEvent(button, &none);
    EXPECT_FALSE(w->isVisible());
}

}  // namespace
}  // namespace app
