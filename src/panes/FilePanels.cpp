#include "panes/FilePanels.h"

#include "panes/PanelCommands.h"
#include "panes/SplitterBar.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "queue/Format.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace panes {

namespace {

constexpr int kStripWidth = 30;
constexpr int kDriveRowHeight = 22;
constexpr int kSpaceLabelWidth = 66;
constexpr int kDirPanelWidth = 201;
constexpr int kMinPaneWidth = 200;
constexpr int kDesignHeight = 250;

QWidget* Panel(QWidget* parent, const QString& name) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    return panel;
}

QHBoxLayout* Row(QWidget* owner) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// A strip button; the name a screen reader speaks may say more than the hint.
struct ButtonSpec {
    const char* name;
    const char* hint;
    const char* spoken;  // nullptr: the hint
    const char* icon;
    QStyle::StandardPixmap fallback;
};

QToolButton* Button(QWidget* strip, int top, const ButtonSpec& b, const QString& side) {
    const auto fill = [&](const char* text) {
        const QString t = QString::fromLatin1(text);
        return t.contains(u'%') ? t.arg(side) : t;
    };
    auto* button =
        platform::NewStripButton(strip, b.name, 3, top, fill(b.hint),
                                 platform::CommandIcon(QString::fromLatin1(b.icon), b.fallback));
    if (b.spoken) button->setAccessibleName(fill(b.spoken));
    return button;
}

using SP = QStyle::StandardPixmap;

// A pane's strip, top to bottom; %1 is "left" or "right".
const ButtonSpec kPaneStrip[] = {
    {"btnSelectAll", "Select all files in the file list", "Select all files in the %1 file list",
     "edit-select-all", SP::SP_DialogApplyButton},
    {"btnDeselectAll", "Deselect all files in the file list",
     "Deselect all files in the %1 file list", "edit-select-none", SP::SP_DialogResetButton},
    {"btnMakeDir", "Create new directory in the directory list",
     "Create new directory in the %1 directory list", "folder-new", SP::SP_FileDialogNewFolder},
    {"btnDeleteFiles", "Delete selected files/folders in %1 file list", nullptr, "edit-delete",
     SP::SP_TrashIcon},
    {"btnRename", "Rename the selected file/directory",
     "Rename the selected file/directory in the %1 pane", "edit-rename",
     SP::SP_FileDialogDetailedView},
};

const ButtonSpec kMiddleStrip[] = {
    {"btnRefreshLeft", "Refresh all file and folder lists", nullptr, "view-refresh",
     SP::SP_BrowserReload},
    {"btnQueueCopyLeft", "Queue files to <b>copy</b> from left to right", nullptr, "arrow-right",
     SP::SP_ArrowRight},
    {"btnQueueCopyRight", "Queue files to <b>copy</b> from right to left", nullptr, "arrow-left",
     SP::SP_ArrowLeft},
    {"btnQueueMoveLeft", "Queue files to <b>move</b> from left to right", nullptr,
     "arrow-right-double", SP::SP_MediaSeekForward},
    {"btnQueueMoveRight", "Queue files to <b>move</b> from right to left", nullptr,
     "arrow-left-double", SP::SP_MediaSeekBackward},
};

void OnKey(QWidget* owner, const QKeySequence& keys, Qt::ShortcutContext context,
           std::function<void()> act) {
    auto* shortcut = new QShortcut(keys, owner);
    shortcut->setContext(context);
    QObject::connect(shortcut, &QShortcut::activated, owner, std::move(act));
}

}  // namespace

void TFilePanels::BuildPane(Side side) {
    Pane& p = panes_[static_cast<std::size_t>(side)];
    const bool left = side == Side::Left;
    const QString suffix = left ? QStringLiteral("Left") : QStringLiteral("Right");
    const QString word = suffix.toLower();

    p.outer =
        Panel(panelFiles_, left ? QStringLiteral("PanelLeft") : QStringLiteral("PanelTarget"));
    if (left) p.outer->setMinimumWidth(kMinPaneWidth);
    auto* row = Row(p.outer);
    QWidget* strip = Panel(p.outer, QStringLiteral("PanelButtons") + suffix);
    strip->setFixedWidth(kStripWidth);
    auto* splitter = new QSplitter(Qt::Horizontal, p.outer);
    splitter->setObjectName(left ? QStringLiteral("Splitter1") : QStringLiteral("Splitter2"));
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    // Built in the order the eye meets them, which is also the tab order.
    if (left) row->addWidget(strip);
    row->addWidget(splitter, 1);
    if (!left) row->addWidget(strip);
    const auto addStrip = [&] {
        int top = 0;
        for (const ButtonSpec& b : kPaneStrip) {
            p.buttons.push_back(Button(strip, top, b, word));
            p.buttons.back()->setObjectName(p.buttons.back()->objectName() + suffix);
            top += 25;
        }
        // The one twin whose name puts its side first.
        if (!left) p.buttons[0]->setObjectName(QStringLiteral("btnRightSelectAll"));
    };
    if (left) addStrip();

    p.dirPanel = Panel(splitter, QStringLiteral("PanelDir") + suffix);
    p.dirPanel->setMinimumWidth(kSpaceLabelWidth + 30);
    p.dirPanel->installEventFilter(this);
    auto* column = new QVBoxLayout(p.dirPanel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    QWidget* driveRow = Panel(p.dirPanel, QStringLiteral("PanelDrive") + suffix);
    driveRow->setFixedHeight(kDriveRowHeight);
    column->addWidget(driveRow);
    p.combo = new TDriveComboBoxEx(driveRow);
    p.combo->setObjectName(QStringLiteral("DriveCombo") + suffix);
    p.combo->setToolTip(QStringLiteral("Choose drive"));
    // A reader names a drop-down by its choice; the description tells the twins apart.
    p.combo->setAccessibleDescription(QStringLiteral("Choose drive for the %1 pane").arg(word));
    p.combo->SetTextCase(tcUpperCase);
    p.combo->resize(left ? 116 : 111, kDriveRowHeight);
    p.space = new QLabel(driveRow);
    p.space->setObjectName(QStringLiteral("pnlDriveSpace") + suffix);
    p.space->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p.space->setLineWidth(1);
    p.space->setAlignment(Qt::AlignCenter);
    p.space->setToolTip(QStringLiteral("Free space on selected drive"));
    p.space->setAccessibleDescription(p.space->toolTip());

    p.dirList = new TDirectoryListBoxEx(p.dirPanel);
    p.dirList->setObjectName(QStringLiteral("DirList") + suffix);
    p.dirList->setAccessibleName(suffix + QStringLiteral(" directory list"));
    p.dirList->SetItemHeight(16);
    p.dirList->SetDirectOpen(true);
    column->addWidget(p.dirList, 1);

    p.fileList = new TCheckFileListBoxEx(splitter);
    p.fileList->setObjectName(QStringLiteral("FileList") + suffix);
    p.fileList->setAccessibleName(suffix + QStringLiteral(" file list"));
    p.fileList->SetFileType(ftDirectory | ftNormal);
    p.fileList->SetFlat(true);
    p.combo->SetDirList(p.dirList);
    p.dirList->SetFileList(p.fileList);
    splitter->addWidget(p.dirPanel);
    splitter->addWidget(p.fileList);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kDirPanelWidth, 1000});
    if (!left) addStrip();

    const std::function<void()> commands[] = {
        [this, side] { SelectAllClick(side, true); }, [this, side] { SelectAllClick(side, false); },
        [this, side] { MakeDirClick(side); }, [this, side] { DeleteFilesClick(side); },
        [this, side] { RenameClick(side); }};
    for (std::size_t i = 0; i < p.buttons.size(); ++i)
        connect(p.buttons[i], &QToolButton::clicked, this, commands[i]);
    connect(p.fileList, &TFileListBoxEx::OnChange, this, [this, side] { FileListChange(side); });
    connect(p.fileList, &TFileListBoxEx::OnClick, this, [this, side] { ListClick(side, true); });
    connect(p.dirList, &TDirectoryListBoxEx::OnClick, this,
            [this, side] { ListClick(side, false); });
    connect(p.combo, &TDriveComboBoxEx::OnChange, this, [this] { ShowFreeSpace(); });
}

void TFilePanels::AddPaneKeys(Side side) {
    const Pane& p = pane(side);
    constexpr auto kPane = Qt::WidgetWithChildrenShortcut;
    OnKey(p.outer, Qt::Key_F5, kPane, [this, side] { QueueButton(side, false).click(); });
    OnKey(p.outer, Qt::Key_F6, kPane, [this, side] { QueueButton(side, true).click(); });
    OnKey(p.outer, Qt::Key_F7, kPane, [this, side] { MakeDirClick(side); });
    OnKey(p.outer, Qt::Key_F2, kPane, [this, side] { RenameClick(side); });
    OnKey(p.outer, Qt::Key_Delete, kPane, [this, side] { DeleteFilesClick(side); });
    OnKey(p.fileList, Qt::CTRL | Qt::Key_A, Qt::WidgetShortcut,
          [this, side] { SelectAllClick(side, true); });
    OnKey(p.fileList, Qt::CTRL | Qt::SHIFT | Qt::Key_A, Qt::WidgetShortcut,
          [this, side] { SelectAllClick(side, false); });
}

void TFilePanels::BuildMiddleStrip() {
    middle_ = Panel(panelFiles_, QStringLiteral("pnlMiddle"));
    middle_->setFixedWidth(kStripWidth);
    int top = 0;
    for (const ButtonSpec& b : kMiddleStrip) {
        middleButtons_.push_back(Button(middle_, top, b, QString()));
        top += 25;
    }
    connect(middleButtons_[0], &QToolButton::clicked, this, [this] { btnRefreshLeftClick(); });
}

TFilePanels::TFilePanels(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FilePanels"));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    panelFiles_ = Panel(this, QStringLiteral("PanelFiles"));
    panelFiles_->setFont(platform::ProgramFont());
    panelFiles_->setFixedHeight(kDesignHeight);
    auto* filesRow = Row(panelFiles_);
    BuildPane(Side::Left);
    BuildMiddleStrip();
    BuildPane(Side::Right);
    filesRow->addWidget(panes_[0].outer);
    filesRow->addWidget(middle_);
    filesRow->addWidget(panes_[1].outer, 1);
    AddPaneKeys(Side::Left);
    AddPaneKeys(Side::Right);

    heightBar_ = new TSplitterBar(
        panelFiles_, [this](int height) { SetFilePanelHeight(height); }, this);
    heightBar_->setObjectName(QStringLiteral("Splitter3"));
    layout_->addWidget(panelFiles_);
    layout_->addWidget(heightBar_);
    layout_->addStretch(1);
}

QToolButton& TFilePanels::QueueButton(Side from, bool move) const {
    return *middleButtons_[1 + (move ? 2 : 0) + (from == Side::Right ? 1 : 0)];
}

std::vector<QWidget*> TFilePanels::TabStops() const {
    std::vector<QWidget*> stops;
    const auto lists = [&](const Pane& p) {
        stops.insert(stops.end(), {p.combo, p.dirList, p.fileList});
    };
    stops.insert(stops.end(), panes_[0].buttons.begin(), panes_[0].buttons.end());
    lists(panes_[0]);
    stops.insert(stops.end(), middleButtons_.begin(), middleButtons_.end());
    lists(panes_[1]);
    stops.insert(stops.end(), panes_[1].buttons.begin(), panes_[1].buttons.end());
    return stops;
}

void TFilePanels::SetQueueArea(QWidget* area) {
    if (queueArea_) layout_->removeWidget(queueArea_);
    // Drop the stretch that held the place.
    if (QLayoutItem* last = layout_->itemAt(layout_->count() - 1); last && last->spacerItem())
        delete layout_->takeAt(layout_->count() - 1);
    queueArea_ = area;
    if (area) {
        area->setParent(this);
        layout_->addWidget(area, 1);
    } else {
        layout_->addStretch(1);
    }
}

void TFilePanels::RefreshAll() {
    for (const Pane& p : panes_) {
        p.dirList->Update();
        p.fileList->Update();
    }
    CleanFileLists();
}

void TFilePanels::CleanFileLists() {
    for (const Pane& p : panes_)
        RemoveDotEntries(*p.fileList);
}

void TFilePanels::ShowFreeSpace() {
    for (const Pane& p : panes_) {
        const QChar drive = p.combo->Drive();
        // No drive selected (the pane is on a network path): nothing to measure.
        p.space->setText(drive.isNull() ? QString()
                                        : queue::FormatSize(platform::DriveFreeSpace(
                                              QString(drive) + QStringLiteral(":\\"))));
        const QString word = &p == &panes_[0] ? QStringLiteral("left") : QStringLiteral("right");
        p.space->setAccessibleName(
            QStringLiteral("Free space on %1 drive: %2").arg(word, p.space->text()));
    }
}

int TFilePanels::PanelFilesCanResize(int height) {
    return height < 230 ? 220 : height;
}

int TFilePanels::FilePanelHeight() const {
    return panelFiles_->height();
}

void TFilePanels::SetFilePanelHeight(int height) {
    const int guarded = PanelFilesCanResize(height);
    panelFiles_->setFixedHeight(guarded);
    panelFiles_->resize(panelFiles_->width(), guarded);
}

void TFilePanels::FormResize(int clientWidth) {
    panes_[0].outer->setFixedWidth(std::max(kMinPaneWidth, (clientWidth - middle_->width()) / 2));
}

void TFilePanels::PanelDirResize(Side side) {
    const Pane& p = pane(side);
    const int width = p.dirPanel->width();
    p.combo->setGeometry(0, 0, std::max(0, width - kSpaceLabelWidth), kDriveRowHeight);
    p.space->setGeometry(width - kSpaceLabelWidth, 0, kSpaceLabelWidth, kDriveRowHeight);
}

void TFilePanels::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize(width());
}

bool TFilePanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        for (Side side : {Side::Left, Side::Right})
            if (watched == pane(side).dirPanel) PanelDirResize(side);
    }
    return QWidget::eventFilter(watched, event);
}

void TFilePanels::SelectAllClick(Side side, bool ticked) {
    platform::Guard([&] { TickAll(FileList(side), ticked); });
}

void TFilePanels::MakeDirClick(Side side) {
    platform::Guard([&] {
        MakeDirectory(DirList(side));
        RefreshAll();
    });
}

void TFilePanels::DeleteFilesClick(Side side) {
    platform::Guard([&] {
        DeleteTicked(FileList(side));
        RefreshAll();
    });
}

void TFilePanels::RenameClick(Side side) {
    platform::Guard([&] {
        RenameSelected(DirList(side), FileList(side));
        RefreshAll();
        CleanFileLists();
    });
}

void TFilePanels::btnRefreshLeftClick() {
    platform::Guard([this] {
        RefreshAll();
        for (const Pane& p : panes_) {
            p.dirList->ClearSelection();
            p.fileList->ClearSelection();
        }
        ShowFreeSpace();
    });
}

void TFilePanels::FileListChange(Side side) {
    if (!FirstActivation) RemoveDotEntries(FileList(side));
}

void TFilePanels::ListClick(Side side, bool inFileList) {
    if (inFileList) {
        DirList(side).ClearSelection();
    } else {
        FileList(side).ClearSelection();
    }
}

}  // namespace panes
