// The status bar as the main window uses it: layout, clock, redraw economy,
// hints and the image panel's text slot.
#include "app/MainStatusPanels.h"
#include "app/PanelTimeFormat.h"
#include "app/RichStatusBar.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/widgets/AccessibleEntries.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

using namespace app;

platform::TDateTime At(int h, int m, int s) {
    return platform::ToDateTime(QDateTime(QDate(2026, 3, 7), QTime(h, m, s)));
}

// A fixed clock and locale for one test, restored afterwards.
class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetLocale(platform::EnglishLocale());
        SetTime(14, 5, 9);
    }
    void TearDown() override {
        platform::SetClock({});
        platform::SetLocale(platform::EnglishLocale());
    }
    void SetTime(int h, int m, int s) {
        const platform::TDateTime now = At(h, m, s);
        platform::SetClock([now] { return now; });
    }
    // The main window's bar at a given width, outside any window.
    std::unique_ptr<TRichStatusBar> MainBar(int width = 800) {
        auto bar = std::make_unique<TRichStatusBar>();
        ConfigureMainStatusBar(*bar);
        bar->resize(width, kMainStatusBarHeight);
        return bar;
    }
};

TEST_F(StatusBarTest, MainPanelsEndAtTheirDesignedEdgesAndOnlyTheLastWidens) {
    auto bar = MainBar(800);
    ASSERT_EQ(bar->PanelCount(), MainStatusPanelCount);
    const int rightEdges[] = {60, 160, 205, 295, 385, 475, 565, 655};
    auto edgesOf = [&] {
        std::vector<int> edges;
        for (int i = 0; i < 8; ++i) {
            const QRect r = bar->PanelRect(i);
            edges.push_back(r.left() + r.width());
        }
        return edges;
    };
    EXPECT_EQ(edgesOf(), std::vector<int>(std::begin(rightEdges), std::end(rightEdges)));
    const int lastWidth = bar->PanelRect(8).width();
    EXPECT_EQ(bar->PanelRect(8).left(), 655);
    EXPECT_GT(lastWidth, bar->Panel(8).Width);

    bar->resize(1000, kMainStatusBarHeight);
    EXPECT_EQ(edgesOf(), std::vector<int>(std::begin(rightEdges), std::end(rightEdges)));
    EXPECT_EQ(bar->PanelRect(8).width(), lastWidth + 200);

    // Narrower than the fixed panels: the last one shrinks to nothing, never below.
    bar->resize(600, kMainStatusBarHeight);
    EXPECT_EQ(bar->PanelRect(8).width(), 0);

    // A changed width moves every panel to its right.
    bar->resize(1000, kMainStatusBarHeight);
    bar->SetPanelWidth(2, 55);
    EXPECT_EQ(edgesOf(), (std::vector<int>{60, 160, 215, 305, 395, 485, 575, 665}));
    EXPECT_EQ(bar->PanelRect(8).left(), 665);
}

// The ink of a text panel sits where its alignment says, and a disabled panel
// is drawn in silver.
TEST_F(StatusBarTest, TextPanelsFollowTheirAlignment) {
    TRichStatusBar bar;
    bar.resize(400, 22);
    TRichStatusPanel panel;
    panel.Style = TRichStatusPanelStyle::psText;
    panel.Width = 120;
    panel.Text = QStringLiteral("Files");
    bar.AddPanel(panel);
    bar.AddPanel();  // the stretching one, empty
    const QColor face = bar.palette().color(QPalette::Window);
    struct Ink {
        int leftGap, rightGap, darkest;
    };
    auto inkOf = [&] {
        const QImage shot = bar.grab().toImage();
        const QRect text = bar.PanelTextRect(0);
        int minX = 1000, maxX = -1, darkest = 255;
        for (int y = text.top() + 1; y < text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c == face) continue;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                darkest = std::min(darkest, c.lightness());
            }
        return Ink{minX - text.left(), text.right() - maxX, darkest};
    };
    struct Case {
        TAlignment alignment;
        bool enabled;
    } cases[] = {{TAlignment::taLeftJustify, true},
                 {TAlignment::taCenter, true},
                 {TAlignment::taRightJustify, true},
                 {TAlignment::taCenter, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.alignment));
        panel.Alignment = c.alignment;
        panel.Enabled = c.enabled;
        bar.SetPanel(0, panel);
        const Ink ink = inkOf();
        ASSERT_GE(ink.leftGap, 0);
        ASSERT_GE(ink.rightGap, 0);
        if (c.alignment == TAlignment::taLeftJustify) {
            EXPECT_LE(ink.leftGap, 1);
        } else if (c.alignment == TAlignment::taRightJustify) {
            EXPECT_LE(ink.rightGap, 1);
        } else {
            EXPECT_LE(std::abs(ink.leftGap - ink.rightGap), 2);
        }
        if (c.enabled) {
            EXPECT_LT(ink.darkest, 80);
        } else {
            EXPECT_GE(ink.darkest, 0xC0 - 8);  // silver, never darker
        }
    }
}

TEST_F(StatusBarTest, MainPanelsCarryTheirTextsAndHints) {
    auto bar = MainBar();
    const char* texts[] = {"14:05:09",  "Stopped", "Files",    "Pending",     "Speed",
                           "Remaining", "ETA",     "Progress", "Current File"};
    const char* hints[] = {"The current time",
                           "Queue status",
                           "Number of files/actions in queue",
                           "Total size of all files remaining in queue",
                           "Transfer speed",
                           "Estimated time remaining",
                           "Estimated time of arrival",
                           "Current file progress",
                           "Current file and action"};
    for (int i = 0; i < MainStatusPanelCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar->Panel(i).Text, QString::fromLatin1(texts[i]));
        EXPECT_EQ(bar->Panel(i).Hint, QString::fromLatin1(hints[i]));
    }
    EXPECT_EQ(bar->Panel(PanelQueueState).ImageIndex, 3);
    EXPECT_EQ(bar->Images().Count(), 4);
}

TEST(PanelTimeFormat, FieldsAndSeparators) {
    const platform::TDateTime afternoon = At(14, 5, 9);
    const platform::TDateTime midnight = At(0, 7, 3);
    struct Case {
        const char* format;
        platform::TDateTime value;
        char timeSep, dateSep;
        const char* expected;
    } cases[] = {
        {"hh:mm:ss", afternoon, ':', '/', "14:05:09"},
        {"hh:mm:ss", afternoon, '.', '/', "14.05.09"},
        {"hh:mm:ss", midnight, ':', '/', "00:07:03"},
        {"h:n:s", midnight, ':', '/', "0:7:3"},
        {"mm/dd/yyyy", afternoon, ':', '/', "03/07/2026"},
        {"dd/mm/yy", afternoon, ':', '.', "07.03.26"},
        {"h:nn am/pm", afternoon, ':', '/', "2:05 pm"},
        {"hh:nn AM/PM", midnight, ':', '/', "12:07 AM"},
        {"'at' hh:mm", afternoon, ':', '/', "at 14:05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(FormatPanelDateTime(QString::fromLatin1(c.format), c.value,
                                      QChar::fromLatin1(c.timeSep), QChar::fromLatin1(c.dateSep)),
                  QString::fromLatin1(c.expected));
    }
}

TEST_F(StatusBarTest, ClockShowsAtOnceInTheLocalesSeparator) {
    platform::LocaleFormats dotted = platform::CommaDecimalLocale();
    dotted.longTimeFormat = QStringLiteral("HH.mm.ss");
    platform::SetLocale(dotted);
    auto bar = MainBar();
    EXPECT_EQ(bar->Panel(PanelClock).Text, QStringLiteral("14.05.09"));

    platform::SetLocale(platform::EnglishLocale());  // "h:mm:ss AP": still a 24-hour clock
    SetTime(23, 59, 58);
    bar->Tick();
    EXPECT_EQ(bar->Panel(PanelClock).Text, QStringLiteral("23:59:58"));
}

TEST_F(StatusBarTest, RedrawsOnlyWhenSomethingChanges) {
    auto bar = MainBar();
    struct Step {
        const char* what;
        std::function<void()> action;
        int redraws;
    } steps[] = {
        {"new text", [&] { bar->SetPanelText(PanelSpeed, QStringLiteral("1 KB/s")); }, 1},
        {"same text", [&] { bar->SetPanelText(PanelSpeed, QStringLiteral("1 KB/s")); }, 0},
        {"image", [&] { bar->SetPanelImage(PanelQueueState, 1); }, 1},
        {"same image", [&] { bar->SetPanelImage(PanelQueueState, 1); }, 1},
        {"position", [&] { bar->SetPanelPosition(PanelProgress, 40); }, 1},
        {"same position", [&] { bar->SetPanelPosition(PanelProgress, 40); }, 1},
        {"ten ticks in one second",
         [&] {
             for (int i = 0; i < 10; ++i)
                 bar->Tick();
         },
         0},
        {"next second", [&] { SetTime(14, 5, 10), bar->Tick(); }, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int before = bar->RedrawCount();
        step.action();
        EXPECT_EQ(bar->RedrawCount() - before, step.redraws);
    }
}

TEST_F(StatusBarTest, TickPhaseRunsAroundElevenSteps) {
    auto bar = MainBar();
    EXPECT_EQ(bar->TickPhase(), 0);
    std::vector<int> phases;
    for (int i = 0; i < 12; ++i) {
        bar->Tick();
        phases.push_back(bar->TickPhase());
    }
    EXPECT_EQ(phases, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 1}));
    bar->Loaded();  // the pass at load time refreshes without stepping
    EXPECT_EQ(bar->TickPhase(), 1);
}

TEST_F(StatusBarTest, PanelIndexOutsideThePanelsIsAListError) {
    auto bar = MainBar();
    try {
        bar->SetPanelText(9, QStringLiteral("x"));
        FAIL() << "no failure";
    } catch (const platform::EListError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("List index out of bounds (9)"));
    }
    EXPECT_THROW(bar->SetPanelPosition(-1, 0), platform::EListError);
    EXPECT_THROW(bar->SetPanelImage(100, 0), platform::EListError);
}

TEST_F(StatusBarTest, BoundaryPixelBelongsToTheLeftPanel) {
    auto bar = MainBar();
    struct Case {
        int x;
        int panel;
    } cases[] = {{0, 0}, {60, 0}, {61, 1}, {204, 2}, {205, 2}, {206, 3}, {655, 7}, {656, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(bar->PanelAt(c.x), c.panel);
        EXPECT_EQ(bar->HintAt(c.x), bar->Panel(c.panel).Hint);
    }
    EXPECT_EQ(bar->PanelAt(799), -1);  // the size grip's corner
}

TEST_F(StatusBarTest, HintFollowsThePointerAndShowHintSwitchesItOff) {
    auto bar = MainBar();
    bar->show();
    auto moveTo = [&](int x) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 10), bar->mapToGlobal(QPointF(x, 10)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(bar.get(), &move);
    };
    moveTo(205);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Number of files/actions in queue"));
    moveTo(206);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Total size of all files remaining in queue"));

    // A hint request without a preceding move still answers for the panel under it.
    QHelpEvent help(QEvent::ToolTip, QPoint(30, 10), bar->mapToGlobal(QPoint(30, 10)));
    QApplication::sendEvent(bar.get(), &help);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("The current time"));

    bar->SetShowHint(false);
    moveTo(100);
    EXPECT_EQ(bar->toolTip(), QString());
    EXPECT_EQ(bar->HintAt(100), QString());
}

TEST_F(StatusBarTest, ImagePanelTextStartsAfterTheImageSlotWhateverTheIndex) {
    auto bar = MainBar();
    const QRect panel = bar->PanelRect(PanelQueueState);
    for (int index : {-1, 0, 3, 4}) {
        SCOPED_TRACE(index);
        bar->SetPanelImage(PanelQueueState, index);
        EXPECT_EQ(bar->PanelTextRect(PanelQueueState).left(), panel.left() + 36);
    }
}

// The lamp is drawn at left + 2, vertically centred, and only for a valid index.
TEST_F(StatusBarTest, ImagePanelDrawsTheLampOnlyForAValidIndex) {
    auto bar = MainBar();
    const QRect panel = bar->PanelRect(PanelQueueState);
    const QRect slot(panel.left() + 2, panel.top() + (panel.height() - 15) / 2, 32, 15);
    for (int index : {-1, 3, 4}) {
        SCOPED_TRACE(index);
        bar->SetPanelImage(PanelQueueState, index);
        const QImage shot = bar->grab().toImage();
        const QColor face = bar->palette().color(QPalette::Window);
        int changed = 0;
        for (int y = slot.top() + 1; y < slot.bottom(); ++y)
            for (int x = slot.left() + 1; x < slot.right(); ++x)
                if (shot.pixelColor(x, y) != face) ++changed;
        if (index == 3)
            EXPECT_GT(changed, 32 * 15 / 2);
        else
            EXPECT_EQ(changed, 0);
    }
}

}  // namespace

namespace {

TEST(RichStatusBarAccessibilityTest, PanelsReadTheirTextsAndHints) {
    platform::InstallAccessibleEntries();
    app::TRichStatusBar bar;
    app::ConfigureMainStatusBar(bar);
    bar.resize(900, 22);
    bar.SetPanelText(app::PanelQueueState, "Running");
    bar.SetPanelPosition(app::PanelProgress, 42);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::StatusBar);
    ASSERT_EQ(iface->childCount(), app::MainStatusPanelCount);
    QAccessibleInterface* state = iface->child(app::PanelQueueState);
    EXPECT_EQ(state->text(QAccessible::Name), "Running");
    EXPECT_EQ(state->text(QAccessible::Description), "Queue status");
    EXPECT_EQ(iface->child(app::PanelProgress)->text(QAccessible::Name), "42%");
}

}  // namespace
