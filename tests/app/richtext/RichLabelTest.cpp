#include "app/richtext/RichLabel.h"

#include "platform/widgets/Fonts.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace app {
namespace {

QImage Shot(TRichLabel& label) {
    return label.grab().toImage();
}

QColor At(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

void Move(TRichLabel& label, QPoint pos) {
    QMouseEvent e(QEvent::MouseMove, pos, label.mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(&label, &e);
}

void Click(TRichLabel& label, QPoint pos) {
    QMouseEvent e(QEvent::MouseButtonPress, pos, label.mapToGlobal(pos), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&label, &e);
}

int CountNear(const QImage& img, const QColor& c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor p = img.pixelColor(x, y);
            n += std::abs(p.red() - c.red()) < 60 && std::abs(p.green() - c.green()) < 60 &&
                 std::abs(p.blue() - c.blue()) < 60;
        }
    return n;
}

class RichLabelTest : public ::testing::Test {
protected:
    TRichLabel label;
    void SetUp() override {
        label.setFont(platform::ProgramFont());
        label.resize(120, 60);
        label.SetColor(Qt::white);
    }
};

TEST_F(RichLabelTest, FramesTakeTheirRoomFromOutsideIn) {
    struct Case {
        TBevelCut outer;
        TBorderStyle border;
        TBevelCut inner;
        int bevelWidth;
        int borderWidth;
        int inset;
    };
    using B = TBevelCut;
    const Case cases[] = {
        {B::bvNone, TBorderStyle::bsNone, B::bvNone, 3, 0, 0},
        {B::bvNone, TBorderStyle::bsNone, B::bvRaised, 2, 0, 2},
        {B::bvLowered, TBorderStyle::bsNone, B::bvNone, 1, 0, 1},
        {B::bvRaised, TBorderStyle::bsSingle, B::bvLowered, 2, 3, 7},
        {B::bvNone, TBorderStyle::bsSingle, B::bvNone, 1, 0, 1},
    };
    for (const Case& c : cases) {
        label.SetBevelOuter(c.outer);
        label.SetBorderStyle(c.border);
        label.SetBevelInner(c.inner);
        label.SetBevelWidth(c.bevelWidth);
        label.SetBorderWidth(c.borderWidth);
        EXPECT_EQ(label.TextRect(), label.rect().adjusted(c.inset, c.inset, -c.inset, -c.inset))
            << c.inset;
    }
}

TEST_F(RichLabelTest, RaisedBevelIsLightTopLeftAndDarkBottomRight) {
    label.SetBevelInner(TBevelCut::bvRaised);
    label.SetBevelWidth(2);
    const QImage img = Shot(label);
    const QColor light(label.palette().color(QPalette::Light).rgb());
    const QColor dark(label.palette().color(QPalette::Dark).rgb());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(At(img, 10, i), light);
        EXPECT_EQ(At(img, i, 10), light);
        EXPECT_EQ(At(img, 10, 59 - i), dark);
        EXPECT_EQ(At(img, 119 - i, 10), dark);
    }
    EXPECT_EQ(At(img, 60, 30), QColor(Qt::white));
    label.SetBevelInner(TBevelCut::bvLowered);
    const QImage lowered = Shot(label);
    EXPECT_EQ(At(lowered, 10, 0), dark);
    EXPECT_EQ(At(lowered, 10, 59), light);
}

TEST_F(RichLabelTest, BackgroundPlainGradientLineOrNone) {
    const QColor red(255, 0, 0), blue(0, 0, 255);
    label.SetColor(red);
    EXPECT_EQ(At(Shot(label), 60, 30), red);

    label.SetColorTo(blue);
    QImage img = Shot(label);
    EXPECT_GT(At(img, 0, 30).red(), 200);
    EXPECT_GT(At(img, 119, 30).blue(), 200);
    EXPECT_EQ(At(img, 60, 0), At(img, 60, 59));  // horizontal: columns are even

    label.SetGradientType(TGradientType::gtFullVertical);
    img = Shot(label);
    EXPECT_GT(At(img, 60, 0).red(), 200);
    EXPECT_GT(At(img, 60, 59).blue(), 200);

    label.SetGradientType(TGradientType::gtBottomLine);
    img = Shot(label);
    EXPECT_EQ(At(img, 119, 30), red);
    EXPECT_GT(At(img, 119, 59).blue(), 200);
    EXPECT_GT(At(img, 119, 58).blue(), 200);
    EXPECT_EQ(At(img, 119, 57), red);

    label.SetGradientType(TGradientType::gtTopLine);
    img = Shot(label);
    EXPECT_GT(At(img, 119, 0).blue(), 200);
    EXPECT_EQ(At(img, 119, 2), red);

    // Transparent: the label paints no background of its own.
    QImage under(120, 60, QImage::Format_ARGB32);
    under.fill(Qt::transparent);
    label.SetTransparent(true);
    label.render(&under, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(under.pixelColor(60, 30).alpha(), 0);
}

TEST_F(RichLabelTest, VerticalAlignmentPlacesTheMeasuredText) {
    label.SetHTMLText({"one<br>", "two"});
    const QRect area = label.TextRect();
    const int h = MeasureRichText(label.font(), "one<br>two", area, {}, &label).height;
    struct Case {
        TVAlignment align;
        int top;
    };
    for (const Case& c : {Case{TVAlignment::tvaTop, 0}, Case{TVAlignment::tvaCenter, (60 - h) / 2},
                          Case{TVAlignment::tvaBottom, 60 - h}}) {
        label.SetVAlignment(c.align);
        EXPECT_EQ(label.PlacedTextRect().top(), c.top);
    }
}

TEST_F(RichLabelTest, AutoSizingFollowsTheTextPlusSix) {
    label.SetHTMLText({"Version 1.0<br>Ferrovant"});
    const RichTextResult m =
        MeasureRichText(label.font(), label.Text(), QRect(0, 0, 1000, 1000), {}, &label);
    label.SetAutoSizing(true);
    EXPECT_EQ(label.size(), QSize(120, m.height + 6));
    label.SetAutoSizeType(TAutoSizeType::asBoth);
    EXPECT_EQ(label.size(), QSize(m.width + 6, m.height + 6));
    label.SetHTMLText({"a<br>b<br>c"});
    EXPECT_EQ(label.height(), 3 * QFontMetrics(label.font(), &label).height() + 6);
}

TEST_F(RichLabelTest, LinkClicksOpenWebAndMailTargetsOthersGoToTheCallback) {
    std::vector<QUrl> opened;
    std::vector<QString> clicked;
    auto saved = TRichLabel::ShellOpen();
    TRichLabel::ShellOpen() = [&](const QUrl& url) { opened.push_back(url); };
    label.OnAnchorClick = [&](const QString& target) { clicked.push_back(target); };
    label.resize(300, 60);
    label.SetHTMLText({"<A href=\"http://example.org/a\">web</A><br>",
                       "<A href=\"mailto:me@example.org\">mail</A><br>",
                       "<A href=\"section2\">local</A> plain"});
    MeasureRichText(label.font(), label.Text(), label.rect(), {}, &label);
    const int gh = QFontMetrics(label.font(), &label).height();
    Click(label, QPoint(4, gh / 2));
    Click(label, QPoint(4, gh + gh / 2));
    Click(label, QPoint(4, 2 * gh + gh / 2));
    Click(label, QPoint(250, 2 * gh + gh / 2));  // no link there
    TRichLabel::ShellOpen() = saved;
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl("http://example.org/a"));
    EXPECT_EQ(opened[1], QUrl("mailto:me@example.org"));
    EXPECT_EQ(clicked, std::vector<QString>{"section2"});
}

TEST_F(RichLabelTest, HoverColoursAndAnchorHintFollowThePointer) {
    label.SetHTMLText({"<A href=\"http://example.org\">link</A>"});
    label.SetURLColor(QColor(0, 0, 255));
    label.SetHoverFontColor(QColor(255, 0, 0));
    label.setToolTip("own hint");
    label.SetAnchorHint(true);
    const int gh = QFontMetrics(label.font(), &label).height();
    const QColor red(255, 0, 0);

    Move(label, QPoint(5, gh / 2));
    EXPECT_EQ(CountNear(Shot(label), red), 0);  // Hover is off
    EXPECT_EQ(label.toolTip(), "http://example.org");
    label.SetHover(true);
    EXPECT_GT(CountNear(Shot(label), red), 0);
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    EXPECT_EQ(CountNear(Shot(label), red), 0);
    EXPECT_EQ(label.toolTip(), "own hint");
}

}  // namespace
}  // namespace app
