#pragma once
// DrawRichText: lays out and draws the program's small HTML-like markup
// (<B>, <BR>, <FONT>, <A href>, lists, entities ...) into a rectangle of a
// QPainter. The same call measures (widest line, total height) and hit-tests
// links, so hint windows, labels and status panels size and click through it.

#include "app/richtext/RichTextParse.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

class QPainter;
class QPaintDevice;

namespace app {

enum class RichMode { Draw, MeasureOnly };

struct RichTextOptions {
    RichMode mode = RichMode::Draw;
    // On: lines break at blanks. Off: lines break only at tags, and a run that
    // passes the right edge is cut with "...".
    RichWrap wrap = RichWrap::On;
    QColor linkColor = QColor(0x00, 0x00, 0xFF);
    QColor shadowColor = QColor(0x80, 0x80, 0x80);
    int shadowOffset = 1;
    // Colours of the link under the pointer; an invalid colour leaves that
    // part of the link as it is.
    QColor hoverColor;
    QColor hoverFontColor;
    // Pointer position in the canvas' coordinates, for hover and hit testing.
    std::optional<QPoint> pointer;
    // Pictures for <IMG src="IDX:n">; not owned.
    const QList<QPixmap>* images = nullptr;
    double pictureScale = 1.0;
};

struct RichTextResult {
    int width = 0;   // the widest line
    int height = 0;  // all lines (at least one line of the base font)
    bool linkHit = false;
    QString linkTarget;  // the link under options.pointer, when linkHit
    QRect linkRect;      // bounding box of that link's runs
};

// Lays out text in rect with the canvas' font and pen colour as the base and,
// unless options.mode is MeasureOnly, draws it. The canvas' state is restored.
RichTextResult DrawRichText(QPainter& canvas, const QString& text, const QRect& rect,
                            const RichTextOptions& options = {});

// Measure-only without a canvas: metrics of device (the screen when null).
RichTextResult MeasureRichText(const QFont& font, const QString& text, const QRect& rect,
                               const RichTextOptions& options = {}, QPaintDevice* device = nullptr);

}  // namespace app
