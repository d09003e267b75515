#include "app/richtext/RichTextParse.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace app {

namespace {

struct Entity {
    const char* name;  // without the leading "&"
    char16_t shows;    // 0: the doubled "&" that shows one "&"
};

// Replaced over the whole text before it is split. "&lt;", "&gt;" and "&nbsp;"
// are not here: they are decoded inside each run, so that "&lt;" can never
// open a tag.
constexpr Entity kWholeTextEntities[] = {
    {"amp;", 0},          {"quot;", u'"'},      {"sect;", u'\u00A7'}, {"permil;", u'\u2030'},
    {"reg;", u'\u00AE'},  {"copy;", u'\u00A9'}, {"para;", u'\u00B6'}, {"trade;", u'\u2122'},
    {"euro;", u'\u20AC'},
};

bool StartsAt(const QString& text, qsizetype pos, const char* latin1) {
    return QStringView(text).mid(pos).startsWith(QLatin1StringView(latin1));
}

// Repeating the replacement "until none is left" can only find a new entity
// right after the second "&" that "&amp;" leaves behind (no replacement
// character ends an entity). So one left-to-right pass that looks at that "&"
// again gives the same text in linear time.
QString ReplaceWholeTextEntities(const QString& text) {
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool pendingAmp = false;  // the second "&" of a replaced "&amp;"
    while (pendingAmp || i < n) {
        const QChar c = pendingAmp ? QChar(u'&') : text[i];
        const qsizetype next = pendingAmp ? i : i + 1;
        pendingAmp = false;
        bool replaced = false;
        if (c == u'&') {
            for (const Entity& e : kWholeTextEntities) {
                if (!StartsAt(text, next, e.name)) continue;
                i = next + qsizetype(qstrlen(e.name));
                if (e.shows == 0) {
                    out += u'&';
                    pendingAmp = true;
                } else {
                    out += QChar(e.shows);
                }
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        out += c;
        i = next;
    }
    return out;
}

QChar UpperAt(const QString& s, qsizetype pos) {
    // The end of the inner text is where ">" stood.
    if (pos >= s.size()) return QChar(u'>');
    return s[pos].toUpper();
}

RichTag RecogniseOpening(const QString& inner, qsizetype p) {
    const QChar c1 = UpperAt(inner, p);
    const QChar c2 = UpperAt(inner, p + 1);
    switch (c1.unicode()) {
        case u'A':
            return RichTag::Link;
        case u'B':
            if (c2 == u'>') return RichTag::Bold;
            if (c2 == u'L') return RichTag::Blink;
            if (c2 == u'O') return RichTag::Body;
            if (c2 == u'R') return RichTag::Break;
            return RichTag::Unknown;
        case u'E':
            return RichTag::Error;
        case u'F':
            return RichTag::Font;
        case u'H':
            if (c2 == u'I') return RichTag::Highlight;
            if (c2 == u'R') return RichTag::Rule;
            return RichTag::Unknown;
        case u'I':
            if (c2 == u'>') return RichTag::Italic;
            if (c2 == u'N') return RichTag::Indent;
            if (c2 == u'M') return RichTag::Image;
            return RichTag::Unknown;
        case u'L':
            return RichTag::ListItem;
        case u'P':
            return RichTag::Para;
        case u'R':
            return RichTag::Rotate;
        case u'S': {
            if (c2 == u'>') return RichTag::Strike;
            if (c2 == u'H') return RichTag::Shadow;
            const QStringView rest = QStringView(inner).mid(p);
            if (rest.startsWith(u"SUB", Qt::CaseInsensitive)) return RichTag::Sub;
            if (rest.startsWith(u"SUP", Qt::CaseInsensitive)) return RichTag::Sup;
            return RichTag::Unknown;
        }
        case u'U':
            return c2 == u'>' ? RichTag::Underline : RichTag::List;
        case u'Z':
            return RichTag::Hidden;
        default:
            return RichTag::Unknown;
    }
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QColor PaletteColor(QPalette::ColorRole role, QPalette::ColorGroup group = QPalette::Active) {
    return QGuiApplication::palette().color(group, role);
}

}  // namespace

QString PrepareRichText(const QString& text) {
    QString s = ReplaceWholeTextEntities(text);

    const qsizetype hash = s.indexOf(QLatin1StringView("<#"));
    if (hash >= 0) {
        const qsizetype close = s.indexOf(u'>', hash + 1);
        if (close >= 0) s.remove(close, 1);
        s.remove(hash, 1);
    }

    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == u'\r')
            out += QLatin1StringView("<BR>");
        else if (c != u'\n')
            out += c;
    }
    return out;
}

RichTag RecogniseTag(const QString& inner, bool* closing) {
    const bool isClosing = !inner.isEmpty() && inner[0] == u'/';
    if (closing) *closing = isClosing;
    const qsizetype p = isClosing ? 1 : 0;
    if (isClosing) {
        // Closing tags on B and U that are not exactly </B> and </U> have a
        // meaning of their own.
        const QChar c1 = UpperAt(inner, p);
        const QChar c2 = UpperAt(inner, p + 1);
        if (c1 == u'B' && c2 != u'>') return RichTag::ColorBack;
        if (c1 == u'U' && c2 != u'>') return RichTag::List;
    }
    return RecogniseOpening(inner, p);
}

std::vector<RichToken> TokenizeRichText(const QString& prepared, RichWrap wrap) {
    std::vector<RichToken> tokens;
    const qsizetype n = prepared.size();
    qsizetype i = 0;
    while (i < n) {
        if (prepared[i] == u'<') {
            const qsizetype close = prepared.indexOf(u'>', i + 1);
            if (close < 0) break;  // an unterminated tag swallows the rest
            RichToken t;
            t.kind = RichToken::Kind::Tag;
            t.text = prepared.mid(i + 1, close - i - 1);
            t.tag = RecogniseTag(t.text, &t.closing);
            tokens.push_back(std::move(t));
            i = close + 1;
            continue;
        }
        qsizetype end = prepared.indexOf(u'<', i);
        if (end < 0) end = n;
        if (wrap == RichWrap::Off) {
            tokens.push_back({RichToken::Kind::Run, prepared.mid(i, end - i)});
        } else {
            qsizetype start = i;
            for (qsizetype k = i; k < end; ++k) {
                if (prepared[k] != u' ') continue;
                tokens.push_back({RichToken::Kind::Run, prepared.mid(start, k + 1 - start)});
                start = k + 1;
            }
            if (start < end)
                tokens.push_back({RichToken::Kind::Run, prepared.mid(start, end - start)});
        }
        i = end;
    }
    return tokens;
}

QString TagAttribute(const QString& inner, const QString& name, bool* found) {
    if (found) *found = false;
    if (name.isEmpty()) return {};
    qsizetype from = 0;
    while (true) {
        const qsizetype at = inner.indexOf(name, from, Qt::CaseInsensitive);
        if (at < 0) return {};
        from = at + 1;
        // A whole attribute name only: "color" must not be read out of "bgcolor".
        if (at == 0 || !(IsBlank(inner[at - 1]) || inner[at - 1] == u'"')) continue;
        qsizetype p = at + name.size();
        while (p < inner.size() && IsBlank(inner[p]))
            ++p;
        if (p >= inner.size() || inner[p] != u'=') continue;
        ++p;
        while (p < inner.size() && IsBlank(inner[p]))
            ++p;
        if (found) *found = true;
        if (p < inner.size() && inner[p] == u'"') {
            const qsizetype close = inner.indexOf(u'"', p + 1);
            if (close < 0) return inner.mid(p + 1);
            return inner.mid(p + 1, close - p - 1);
        }
        qsizetype e = p;
        while (e < inner.size() && !IsBlank(inner[e]) && inner[e] != u'/')
            ++e;
        return inner.mid(p, e - p);
    }
}

QString FirstQuotedValue(const QString& inner) {
    const qsizetype open = inner.indexOf(u'"');
    if (open < 0) return {};
    const qsizetype close = inner.indexOf(u'"', open + 1);
    if (close < 0) return inner.mid(open + 1);
    return inner.mid(open + 1, close - open - 1);
}

QColor RichColor(const QString& value) {
    const QString v = value.trimmed().toLower();
    if (v.size() == 7 && v[0] == u'#') {
        bool ok = false;
        const uint rgb = QStringView(v).mid(1).toUInt(&ok, 16);
        const bool allHex = std::all_of(v.begin() + 1, v.end(), [](QChar c) {
            return c.isDigit() || (c >= u'a' && c <= u'f');
        });
        if (ok && allHex) return QColor(QRgb(rgb));
        return QColor(Qt::black);
    }
    struct Named {
        const char* name;
        QRgb rgb;
    };
    static constexpr Named kFixed[] = {
        {"clred", 0xFF0000},     {"clblack", 0x000000},  {"clblue", 0x0000FF},
        {"clgreen", 0x008000},   {"claqua", 0x00FFFF},   {"clyellow", 0xFFFF00},
        {"clfuchsia", 0xFF00FF}, {"clwhite", 0xFFFFFF},  {"cllime", 0x00FF00},
        {"clsilver", 0xC0C0C0},  {"clgray", 0x808080},   {"clolive", 0x808000},
        {"clnavy", 0x000080},    {"clpurple", 0x800080}, {"clteal", 0x008080},
        {"clmaroon", 0x800000},
    };
    for (const Named& n : kFixed)
        if (v == QLatin1StringView(n.name)) return QColor(n.rgb);

    // The desktop and window-caption colours have no palette role of their
    // own; the nearest roles stand in for them.
    struct System {
        const char* name;
        QPalette::ColorRole role;
        QPalette::ColorGroup group;
    };
    using P = QPalette;
    static constexpr System kSystem[] = {
        {"clbackground", P::Dark, P::Active},
        {"clactivecaption", P::Highlight, P::Active},
        {"clinactivecaption", P::Mid, P::Active},
        {"clmenu", P::Window, P::Active},
        {"clwindow", P::Base, P::Active},
        {"clwindowframe", P::Shadow, P::Active},
        {"clmenutext", P::WindowText, P::Active},
        {"clwindowtext", P::WindowText, P::Active},
        {"clcaptiontext", P::HighlightedText, P::Active},
        {"clactiveborder", P::Window, P::Active},
        {"clinactiveborder", P::Window, P::Inactive},
        {"clappworkspace", P::Dark, P::Active},
        {"clhighlight", P::Highlight, P::Active},
        {"clhighlighttext", P::HighlightedText, P::Active},
        {"clbtnface", P::Button, P::Active},
        {"clbtnshadow", P::Dark, P::Active},
        {"clgraytext", P::Text, P::Disabled},
        {"clbtntext", P::ButtonText, P::Active},
        {"clinactivecaptiontext", P::WindowText, P::Disabled},
        {"clbtnhighlight", P::Light, P::Active},
        {"cl3ddkshadow", P::Shadow, P::Active},
        {"cl3dlight", P::Midlight, P::Active},
        {"clinfotext", P::ToolTipText, P::Active},
        {"clinfobk", P::ToolTipBase, P::Active},
    };
    for (const System& s : kSystem)
        if (v == QLatin1StringView(s.name)) return PaletteColor(s.role, s.group);
    return QColor(Qt::black);
}

RichRunText DecodeRun(const QString& raw) {
    RichRunText out;
    out.text.reserve(raw.size());
    const qsizetype n = raw.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = raw[i];
        if (c != u'&') {
            out.text += c;
            ++i;
            continue;
        }
        if (i + 1 < n && raw[i + 1] == u'&') {
            out.text += u'&';
            i += 2;
        } else if (StartsAt(raw, i, "&nbsp;")) {
            out.text += u' ';
            i += 6;
        } else if (StartsAt(raw, i, "&lt;")) {
            out.text += u'<';
            i += 4;
        } else if (StartsAt(raw, i, "&gt;")) {
            out.text += u'>';
            i += 4;
        } else {
            // An access-key mark: the "&" itself is not shown.
            if (i + 1 < n) out.underlined.append(int(out.text.size()));
            ++i;
        }
    }
    return out;
}

QString RichPlainText(const QString& text) {
    QString plain;
    for (const RichToken& token : TokenizeRichText(PrepareRichText(text), RichWrap::Off)) {
        if (token.kind == RichToken::Kind::Run)
            plain += DecodeRun(token.text).text;
        else if (token.tag == RichTag::Break && !token.closing)
            plain += u'\n';
    }
    return plain;
}

}  // namespace app
