#include "app/About.h"
#include "app/ExeInfo.h"
#include "app/JpegImage.h"
#include "app/richtext/RichLabel.h"
#include "support/widgets/WhenModal.h"

#include <QAccessible>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace app;

namespace {

QByteArray StoredBanner() {
    QFile file(QStringLiteral(":/app/banner.jpg"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(AboutTemplateTest, PlaceholdersReplacedUnmatchedBraceEndsTheLine) {
    const auto value = [](const QString& key) {
        if (key == QLatin1String("ProductName")) return QStringLiteral("Ferrovant");
        if (key == QLatin1String("ProductVersion")) return QStringLiteral("0.1.0");
        if (key == QLatin1String("Loop")) return QStringLiteral("{Loop}");
        return QString();
    };
    const struct {
        const char* line;
        const char* shown;
    } cases[] = {
        {"{Unknown}x", "x"},
        {"a{b", "a{b"},
        {"{ProductName} {ProductVersion}", "Ferrovant 0.1.0"},
        {"{productname}", ""},
        {"x{ProductName}y{z", "xFerrovanty{z"},
        {"}{ProductName}", "}Ferrovant"},
        {"{Loop}!", "{Loop}!"},
        {"no braces", "no braces"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FillTemplateLine(QString::fromLatin1(c.line), value),
                  QString::fromLatin1(c.shown))
            << c.line;
}

TEST(ExeInfoTest, VersionTextsAndPlaceholderKeys) {
    const TExeInfo none{std::nullopt};
    for (const char* key : {"CompanyName", "LegalTradeMark", "ProductVersion", "Comments"})
        EXPECT_EQ(none.Value(QString::fromLatin1(key)), UpdatedAtRunTime) << key;

    const TExeInfo partial{VersionStrings{{"ProductName", "P"}, {"LegalTradeMarks", "TM"}}};
    EXPECT_EQ(partial.Value("ProductName"), "P");
    EXPECT_EQ(partial.Value("LegalTradeMark"), "TM");
    EXPECT_EQ(partial.Value("LegalTradeMarks"), "");
    EXPECT_EQ(partial.Value("CompanyName"), "");
    EXPECT_EQ(partial.Value("Version"), "1.1.0.0");
    EXPECT_EQ(partial.Value("OSName"), "Unknown");

    const TExeInfo own;
    EXPECT_EQ(own.ProductName, "Ferrovant");
    EXPECT_FALSE(own.ProductVersion.isEmpty());
    EXPECT_LE(own.Value("ComputerName").size(), 15);
    for (const char* key : {"TempDir", "WindowsDir", "SystemDir"}) {
        const QString dir = own.Value(QString::fromLatin1(key));
        EXPECT_TRUE(dir.size() >= 3 && dir[1] == u':' && dir.endsWith(u'\\')) << key;
    }
    EXPECT_TRUE(own.Value("WindowsDir").endsWith("usr\\"));
}

TEST(ExeInfoTest, OperatingSystemNames) {
    using K = OsVersion::Kind;
    const struct {
        std::optional<OsVersion> version;
        const char* name;
    } cases[] = {
        {OsVersion{K::Consumer, 4, 10, " A "}, "Windows 98 SE"},
        {OsVersion{K::Consumer, 4, 10, ""}, "Windows 98"},
        {OsVersion{K::NT, 3, 51, ""}, "Windows NT"},
        {OsVersion{K::NT, 5, 1, "Service Pack 2"}, "Windows XP"},
        {OsVersion{K::NT, 6, 1, ""}, "Unknown"},
        {OsVersion{K::Other, 5, 1, ""}, "Unknown"},
        {std::nullopt, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OSNameOf(c.version), QString::fromLatin1(c.name)) << c.name;
}

TEST(JpegTest, StoredBannerDecodesBrokenDataGivesNothing) {
    const QByteArray banner = StoredBanner();
    const QImage image = DecodeJpeg(banner);
    EXPECT_EQ(image.size(), QSize(500, 81));
    EXPECT_EQ(image.pixelColor(250, 40), QImage::fromData(banner).pixelColor(250, 40));

    QByteArray flipped = banner;
    for (qsizetype i = banner.size() / 3; i < banner.size() / 3 + 64; ++i)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    QByteArray wide = banner;  // SOF0 width far beyond any banner
    const qsizetype sof = wide.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    wide[sof + 7] = '\x7F';
    for (const QByteArray& broken :
         {QByteArray(), QByteArray("not a picture"), banner.left(600), flipped, wide})
        EXPECT_TRUE(DecodeJpeg(broken).isNull()) << broken.size();
}

class AboutDialogTest : public ::testing::Test {
protected:
    TfrmAbout about_{TExeInfo{VersionStrings{{"InternalName", "Ferrovant"},
                                             {"ProductName", "Ferrovant"},
                                             {"ProductVersion", "0.1.0"},
                                             {"LegalCopyright", "(c) us"}}},
                     DecodeJpeg(StoredBanner())};
};

TEST_F(AboutDialogTest, ShowingFillsTheTemplates) {
    EXPECT_EQ(about_.htmProductInfo->Text(), "{ProductName}<br>Version {ProductVersion}");
    EXPECT_EQ(about_.size(), QSize(526, 314));
    about_.show();
    EXPECT_EQ(about_.htmAppName->Text(), "Ferrovant");
    EXPECT_EQ(about_.htmProductInfo->Text(), "Ferrovant<br>Version 0.1.0");
    EXPECT_EQ(about_.htmCopyright->Text(), "(c) us<br>");
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(about_.htmProductInfo);
    ASSERT_NE(spoken, nullptr);
    EXPECT_EQ(spoken->role(), QAccessible::StaticText);
    EXPECT_EQ(spoken->text(QAccessible::Name), "Ferrovant\nVersion 0.1.0");
    EXPECT_EQ(about_.htmCopyright->BevelInner(), TBevelCut::bvRaised);
    EXPECT_FALSE(about_.Image1->pixmap().isNull());
    EXPECT_FALSE(about_.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(AboutDialogTest, OkEnterAndEscapeClose) {
    const std::function<void(QDialog*)> closers[] = {
        [](QDialog* d) { static_cast<TfrmAbout*>(d)->btnOk->click(); },
        [](QDialog* d) { QTest::keyClick(static_cast<TfrmAbout*>(d)->btnOk, Qt::Key_Return); },
        [](QDialog* d) { QTest::keyClick(static_cast<TfrmAbout*>(d)->htmAppName, Qt::Key_Escape); },
        [](QDialog* d) { QTest::keyClick(d, Qt::Key_Enter); },
    };
    for (const auto& close : closers) {
        bool closedByAction = false;
        testsupport::WhenModalShows([&](QDialog* d) {
            close(d);
            closedByAction = !d->isVisible();
        });
        about_.exec();
        EXPECT_TRUE(closedByAction);
    }
}

}  // namespace
