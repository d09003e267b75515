// The window stays readable whatever palette the desktop gives: each text and
// tick box is measured on the rendered window against its own background.
#include "app/MainUnit.h"
#include "app/richtext/RichStatusBar.h"
#include "platform/Guard.h"
#include "platform/widgets/AccessibleEntries.h"
#include "platform/widgets/StringGridEx.h"
#include "support/HostFiles.h"
#include "support/TempDrives.h"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

double Luminance(QRgb rgb) {
    const auto channel = [](int v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The most frequent colour of the area is its background; what is drawn on
// it is the colour that stands out most.
double ForegroundContrast(const QImage& image, const QRect& area) {
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, Contrast(it.key(), background));
    return best;
}

QPalette DarkDesktop() {
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2B, 0x2B, 0x2B));
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
        p.setColor(group, QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
        p.setColor(group, QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
        p.setColor(group, QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
        p.setColor(group, QPalette::AlternateBase, QColor(0x30, 0x30, 0x30));
        p.setColor(group, QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
        p.setColor(group, QPalette::HighlightedText, QColor(0xFC, 0xFC, 0xFC));
        p.setColor(group, QPalette::Dark, QColor(0x18, 0x18, 0x18));
    }
    return p;
}

TEST(ProgramLook, TextsAndTickBoxesStayReadableUnderAnyDesktopPalette) {
    const QPalette desktopDefault = QApplication::palette();
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{desktopDefault};

    for (const auto& [name, desktop] :
         {std::pair{"default", desktopDefault}, std::pair{"dark", DarkDesktop()}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(desktop);
        testsupport::TempDrives drives;
        drives.writeFile("C:\\a.txt", "a");
        QTemporaryDir dir;
        testsupport::WriteAll(
            dir.filePath("ferrovant.csv"),
            "Row,Source Directory,Filename,Target Directory,Real Size,File Size,Action,Status\r\n"
            "1,C:\\Src,a.txt,D:\\Tgt,2048.00,2.00 KB,Copy,Pending\r\n");
        app::TMainForm form(
            {dir.filePath("ferrovant.ini"), dir.filePath("ferrovant.csv"), QStringLiteral("C:\\")});
        platform::Guard([&] { form.FormActivate(); });
        form.show();
        const QImage shot = form.grab().toImage();
        const auto inForm = [&](const QWidget* w, const QRect& r) {
            return QRect(w->mapTo(&form, r.topLeft()), r.size());
        };

        std::vector<std::pair<QString, QRect>> areas;
        for (const int panel : {0, 2, 3}) {
            // Inside the panel's bevel.
            const QRect text = form.StatusBar1->PanelRect(panel).adjusted(2, 2, -2, -2);
            areas.emplace_back(QStringLiteral("status panel %1").arg(panel),
                               inForm(form.StatusBar1, text));
        }
        for (const char* label : {"pnlDriveSpaceLeft", "pnlDriveSpaceRight"}) {
            const auto* space = form.findChild<QLabel*>(QString::fromLatin1(label));
            ASSERT_NE(space, nullptr) << label;
            // Inside its lowered bevel.
            areas.emplace_back(label, inForm(space, space->rect().adjusted(3, 3, -3, -3)));
        }
        areas.emplace_back("lblVersion", inForm(form.lblVersion, form.lblVersion->rect()));
        const QWidget* viewport = form.GridQueue->viewport();
        areas.emplace_back(
            "a table cell",
            inForm(viewport, form.GridQueue->visualRect(form.GridQueue->model()->index(0, 2))));
        auto* files = form.findChild<QWidget*>(QStringLiteral("FileListLeft"));
        auto* entries = dynamic_cast<platform::AccessibleEntrySource*>(files);
        ASSERT_NE(entries, nullptr);
        const QRect entry = entries->AccessibleEntryRect(0);
        ASSERT_FALSE(entry.isEmpty());
        areas.emplace_back("a tick box",
                           QRect(form.mapFromGlobal(entry.topLeft()), QSize(17, entry.height())));

        for (const auto& [what, area] : areas) {
            ASSERT_FALSE(area.isEmpty()) << what.toStdString();
            EXPECT_GE(ForegroundContrast(shot, area), 4.5) << what.toStdString();
        }
    }
}

}  // namespace
