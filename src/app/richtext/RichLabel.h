#pragma once
// A label that shows markup text (DrawRichText) over an optional plain or
// gradient background, inside optional bevels and a border, with clickable
// links: web and mail targets open in the desktop's handler, any other target
// goes to OnAnchorClick.

#include "app/richtext/RichText.h"

#include <QColor>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

namespace app {

enum class TBevelCut { bvNone, bvLowered, bvRaised };
enum class TBorderStyle { bsNone, bsSingle };
enum class TVAlignment { tvaTop, tvaCenter, tvaBottom };
enum class TAutoSizeType { asVertical, asHorizontal, asBoth };
enum class TGradientType {
    gtFullHorizontal,
    gtFullVertical,
    gtBottomLine,
    gtCenterLine,
    gtTopLine
};

class TRichLabel : public QWidget {
    Q_OBJECT
public:
    explicit TRichLabel(QWidget* parent = nullptr);

    // The lines are joined with nothing between them into one markup text.
    const QStringList& HTMLText() const { return htmlText_; }
    void SetHTMLText(const QStringList& lines);
    QString Text() const { return htmlText_.join(QString()); }

    // The text colour of the label's font (the font itself is QWidget::font()).
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QColor ColorTo() const { return colorTo_; }  // invalid: plain fill
    void SetColorTo(const QColor& color);
    TGradientType GradientType() const { return gradientType_; }
    void SetGradientType(TGradientType type);

    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut cut);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut cut);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);

    TVAlignment VAlignment() const { return vAlignment_; }
    void SetVAlignment(TVAlignment alignment);
    bool AutoSizing() const { return autoSizing_; }
    void SetAutoSizing(bool on);
    TAutoSizeType AutoSizeType() const { return autoSizeType_; }
    void SetAutoSizeType(TAutoSizeType type);
    bool Ellipsis() const { return ellipsis_; }
    void SetEllipsis(bool on);

    QColor URLColor() const { return urlColor_; }
    void SetURLColor(const QColor& color);
    bool Hover() const { return hover_; }
    void SetHover(bool on);
    QColor HoverColor() const { return hoverColor_; }  // invalid: none
    void SetHoverColor(const QColor& color);
    QColor HoverFontColor() const { return hoverFontColor_; }  // invalid: none
    void SetHoverFontColor(const QColor& color);
    QColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(const QColor& color);
    int ShadowOffset() const { return shadowOffset_; }
    void SetShadowOffset(int offset);
    bool AnchorHint() const { return anchorHint_; }
    void SetAnchorHint(bool on);

    // Pictures for <IMG src="IDX:n">; not owned, must outlive the label.
    void SetImages(const QList<QPixmap>* images);

    // Called with a clicked link's target when it is neither a web address
    // ("://") nor a mail address ("mailto:").
    std::function<void(const QString& target)> OnAnchorClick;

    // The shell's "open" action; tests replace it so no browser starts.
    static std::function<void(const QUrl&)>& ShellOpen();

    // Where the text goes: the bounds inside bevels and border.
    QRect TextRect() const;
    // The text rectangle moved down for the vertical alignment.
    QRect PlacedTextRect() const;
    // The link at a point in label coordinates.
    RichTextResult LinkAt(const QPoint& pos) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    RichTextOptions Options() const;
    void PaintBackground(QPainter& p) const;
    void PaintFrames(QPainter& p) const;
    void Changed();
    void AdjustAutoSize();
    void SetPointer(std::optional<QPoint> pos);

    QStringList htmlText_;
    QColor fontColor_;
    bool transparent_ = false;
    QColor color_;
    QColor colorTo_;
    TGradientType gradientType_ = TGradientType::gtFullHorizontal;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
    TBevelCut bevelOuter_ = TBevelCut::bvNone;
    int bevelWidth_ = 1;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    int borderWidth_ = 0;
    TVAlignment vAlignment_ = TVAlignment::tvaTop;
    bool autoSizing_ = false;
    TAutoSizeType autoSizeType_ = TAutoSizeType::asVertical;
    bool ellipsis_ = false;
    QColor urlColor_ = QColor(0x00, 0x00, 0xFF);
    bool hover_ = false;
    QColor hoverColor_;
    QColor hoverFontColor_;
    QColor shadowColor_ = QColor(0x80, 0x80, 0x80);
    int shadowOffset_ = 2;
    bool anchorHint_ = false;
    const QList<QPixmap>* images_ = nullptr;

    std::optional<QPoint> pointer_;
    QRect hoverLinkRect_;  // the link under the pointer; null: none
    QString ownToolTip_;
    bool showingAnchorHint_ = false;
    bool adjusting_ = false;
};

}  // namespace app
