#include "app/RichStatusBar.h"

#include "app/PanelTimeFormat.h"
#include "app/StatusGauge.h"
#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/widgets/Fonts.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QToolTip>
#include <QWindow>

#include <algorithm>

namespace app {
namespace {

using Style = TRichStatusPanelStyle;

// Room above the panels, as on the platform's own status bars.
constexpr int kTopMargin = 2;
// Space between a text and the panel's bevel.
constexpr int kTextPadding = 3;
constexpr int kTickMs = 100;
const QColor kDisabledText(0xC0, 0xC0, 0xC0);

int ToQt(TAlignment alignment) {
    switch (alignment) {
        case TAlignment::taRightJustify:
            return Qt::AlignRight;
        case TAlignment::taCenter:
            return Qt::AlignHCenter;
        case TAlignment::taLeftJustify:
            break;
    }
    return Qt::AlignLeft;
}

bool IsClockStyle(Style style) {
    return style == Style::psTime || style == Style::psDate;
}

// Markup panels are shown as their plain text: the bar keeps no dependency on
// the rich-text renderer, and the program's own panels carry no markup.
QString PlainTextOf(const QString& markup) {
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = markup;
    text.remove(tag);
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

// The part of a hint before any "|", as the hint machinery shows it.
QString ShortHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.left(bar);
}

}  // namespace

TRichStatusBar::TRichStatusBar(QWidget* parent) : QWidget(parent) {
    setFont(platform::ProgramFont());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    tickTimer_.setInterval(kTickMs);
    connect(&tickTimer_, &QTimer::timeout, this, [this] { platform::Guard([this] { Tick(); }); });
    tickTimer_.start();
}

int TRichStatusBar::AddPanel(const TRichStatusPanel& panel) {
    panels_.push_back(panel);
    const int index = PanelCount() - 1;
    if (IsClockStyle(panel.Style)) RefreshClockPanels();
    updateGeometry();
    update();
    return index;
}

void TRichStatusBar::ClearPanels() {
    panels_.clear();
    hoverPanel_ = -1;
    updateGeometry();
    update();
}

const TRichStatusPanel& TRichStatusBar::Panel(int index) const {
    if (index < 0 || index >= PanelCount()) throw platform::EListError(index);
    return panels_[static_cast<size_t>(index)];
}

TRichStatusPanel& TRichStatusBar::At(int index) {
    if (index < 0 || index >= PanelCount()) throw platform::EListError(index);
    return panels_[static_cast<size_t>(index)];
}

void TRichStatusBar::SetPanel(int index, const TRichStatusPanel& panel) {
    At(index) = panel;
    if (IsClockStyle(panel.Style)) RefreshClockPanels();
    updateGeometry();
    update();
}

void TRichStatusBar::SetPanelWidth(int index, int width) {
    At(index).Width = width;
    updateGeometry();
    update();  // every panel to the right moves
}

void TRichStatusBar::SetPanelText(int index, const QString& text) {
    TRichStatusPanel& panel = At(index);
    if (panel.Text == text) return;
    panel.Text = text;
    InvalidatePanel(index);
}

void TRichStatusBar::SetPanelImage(int index, int imageIndex) {
    At(index).ImageIndex = imageIndex;
    InvalidatePanel(index);
}

void TRichStatusBar::SetPanelPosition(int index, int position) {
    At(index).Progress.Position = position;
    InvalidatePanel(index);
}

void TRichStatusBar::SetImages(const TImageList& images) {
    images_ = images;
    update();
}

void TRichStatusBar::SetSizeGrip(bool on) {
    sizeGrip_ = on;
    update();
}

void TRichStatusBar::SetShowHint(bool on) {
    showHint_ = on;
    hoverPanel_ = -1;
    setToolTip(QString());
}

void TRichStatusBar::SetSimplePanel(bool on) {
    simplePanel_ = on;
    hoverPanel_ = -1;
    update();
}

void TRichStatusBar::SetSimpleText(const QString& text) {
    if (simpleText_ == text) return;
    simpleText_ = text;
    if (simplePanel_) update();
}

void TRichStatusBar::SetUseSystemFont(bool on) {
    useSystemFont_ = on;
    if (on) setFont(platform::ProgramFont());
}

void TRichStatusBar::Tick() {
    RefreshClockPanels();
    tickPhase_ = tickPhase_ >= 10 ? 0 : tickPhase_ + 1;
}

void TRichStatusBar::Loaded() {
    RefreshClockPanels();
}

void TRichStatusBar::RefreshClockPanels() {
    bool any = false;
    for (const TRichStatusPanel& panel : panels_)
        any = any || IsClockStyle(panel.Style);
    if (!any) return;
    const platform::TDateTime now = platform::Now();
    for (int i = 0; i < PanelCount(); ++i) {
        const TRichStatusPanel& panel = panels_[static_cast<size_t>(i)];
        if (panel.Style == Style::psTime)
            SetPanelText(i, FormatPanelDateTime(panel.TimeFormat, now));
        else if (panel.Style == Style::psDate)
            SetPanelText(i, FormatPanelDateTime(panel.DateFormat, now));
    }
}

// ---- layout ----

int TRichStatusBar::LaidOutCount() const {
    if (simplePanel_) return 0;
    return std::min(PanelCount(), kMaxLaidOutPanels);
}

int TRichStatusBar::PanelLeft(int index) const {
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += std::max(0, panels_[static_cast<size_t>(i)].Width);
    return left;
}

QRect TRichStatusBar::PanelRect(int index) const {
    const int count = LaidOutCount();
    if (index < 0 || index >= count) return {};
    const int left = PanelLeft(index);
    int right = left + std::max(0, panels_[static_cast<size_t>(index)].Width);
    if (index == count - 1) right = std::max(left, width() - (GripShown() ? kGripSize : 0));
    return QRect(left, kTopMargin, right - left, std::max(0, height() - kTopMargin));
}

QRect TRichStatusBar::PanelTextRect(int index) const {
    const QRect r = PanelRect(index);
    if (r.isNull()) return r;
    const TRichStatusPanel& panel = panels_[static_cast<size_t>(index)];
    if (panel.Style == Style::psImage) {
        // The text follows the image slot even when no image is drawn, so the
        // text does not jump when the picture changes or is missing.
        const int left = r.left() + 2 + images_.Width() + 2;
        return QRect(left, r.top(), std::max(0, r.right() - kTextPadding + 1 - left), r.height());
    }
    if (panel.Style == Style::psHTML) return r.adjusted(2, 0, -kTextPadding, 0);
    return r.adjusted(kTextPadding, 0, -kTextPadding, 0);
}

int TRichStatusBar::PanelAt(int x) const {
    for (int i = 0; i < LaidOutCount(); ++i) {
        const QRect r = PanelRect(i);
        // Both edges count: the shared pixel goes to the first (left) panel.
        if (x >= r.left() && x <= r.left() + r.width()) return i;
    }
    return -1;
}

QString TRichStatusBar::HintAt(int x) const {
    if (!showHint_) return {};
    const int index = PanelAt(x);
    if (index < 0) return {};
    return panels_[static_cast<size_t>(index)].Hint;
}

bool TRichStatusBar::GripShown() const {
    if (!sizeGrip_) return false;
    const QWidget* top = window();
    if (top->minimumSize() == top->maximumSize()) return false;  // not resizable
    return !(top->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

QRect TRichStatusBar::GripRect() const {
    return QRect(width() - kGripSize, height() - kGripSize, kGripSize, kGripSize);
}

QSize TRichStatusBar::sizeHint() const {
    int total = 0;
    for (int i = 0; i < std::min(PanelCount(), kMaxLaidOutPanels); ++i)
        total += std::max(0, panels_[static_cast<size_t>(i)].Width);
    return QSize(total + kGripSize, kDefaultHeight);
}

QSize TRichStatusBar::minimumSizeHint() const {
    return QSize(kGripSize, kDefaultHeight);
}

void TRichStatusBar::InvalidatePanel(int index) {
    ++redrawCount_;
    const QRect r = PanelRect(index);
    if (!r.isEmpty()) update(r);
}

// ---- events ----

bool TRichStatusBar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    UpdateHover(help->pos().x());
    const QString hint = ShortHint(HintAt(help->pos().x()));
    if (hint.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), hint, this, PanelRect(PanelAt(help->pos().x())));
    return true;
}

void TRichStatusBar::UpdateHover(int x) {
    const int index = PanelAt(x);
    if (index == hoverPanel_) return;
    hoverPanel_ = index;
    // A hint left open would belong to the panel the pointer just left.
    QToolTip::hideText();
    // Hint windows that read the widget's tooltip find the new panel's hint.
    setToolTip(showHint_ ? ShortHint(HintAt(x)) : QString());
}

void TRichStatusBar::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    UpdateHover(pos.x());
    if (GripShown() && GripRect().contains(pos))
        setCursor(Qt::SizeFDiagCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void TRichStatusBar::mousePressEvent(QMouseEvent* event) {
    const bool onGrip = event->button() == Qt::LeftButton && GripShown() &&
                        GripRect().contains(event->position().toPoint());
    QWindow* handle = window()->windowHandle();
    if (onGrip && handle && handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge)) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TRichStatusBar::leaveEvent(QEvent* event) {
    hoverPanel_ = -1;
    QWidget::leaveEvent(event);
}

void TRichStatusBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

// ---- drawing ----

QColor TRichStatusBar::FaceColor() const {
    return palette().color(QPalette::Window);
}

void TRichStatusBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), FaceColor());
    if (simplePanel_) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(kTextPadding, kTopMargin, -kGripSize, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, simpleText_);
    }
    for (int i = 0; i < LaidOutCount(); ++i) {
        const QRect r = PanelRect(i);
        if (r.isEmpty() || !event->region().intersects(r)) continue;
        painter.save();
        painter.setClipRect(r);
        DrawPanel(painter, i);
        painter.restore();
        DrawBevel(painter, r, panels_[static_cast<size_t>(i)].Bevel);
    }
    if (GripShown() && event->region().intersects(GripRect())) DrawGrip(painter);
}

void TRichStatusBar::DrawPanel(QPainter& painter, int index) {
    const TRichStatusPanel& panel = panels_[static_cast<size_t>(index)];
    const QRect r = PanelRect(index);
    switch (panel.Style) {
        case Style::psProgress:
            PaintGauge(painter, r, panel.Progress, font(), FaceColor());
            return;
        case Style::psImage:
            DrawImagePanel(painter, index);
            return;
        case Style::psOwnerDraw:
            if (OnDrawPanel) OnDrawPanel(painter, index, r);
            return;
        case Style::psNumLock:
        case Style::psCapsLock:
        case Style::psScrollLock:
            // The lock-key states are not readable portably; these panels stay blank.
            return;
        default:
            DrawTextPanel(painter, panel, PanelTextRect(index));
            return;
    }
}

void TRichStatusBar::DrawTextPanel(QPainter& painter, const TRichStatusPanel& panel,
                                   const QRect& rect) {
    const int align = ToQt(panel.Alignment) | Qt::AlignVCenter | Qt::TextSingleLine;
    QString text = panel.Style == Style::psHTML ? PlainTextOf(panel.Text) : panel.Text;
    const QFontMetrics metrics(font());
    painter.setFont(font());
    if (!panel.Enabled) {
        painter.setPen(kDisabledText);
        painter.drawText(rect, align, metrics.elidedText(text, Qt::ElideRight, rect.width()));
        return;
    }
    if (panel.Style == Style::psEllipsText)
        text = metrics.elidedText(text, Qt::ElideRight, rect.width());
    else if (panel.Style == Style::psFileEllipsText)
        text = metrics.elidedText(text, Qt::ElideMiddle, rect.width());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect, align, text);
}

void TRichStatusBar::DrawImagePanel(QPainter& painter, int index) {
    const TRichStatusPanel& panel = panels_[static_cast<size_t>(index)];
    const QRect r = PanelRect(index);
    images_.Draw(painter, r.left() + 2, r.top() + (r.height() - images_.Height()) / 2,
                 panel.ImageIndex);
    const QRect textRect = PanelTextRect(index);
    const QFontMetrics metrics(font());
    painter.setFont(font());
    painter.setPen(panel.Enabled ? palette().color(QPalette::WindowText) : kDisabledText);
    painter.drawText(textRect, ToQt(panel.Alignment) | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(panel.Text, Qt::ElideRight, textRect.width()));
}

void TRichStatusBar::DrawBevel(QPainter& painter, const QRect& r,
                               TRichStatusPanelBevel bevel) const {
    if (bevel == TRichStatusPanelBevel::pbNone || r.width() < 2 || r.height() < 2) return;
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const bool lowered = bevel == TRichStatusPanelBevel::pbLowered;
    const QColor topLeft = lowered ? shadow : light;
    const QColor bottomRight = lowered ? light : shadow;
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    painter.fillRect(QRect(x0, y0, r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(x0, y0, 1, r.height() - 1), topLeft);
    painter.fillRect(QRect(x0, y1, r.width(), 1), bottomRight);
    painter.fillRect(QRect(x1, y0, 1, r.height()), bottomRight);
}

void TRichStatusBar::DrawGrip(QPainter& painter) const {
    // Three diagonal rows of raised dots, the usual mark of a draggable corner.
    const QRect g = GripRect();
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col <= row; ++col) {
            const int x = g.right() - 3 - 4 * col;
            const int y = g.bottom() - 3 - 4 * (row - col);
            painter.fillRect(QRect(x + 1, y + 1, 2, 2), light);
            painter.fillRect(QRect(x, y, 2, 2), shadow);
        }
    }
}

platform::AccessibleEntry TRichStatusBar::AccessibleEntryAt(int index) const {
    platform::AccessibleEntry entry;
    if (index < 0 || index >= PanelCount()) return entry;
    const TRichStatusPanel& panel = panels_[static_cast<std::size_t>(index)];
    entry.name = panel.Style == TRichStatusPanelStyle::psProgress
                     ? QString::number(panel.Progress.Position) + u'%'
                     : panel.Text;
    entry.description = panel.Hint;
    return entry;
}

QRect TRichStatusBar::AccessibleEntryRect(int index) const {
    const QRect rect = PanelRect(index);
    if (rect.isEmpty()) return QRect();
    return QRect(mapToGlobal(rect.topLeft()), rect.size());
}

}  // namespace app
