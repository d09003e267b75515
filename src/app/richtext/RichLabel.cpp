#include "app/richtext/RichLabel.h"

#include "platform/Guard.h"

#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace app {

namespace {

constexpr int kAutoSizeExtra = 6;
constexpr int kGradientLine = 2;
constexpr int kUnbounded = 1 << 20;

// Screen readers see the label as static text that reads its shown
// characters, unless the program gave it a name of its own.
class RichLabelAccessible : public QAccessibleWidget {
public:
    explicit RichLabelAccessible(TRichLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        const auto* label = static_cast<const TRichLabel*>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty())
            return RichPlainText(label->Text());
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* RichLabelAccessibleFactory(const QString& className, QObject* object) {
    if (className != QLatin1StringView("app::TRichLabel") || !object || !object->isWidgetType())
        return nullptr;
    return new RichLabelAccessible(static_cast<TRichLabel*>(object));
}

bool OpensInShell(const QString& target) {
    return target.contains(QLatin1StringView("://")) ||
           target.contains(QLatin1StringView("mailto:"));
}

}  // namespace

TRichLabel::TRichLabel(QWidget* parent) : QWidget(parent) {
    fontColor_ = palette().color(QPalette::WindowText);
    color_ = palette().color(QPalette::Button);
    setMouseTracking(true);
    static const bool accessible = [] {
        QAccessible::installFactory(RichLabelAccessibleFactory);
        return true;
    }();
    (void)accessible;
}

std::function<void(const QUrl&)>& TRichLabel::ShellOpen() {
    static std::function<void(const QUrl&)> open = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return open;
}

void TRichLabel::SetHTMLText(const QStringList& lines) {
    htmlText_ = lines;
    Changed();
}

void TRichLabel::SetFontColor(const QColor& color) {
    fontColor_ = color;
    update();
}

void TRichLabel::SetTransparent(bool on) {
    transparent_ = on;
    update();
}

void TRichLabel::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TRichLabel::SetColorTo(const QColor& color) {
    colorTo_ = color;
    update();
}

void TRichLabel::SetGradientType(TGradientType type) {
    gradientType_ = type;
    update();
}

void TRichLabel::SetBevelInner(TBevelCut cut) {
    bevelInner_ = cut;
    Changed();
}

void TRichLabel::SetBevelOuter(TBevelCut cut) {
    bevelOuter_ = cut;
    Changed();
}

void TRichLabel::SetBevelWidth(int width) {
    bevelWidth_ = std::clamp(width, 0, 1000);
    Changed();
}

void TRichLabel::SetBorderStyle(TBorderStyle style) {
    borderStyle_ = style;
    Changed();
}

void TRichLabel::SetBorderWidth(int width) {
    borderWidth_ = std::clamp(width, 0, 1000);
    Changed();
}

void TRichLabel::SetVAlignment(TVAlignment alignment) {
    vAlignment_ = alignment;
    update();
}

void TRichLabel::SetAutoSizing(bool on) {
    autoSizing_ = on;
    Changed();
}

void TRichLabel::SetAutoSizeType(TAutoSizeType type) {
    autoSizeType_ = type;
    Changed();
}

void TRichLabel::SetEllipsis(bool on) {
    ellipsis_ = on;
    Changed();
}

void TRichLabel::SetURLColor(const QColor& color) {
    urlColor_ = color;
    update();
}

void TRichLabel::SetHover(bool on) {
    hover_ = on;
    update();
}

void TRichLabel::SetHoverColor(const QColor& color) {
    hoverColor_ = color;
    update();
}

void TRichLabel::SetHoverFontColor(const QColor& color) {
    hoverFontColor_ = color;
    update();
}

void TRichLabel::SetShadowColor(const QColor& color) {
    shadowColor_ = color;
    update();
}

void TRichLabel::SetShadowOffset(int offset) {
    shadowOffset_ = std::clamp(offset, -100, 100);
    update();
}

void TRichLabel::SetAnchorHint(bool on) {
    anchorHint_ = on;
    if (!on && showingAnchorHint_) {
        setToolTip(ownToolTip_);
        showingAnchorHint_ = false;
    }
}

void TRichLabel::SetImages(const QList<QPixmap>* images) {
    images_ = images;
    Changed();
}

void TRichLabel::Changed() {
    AdjustAutoSize();
    update();
}

RichTextOptions TRichLabel::Options() const {
    RichTextOptions o;
    o.wrap = ellipsis_ ? RichWrap::Off : RichWrap::On;
    o.linkColor = urlColor_;
    o.shadowColor = shadowColor_;
    o.shadowOffset = shadowOffset_;
    if (hover_) {
        o.hoverColor = hoverColor_;
        o.hoverFontColor = hoverFontColor_;
    }
    o.pointer = pointer_;
    o.images = images_;
    return o;
}

QRect TRichLabel::TextRect() const {
    int inset = 0;
    // Each frame takes its own room, so text never covers an inner bevel.
    if (bevelOuter_ != TBevelCut::bvNone) inset += bevelWidth_;
    if (borderStyle_ != TBorderStyle::bsNone) inset += std::max(borderWidth_, 1);
    if (bevelInner_ != TBevelCut::bvNone) inset += bevelWidth_;
    return rect().adjusted(inset, inset, -inset, -inset);
}

QRect TRichLabel::PlacedTextRect() const {
    QRect r = TextRect();
    if (vAlignment_ == TVAlignment::tvaTop) return r;
    RichTextOptions measure = Options();
    measure.pointer.reset();
    const int h = MeasureRichText(font(), Text(), r, measure, const_cast<TRichLabel*>(this)).height;
    const int free = std::max(0, r.height() - h);
    r.setTop(r.top() + (vAlignment_ == TVAlignment::tvaCenter ? free / 2 : free));
    return r;
}

RichTextResult TRichLabel::LinkAt(const QPoint& pos) const {
    RichTextOptions o = Options();
    o.pointer = pos;
    return MeasureRichText(font(), Text(), PlacedTextRect(), o, const_cast<TRichLabel*>(this));
}

void TRichLabel::PaintBackground(QPainter& p) const {
    const QRect r = rect();
    p.fillRect(r, color_);
    if (!colorTo_.isValid()) return;
    QRect band = r;
    bool vertical = false;
    switch (gradientType_) {
        case TGradientType::gtFullHorizontal:
            break;
        case TGradientType::gtFullVertical:
            vertical = true;
            break;
        case TGradientType::gtBottomLine:
            band = QRect(r.left(), r.bottom() + 1 - kGradientLine, r.width(), kGradientLine);
            break;
        case TGradientType::gtCenterLine:
            band = QRect(r.left(), r.top() + (r.height() - kGradientLine) / 2, r.width(),
                         kGradientLine);
            break;
        case TGradientType::gtTopLine:
            band = QRect(r.left(), r.top(), r.width(), kGradientLine);
            break;
    }
    QLinearGradient g(band.topLeft(), vertical ? band.bottomLeft() : band.topRight());
    g.setColorAt(0, color_);
    g.setColorAt(1, colorTo_);
    p.fillRect(band, g);
}

void TRichLabel::PaintFrames(QPainter& p) const {
    QRect r = rect();
    const QColor light = palette().color(QPalette::Light);  // button highlight
    const QColor dark = palette().color(QPalette::Dark);    // button shadow
    auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone) return;
        const QColor& topLeft = cut == TBevelCut::bvRaised ? light : dark;
        const QColor& bottomRight = cut == TBevelCut::bvRaised ? dark : light;
        for (int i = 0; i < bevelWidth_ && r.width() > 0 && r.height() > 0; ++i) {
            p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
            p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
            p.fillRect(QRect(r.left() + 1, r.bottom(), r.width() - 1, 1), bottomRight);
            p.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), bottomRight);
            r.adjust(1, 1, -1, -1);
        }
    };
    bevel(bevelOuter_);
    if (borderStyle_ != TBorderStyle::bsNone) {
        const QColor frame = palette().color(QPalette::Shadow);
        for (int i = 0; i < std::max(borderWidth_, 1) && r.width() > 0 && r.height() > 0; ++i) {
            p.setPen(frame);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            r.adjust(1, 1, -1, -1);
        }
    }
    bevel(bevelInner_);
}

void TRichLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!transparent_) PaintBackground(p);
    PaintFrames(p);
    p.setFont(font());
    p.setPen(fontColor_);
    DrawRichText(p, Text(), PlacedTextRect(), Options());
}

void TRichLabel::AdjustAutoSize() {
    if (!autoSizing_ || adjusting_) return;
    RichTextOptions measure = Options();
    measure.pointer.reset();
    const bool horizontal = autoSizeType_ != TAutoSizeType::asVertical;
    const QRect area = horizontal ? QRect(0, 0, kUnbounded, kUnbounded) : TextRect();
    const RichTextResult m = MeasureRichText(font(), Text(), area, measure, this);
    const QSize wanted(horizontal ? m.width + kAutoSizeExtra : width(), m.height + kAutoSizeExtra);
    if (wanted == size()) return;
    adjusting_ = true;
    resize(wanted);
    adjusting_ = false;
}

void TRichLabel::SetPointer(std::optional<QPoint> pos) {
    pointer_ = pos;
    const RichTextResult hit = pos ? LinkAt(*pos) : RichTextResult{};
    if (hit.linkHit)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    if (anchorHint_ && hit.linkHit) {
        if (!showingAnchorHint_) ownToolTip_ = toolTip();
        showingAnchorHint_ = true;
        setToolTip(hit.linkTarget);
    } else if (showingAnchorHint_) {
        showingAnchorHint_ = false;
        setToolTip(ownToolTip_);
    }
    const QRect key = hit.linkHit ? hit.linkRect : QRect();
    if (key == hoverLinkRect_) return;
    hoverLinkRect_ = key;
    if (hover_) update();
}

void TRichLabel::mouseMoveEvent(QMouseEvent* event) {
    SetPointer(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void TRichLabel::leaveEvent(QEvent* event) {
    SetPointer(std::nullopt);
    QWidget::leaveEvent(event);
}

void TRichLabel::mousePressEvent(QMouseEvent* event) {
    const RichTextResult hit =
        event->button() == Qt::LeftButton ? LinkAt(event->position().toPoint()) : RichTextResult{};
    if (!hit.linkHit) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    platform::Guard([&] {
        if (OpensInShell(hit.linkTarget)) {
            ShellOpen()(QUrl(hit.linkTarget, QUrl::TolerantMode));
            return;
        }
        if (OnAnchorClick) OnAnchorClick(hit.linkTarget);
    });
}

void TRichLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AdjustAutoSize();
}

void TRichLabel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) Changed();
}

}  // namespace app
