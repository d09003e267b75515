#pragma once
// The status bar: a row of panels laid out by their widths, the last one
// taking the rest. It keeps its clock panels current on its own 100 ms tick,
// draws text, image and gauge panels, and answers hint requests with the hint
// of the panel under the pointer. Everything else it shows is written into it
// through SetPanelText / SetPanelImage / SetPanelPosition.

#include "app/ImageList.h"
#include "app/RichStatusPanel.h"
#include "platform/widgets/AccessibleEntries.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace app {

class TRichStatusBar : public QWidget, public platform::AccessibleEntrySource {
    Q_OBJECT

public:
    // Panels beyond this many are kept but neither laid out nor drawn.
    static constexpr int kMaxLaidOutPanels = 128;
    static constexpr int kDefaultHeight = 19;
    static constexpr int kGripSize = 13;

    explicit TRichStatusBar(QWidget* parent = nullptr);

    // The panel set. Adding a clock or date panel fills in its text at once,
    // so it never shows a stale design-time text.
    int AddPanel(const TRichStatusPanel& panel = {});
    void ClearPanels();
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    // Throws platform::EListError for an index outside the panels.
    const TRichStatusPanel& Panel(int index) const;
    void SetPanel(int index, const TRichStatusPanel& panel);
    void SetPanelWidth(int index, int width);

    // The three writers the queue display uses. SetPanelText with the text
    // already shown does nothing; the other two always redraw the panel.
    // An index outside the panels throws platform::EListError.
    void SetPanelText(int index, const QString& text);
    void SetPanelImage(int index, int imageIndex);
    void SetPanelPosition(int index, int position);

    void SetImages(const TImageList& images);
    const TImageList& Images() const { return images_; }

    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool on);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on);
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool on);
    QString SimpleText() const { return simpleText_; }
    void SetSimpleText(const QString& text);
    bool UseSystemFont() const { return useSystemFont_; }
    void SetUseSystemFont(bool on);
    QColor URLColor() const { return urlColor_; }
    void SetURLColor(const QColor& color) { urlColor_ = color; }
    bool AnchorHint() const { return anchorHint_; }
    void SetAnchorHint(bool on) { anchorHint_ = on; }

    // Draws psOwnerDraw panels; without it they stay empty.
    std::function<void(QPainter&, int index, const QRect& rect)> OnDrawPanel;

    // 0 to 10, one step per tick; blinking and animation follow it.
    int TickPhase() const { return tickPhase_; }
    // One step of the 100 ms timer: refreshes the clock and date panels, then
    // advances TickPhase. Public so the owner and tests can drive it.
    void Tick();
    // The update pass of Tick without advancing the phase; run when the owner
    // has finished setting the bar up, so the clock shows before the first tick.
    void Loaded();

    // Layout, in bar coordinates. PanelRect is the panel's drawing rectangle
    // (empty for a panel outside the layout); PanelTextRect where its text goes.
    QRect PanelRect(int index) const;
    QRect PanelTextRect(int index) const;
    // The panel whose extent, both edges included, holds x; -1 when none.
    // The pixel two panels share therefore belongs to the left one.
    int PanelAt(int x) const;
    // The hint to show with the pointer at x (empty: none).
    QString HintAt(int x) const;

    // Redraw requests made for single panels since creation; the cost measure
    // of the "unchanged text costs no redraw" rule.
    int RedrawCount() const { return redrawCount_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Each panel reads as a text with its hint as description; a gauge
    // panel reads its position in percent.
    QAccessible::Role AccessibleRole() const override { return QAccessible::StatusBar; }
    QAccessible::Role AccessibleEntryRole() const override { return QAccessible::StaticText; }
    int AccessibleEntryCount() const override { return PanelCount(); }
    platform::AccessibleEntry AccessibleEntryAt(int index) const override;
    QRect AccessibleEntryRect(int index) const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TRichStatusPanel& At(int index);
    int LaidOutCount() const;
    int PanelLeft(int index) const;
    bool GripShown() const;
    QRect GripRect() const;
    QColor FaceColor() const;
    void InvalidatePanel(int index);
    void RefreshClockPanels();
    void UpdateHover(int x);
    void DrawPanel(QPainter& painter, int index);
    void DrawTextPanel(QPainter& painter, const TRichStatusPanel& panel, const QRect& rect);
    void DrawImagePanel(QPainter& painter, int index);
    void DrawBevel(QPainter& painter, const QRect& rect, TRichStatusPanelBevel bevel) const;
    void DrawGrip(QPainter& painter) const;

    std::vector<TRichStatusPanel> panels_;
    TImageList images_;
    QTimer tickTimer_;
    int tickPhase_ = 0;
    int redrawCount_ = 0;
    int hoverPanel_ = -1;
    bool sizeGrip_ = true;
    bool showHint_ = true;
    bool simplePanel_ = false;
    bool useSystemFont_ = true;
    bool anchorHint_ = false;
    QString simpleText_;
    QColor urlColor_ = Qt::blue;
};

}  // namespace app
