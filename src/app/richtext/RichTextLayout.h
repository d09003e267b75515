#pragma once
// The layout half of the renderer: the markup becomes positioned runs, line
// by line, with the formatting state applied. Painting only walks the result,
// so everything about placement can be checked without pixels.

#include "app/richtext/RichText.h"

#include <vector>

namespace app {

enum class RichAlign { Left, Right, Center };

struct RichRun {
    QString text;  // as shown (entities decoded, "&" marks removed)
    QList<int> underlined;
    QFont font;
    QColor color;
    QColor background;  // invalid: transparent
    bool shadow = false;
    bool error = false;
    bool sub = false;
    bool sup = false;
    bool bullet = false;
    int link = -1;        // index into RichLayout::links
    int imageIndex = -1;  // a picture of options.images instead of text
    int line = 0;
    QRect rect;  // the run's box on the canvas
    int ascent = 0;
};

struct RichLine {
    QRect rect;  // across the whole layout rectangle, one line advance high
    int contentLeft = 0;
    int contentWidth = 0;  // without a blank at the very end
    QColor background;     // <P bgcolor>; invalid: none
    QColor backgroundTo;   // <P bgcolorto>: horizontal gradient
    bool rule = false;     // <HR>: a line just below
};

struct RichLink {
    QString target;
    QRect rect;  // bounding box of its runs
};

struct RichBody {
    bool present = false;
    QColor color;
    QColor colorTo;
    bool vertical = false;
    int imageIndex = -1;  // tiled picture
};

struct RichLayout {
    std::vector<RichRun> runs;
    std::vector<RichLine> lines;
    std::vector<RichLink> links;
    RichBody body;
    int width = 0;
    int height = 0;
    bool truncated = false;  // lines were dropped because they did not fit
};

RichLayout LayoutRichText(const QString& text, const QFont& baseFont, const QColor& baseColor,
                          const QRect& rect, const RichTextOptions& options,
                          QPaintDevice* device = nullptr);

// Index into layout.links of the link whose run holds point, or -1.
int RichLinkAt(const RichLayout& layout, const QPoint& point);

}  // namespace app
