#include "app/richtext/RichTextLayout.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>

namespace app {

namespace {

// Coordinates are kept far inside int so that any markup (huge indents, many
// pictures on one line) adds up without overflow.
constexpr long long kCoordLimit = 1LL << 28;
constexpr int kListStep = 12;
constexpr int kMaxPictureSide = 10000;
constexpr int kMaxPointSize = 256;

int Clamp(long long v) {
    return int(std::clamp(v, -kCoordLimit, kCoordLimit));
}

int AttrInt(const QString& inner, const char* name, int lo, int hi, bool* found) {
    bool present = false;
    const QString value = TagAttribute(inner, QLatin1StringView(name), &present);
    bool ok = false;
    const long long v = value.trimmed().toLongLong(&ok);
    *found = present && ok;
    if (!*found) return 0;
    return int(std::clamp<long long>(v, lo, hi));
}

struct State {
    QFont font;
    QColor color;
    QColor background;
    bool shadow = false;
    bool sub = false;
    bool sup = false;
    bool hidden = false;
    bool error = false;
    int listLevel = 0;
    RichAlign align = RichAlign::Left;
    int indent = 0;
    int link = -1;
    QColor lineBackground;
    QColor lineBackgroundTo;
};

enum class TextAnchor { Bottom, PictureTop, PictureMiddle };

struct LineWork {
    size_t firstRun = 0;
    int x = 0;  // where the next run goes, from the line's start position
    int trailingBlank = 0;
    bool placedText = false;
    bool lastEndsBlank = false;
    bool hasItem = false;
    bool rule = false;
    QColor background;
    QColor backgroundTo;
    TextAnchor anchor = TextAnchor::Bottom;
    int anchorHeight = 0;
};

class Layouter {
public:
    Layouter(const QFont& baseFont, const QColor& baseColor, const QRect& rect,
             const RichTextOptions& options, QPaintDevice* device)
        : base_(baseFont), baseColor_(baseColor), rect_(rect), options_(options), device_(device) {
        state_.font = base_;
        state_.color = baseColor_;
        gh_ = Metrics(base_).height();
    }

    RichLayout Run(const QString& text) {
        tokens_ = TokenizeRichText(PrepareRichText(text), options_.wrap);
        long long y = rect_.top();
        bool first = true;
        while (first || next_ < tokens_.size()) {
            first = false;
            y = Clamp(y + LayOutLine(int(y)));
            if (next_ >= tokens_.size()) break;
            // Drawing stops once a line of the base font no longer fits; a
            // measure goes on to the end.
            if (options_.mode == RichMode::Draw && y + gh_ > rect_.top() + rect_.height()) {
                out_.truncated = true;
                break;
            }
        }
        out_.height = std::max(gh_, Clamp(y - rect_.top()));
        return std::move(out_);
    }

private:
    QFontMetrics Metrics(const QFont& f) const {
        return device_ ? QFontMetrics(f, device_) : QFontMetrics(f);
    }

    // Lays out one line starting at top; returns its advance.
    int LayOutLine(int top) {
        LineWork w;
        w.firstRun = out_.runs.size();
        w.background = state_.lineBackground;
        w.backgroundTo = state_.lineBackgroundTo;
        bool ended = false;
        while (!ended && next_ < tokens_.size()) {
            const RichToken& t = tokens_[next_];
            if (t.kind == RichToken::Kind::Run) {
                if (!PlaceRun(t.text, w)) break;
                ++next_;
                continue;
            }
            ended = ApplyTag(t, w);
        }
        return FinishLine(top, w);
    }

    bool RoomFor(int width, int widthNoBlank, const LineWork& w) const {
        if (options_.wrap == RichWrap::Off) return true;
        const long long end = 1LL + state_.indent + w.x + widthNoBlank;
        if (end <= rect_.width()) return true;
        if (width >= rect_.width()) return true;
        // A word cut by tags ("<b>bo</b>ld") is never broken.
        return !(w.placedText && w.lastEndsBlank);
    }

    // Returns false when the run belongs on the next line (not consumed).
    bool PlaceRun(const QString& raw, LineWork& w) {
        if (state_.hidden) return true;
        RichRunText shown = DecodeRun(raw);
        if (shown.text.isEmpty()) return true;
        const QFontMetrics fm = Metrics(state_.font);
        int width = fm.horizontalAdvance(shown.text);
        // A blank from "&nbsp;" neither breaks the line nor is dropped at its end.
        bool endsBlank = raw.endsWith(u' ');
        const int blank = endsBlank ? fm.horizontalAdvance(u' ') : 0;
        if (!RoomFor(width, width - blank, w)) return false;

        if (options_.wrap == RichWrap::Off) {
            const long long room = (long long)rect_.width() - 1 - state_.indent - w.x;
            if (width > room) {
                if (!Elide(shown, fm, room)) return true;
                width = fm.horizontalAdvance(shown.text);
                endsBlank = false;
            }
        }

        RichRun r = StyledRun();
        r.text = std::move(shown.text);
        r.underlined = std::move(shown.underlined);
        r.rect = QRect(w.x, 0, width, fm.height());
        r.ascent = fm.ascent();
        out_.runs.push_back(std::move(r));
        w.x = Clamp((long long)w.x + width);
        w.placedText = true;
        w.lastEndsBlank = endsBlank;
        w.trailingBlank = endsBlank ? blank : 0;
        return true;
    }

    // Cuts the run to the longest start that still fits with "..." after it;
    // false when not even "..." fits.
    static bool Elide(RichRunText& shown, const QFontMetrics& fm, long long room) {
        const QString dots = QStringLiteral("...");
        if (fm.horizontalAdvance(dots) > room) return false;
        qsizetype lo = 0;
        qsizetype hi = shown.text.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (fm.horizontalAdvance(shown.text.left(mid) + dots) <= room)
                lo = mid;
            else
                hi = mid - 1;
        }
        shown.text = shown.text.left(lo) + dots;
        shown.underlined.removeIf([lo](int i) { return i >= lo; });
        return true;
    }

    RichRun StyledRun() const {
        RichRun r;
        r.font = state_.font;
        r.color = state_.color;
        r.background = state_.background;
        r.shadow = state_.shadow;
        r.error = state_.error;
        r.sub = state_.sub;
        r.sup = state_.sup;
        r.link = state_.link;
        r.line = int(out_.lines.size());
        return r;
    }

    void PlaceBullet(LineWork& w) {
        const int level = state_.listLevel;
        const long long bulletX = (long long)w.x + (long long)std::max(level - 1, 0) * kListStep;
        RichRun r = StyledRun();
        r.sub = r.sup = false;
        r.error = false;
        r.link = -1;
        r.background = QColor();
        r.bullet = true;
        // Odd levels a filled dot, even levels a ring.
        r.text = (level % 2 == 1) ? QStringLiteral("\u2022") : QStringLiteral("o");
        const QFontMetrics fm = Metrics(r.font);
        r.rect = QRect(Clamp(bulletX), 0, fm.horizontalAdvance(r.text), fm.height());
        r.ascent = fm.ascent();
        out_.runs.push_back(std::move(r));
        w.x = Clamp((long long)w.x + (long long)level * kListStep);
        w.trailingBlank = 0;
    }

    void PlacePicture(const QString& inner, LineWork& w) {
        if (state_.hidden || !options_.images) return;
        const int index = PictureIndex(TagAttribute(inner, QStringLiteral("src")));
        if (index < 0 || index >= options_.images->size()) return;
        const QPixmap& pm = options_.images->at(index);
        if (pm.isNull()) return;
        bool has = false;
        int width = AttrInt(inner, "width", 0, kMaxPictureSide, &has);
        if (!has) width = pm.width();
        int height = AttrInt(inner, "height", 0, kMaxPictureSide, &has);
        if (!has) height = pm.height();
        const double wanted = options_.pictureScale;
        const double scale = std::isfinite(wanted) ? std::clamp(wanted, 0.0, 16.0) : 1.0;
        width = int(std::min<double>(width * scale, kMaxPictureSide));
        height = int(std::min<double>(height * scale, kMaxPictureSide));
        if (!RoomFor(width, width, w)) {
            // Pictures wrap like words; the caller sees the line end here.
            pictureWrapped_ = true;
            return;
        }
        RichRun r = StyledRun();
        r.imageIndex = index;
        r.rect = QRect(w.x, 0, width, height);
        out_.runs.push_back(std::move(r));
        w.x = Clamp((long long)w.x + width);
        w.placedText = true;
        w.lastEndsBlank = false;
        w.trailingBlank = 0;
        const QString align = TagAttribute(inner, QStringLiteral("align")).toUpper();
        if (align == QLatin1StringView("TOP") || align == QLatin1StringView("MIDDLE")) {
            w.anchor = align == QLatin1StringView("TOP") ? TextAnchor::PictureTop
                                                         : TextAnchor::PictureMiddle;
            w.anchorHeight = std::max(w.anchorHeight, height);
        }
    }

    // Only pictures of the caller's list ("IDX:n") are supported; files,
    // collections and network addresses are skipped.
    static int PictureIndex(const QString& src) {
        if (!src.startsWith(QLatin1StringView("IDX:"), Qt::CaseInsensitive)) return -1;
        bool ok = false;
        const int index = src.mid(4).trimmed().toInt(&ok);
        return ok ? index : -1;
    }

    void ApplyFontTag(const RichToken& t) {
        if (t.closing) {
            state_.font.setFamilies(base_.families());
            state_.font.setFamily(base_.family());
            if (base_.pixelSize() > 0)
                state_.font.setPixelSize(base_.pixelSize());
            else
                state_.font.setPointSizeF(base_.pointSizeF());
            state_.color = baseColor_;
            state_.background = QColor();
            return;
        }
        bool has = false;
        const QString face = TagAttribute(t.text, QStringLiteral("face"), &has);
        if (has && !face.trimmed().isEmpty()) state_.font.setFamily(face.trimmed());
        const QString color = TagAttribute(t.text, QStringLiteral("color"), &has);
        if (has) state_.color = RichColor(color);
        const QString bg = TagAttribute(t.text, QStringLiteral("bgcolor"), &has);
        if (has) state_.background = RichColor(bg);
        const int size = AttrInt(t.text, "size", std::numeric_limits<int>::min(),
                                 std::numeric_limits<int>::max(), &has);
        if (has) {
            static constexpr int kSizes[] = {8, 10, 12, 14, 16};
            const int points = (size >= 1 && size <= 5) ? kSizes[size - 1] : size;
            if (points > 0) state_.font.setPointSize(std::min(points, kMaxPointSize));
        }
    }

    void ApplyParaTag(const RichToken& t, LineWork& w) {
        bool has = false;
        const QString align = TagAttribute(t.text, QStringLiteral("align"), &has).toUpper();
        if (has) {
            if (align.contains(QLatin1StringView("RIGHT")))
                state_.align = RichAlign::Right;
            else if (align.contains(QLatin1StringView("LEFT")))
                state_.align = RichAlign::Left;
            else if (align.contains(QLatin1StringView("CENTER")))
                state_.align = RichAlign::Center;
        }
        const int indent = AttrInt(t.text, "indent", 0, 100000, &has);
        if (has) state_.indent = indent;
        const QString bg = TagAttribute(t.text, QStringLiteral("bgcolor"), &has);
        if (has) {
            state_.background = RichColor(bg);
            state_.lineBackground = state_.background;
            const QString to = TagAttribute(t.text, QStringLiteral("bgcolorto"), &has);
            state_.lineBackgroundTo = has ? RichColor(to) : QColor();
            w.background = state_.lineBackground;
            w.backgroundTo = state_.lineBackgroundTo;
        }
    }

    void ApplyBodyTag(const QString& inner) {
        RichBody& b = out_.body;
        b.present = true;
        bool has = false;
        const QString bg = TagAttribute(inner, QStringLiteral("bgcolor"), &has);
        if (has) b.color = RichColor(bg);
        const QString to = TagAttribute(inner, QStringLiteral("bgcolorto"), &has);
        if (has) b.colorTo = RichColor(to);
        const QString dir = TagAttribute(inner, QStringLiteral("dir"), &has);
        b.vertical = has && dir.trimmed().toUpper() != QLatin1StringView("H");
        const int index = PictureIndex(TagAttribute(inner, QStringLiteral("background")));
        if (options_.images && index >= 0 && index < options_.images->size()) b.imageIndex = index;
    }

    // Applies the tag at next_; returns true when it ends the line. A tag that
    // belongs on the next line is left unconsumed.
    bool ApplyTag(const RichToken& t, LineWork& w) {
        const bool on = !t.closing;
        switch (t.tag) {
            case RichTag::Bold:
                state_.font.setBold(on);
                break;
            case RichTag::Italic:
                state_.font.setItalic(on);
                break;
            case RichTag::Underline:
                state_.font.setUnderline(on);
                break;
            case RichTag::Strike:
                state_.font.setStrikeOut(on);
                break;
            case RichTag::Break:
                if (on) return Consume(true);
                break;
            case RichTag::Link:
                state_.font.setUnderline(on);
                if (on) {
                    out_.links.push_back({FirstQuotedValue(t.text), QRect()});
                    state_.link = int(out_.links.size()) - 1;
                    state_.color = options_.linkColor;
                } else {
                    state_.link = -1;
                    state_.color = baseColor_;
                }
                break;
            case RichTag::Font:
                ApplyFontTag(t);
                break;
            case RichTag::Para:
                if (!on) {
                    state_.background = QColor();
                    state_.lineBackground = QColor();
                    state_.lineBackgroundTo = QColor();
                    return Consume(true);
                }
                ApplyParaTag(t, w);
                break;
            case RichTag::Highlight: {
                const QPalette pal = QGuiApplication::palette();
                state_.background = on ? pal.color(QPalette::Highlight) : QColor();
                state_.color = on ? pal.color(QPalette::HighlightedText) : baseColor_;
                break;
            }
            case RichTag::Rule:
                if (on) {
                    w.rule = true;
                    return Consume(true);
                }
                break;
            case RichTag::List:
                if (on) {
                    state_.listLevel = std::min(state_.listLevel + 1, 100000);
                    return Consume(true);
                }
                state_.listLevel = std::max(state_.listLevel - 1, 0);
                break;
            case RichTag::ListItem:
                if (!on) return Consume(true);
                if (w.hasItem) return true;  // a second item starts the next line
                w.hasItem = true;
                PlaceBullet(w);
                break;
            case RichTag::Indent:
                if (on) {
                    bool has = false;
                    const int x = AttrInt(t.text, "x", 0, 100000, &has);
                    if (has && x - 1 > w.x) {
                        w.x = x - 1;
                        w.trailingBlank = 0;
                    }
                }
                break;
            case RichTag::Image:
                if (on) {
                    PlacePicture(t.text, w);
                    if (pictureWrapped_) {
                        pictureWrapped_ = false;
                        return true;
                    }
                }
                break;
            case RichTag::Sub:
            case RichTag::Sup:
                // The closing tag of either ends both.
                state_.sub = on && t.tag == RichTag::Sub;
                state_.sup = on && t.tag == RichTag::Sup;
                break;
            case RichTag::Shadow:
                state_.shadow = on;
                break;
            case RichTag::Error:
                state_.error = on;
                break;
            case RichTag::Hidden:
                state_.hidden = on;
                break;
            case RichTag::Body:
                if (on) ApplyBodyTag(t.text);
                break;
            case RichTag::ColorBack:
                state_.color = baseColor_;
                break;
            case RichTag::Rotate:
            case RichTag::Blink:
            case RichTag::Unknown:
                break;
        }
        return Consume(false);
    }

    bool Consume(bool endsLine) {
        ++next_;
        return endsLine;
    }

    int FinishLine(int top, const LineWork& w) {
        int boxHeight = gh_;
        for (size_t i = w.firstRun; i < out_.runs.size(); ++i)
            boxHeight = std::max(boxHeight, out_.runs[i].rect.height());

        // Vertical place inside the line box, before room for sub- and
        // superscripts is added above and below.
        int above = 0;
        int below = 0;
        std::vector<int> tops;
        tops.reserve(out_.runs.size() - w.firstRun);
        for (size_t i = w.firstRun; i < out_.runs.size(); ++i) {
            const RichRun& r = out_.runs[i];
            const int h = r.rect.height();
            int t = boxHeight - h;
            if (r.imageIndex < 0 && !r.bullet && w.anchor != TextAnchor::Bottom) {
                t = w.anchor == TextAnchor::PictureTop ? boxHeight - w.anchorHeight
                                                       : boxHeight - w.anchorHeight / 2 - h / 2;
            }
            if (r.sub) t += h / 4;
            if (r.sup) t -= h / 4;
            above = std::max(above, -t);
            below = std::max(below, t + h - boxHeight);
            tops.push_back(t);
        }
        const int advance = Clamp((long long)above + boxHeight + below);

        const int contentWidth = std::max(0, w.x - w.trailingBlank);
        long long start = 1;
        if (state_.align == RichAlign::Right)
            start = (long long)rect_.width() - contentWidth;
        else if (state_.align == RichAlign::Center)
            start = ((long long)rect_.width() - contentWidth) / 2;
        start += state_.indent;
        const int left = Clamp(rect_.left() + start);

        for (size_t i = w.firstRun; i < out_.runs.size(); ++i) {
            RichRun& r = out_.runs[i];
            r.rect.moveTo(Clamp((long long)left + r.rect.x()),
                          Clamp((long long)top + above + tops[i - w.firstRun]));
            if (r.link >= 0) {
                QRect& lr = out_.links[size_t(r.link)].rect;
                lr = lr.isNull() ? r.rect : lr.united(r.rect);
            }
        }

        RichLine line;
        line.rect = QRect(rect_.left(), top, rect_.width(), advance);
        line.contentLeft = left;
        line.contentWidth = contentWidth;
        line.background = w.background;
        line.backgroundTo = w.backgroundTo;
        line.rule = w.rule;
        out_.lines.push_back(line);
        out_.width = std::max(out_.width, Clamp((long long)contentWidth + state_.indent));
        return advance;
    }

    QFont base_;
    QColor baseColor_;
    QRect rect_;
    const RichTextOptions& options_;
    QPaintDevice* device_;
    State state_;
    int gh_ = 0;
    std::vector<RichToken> tokens_;
    size_t next_ = 0;
    bool pictureWrapped_ = false;
    RichLayout out_;
};

}  // namespace

RichLayout LayoutRichText(const QString& text, const QFont& baseFont, const QColor& baseColor,
                          const QRect& rect, const RichTextOptions& options, QPaintDevice* device) {
    return Layouter(baseFont, baseColor, rect, options, device).Run(text);
}

int RichLinkAt(const RichLayout& layout, const QPoint& point) {
    for (const RichRun& r : layout.runs)
        if (r.link >= 0 && r.rect.contains(point)) return r.link;
    return -1;
}

}  // namespace app
