// The drawing half of the renderer: walks a finished layout.
#include "app/richtext/RichTextLayout.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygon>

namespace app {

namespace {

void FillGradient(QPainter& p, const QRect& r, const QColor& from, const QColor& to,
                  bool vertical) {
    if (!to.isValid()) {
        p.fillRect(r, from);
        return;
    }
    QLinearGradient g(r.topLeft(), vertical ? r.bottomLeft() : r.topRight());
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(r, g);
}

void PaintBody(QPainter& p, const RichLayout& layout, const QRect& rect,
               const RichTextOptions& options) {
    const RichBody& b = layout.body;
    if (!b.present) return;
    if (b.imageIndex >= 0 && options.images && b.imageIndex < options.images->size()) {
        p.drawTiledPixmap(rect, options.images->at(b.imageIndex));
        return;
    }
    if (b.color.isValid()) FillGradient(p, rect, b.color, b.colorTo, b.vertical);
}

void PaintRunText(QPainter& p, const RichRun& run, const QColor& color, int dx, int dy) {
    p.setFont(run.font);
    p.setPen(color);
    const int x = run.rect.x() + dx;
    const int baseline = run.rect.y() + dy + run.ascent;
    p.drawText(QPoint(x, baseline), run.text);
    if (run.underlined.isEmpty()) return;
    // Access-key marks: the platform convention underlines the one character.
    const QFontMetrics fm(run.font, p.device());
    const int y = baseline + fm.underlinePos();
    const int thickness = std::max(1, fm.lineWidth());
    for (int i : run.underlined) {
        if (i < 0 || i >= run.text.size()) continue;
        const int x0 = x + fm.horizontalAdvance(run.text.left(i));
        const int w = fm.horizontalAdvance(run.text.mid(i, 1));
        p.fillRect(QRect(x0, y, std::max(w, 1), thickness), color);
    }
}

// A red zigzag 2 px up and down along the bottom of the run.
void PaintErrorMark(QPainter& p, const QRect& r) {
    if (r.width() <= 0) return;
    QPolygon zigzag;
    const int low = r.bottom();
    const int high = low - 2;
    for (int x = r.left(), i = 0; x <= r.right() + 1; x += 2, ++i)
        zigzag << QPoint(std::min(x, r.right() + 1), (i % 2 == 0) ? low : high);
    p.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1));
    p.drawPolyline(zigzag);
}

void PaintRun(QPainter& p, const RichRun& run, const RichTextOptions& options, int hoverLink) {
    if (run.imageIndex >= 0) {
        if (options.images && run.imageIndex < options.images->size())
            p.drawPixmap(run.rect, options.images->at(run.imageIndex));
        return;
    }
    QColor color = run.color;
    QColor background = run.background;
    if (run.link >= 0 && run.link == hoverLink) {
        if (options.hoverFontColor.isValid()) color = options.hoverFontColor;
        if (options.hoverColor.isValid()) background = options.hoverColor;
    }
    if (background.isValid()) p.fillRect(run.rect, background);
    if (run.shadow)
        PaintRunText(p, run, options.shadowColor, options.shadowOffset, options.shadowOffset);
    PaintRunText(p, run, color, 0, 0);
    if (run.error) PaintErrorMark(p, run.rect);
}

void Paint(QPainter& p, const RichLayout& layout, const QRect& rect, const RichTextOptions& options,
           int hoverLink) {
    PaintBody(p, layout, rect, options);
    for (const RichLine& line : layout.lines)
        if (line.background.isValid())
            FillGradient(p, line.rect, line.background, line.backgroundTo, false);
    for (const RichRun& run : layout.runs)
        PaintRun(p, run, options, hoverLink);
    for (const RichLine& line : layout.lines) {
        if (!line.rule) continue;
        const int y = line.rect.top() + line.rect.height();
        p.fillRect(QRect(rect.left(), y, rect.width(), 1), QColor(0x00, 0x00, 0x00));
    }
}

RichTextResult ResultOf(const RichLayout& layout, const RichTextOptions& options, int* hoverLink) {
    RichTextResult result;
    result.width = layout.width;
    result.height = layout.height;
    *hoverLink = options.pointer ? RichLinkAt(layout, *options.pointer) : -1;
    if (*hoverLink >= 0) {
        const RichLink& link = layout.links[size_t(*hoverLink)];
        result.linkHit = true;
        result.linkTarget = link.target;
        result.linkRect = link.rect;
    }
    return result;
}

}  // namespace

RichTextResult DrawRichText(QPainter& canvas, const QString& text, const QRect& rect,
                            const RichTextOptions& options) {
    canvas.save();
    const RichLayout layout =
        LayoutRichText(text, canvas.font(), canvas.pen().color(), rect, options, canvas.device());
    int hoverLink = -1;
    const RichTextResult result = ResultOf(layout, options, &hoverLink);
    if (options.mode == RichMode::Draw) Paint(canvas, layout, rect, options, hoverLink);
    canvas.restore();
    return result;
}

RichTextResult MeasureRichText(const QFont& font, const QString& text, const QRect& rect,
                               const RichTextOptions& options, QPaintDevice* device) {
    RichTextOptions measure = options;
    measure.mode = RichMode::MeasureOnly;
    const RichLayout layout = LayoutRichText(text, font, QColor(Qt::black), rect, measure, device);
    int hoverLink = -1;
    return ResultOf(layout, measure, &hoverLink);
}

}  // namespace app
