#include "app/richtext/RichHint.h"

#include "platform/Errors.h"
#include "platform/widgets/Fonts.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <vector>

namespace app {

namespace {

// Where the hint's corner goes relative to the resting pointer: below the
// pointer's picture, as the platform's own tooltips do.
const QPoint kBelowPointer(2, 16);
constexpr int kDefaultShowMs = 10000;
constexpr int kCornerDiameter = 16;
constexpr int kScreenGap = 2;

std::vector<TRichHint*>& Instances() {
    static std::vector<TRichHint*> all;
    return all;
}

QWidget* CheckedOwner(QWidget* owner) {
    if (!owner || !owner->isWindow())
        throw platform::Failure(QStringLiteral("Control parent must be a form!"));
    if (!owner->findChildren<TRichHint*>(Qt::FindDirectChildrenOnly).isEmpty())
        throw platform::Failure(QStringLiteral("Only one instance of TRichHint allowed on form"));
    return owner;
}

QScreen* NearestScreen(const QPoint& p) {
    if (QScreen* s = QGuiApplication::screenAt(p)) return s;
    QScreen* best = QGuiApplication::primaryScreen();
    long long bestDistance = -1;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        const long long dx = std::max({0, g.left() - p.x(), p.x() - g.right()});
        const long long dy = std::max({0, g.top() - p.y(), p.y() - g.bottom()});
        const long long d = dx * dx + dy * dy;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = s;
        }
    }
    return best;
}

bool IsDismissingInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            return true;
        default:
            return false;
    }
}

}  // namespace

TRichHint::TRichHint(QWidget* owner) : QObject(CheckedOwner(owner)) {
    const QPalette pal = QGuiApplication::palette();
    HintColor = pal.color(QPalette::ToolTipBase);
    HintFontColor = pal.color(QPalette::ToolTipText);
    HintFont = platform::ProgramFont();
    Instances().push_back(this);
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, [this] { CancelHint(); });
    qApp->installEventFilter(this);
}

TRichHint::~TRichHint() {
    qApp->removeEventFilter(this);
    auto& all = Instances();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

TRichHint* TRichHint::Active() {
    const auto& all = Instances();
    return all.empty() ? nullptr : all.front();
}

TRichHintWindow* TRichHint::HintWindow() {
    if (!window_) window_ = std::make_unique<TRichHintWindow>();
    return window_.get();
}

QString TRichHint::ShortHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(u'|');
    return bar < 0 ? hint : hint.left(bar);
}

void TRichHint::ShowHintFor(QWidget* widget, const QPoint& globalPos) {
    hinted_ = widget;
    HintWindow()->ActivateHint(QRect(globalPos + kBelowPointer, QSize()),
                               ShortHint(widget->toolTip()));
    const int duration = widget->toolTipDuration();
    hideTimer_.start(duration > 0 ? duration : kDefaultShowMs);
}

void TRichHint::CancelHint() {
    hideTimer_.stop();
    hinted_ = nullptr;
    if (window_) window_->hide();
}

bool TRichHint::eventFilter(QObject* watched, QEvent* event) {
    // Every instance watches, but only the application's hint acts.
    if (Active() != this) return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        if (widget->toolTip().isEmpty()) {
            // Not ours: the event travels on to the parent, or to the
            // widget's own handling.
            if (widget == hinted_) CancelHint();
            return false;
        }
        if (ShortHint(widget->toolTip()).isEmpty()) {
            // Only a long hint: nothing to show, and no plain tooltip either.
            CancelHint();
            return true;
        }
        ShowHintFor(widget, static_cast<QHelpEvent*>(event)->globalPos());
        return true;
    }
    if (!window_ || !window_->isVisible()) return false;
    if (IsDismissingInput(type)) {
        CancelHint();
        return false;
    }
    if (watched == hinted_ && (type == QEvent::Leave || type == QEvent::ToolTipChange ||
                               type == QEvent::Hide || type == QEvent::WindowDeactivate))
        CancelHint();
    return false;
}

TRichHintWindow::TRichHintWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

RichTextOptions TRichHintWindow::Options(const TRichHint& settings) const {
    RichTextOptions o;
    o.wrap = settings.Ellipsis ? RichWrap::Off : RichWrap::On;
    o.linkColor = settings.URLColor;
    o.shadowColor = settings.ShadowColor;
    o.shadowOffset = settings.ShadowOffset;
    o.images = settings.Images;
    return o;
}

QSize TRichHintWindow::CalcHintSize(const TRichHint& settings, const QString& text,
                                    int widthLimit) const {
    const QRect area(0, 0, widthLimit - 16, 0x10000);
    const RichTextResult m = MeasureRichText(settings.HintFont, text, area, Options(settings),
                                             const_cast<TRichHintWindow*>(this));
    return QSize(m.width + 2 * settings.XMargin + 16, m.height + 2 * settings.YMargin + 4);
}

void TRichHintWindow::ActivateHint(const QRect& rect, const QString& text) {
    const TRichHint* settings = TRichHint::Active();
    if (!settings) {
        hide();
        return;
    }
    text_ = text;
    const QPoint corner = rect.topLeft();
    const QScreen* screen = NearestScreen(corner);
    const QRect monitor = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const int limit = settings->MaxWidth > 0 ? settings->MaxWidth : monitor.width();
    const QSize size = CalcHintSize(*settings, text, limit);
    textHeight_ = size.height() - 2 * settings->YMargin - 4;

    QRect place(corner, size);
    const int right = monitor.x() + monitor.width();
    const int bottom = monitor.y() + monitor.height();
    if (place.x() + place.width() > right) place.moveLeft(right - kScreenGap - place.width());
    if (place.y() + place.height() > bottom) place.moveTop(bottom - kScreenGap - place.height());
    setGeometry(place);

    if (settings->HintStyle == THintStyle::hsRounded) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(0, 0, size.width(), size.height()), kCornerDiameter / 2,
                             kCornerDiameter / 2);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    } else {
        clearMask();
    }
    show();
    raise();
    update();
}

void TRichHintWindow::paintEvent(QPaintEvent*) {
    const TRichHint* settings = TRichHint::Active();
    if (!settings) return;
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, settings->HintColor);
    const QPalette pal = QGuiApplication::palette();
    if (settings->HintStyle == THintStyle::hsRectangle) {
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), pal.color(QPalette::Midlight));
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), pal.color(QPalette::Midlight));
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), pal.color(QPalette::Shadow));
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), pal.color(QPalette::Shadow));
    } else {
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(0, 0, -1, -1), kCornerDiameter / 2, kCornerDiameter / 2);
    }
    const int left = settings->XMargin + 4;
    const int top = (r.height() - textHeight_) / 2 + settings->YMargin;
    const QRect textRect(left, top, r.width() - 4 - left, r.height() - top);
    p.setFont(settings->HintFont);
    p.setPen(settings->HintFontColor);
    DrawRichText(p, text_, textRect, Options(*settings));
}

}  // namespace app
