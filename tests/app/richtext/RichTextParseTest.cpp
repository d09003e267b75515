#include "app/richtext/RichTextParse.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(RichTextPrepare, EntitiesHashTagAndLineEnds) {
    struct Case {
        const char* in;
        QString out;
    };
    const Case cases[] = {
        {"Tom &amp; Jerry", QStringLiteral("Tom && Jerry")},
        // Replacing until none is left: the second "&" of "&&" is read again.
        {"&amp;amp;", QStringLiteral("&&&")},
        {"&amp;quot;", QStringLiteral("&\"")},
        {"&copy; 2004", QStringLiteral("\u00A9 2004")},
        {"&sect;&permil;&reg;&para;&trade;&euro;&quot;",
         QStringLiteral("\u00A7\u2030\u00AE\u00B6\u2122\u20AC\"")},
        // Left for the runs, so that "&lt;" is never read as a tag.
        {"&lt;b&gt;&nbsp;", QStringLiteral("&lt;b&gt;&nbsp;")},
        {"&COPY; &copy", QStringLiteral("&COPY; &copy")},
        {"a<#b>c<#d>e", QStringLiteral("a#bc<#d>e")},
        {"a<#b", QStringLiteral("a#b")},
        {"one\r\ntwo\rthree\nfour", QStringLiteral("one<BR>two<BR>threefour")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrepareRichText(QString::fromUtf8(c.in)), c.out) << c.in;
}

TEST(RichTextTags, RecognisedByLeadingCharacters) {
    struct Case {
        const char* inner;
        RichTag tag;
        bool closing;
    };
    using T = RichTag;
    const Case cases[] = {
        {"B", T::Bold, false},
        {"b", T::Bold, false},
        {"B x", T::Unknown, false},
        {"BIG", T::Unknown, false},
        {"BR", T::Break, false},
        {"BR/", T::Break, false},
        {"br /", T::Break, false},
        {"BLINK", T::Blink, false},
        {"BODY bgcolor=\"clred\"", T::Body, false},
        {"EM", T::Error, false},
        {"E", T::Error, false},
        {"A href=\"x\"", T::Link, false},
        {"FONT", T::Font, false},
        {"HI", T::Highlight, false},
        {"HR", T::Rule, false},
        {"H1", T::Unknown, false},
        {"I", T::Italic, false},
        {"IND x=\"4\"", T::Indent, false},
        {"IMG src=\"IDX:0\"", T::Image, false},
        {"ITEM", T::Unknown, false},
        {"LI", T::ListItem, false},
        {"P align=\"right\"", T::Para, false},
        {"R a=\"90\"", T::Rotate, false},
        {"S", T::Strike, false},
        {"SHAD", T::Shadow, false},
        {"SUB", T::Sub, false},
        {"sup", T::Sup, false},
        {"SU", T::Unknown, false},
        {"STRONG", T::Unknown, false},
        {"U", T::Underline, false},
        {"UL", T::List, false},
        {"UX", T::List, false},
        {"Z", T::Hidden, false},
        {"X", T::Unknown, false},
        {"", T::Unknown, false},
        {" B", T::Unknown, false},
        {"/B", T::Bold, true},
        {"/BLINK", T::ColorBack, true},
        {"/BODY", T::ColorBack, true},
        {"/U", T::Underline, true},
        {"/UL", T::List, true},
        {"/A", T::Link, true},
        {"/FONT", T::Font, true},
        {"/SUB", T::Sub, true},
        {"/SUP", T::Sup, true},
        {"/P", T::Para, true},
        {"/", T::Unknown, true},
    };
    for (const Case& c : cases) {
        bool closing = !c.closing;
        EXPECT_EQ(RecogniseTag(QString::fromUtf8(c.inner), &closing), c.tag) << c.inner;
        EXPECT_EQ(closing, c.closing) << c.inner;
    }
}

std::vector<QString> Runs(const char* text, RichWrap wrap) {
    std::vector<QString> out;
    for (const RichToken& t : TokenizeRichText(QString::fromUtf8(text), wrap))
        out.push_back(t.kind == RichToken::Kind::Run ? t.text : "<" + t.text + ">");
    return out;
}

TEST(RichTextTokens, RunsTagsAndBrokenEnds) {
    using V = std::vector<QString>;
    EXPECT_EQ(Runs("one two  three", RichWrap::On), (V{"one ", "two ", " ", "three"}));
    EXPECT_EQ(Runs("one two", RichWrap::Off), (V{"one two"}));
    EXPECT_EQ(Runs("a<b>c d</b>", RichWrap::On), (V{"a", "<b>", "c ", "d", "</b>"}));
    // A text that ends in "<" (and maybe one more character) loses them; a
    // tag without ">" swallows the rest.
    EXPECT_EQ(Runs("ab<", RichWrap::On), (V{"ab"}));
    EXPECT_EQ(Runs("ab<b", RichWrap::On), (V{"ab"}));
    EXPECT_EQ(Runs("ab<FONT color=\"clred\">x<b y", RichWrap::Off),
              (V{"ab", "<FONT color=\"clred\">", "x"}));
    EXPECT_EQ(Runs("&lt;b&gt;", RichWrap::On), (V{"&lt;b&gt;"}));
}

TEST(RichTextAttributes, WholeNamesQuotedOrNot) {
    const QString tag =
        QStringLiteral("FONT bgcolor=\"clyellow\" color = \"#00FF00\" size=3 FACE=x");
    bool found = false;
    EXPECT_EQ(TagAttribute(tag, "color", &found), "#00FF00");
    EXPECT_TRUE(found);
    EXPECT_EQ(TagAttribute(tag, "bgcolor"), "clyellow");
    EXPECT_EQ(TagAttribute(tag, "size"), "3");
    EXPECT_EQ(TagAttribute(tag, "face"), "x");
    EXPECT_EQ(TagAttribute(tag, "bgcolorto", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(TagAttribute("IMG src=\"IDX:1\"/", "src"), "IDX:1");
    EXPECT_EQ(TagAttribute("P align=\"right", "align"), "right");
    EXPECT_EQ(FirstQuotedValue("A title=x href=\"mailto:me\" other=\"y\""), "mailto:me");
    EXPECT_EQ(FirstQuotedValue("A href=none"), "");
}

TEST(RichTextColors, HexNamesAndFallback) {
    struct Case {
        const char* value;
        QColor color;
    };
    const Case cases[] = {
        {"#FF0000", QColor(255, 0, 0)},
        {"#ff8000", QColor(255, 128, 0)},
        {"clred", QColor(255, 0, 0)},
        {"ClRed", QColor(255, 0, 0)},
        {"clgreen", QColor(0, 128, 0)},
        {"clnavy", QColor(0, 0, 128)},
        {"clsilver", QColor(192, 192, 192)},
        {"clmaroon", QColor(128, 0, 0)},
        {"red", QColor(0, 0, 0)},
        {"#FF00", QColor(0, 0, 0)},
        {"#GG0000", QColor(0, 0, 0)},
        {"#-10000", QColor(0, 0, 0)},
        {"", QColor(0, 0, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RichColor(c.value), c.color) << c.value;
    // System names follow the palette, whatever it holds.
    EXPECT_TRUE(RichColor("clinfobk").isValid());
    EXPECT_EQ(RichColor("clHighlight"), RichColor("clhighlight"));
}

TEST(RichTextRuns, EntitiesAndAccessKeyMarks) {
    struct Case {
        const char* raw;
        QString text;
        QList<int> underlined;
    };
    const Case cases[] = {
        {"Tom && Jerry", "Tom & Jerry", {}},
        {"Tom & Jerry", "Tom  Jerry", {4}},
        {"&File", "File", {0}},
        {"a &lt;b&gt; tag", "a <b> tag", {}},
        {"x&nbsp;y", "x y", {}},
        {"&&lt;", "&lt;", {}},
        {"end&", "end", {}},
        {"&&&x", "&x", {1}},
    };
    for (const Case& c : cases) {
        const RichRunText r = DecodeRun(QString::fromUtf8(c.raw));
        EXPECT_EQ(r.text, c.text) << c.raw;
        EXPECT_EQ(r.underlined, c.underlined) << c.raw;
    }
}

}  // namespace
}  // namespace app
