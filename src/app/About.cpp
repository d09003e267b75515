#include "app/About.h"

#include "app/JpegImage.h"
#include "app/richtext/RichLabel.h"
#include "platform/widgets/DialogFrame.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>

#include <memory>

namespace app {

namespace {

QFont AboutFont(int points) {
    QFont font = platform::ProgramFont();
    font.setPointSize(points);
    return font;
}

TRichLabel* NewAboutLabel(QWidget* parent, const QRect& geometry, const QString& name,
                          const QString& line, int points, const QColor& color) {
    auto* label = new TRichLabel(parent);
    label->setGeometry(geometry);
    label->setFont(AboutFont(points));
    label->SetFontColor(color);
    label->SetTransparent(true);
    label->SetBevelInner(TBevelCut::bvRaised);
    label->SetBevelOuter(TBevelCut::bvNone);
    label->SetBevelWidth(2);
    label->SetBorderStyle(TBorderStyle::bsNone);
    label->SetVAlignment(TVAlignment::tvaTop);
    label->SetAutoSizing(false);
    label->SetEllipsis(false);
    label->SetHover(true);
    label->SetHoverFontColor(Qt::red);
    label->SetHoverColor(QColor());
    label->SetURLColor(Qt::blue);
    label->SetShadowColor(QColor(0x80, 0x80, 0x80));
    label->SetShadowOffset(2);
    label->setObjectName(name);
    label->SetHTMLText({line});
    return label;
}

}  // namespace

QString FillTemplateLine(const QString& line, const std::function<QString(const QString&)>& value) {
    QString text = line;
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u'{', from);
        if (open < 0) break;
        const qsizetype close = text.indexOf(u'}', open + 1);
        if (close < 0) break;
        const QString inserted = value(text.mid(open + 1, close - open - 1));
        text.replace(open, close - open + 1, inserted);
        // Searching on after the value, not from the start of the line: a
        // value that holds its own placeholder must not be expanded forever.
        from = open + inserted.size();
    }
    return text;
}

QImage AboutBanner() {
    QFile file(QStringLiteral(":/app/banner.jpg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return DecodeJpeg(file.readAll());
}

TfrmAbout::TfrmAbout(QWidget* parent) : TfrmAbout(TExeInfo(), AboutBanner(), parent) {}

TfrmAbout::TfrmAbout(TExeInfo info, const QImage& banner, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ExeInfo1(std::move(info)) {
    setWindowTitle(QStringLiteral("About this product"));
    setAccessibleName(windowTitle());
    setFixedSize(526, 314);
    setFont(AboutFont(10));
    platform::SetBackground(this, Qt::white);

    Image1 = new QLabel(this);
    Image1->setGeometry(10, 5, 500, 81);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(banner));
    Image1->setAccessibleName(QStringLiteral("Banner"));

    const QColor text = palette().color(QPalette::WindowText);
    htmAppName = NewAboutLabel(this, QRect(15, 95, 496, 36), QStringLiteral("htmAppName"),
                               QStringLiteral("{InternalName}"), 14, Qt::blue);
    htmProductInfo =
        NewAboutLabel(this, QRect(15, 140, 241, 66), QStringLiteral("htmProductInfo"),
                      QStringLiteral("{ProductName}<br>Version {ProductVersion}"), 10, text);
    htmCopyright = NewAboutLabel(this, QRect(15, 220, 241, 81), QStringLiteral("htmCopyright"),
                                 QStringLiteral("{LegalCopyright}<br>{LegalTradeMark}"), 10, text);

    btnOk = platform::NewFlatButton(
        this, platform::RoundMarkIcon(platform::RoundMark::Tick, 32), QRect(475, 265, 36, 36),
        QStringLiteral("<b>Ok</b><br>Close this window"), QStringLiteral("OK"));
    btnOk->setAccessibleDescription(QStringLiteral("Close this window"));
    connect(btnOk, &QToolButton::clicked, this, &TfrmAbout::btnOkClick);

    // The form sees every key before its controls do.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void TfrmAbout::FormShow() {
    const auto value = [this](const QString& key) { return ExeInfo1.Value(key); };
    for (TRichLabel* label : {htmAppName, htmProductInfo, htmCopyright}) {
        QStringList lines = label->HTMLText();
        for (QString& line : lines)
            line = FillTemplateLine(line, value);
        label->SetHTMLText(lines);
    }
}

void TfrmAbout::btnOkClick() {
    accept();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
    platform::CentreOnScreen(this);
}

bool TfrmAbout::FormKeyPress(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    accept();
    return true;
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
    if (FormKeyPress(event->key())) return;
    QDialog::keyPressEvent(event);
}

void ShowAboutDialog(QWidget* parent) {
    const auto dialog = std::make_unique<TfrmAbout>(parent);
    dialog->exec();
}

}  // namespace app
