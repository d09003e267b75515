#pragma once
// Rich-text hints for the whole application. A TRichHint placed on a form
// (the main window) takes over every tooltip of the program: the text before
// "|" of a widget's toolTip() is shown as markup in a TRichHintWindow.
//
// A widget that wants a hint for part of itself (a status bar panel) sets its
// toolTip() to that part's text when the pointer moves onto the part; the
// change of toolTip closes any hint being shown, and the next rest of the
// pointer shows the new one.

#include "app/richtext/RichText.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace app {

enum class THintStyle { hsRectangle, hsRounded };

class TRichHintWindow;

class TRichHint : public QObject {
    Q_OBJECT
public:
    // Throws platform::Failure when owner is not a form ("Control parent must
    // be a form!") or already has one ("Only one instance of TRichHint allowed
    // on form").
    explicit TRichHint(QWidget* owner);
    ~TRichHint() override;

    // The TRichHint whose settings the hint window uses: the first one created
    // that still exists, or null.
    static TRichHint* Active();

    // The window used for this application's hints (created on first use).
    TRichHintWindow* HintWindow();

    // The hint text of a widget's toolTip: everything before the first "|".
    static QString ShortHint(const QString& hint);

    QColor HintColor;
    QFont HintFont;
    QColor HintFontColor;
    THintStyle HintStyle = THintStyle::hsRectangle;
    int MaxWidth = 0;  // 0: the width of the screen
    QColor URLColor = QColor(0x00, 0x00, 0x00);
    int XMargin = 2;
    int YMargin = 2;
    bool Ellipsis = false;
    QColor ShadowColor = QColor(0x80, 0x80, 0x80);
    int ShadowOffset = 1;
    const QList<QPixmap>* Images = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowHintFor(QWidget* widget, const QPoint& globalPos);
    void CancelHint();

    std::unique_ptr<TRichHintWindow> window_;
    QPointer<QWidget> hinted_;
    QTimer hideTimer_;
};

class TRichHintWindow : public QWidget {
    Q_OBJECT
public:
    TRichHintWindow();

    // Sizes the window for text, puts its top-left corner at rect's top-left
    // (kept 2 px inside the nearest screen) and shows it without taking the
    // focus. Without an active TRichHint nothing is shown.
    void ActivateHint(const QRect& rect, const QString& text);

    // The size the window takes for text with the given settings.
    QSize CalcHintSize(const TRichHint& settings, const QString& text, int widthLimit) const;

    const QString& Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RichTextOptions Options(const TRichHint& settings) const;

    QString text_;
    int textHeight_ = 0;
};

}  // namespace app
