#pragma once
// Reading of the markup used by hints and labels: preparation of the whole
// text, the split into runs and tags, tag recognition by leading characters,
// attribute values, colour values and the per-run character rules (entities
// and "&" access-key marks). Nothing here measures or draws.

#include <QColor>
#include <QList>
#include <QString>

#include <vector>

namespace app {

enum class RichWrap { On, Off };

// What a tag does. A tag is recognised by its first one or two characters only,
// so several spellings map to one kind (<EM> is Error, <BR/> is Break).
enum class RichTag {
    Unknown,  // removed without effect
    Bold,
    Italic,
    Underline,
    Strike,
    Break,
    Link,
    Font,
    Para,
    Highlight,
    Rule,
    List,
    ListItem,
    Indent,
    Image,
    Sub,
    Sup,
    Shadow,
    Error,
    Hidden,
    Rotate,
    Body,
    Blink,
    ColorBack,  // a closing tag on B that is not </B>: text colour back to the base
};

struct RichToken {
    enum class Kind { Run, Tag };
    Kind kind = Kind::Run;
    // Run: the raw characters ("&lt;", "&nbsp;", "&gt;" and "&" marks still in
    // place). Tag: everything between "<" and ">", the "/" of a closing tag included.
    QString text;
    RichTag tag = RichTag::Unknown;
    bool closing = false;
};

// Entities that become their characters before the text is split, the "<#"
// rule and line ends turned into <BR>.
QString PrepareRichText(const QString& text);

// Identifies the tag whose inner text (between "<" and ">") is given.
RichTag RecogniseTag(const QString& inner, bool* closing);

// Splits prepared text into runs and tags. With wrap on, runs are cut after
// every blank so that each word travels with its following blank.
std::vector<RichToken> TokenizeRichText(const QString& prepared, RichWrap wrap);

// The value of a tag attribute (case-insensitive name, followed by "="); a
// quoted value is taken between its quotes, an unquoted one up to the next
// blank. Empty optional semantics: *found tells whether the attribute exists.
QString TagAttribute(const QString& inner, const QString& name, bool* found = nullptr);

// The first double-quoted value anywhere in the tag (the link target of <A>).
QString FirstQuotedValue(const QString& inner);

// "#RRGGBB" or a colour name of the program's table (system names come from
// the application palette); any other value is black.
QColor RichColor(const QString& value);

// One run's characters as shown: "&&" shows "&", "&nbsp;" a blank, "&lt;" and
// "&gt;" their characters, and any other "&" is dropped and marks the next
// character for underlining.
struct RichRunText {
    QString text;
    QList<int> underlined;  // positions in text
};
RichRunText DecodeRun(const QString& raw);

// What a screen reader reads of a markup text: its characters, with a line
// end for each <BR>.
QString RichPlainText(const QString& text);

}  // namespace app
