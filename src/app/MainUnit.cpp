// The main window's layout: every control with its name, place, colour and font.
#include "app/MainUnit.h"

#include "app/About.h"
#include "app/DesktopProgress.h"
#include "app/ExeVersion.h"
#include "app/MainStatusPanels.h"
#include "app/ProgramLook.h"
#include "app/richtext/RichHint.h"
#include "app/richtext/RichStatusBar.h"
#include "panes/FilePanels.h"
#include "persistence/FilePaths.h"
#include "persistence/QueueJournal.h"
#include "persistence/widgets/FormSize.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/Guard.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"
#include "queue/widgets/DelayedStart.h"
#include "queue/widgets/QueueStats.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QVBoxLayout>

namespace app {

namespace {

constexpr int kTitleBarHeight = 27;
constexpr int kTitleRightWidth = 225;
constexpr int kToolbarWidth = 30;

QWidget* Panel(QWidget* parent, const char* name) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    return panel;
}

// A button of the window's own strips; the hint names its key, if it has one.
QToolButton* ToolButton(QWidget* strip, const char* name, int left, int top, const char* hint,
                        const char* iconName, QStyle::StandardPixmap fallback,
                        const QKeySequence& key = {}) {
    QString text = QString::fromLatin1(hint);
    if (!key.isEmpty()) text += QStringLiteral(" (%1)").arg(key.toString(QKeySequence::NativeText));
    QToolButton* button =
        platform::NewStripButton(strip, name, left, top, text,
                                 platform::CommandIcon(QString::fromLatin1(iconName), fallback));
    button->setShortcut(key);
    return button;
}

// A hint as a screen reader speaks it: markup is for the eye only.
QString PlainHint(const QString& hint) {
    return QTextDocumentFragment::fromHtml(TRichHint::ShortHint(hint)).toPlainText();
}

// A picture button is named by its hint, without the key the hint names (that
// is the button's shortcut), so that a hint that tells the state (the delayed
// start's) renames the button when it changes.
void SpeakHint(QToolButton* button) {
    const QString plain = PlainHint(button->toolTip());
    QString name = plain;
    if (!button->shortcut().isEmpty())
        name.remove(
            QStringLiteral(" (%1)").arg(button->shortcut().toString(QKeySequence::NativeText)));
    button->setAccessibleName(name);
    button->setAccessibleDescription(plain);
}

class HintSpeaker : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTipChange) SpeakHint(static_cast<QToolButton*>(watched));
        return false;
    }
};

}  // namespace

ProgramFiles ProgramFiles::ForThisProgram() {
    const persistence::OwnFilePaths own = persistence::OwnFilePathsOfThisProgram();
    // An installed program's own directory is no place to browse.
    const QString dir = own.perUser ? QDir::homePath() : QCoreApplication::applicationDirPath();
    const std::optional<QString> home = platform::Drives().fromHost(QFile::encodeName(dir));
    return {own.settings, own.queue, home.value_or(QStringLiteral("C:\\")), own.perUser};
}

QString FileVersionText(int parts) {
    if (parts < 1 || parts > 4) return QString();
    const int numbers[4] = {exeversion::kMajor, exeversion::kMinor, exeversion::kRelease,
                            exeversion::kBuild};
    QStringList out;
    for (int i = 0; i < parts; ++i)
        out << QString::number(numbers[i]);
    return out.join(u'.');
}

TMainForm::TMainForm(ProgramFiles files, QWidget* parent)
    : QMainWindow(parent),
      files_(std::move(files)),
      session_(*this),
      desktop_(std::make_unique<TDesktopProgress>(session_)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(platform::ApplicationTitle());
    setFont(platform::ProgramFont());
    // Designed placement; the placement memory overrides it.
    setGeometry(466, 182, 986, 634);
    setMinimumSize(780, 580);
    // Complete, so that no text takes a dark desktop's light colour onto the
    // window's light background.
    setPalette(ProgramPalette(QColor::fromRgb(MainFormColor)));
    setAutoFillBackground(true);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(client);

    BuildTitleBar();
    column->addWidget(Panel2);
    Panels = new panes::TFilePanels(client);
    column->addWidget(Panels, 1);
    BuildQueueArea();
    Panels->SetQueueArea(PanelQueue);

    StatusBar1 = new TRichStatusBar(client);
    ConfigureMainStatusBar(*StatusBar1);
    column->addWidget(StatusBar1);

    TimerQueue = new QTimer(this);
    TimerQueue->setObjectName(QStringLiteral("TimerQueue"));
    TimerQueue->setInterval(1000);
    RichHint1 = new TRichHint(this);
    RichHint1->setObjectName(QStringLiteral("RichHint1"));

    // The placement memory makes its first restore while the window is built.
    FormSize = new persistence::TFormSize(this);
    FormSize->setObjectName(QStringLiteral("FormSize"));
    FormSize->Loaded();

    ConnectCommands();
    hintSpeaker_ = new HintSpeaker(this);
    NameForAccessibility();
    platform::Guard([this] { FormCreate(); });
}

void TMainForm::BuildTitleBar() {
    Panel2 = Panel(this, "Panel2");
    Panel2->setFixedHeight(kTitleBarHeight);
    QFont titleFont = platform::ProgramFont();
    titleFont.setPixelSize(13);
    Panel2->setFont(titleFont);
    auto* row = new QHBoxLayout(Panel2);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    Panel4 = Panel(Panel2, "Panel4");
    Panel4->setFixedWidth(kTitleRightWidth);
    row->addWidget(Panel4);

    btnAbout = ToolButton(Panel4, "btnAbout", 198, 3, "About this program", "help-about",
                          QStyle::SP_MessageBoxInformation);
    lblVersion = new QLabel(QStringLiteral("Version"), Panel4);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(platform::ProgramFont());
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblVersion->setAttribute(Qt::WA_TranslucentBackground);
    lblVersion->setGeometry(124, 5, 43, 16);
}

void TMainForm::BuildQueueArea() {
    PanelQueue = Panel(this, "PanelQueue");
    auto* fill = new QVBoxLayout(PanelQueue);
    fill->setContentsMargins(0, 0, 0, 0);
    Panel1 = Panel(PanelQueue, "Panel1");
    fill->addWidget(Panel1);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    PanelQueueToolbar = Panel(Panel1, "PanelQueueToolbar");
    PanelQueueToolbar->setFixedWidth(kToolbarWidth);
    row->addWidget(PanelQueueToolbar);
    using SP = QStyle::StandardPixmap;
    QWidget* bar = PanelQueueToolbar;
    // F9 starts; with Shift it stops after the current file, with Ctrl it aborts.
    btnStart = ToolButton(bar, "btnStart", 3, 0, "Start the queue", "media-playback-start",
                          SP::SP_MediaPlay, Qt::Key_F9);
    btnStop = ToolButton(bar, "btnStop", 3, 25, "Stop the queue, after the current file",
                         "media-playback-stop", SP::SP_MediaStop, Qt::SHIFT | Qt::Key_F9);
    btnAbort = ToolButton(bar, "btnAbort", 2, 50, "Abort the queue, stop right now!",
                          "process-stop", SP::SP_BrowserStop, Qt::CTRL | Qt::Key_F9);
    btnClearAll = ToolButton(bar, "btnClearAll", 3, 75, "Clear all files from queue",
                             "edit-clear-all", SP::SP_DialogResetButton);
    btnRemove = ToolButton(bar, "btnRemove", 3, 100, "Remove selected rows from queue",
                           "list-remove", SP::SP_DialogDiscardButton);
    btnDelayedStart =
        ToolButton(bar, "btnDelayedStart", 3, 125, "Delayed start is disabled, click to set",
                   "chronometer", SP::SP_BrowserReload);
    btnQueueStats = ToolButton(bar, "btnQueueStats", 3, 150, "Queue Statistics", "office-chart-bar",
                               SP::SP_FileDialogInfoView);

    GridQueue = new platform::TStringGridEx(&session_.Table().Grid(), Panel1);
    GridQueue->setObjectName(QStringLiteral("GridQueue"));
    GridQueue->setFont(platform::ProgramFont());
    row->addWidget(GridQueue, 1);
}

void TMainForm::CreateDialogs() {
    DelayedStart = new queue::TDelayedStart(this, btnDelayedStart, [this] { btnStartClick(); });
    DelayedStart->timerDelayedStart.setObjectName(QStringLiteral("timerDelayedStart"));
    frmQueueStats = new queue::TfrmQueueStats(session_.Table(), this);
    frmQueueStats->setObjectName(QStringLiteral("frmQueueStats"));
}

void TMainForm::btnAboutClick() {
    platform::Guard([this] { ShowAboutDialog(this); });
}

void TMainForm::btnDelayedStartClick() {
    platform::Guard([this] {
        if (DelayedStart) DelayedStart->btnDelayedStartClick();
    });
}

void TMainForm::btnQueueStatsClick() {
    platform::Guard([this] {
        if (frmQueueStats) frmQueueStats->exec();
    });
}

void TMainForm::NameForAccessibility() {
    for (auto* button : findChildren<QToolButton*>()) {
        if (button->accessibleName().isEmpty()) {
            SpeakHint(button);
            button->installEventFilter(hintSpeaker_);
        } else {
            button->setAccessibleDescription(PlainHint(button->toolTip()));
        }
    }
    GridQueue->setAccessibleName(QStringLiteral("Queue"));
    StatusBar1->setAccessibleName(QStringLiteral("Status bar"));
    // Tab goes the way the eye does: the title bar, pane by pane, then the queue.
    std::vector<QWidget*> stops{btnAbout};
    for (QWidget* stop : Panels->TabStops())
        stops.push_back(stop);
    for (QWidget* stop : PanelQueueToolbar->findChildren<QToolButton*>())
        stops.push_back(stop);
    stops.push_back(GridQueue);
    for (std::size_t i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1], stops[i]);
}

}  // namespace app
