#include "app/richtext/RichTextLayout.h"
#include "platform/widgets/Fonts.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace app {
namespace {

const QRect kWide(0, 0, 1000, 1000);

// Consecutive runs of one line and one style, as a reader sees them.
struct Span {
    QString text;
    bool bold = false;
    int line = 0;
    QList<int> underlined = {};
    bool operator==(const Span&) const = default;
};

void PrintTo(const Span& s, std::ostream* os) {
    *os << '"' << s.text.toStdString() << '"' << (s.bold ? " bold" : "") << " line " << s.line;
    for (int i : s.underlined)
        *os << " _" << i;
}

RichLayout Lay(const QString& text, const QRect& rect = kWide, RichTextOptions options = {}) {
    return LayoutRichText(text, platform::ProgramFont(), Qt::black, rect, options);
}

std::vector<Span> Spans(const RichLayout& layout) {
    std::vector<Span> out;
    for (const RichRun& r : layout.runs) {
        if (!out.empty() && out.back().line == r.line && out.back().bold == r.font.bold()) {
            for (int i : r.underlined)
                out.back().underlined.append(out.back().text.size() + i);
            out.back().text += r.text;
            continue;
        }
        out.push_back({r.text, r.font.bold(), r.line, r.underlined});
    }
    return out;
}

int GhHeight() {
    return QFontMetrics(platform::ProgramFont()).height();
}

TEST(RichTextLayout, ExamplesShowAsTheReaderExpects) {
    struct Case {
        const char* text;
        std::vector<Span> shown;
    };
    const Case cases[] = {
        {"a &lt;b&gt; tag", {{"a <b> tag"}}},
        {"<B>bold</B> <b>again</b>", {{"bold", true}, {" "}, {"again", true}}},
        {"<b><b>x</b>y</b>", {{"x", true}, {"y"}}},
        {"&copy; 2004", {{"\u00A9 2004"}}},
        {"Tom && Jerry", {{"Tom & Jerry"}}},
        {"Tom &amp; Jerry", {{"Tom & Jerry"}}},
        {"Tom & Jerry", {{"Tom  Jerry", false, 0, {4}}}},
        {"<b>Ok</b><br>Close this window", {{"Ok", true}, {"Close this window", false, 1}}},
        {"Queue files to <b>copy</b> from left to right",
         {{"Queue files to "}, {"copy", true}, {" from left to right"}}},
        {"one<BR/>two\r\nthree", {{"one"}, {"two", false, 1}, {"three", false, 2}}},
        {"<Z>secret</Z>shown<xyz tag>", {{"shown"}}},
        {"ab<b", {{"ab"}}},
        {"<#x>y", {{"#xy"}}},
        {"a<FONT color=\"clred\" b c", {{"a"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Spans(Lay(QString::fromUtf8(c.text))), c.shown) << c.text;
}

TEST(RichTextLayout, TagsSetTheRunStyle) {
    const RichLayout l =
        Lay("<I>i</I><U>u</U><S>s</S><EM>e</EM><SHAD>h</SHAD><SUB>b</SUB><SUP>p</SUP>"
            "<FONT color=\"#FF0000\">r</FONT><FONT color=\"clred\">R</FONT>"
            "<FONT face=\"Serif\" size=\"3\" bgcolor=\"clyellow\">f</FONT>n"
            "<A href=\"http://x\">a</A><HI>h</HI>");
    ASSERT_EQ(l.runs.size(), 13u);
    const auto& r = l.runs;
    EXPECT_TRUE(r[0].font.italic());
    EXPECT_TRUE(r[1].font.underline());
    EXPECT_TRUE(r[2].font.strikeOut());
    EXPECT_TRUE(r[3].error);
    EXPECT_TRUE(r[4].shadow);
    EXPECT_TRUE(r[5].sub);
    EXPECT_TRUE(r[6].sup && !r[6].sub);
    EXPECT_EQ(r[7].color, QColor(255, 0, 0));
    EXPECT_EQ(r[8].color, r[7].color);
    EXPECT_EQ(r[9].font.family(), "Serif");
    EXPECT_EQ(r[9].font.pointSize(), 12);
    EXPECT_EQ(r[9].background, QColor(255, 255, 0));
    // </FONT> restores the base face, size and colour.
    EXPECT_EQ(r[10].font.family(), platform::ProgramFont().family());
    EXPECT_EQ(r[10].font.pointSize(), 8);
    EXPECT_EQ(r[10].color, QColor(Qt::black));
    EXPECT_FALSE(r[10].background.isValid());
    EXPECT_TRUE(r[11].font.underline());
    EXPECT_EQ(r[11].color, QColor(0, 0, 255));
    EXPECT_EQ(r[11].link, 0);
    EXPECT_TRUE(r[12].background.isValid());
    for (const RichRun& run : r)
        EXPECT_EQ(run.line, 0);
}

TEST(RichTextLayout, LinesStackByTheirHeight) {
    const int gh = GhHeight();
    const RichLayout l = Lay("one<br>two<br><br>four", QRect(10, 20, 300, 300));
    ASSERT_EQ(l.lines.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(l.lines[i].rect.top(), 20 + int(i) * gh);
    EXPECT_EQ(l.height, 4 * gh);
    // Each line starts 1 px right of the rectangle.
    EXPECT_EQ(l.runs[0].rect.left(), 11);
    EXPECT_EQ(l.runs[2].rect.top(), 20 + 3 * gh);

    // A taller run raises its line; smaller runs sit on its bottom.
    const RichLayout big = Lay("a<FONT size=\"5\">B</FONT>c<br>d");
    ASSERT_EQ(big.runs.size(), 4u);
    const int tall = big.runs[1].rect.height();
    EXPECT_GT(tall, gh);
    EXPECT_EQ(big.lines[0].rect.height(), tall);
    EXPECT_EQ(big.runs[0].rect.bottom(), big.runs[1].rect.bottom());
    EXPECT_EQ(big.runs[3].rect.top(), tall);
}

TEST(RichTextLayout, SubAndSuperscriptMoveByAQuarterAndAddRoom) {
    const int gh = GhHeight();
    const RichLayout l = Lay("x<SUB>2</SUB><br>y<SUP>3</SUP><br>z");
    ASSERT_EQ(l.runs.size(), 5u);
    EXPECT_EQ(l.runs[1].rect.top(), l.runs[0].rect.top() + gh / 4);
    EXPECT_EQ(l.lines[0].rect.height(), gh + gh / 4);
    EXPECT_EQ(l.runs[3].rect.top(), l.runs[2].rect.top() - gh / 4);
    EXPECT_EQ(l.lines[1].rect.height(), gh + gh / 4);
    EXPECT_EQ(l.runs[4].rect.top(), 2 * (gh + gh / 4));
}

TEST(RichTextLayout, WrapBreaksAtBlanksButNotInsideWords) {
    const QFontMetrics fm(platform::ProgramFont());
    const int word = fm.horizontalAdvance("alpha");
    // Room for "alpha beta" but not for "alpha beta gamma".
    const QRect rect(0, 0, 1 + fm.horizontalAdvance("alpha beta") + 2, 500);
    EXPECT_EQ(Spans(Lay("alpha beta gamma", rect)),
              (std::vector<Span>{{"alpha beta "}, {"gamma", false, 1}}));
    // The blank at the end of a line does not count.
    const RichLayout l = Lay("alpha beta gamma", rect);
    const int runs = fm.horizontalAdvance("alpha ") + fm.horizontalAdvance("beta ");
    EXPECT_EQ(l.lines[0].contentWidth, runs - fm.horizontalAdvance(" "));
    EXPECT_EQ(l.width, l.lines[0].contentWidth);

    // A word cut by tags stays whole even when it passes the edge.
    const QRect narrow(0, 0, word + 4, 500);
    const std::vector<Span> glued = Spans(Lay("alpha be<b>ta</b>", narrow));
    ASSERT_EQ(glued.size(), 3u);
    EXPECT_EQ(glued[1].line, 1);
    EXPECT_EQ(glued[2].line, 1);
    // A word wider than the whole rectangle stays where it is.
    const RichLayout wide = Lay("a incomprehensibilities", QRect(0, 0, word, 500));
    EXPECT_EQ(wide.lines.size(), 1u);
    // Without wrap only tags end lines, and a run past the edge ends in "...".
    RichTextOptions noWrap;
    noWrap.wrap = RichWrap::Off;
    const RichLayout cut = Lay("alpha beta gamma<br>x", rect, noWrap);
    ASSERT_EQ(cut.runs.size(), 2u);
    EXPECT_TRUE(cut.runs[0].text.endsWith("..."));
    EXPECT_TRUE(cut.runs[0].text.startsWith("alpha"));
    EXPECT_LE(cut.runs[0].rect.right(), rect.right());
    EXPECT_EQ(cut.runs[1].line, 1);
}

TEST(RichTextLayout, AlignmentIndentAndPositionTags) {
    const QFontMetrics fm(platform::ProgramFont());
    const QRect rect(10, 0, 200, 500);
    const int w = fm.horizontalAdvance("word");
    const RichLayout r =
        Lay("<P align=\"right\">word<br>word</P><P align=\"Center\">word</P>"
            "<P align=\"left\" indent=\"7\">word<br><IND x=\"50\">word",
            rect);
    ASSERT_EQ(r.runs.size(), 5u);
    EXPECT_EQ(r.runs[0].rect.right() + 1, rect.right() + 1);
    EXPECT_EQ(r.runs[1].rect.right() + 1, rect.right() + 1);  // alignment stays
    EXPECT_EQ(r.runs[2].rect.left(), 10 + (200 - w) / 2);
    EXPECT_EQ(r.runs[3].rect.left(), 10 + 1 + 7);
    EXPECT_EQ(r.runs[4].rect.left(), 10 + 50 + 7);
}

TEST(RichTextLayout, ListsPlaceBulletsAndEndLines) {
    const RichLayout l = Lay("<UL><LI>one<LI>two<UL><LI>deep</UL></UL>x", QRect(0, 0, 300, 300));
    std::vector<std::pair<QString, int>> runs;
    for (const RichRun& r : l.runs)
        runs.emplace_back(r.text, r.rect.left());
    const std::vector<std::pair<QString, int>> expected = {
        {"\u2022", 1},
        {"one", 1 + 12},
        {"\u2022", 1},
        {"two", 1 + 12},
        {"o", 1 + 12},
        {"deep", 1 + 24},
        {"x", 1 + 24 + QFontMetrics(platform::ProgramFont()).horizontalAdvance("deep")},
    };
    EXPECT_EQ(runs, expected);
    EXPECT_EQ(l.runs[0].line, 1);  // <UL> ended the empty first line
    EXPECT_EQ(l.runs[2].line, 2);  // a second <LI> starts a new line
    EXPECT_EQ(l.runs[4].line, 3);
    EXPECT_EQ(l.runs[6].line, 3);  // </UL> does not end the line
}

TEST(RichTextLayout, PicturesComeFromTheImageListOthersAreSkipped) {
    QPixmap pm(10, 30);
    pm.fill(Qt::red);
    const QList<QPixmap> images{pm};
    RichTextOptions o;
    o.images = &images;
    RichLayout l =
        Lay("a<IMG src=\"IDX:0\">b<IMG src=\"IDX:5\"><IMG src=\"pic\">"
            "<IMG src=\"http://x/y.png\"><IMG src=\"SSYS:C:\\\">",
            kWide, o);
    ASSERT_EQ(l.runs.size(), 3u);
    EXPECT_EQ(l.runs[1].imageIndex, 0);
    EXPECT_EQ(l.runs[1].rect.size(), QSize(10, 30));
    EXPECT_EQ(l.lines[0].rect.height(), 30);
    EXPECT_EQ(l.runs[0].rect.bottom(), l.runs[1].rect.bottom());
    // Width and height stretch, the scale multiplies, TOP lifts the text.
    o.pictureScale = 2;
    l = Lay("a<IMG src=\"idx:0\" width=\"4\" height=\"20\" align=\"top\">", kWide, o);
    ASSERT_EQ(l.runs.size(), 2u);
    EXPECT_EQ(l.runs[1].rect.size(), QSize(8, 40));
    EXPECT_EQ(l.runs[0].rect.top(), l.runs[1].rect.top());
    EXPECT_EQ(Lay("<IMG src=\"IDX:0\">").runs.size(), 0u);
}

TEST(RichTextLayout, RuleHiddenAndParagraphBackground) {
    const RichLayout l =
        Lay("a<HR>b<P bgcolor=\"clred\" bgcolorto=\"clblue\">c</P>d<BODY bgcolor=\"#010203\">");
    ASSERT_EQ(l.lines.size(), 3u);
    EXPECT_TRUE(l.lines[0].rule);
    EXPECT_FALSE(l.lines[1].rule);
    EXPECT_EQ(l.lines[1].background, QColor(255, 0, 0));
    EXPECT_EQ(l.lines[1].backgroundTo, QColor(0, 0, 255));
    EXPECT_FALSE(l.lines[2].background.isValid());
    EXPECT_TRUE(l.body.present);
    EXPECT_EQ(l.body.color, QColor(1, 2, 3));
}

TEST(RichTextLayout, DrawingDropsLinesThatNoLongerFitMeasuringKeepsThem) {
    const int gh = GhHeight();
    const QString text = "1<br>2<br>3<br>4<br>5";
    const QRect rect(0, 0, 100, 2 * gh + gh / 2);
    RichTextOptions draw;
    const RichLayout drawn = Lay(text, rect, draw);
    EXPECT_EQ(drawn.lines.size(), 2u);
    EXPECT_TRUE(drawn.truncated);
    RichTextOptions measure;
    measure.mode = RichMode::MeasureOnly;
    const RichLayout measured = Lay(text, rect, measure);
    EXPECT_EQ(measured.lines.size(), 5u);
    EXPECT_EQ(measured.height, 5 * gh);
    // The first line is drawn even in a rectangle too small for it.
    EXPECT_EQ(Lay(text, QRect(0, 0, 100, 1), draw).lines.size(), 1u);
    // Empty text still measures one line.
    EXPECT_EQ(Lay("", rect, measure).height, gh);
    EXPECT_EQ(Lay("", rect, measure).width, 0);
}

TEST(RichTextLayout, LinkHitTestGivesTargetAndRectangle) {
    QImage canvas(300, 100, QImage::Format_ARGB32);
    QPainter p(&canvas);
    p.setFont(platform::ProgramFont());
    RichTextOptions options;
    options.mode = RichMode::MeasureOnly;
    const QString text = "see <A href=\"http://example.org\">the site</A> now";
    const RichLayout l = LayoutRichText(text, p.font(), Qt::black, canvas.rect(), options, &canvas);
    ASSERT_EQ(l.links.size(), 1u);
    const QRect linkRect = l.links[0].rect;
    options.pointer = linkRect.center();
    RichTextResult hit = DrawRichText(p, text, canvas.rect(), options);
    EXPECT_TRUE(hit.linkHit);
    EXPECT_EQ(hit.linkTarget, "http://example.org");
    EXPECT_EQ(hit.linkRect, linkRect);
    options.pointer = QPoint(2, 2);
    hit = DrawRichText(p, text, canvas.rect(), options);
    EXPECT_FALSE(hit.linkHit);
    EXPECT_TRUE(hit.linkTarget.isEmpty());
}

QImage Render(const QString& text, RichTextOptions options = {}) {
    QImage img(200, 60, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setFont(platform::ProgramFont());
    p.setPen(Qt::black);
    DrawRichText(p, text, img.rect(), options);
    return img;
}

int CountPixels(const QImage& img, QRgb rgb) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += (img.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
    return n;
}

// Anti-aliased glyphs rarely hit the exact colour; their strongest pixels lean to it.
int CountReddish(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 160 && c.green() < 100 && c.blue() < 100;
        }
    return n;
}

TEST(RichTextPaint, ColoursRulesAndRestoredCanvas) {
    // Both spellings of red paint the same pixels.
    EXPECT_EQ(Render("<FONT color=\"#FF0000\">red</FONT>"),
              Render("<FONT color=\"clred\">red</FONT>"));
    EXPECT_GT(CountReddish(Render("<FONT color=\"clred\">red</FONT>")), 0);
    EXPECT_EQ(CountReddish(Render("red")), 0);
    // <HR> draws one black row across the whole width below its line.
    const QImage rule = Render("<HR>");
    const int gh = GhHeight();
    for (int x = 0; x < rule.width(); ++x)
        EXPECT_EQ(rule.pixel(x, gh), qRgb(0, 0, 0)) << x;
    // Hidden text draws nothing.
    EXPECT_EQ(Render("<Z>hidden</Z>"), Render(""));
    // Error mark: red pixels under black text.
    EXPECT_GT(CountPixels(Render("<E>wrong</E>"), qRgb(255, 0, 0)), 0);

    QImage img(50, 50, QImage::Format_RGB32);
    QPainter p(&img);
    const QFont font = platform::ProgramFont();
    p.setFont(font);
    p.setPen(Qt::green);
    DrawRichText(p, "<FONT size=\"5\" color=\"clred\"><b>x", img.rect());
    EXPECT_EQ(p.font(), font);
    EXPECT_EQ(p.pen().color(), QColor(Qt::green));
}

TEST(RichTextPaint, HoverColoursApplyToTheLinkUnderThePointer) {
    RichTextOptions options;
    options.hoverFontColor = QColor(255, 0, 0);
    options.linkColor = QColor(0, 0, 255);
    const QString text = "<A href=\"x\">link</A>";
    const QImage plain = Render(text, options);
    EXPECT_EQ(CountPixels(plain, qRgb(255, 0, 0)), 0);
    EXPECT_GT(CountPixels(plain, qRgb(0, 0, 255)), 0);
    options.pointer = QPoint(5, GhHeight() / 2);
    const QImage hovered = Render(text, options);
    EXPECT_GT(CountPixels(hovered, qRgb(255, 0, 0)), 0);
    EXPECT_EQ(CountPixels(hovered, qRgb(0, 0, 255)), 0);
}

}  // namespace
}  // namespace app
