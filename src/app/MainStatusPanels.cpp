#include "app/MainStatusPanels.h"

#include "app/TrafficLights.h"
#include "app/richtext/RichStatusBar.h"

#include <QPalette>

namespace app {
namespace {

TRichStatusPanel MakePanel(TRichStatusPanelStyle style, int width, TAlignment alignment,
                           const char* text, const char* hint) {
    TRichStatusPanel panel;
    panel.Style = style;
    panel.Width = width;
    panel.Alignment = alignment;
    panel.Text = QString::fromLatin1(text);
    panel.Hint = QString::fromLatin1(hint);
    panel.Bevel = TRichStatusPanelBevel::pbLowered;
    panel.Enabled = true;
    panel.TimeFormat = QStringLiteral("hh:mm:ss");
    return panel;
}

TProgressStyle FileProgressStyle(const QColor& highlight) {
    TProgressStyle gauge;
    gauge.Indication = TProgressIndication::piPercentage;
    gauge.Min = 0;
    gauge.Max = 100;
    gauge.Position = 0;
    gauge.BackGround = QColor();  // the bar's face colour
    gauge.TextColor = Qt::black;
    gauge.Level0Color = highlight;
    gauge.Level0ColorTo = QColor(0xFF, 0xFB, 0xF0);
    gauge.Level1Color = QColor(0x00, 0xFF, 0x00);
    gauge.Level1ColorTo = QColor(0xFF, 0xFF, 0xCA);
    gauge.Level2Color = QColor(0x00, 0xFF, 0x00);
    gauge.Level2ColorTo = QColor(0xFF, 0xD3, 0xA8);
    gauge.Level3Color = QColor(0xFF, 0x00, 0x00);
    gauge.Level3ColorTo = QColor(0xFF, 0xCA, 0xCA);
    // Beyond any position the queue writes, so 0 to 100 all use level 0.
    gauge.Level1Perc = 200;
    gauge.Level2Perc = 200;
    gauge.ShowBorder = false;
    gauge.Stacked = false;
    gauge.CompletionSmooth = true;
    gauge.ShowGradient = true;
    gauge.ShowPercentage = true;
    return gauge;
}

}  // namespace

std::vector<TRichStatusPanel> MainStatusPanels(const QColor& highlight) {
    using S = TRichStatusPanelStyle;
    constexpr TAlignment centre = TAlignment::taCenter;
    constexpr TAlignment left = TAlignment::taLeftJustify;
    std::vector<TRichStatusPanel> panels = {
        MakePanel(S::psTime, 60, centre, "", "The current time"),
        MakePanel(S::psImage, 100, centre, "Stopped", "Queue status"),
        MakePanel(S::psText, 45, centre, "Files", "Number of files/actions in queue"),
        MakePanel(S::psText, 90, centre, "Pending", "Total size of all files remaining in queue"),
        MakePanel(S::psText, 90, centre, "Speed", "Transfer speed"),
        MakePanel(S::psText, 90, centre, "Remaining", "Estimated time remaining"),
        MakePanel(S::psText, 90, centre, "ETA", "Estimated time of arrival"),
        MakePanel(S::psProgress, 90, left, "Progress", "Current file progress"),
        MakePanel(S::psText, 50, left, "Current File", "Current file and action"),
    };
    panels[PanelQueueState].ImageIndex = LightRed;
    panels[PanelProgress].Progress = FileProgressStyle(highlight);
    return panels;
}

void ConfigureMainStatusBar(TRichStatusBar& bar) {
    bar.setObjectName(QStringLiteral("StatusBar1"));
    bar.setFixedHeight(kMainStatusBarHeight);
    bar.SetSizeGrip(true);
    bar.SetUseSystemFont(true);
    bar.SetShowHint(true);
    bar.SetSimplePanel(false);
    bar.SetImages(MakeTrafficLightsHorizontal());
    bar.ClearPanels();
    for (const TRichStatusPanel& panel : MainStatusPanels(bar.palette().color(QPalette::Highlight)))
        bar.AddPanel(panel);
    bar.Loaded();
}

}  // namespace app
