// The gauge panel and the traffic-light pictures: what lands on the screen.
#include "app/MainStatusPanels.h"
#include "app/TrafficLights.h"
#include "app/richtext/RichStatusBar.h"
#include "app/richtext/StatusGauge.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace app;

TEST(StatusGauge, ValueAndBarLengthRoundHalvesToEven) {
    TProgressStyle absolute;
    absolute.Indication = TProgressIndication::piAbsolute;
    absolute.Min = 0;
    absolute.Max = 200;
    struct Case {
        int position;
        int value;
    } values[] = {{25, 12}, {75, 38}, {200, 100}, {0, 0}};
    for (const Case& c : values) {
        absolute.Position = c.position;
        EXPECT_EQ(GaugeValue(absolute), c.value) << c.position;
    }
    absolute.Max = absolute.Min;
    EXPECT_EQ(GaugeValue(absolute), 0);

    struct Length {
        int value, width, length;
    } lengths[] = {{50, 88, 44}, {100, 88, 88}, {0, 88, 0},    {1, 88, 1},  {33, 88, 29},
                   {25, 2, 0},   {75, 2, 2},    {150, 88, 88}, {-5, 88, 0}, {50, -2, 0}};
    for (const Length& c : lengths)
        EXPECT_EQ(GaugeBarLength(c.value, c.width), c.length) << c.value << " of " << c.width;
}

TEST(StatusGauge, LevelColoursByThreshold) {
    TProgressStyle style;  // thresholds 70 and 90
    struct Case {
        int value;
        QColor main;
    } cases[] = {{69, style.Level0Color}, {70, style.Level1Color}, {89, style.Level1Color},
                 {90, style.Level2Color}, {99, style.Level2Color}, {100, style.Level3Color}};
    for (const Case& c : cases)
        EXPECT_EQ(GaugeLevelColors(style, c.value).main, c.main) << c.value;

    style.Level1Perc = style.Level2Perc = 200;  // the main window's gauge
    EXPECT_EQ(GaugeLevelColors(style, 100).main, style.Level0Color);
}

TEST(StatusGauge, GradientIsElevenBandsOfEvenSteps) {
    QImage image(4, 11, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintBandGradient(painter, image.rect(), QColor(0, 0, 0), QColor(110, 0, 220));
    }
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(image.pixelColor(2, k), QColor(10 * k, 0, 20 * k)) << k;
    }
}

// Paints a 90 x 20 gauge and returns it; `magenta` marks what was not painted.
QImage PaintedGauge(const TProgressStyle& style) {
    QImage image(90, 20, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    PaintGauge(painter, image.rect(), style, QFont(), QColor(0xEF, 0xEF, 0xEF));
    return image;
}

TEST(StatusGauge, BarSpansItsShareOfTheInnerWidthShadedToTheEdges) {
    TProgressStyle style;
    style.CompletionSmooth = true;
    style.ShowPercentage = false;
    style.Level0Color = QColor(0x30, 0x60, 0xC0);
    style.Level0ColorTo = QColor(0xFF, 0xFB, 0xF0);
    style.Level1Perc = style.Level2Perc = 200;  // one level throughout
    const QColor face(0xEF, 0xEF, 0xEF);
    struct Case {
        int position;
        int length;
    } cases[] = {{0, 0}, {50, 44}, {100, 88}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        style.Position = c.position;
        const QImage image = PaintedGauge(style);
        const int split = 1 + (18 - 1) / 2;  // bar rows 1..17
        int barPixels = 0;
        for (int x = 0; x < 90; ++x)
            if (image.pixelColor(x, split) != face) ++barPixels;
        EXPECT_EQ(barPixels, c.length);
        if (c.length == 0) continue;
        EXPECT_EQ(image.pixelColor(1, split), style.Level0Color);
        EXPECT_EQ(image.pixelColor(1, 1), style.Level0ColorTo);         // top edge
        EXPECT_EQ(image.pixelColor(c.length, 1), style.Level0ColorTo);  // last bar column
        EXPECT_EQ(image.pixelColor(c.length + 1, 1), face);
        EXPECT_EQ(image.pixelColor(1, 18), face);     // the rows under the bar stay face
        EXPECT_EQ(image.pixelColor(0, split), face);  // 1 px margin on the left
    }
}

TEST(StatusGauge, PercentageTextIsCentredAndZeroShowsOnlyTheText) {
    TProgressStyle style;
    style.CompletionSmooth = true;
    style.Position = 0;
    const QImage image = PaintedGauge(style);
    const QColor face(0xEF, 0xEF, 0xEF);
    int minX = 90, maxX = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 90; ++x) {
            const QColor c = image.pixelColor(x, y);
            ASSERT_NE(c, QColor(Qt::magenta));  // the whole panel is painted
            if (c == face) continue;
            EXPECT_LT(c.lightness(), face.lightness()) << x << "," << y;  // only dark text
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
        }
    ASSERT_GE(maxX, minX) << "no \"0%\" drawn";
    EXPECT_NEAR((minX + maxX) / 2.0, 45.0, 2.0);
    EXPECT_EQ(GaugeText(style, 0), QStringLiteral("0%"));

    style.Indication = TProgressIndication::piAbsolute;
    style.Prefix = QStringLiteral("(");
    style.Suffix = QStringLiteral(" files)");
    style.Position = 7;
    EXPECT_EQ(GaugeText(style, GaugeValue(style)), QStringLiteral("(7 files)"));
}

TEST(StatusGauge, MainWindowGaugeAtHalfFillsFortyFourPixels) {
    TRichStatusBar bar;
    ConfigureMainStatusBar(bar);
    bar.resize(800, kMainStatusBarHeight);
    bar.SetPanelPosition(PanelProgress, 50);
    const QRect r = bar.PanelRect(PanelProgress);
    ASSERT_EQ(r.width(), 90);
    const QImage shot = bar.grab().toImage();
    const QColor cream(0xFF, 0xFB, 0xF0);
    int filled = 0;
    for (int x = r.left(); x <= r.right(); ++x)
        if (shot.pixelColor(x, r.top() + 1) == cream) ++filled;
    EXPECT_EQ(filled, 44);
    EXPECT_EQ(shot.pixelColor(r.left() + 1, r.top() + 1), cream);
}

TEST(TrafficLights, EachPictureLightsItsOwnLamp) {
    const TImageList lights = MakeTrafficLightsHorizontal();
    ASSERT_EQ(lights.Count(), 4);
    struct Case {
        int image;
        int litLamp;  // -1: none
        QRgb hue;     // dominant channels of the lit lamp
    } cases[] = {{LightsOff, -1, 0},
                 {LightGreen, 2, qRgb(0, 255, 0)},
                 {LightAmber, 1, qRgb(255, 160, 0)},
                 {LightRed, 0, qRgb(255, 0, 0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const QImage image = lights.Image(c.image);
        ASSERT_EQ(image.size(), QSize(32, 15));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // transparent corners
        EXPECT_EQ(qAlpha(image.pixel(31, 14)), 0);
        for (int lamp = 0; lamp < 3; ++lamp) {
            const QPointF centre = TrafficLampCentre(lamp);
            const QColor colour = image.pixelColor(centre.toPoint());
            EXPECT_EQ(colour.alpha(), 255);
            if (lamp != c.litLamp) {
                EXPECT_LT(colour.value(), 110) << "lamp " << lamp << " should be dark";
                continue;
            }
            EXPECT_GT(colour.value(), 200) << "lamp " << lamp << " should be lit";
            const QColor hue = QColor::fromRgb(c.hue);
            EXPECT_EQ(colour.red() > colour.blue() + 60, hue.red() > 0);
            EXPECT_EQ(colour.green() > colour.blue() + 60, hue.green() > 0);
        }
    }
    EXPECT_TRUE(lights.Image(4).isNull());
    EXPECT_TRUE(lights.Image(-1).isNull());
}

}  // namespace
