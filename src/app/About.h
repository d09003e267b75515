#pragma once
// The About dialog: the banner, the program's name, product name and version
// and its legal texts. Its labels carry templates with {Key} placeholders,
// filled from TExeInfo each time the dialog is shown. A new dialog is made
// for every opening, so nothing is kept between two.

#include "app/ExeInfo.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QLabel;
class QToolButton;

namespace app {

class TRichLabel;

// Replaces each {Key} of a template line by its value. An unmatched "{" ends
// the filling: the rest of the line stays as it stands, brace included.
// Values are not searched again, so a value holding braces stays as it is.
QString FillTemplateLine(const QString& line, const std::function<QString(const QString&)>& value);

// The banner stored with the program, decoded; a null image when it is broken.
QImage AboutBanner();

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    // Tests: other version texts and another banner.
    TfrmAbout(TExeInfo info, const QImage& banner, QWidget* parent = nullptr);

    // Fills the templates of htmAppName, htmProductInfo and htmCopyright.
    void FormShow();
    void btnOkClick();

    TExeInfo ExeInfo1;
    QLabel* Image1;
    TRichLabel* htmAppName;
    TRichLabel* htmProductInfo;
    TRichLabel* htmCopyright;
    QToolButton* btnOk;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Enter and Escape close the dialog wherever the focus is.
    bool FormKeyPress(int key);
};

// The About button's whole work: a new dialog, shown modally, destroyed when it closes.
void ShowAboutDialog(QWidget* parent);

}  // namespace app
