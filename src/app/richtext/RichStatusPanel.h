#pragma once
// One panel of the status bar and the settings of a gauge panel. Plain data:
// the bar owns the panels and redraws them when they change through it.

#include <QColor>
#include <QString>

namespace app {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

enum class TRichStatusPanelBevel { pbNone, pbLowered, pbRaised };

enum class TRichStatusPanelStyle {
    psHTML,
    psText,
    psOwnerDraw,
    psTime,
    psDate,
    psNumLock,
    psCapsLock,
    psScrollLock,
    psProgress,
    psImage,
    psImageList,
    psAnimation,
    psEllipsText,
    psFileEllipsText,
};

enum class TProgressIndication { piPercentage, piAbsolute, piNone };

struct TProgressStyle {
    int Min = 0;
    int Max = 100;
    int Position = 0;
    TProgressIndication Indication = TProgressIndication::piPercentage;
    QColor BackGround;  // invalid: the bar's face colour, resolved when drawn
    QColor TextColor = Qt::black;
    QColor Level0Color = QColor(0x00, 0xFF, 0x00);
    QColor Level0ColorTo = QColor(0xE1, 0xFF, 0xE1);
    QColor Level1Color = QColor(0xFF, 0xFF, 0x00);
    QColor Level1ColorTo = QColor(0xFF, 0xFF, 0xCA);
    QColor Level2Color = QColor(0xFF, 0xA9, 0x53);
    QColor Level2ColorTo = QColor(0xFF, 0xD3, 0xA8);
    QColor Level3Color = QColor(0xFF, 0x00, 0x00);
    QColor Level3ColorTo = QColor(0xFF, 0xCA, 0xCA);
    int Level1Perc = 70;
    int Level2Perc = 90;
    QColor BorderColor = Qt::black;
    bool ShowBorder = false;
    bool Stacked = false;
    bool ShowPercentage = true;
    bool CompletionSmooth = false;
    bool ShowGradient = true;
    QString Prefix;
    QString Suffix;
};

struct TRichStatusPanel {
    QString Text;
    int Width = 50;
    TAlignment Alignment = TAlignment::taLeftJustify;
    TRichStatusPanelBevel Bevel = TRichStatusPanelBevel::pbLowered;
    TRichStatusPanelStyle Style = TRichStatusPanelStyle::psHTML;
    QString TimeFormat = QStringLiteral("hh:mm:ss");
    QString DateFormat = QStringLiteral("mm/dd/yyyy");
    QString Hint;
    int ImageIndex = -1;
    bool Enabled = true;
    TProgressStyle Progress;
};

}  // namespace app
