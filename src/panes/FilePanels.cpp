#include "panes/FilePanels.h"

#include "panes/PanelCommands.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/widgets/FlatButton.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "queue/Format.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace panes {

namespace {

constexpr int kStripWidth = 30;
constexpr int kDriveRowHeight = 22;
constexpr int kSpaceLabelWidth = 66;
constexpr int kDirPanelWidth = 201;
constexpr int kMinPaneWidth = 200;
constexpr int kDesignHeight = 250;

QWidget* Panel(QWidget* parent, const char* name) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    return panel;
}

QToolButton* Button(QWidget* strip, const char* name, int top, const QString& hint,
                    const char* iconName, QStyle::StandardPixmap fallback) {
    return platform::NewStripButton(strip, name, 3, top, hint,
                                    platform::CommandIcon(QString::fromLatin1(iconName), fallback));
}

QHBoxLayout* Row(QWidget* owner) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

QSplitter* PaneSplitter(QWidget* parent, const char* name) {
    auto* splitter = new QSplitter(Qt::Horizontal, parent);
    splitter->setObjectName(QString::fromLatin1(name));
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

}  // namespace

// The widgets one pane's directory side is made of.
struct TFilePanels::Pane {
    QWidget* dirPanel = nullptr;
    QWidget* drivePanel = nullptr;
    TDriveComboBoxEx* combo = nullptr;
    QLabel* space = nullptr;
    TDirectoryListBoxEx* dirList = nullptr;
    TCheckFileListBoxEx* fileList = nullptr;
    const char* suffix = "";
};

void TFilePanels::BuildPane(Pane& pane, QWidget* parent) {
    const QString suffix = QString::fromLatin1(pane.suffix);
    pane.dirPanel = new QWidget(parent);
    pane.dirPanel->setObjectName(QStringLiteral("PanelDir") + suffix);
    pane.dirPanel->setMinimumWidth(kSpaceLabelWidth + 30);
    pane.dirPanel->installEventFilter(this);
    auto* column = new QVBoxLayout(pane.dirPanel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    pane.drivePanel = new QWidget(pane.dirPanel);
    pane.drivePanel->setObjectName(QStringLiteral("PanelDrive") + suffix);
    pane.drivePanel->setFixedHeight(kDriveRowHeight);
    pane.combo = new TDriveComboBoxEx(pane.drivePanel);
    pane.combo->setObjectName(QStringLiteral("DriveCombo") + suffix);
    pane.combo->setToolTip(QStringLiteral("Choose drive"));
    pane.combo->SetTextCase(tcUpperCase);
    pane.space = new QLabel(pane.drivePanel);
    pane.space->setObjectName(QStringLiteral("pnlDriveSpace") + suffix);
    pane.space->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane.space->setLineWidth(1);
    pane.space->setAlignment(Qt::AlignCenter);
    pane.space->setToolTip(QStringLiteral("Free space on selected drive"));
    column->addWidget(pane.drivePanel);

    pane.dirList = new TDirectoryListBoxEx(pane.dirPanel);
    pane.dirList->setObjectName(QStringLiteral("DirList") + suffix);
    pane.dirList->SetItemHeight(16);
    pane.dirList->SetDirectOpen(true);
    column->addWidget(pane.dirList, 1);

    pane.fileList = new TCheckFileListBoxEx(parent);
    pane.fileList->setObjectName(QStringLiteral("FileList") + suffix);
    pane.fileList->SetFileType(ftDirectory | ftNormal);
    pane.fileList->SetFlat(true);

    pane.combo->SetDirList(pane.dirList);
    pane.dirList->SetFileList(pane.fileList);
}

TFilePanels::TFilePanels(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FilePanels"));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    PanelFiles = Panel(this, "PanelFiles");
    PanelFiles->setFont(platform::ProgramFont());
    PanelFiles->setFixedHeight(kDesignHeight);
    auto* filesRow = Row(PanelFiles);

    // Left pane: buttons, directory side, splitter, file list.
    PanelLeft = Panel(PanelFiles, "PanelLeft");
    PanelLeft->setMinimumWidth(kMinPaneWidth);
    auto* leftRow = Row(PanelLeft);
    PanelButtonsLeft = Panel(PanelLeft, "PanelButtonsLeft");
    PanelButtonsLeft->setFixedWidth(kStripWidth);
    leftRow->addWidget(PanelButtonsLeft);
    Splitter1 = PaneSplitter(PanelLeft, "Splitter1");
    Pane left;
    left.suffix = "Left";
    BuildPane(left, Splitter1);
    PanelDirLeft = left.dirPanel;
    PanelDriveLeft = left.drivePanel;
    DriveComboLeft = left.combo;
    pnlDriveSpaceLeft = left.space;
    DirListLeft = left.dirList;
    FileListLeft = left.fileList;
    Splitter1->addWidget(PanelDirLeft);
    Splitter1->addWidget(FileListLeft);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kDirPanelWidth, 1000});
    leftRow->addWidget(Splitter1, 1);
    filesRow->addWidget(PanelLeft);

    pnlMiddle = Panel(PanelFiles, "pnlMiddle");
    pnlMiddle->setFixedWidth(kStripWidth);
    filesRow->addWidget(pnlMiddle);

    // Right pane: directory side, splitter, file list, buttons at the edge.
    PanelTarget = Panel(PanelFiles, "PanelTarget");
    auto* rightRow = Row(PanelTarget);
    Splitter2 = PaneSplitter(PanelTarget, "Splitter2");
    Pane right;
    right.suffix = "Right";
    BuildPane(right, Splitter2);
    PanelDirRight = right.dirPanel;
    PanelDriveRight = right.drivePanel;
    DriveComboRight = right.combo;
    pnlDriveSpaceRight = right.space;
    DirListRight = right.dirList;
    FileListRight = right.fileList;
    Splitter2->addWidget(PanelDirRight);
    Splitter2->addWidget(FileListRight);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({kDirPanelWidth, 1000});
    rightRow->addWidget(Splitter2, 1);
    PanelButtonsRight = Panel(PanelTarget, "PanelButtonsRight");
    PanelButtonsRight->setFixedWidth(kStripWidth);
    rightRow->addWidget(PanelButtonsRight);
    filesRow->addWidget(PanelTarget, 1);

    DriveComboLeft->resize(116, kDriveRowHeight);
    DriveComboRight->resize(111, kDriveRowHeight);

    using SP = QStyle::StandardPixmap;
    const QString selectAll = QStringLiteral("Select all files in the file list");
    const QString deselectAll = QStringLiteral("Deselect all files in the file list");
    const QString makeDir = QStringLiteral("Create new directory in the directory list");
    const QString rename = QStringLiteral("Rename the selected file/directory");
    btnSelectAllLeft = Button(PanelButtonsLeft, "btnSelectAllLeft", 0, selectAll, "edit-select-all",
                              SP::SP_DialogApplyButton);
    btnDeselectAllLeft = Button(PanelButtonsLeft, "btnDeselectAllLeft", 25, deselectAll,
                                "edit-select-none", SP::SP_DialogResetButton);
    btnMakeDirLeft = Button(PanelButtonsLeft, "btnMakeDirLeft", 50, makeDir, "folder-new",
                            SP::SP_FileDialogNewFolder);
    btnDeleteFilesLeft = Button(PanelButtonsLeft, "btnDeleteFilesLeft", 75,
                                QStringLiteral("Delete selected files/folders in left file list"),
                                "edit-delete", SP::SP_TrashIcon);
    btnRenameLeft = Button(PanelButtonsLeft, "btnRenameLeft", 100, rename, "edit-rename",
                           SP::SP_FileDialogDetailedView);

    btnRefreshLeft =
        Button(pnlMiddle, "btnRefreshLeft", 0, QStringLiteral("Refresh all file and folder lists"),
               "view-refresh", SP::SP_BrowserReload);
    btnQueueCopyLeft = Button(pnlMiddle, "btnQueueCopyLeft", 25,
                              QStringLiteral("Queue files to <b>copy</b> from left to right"),
                              "arrow-right", SP::SP_ArrowRight);
    btnQueueCopyRight = Button(pnlMiddle, "btnQueueCopyRight", 50,
                               QStringLiteral("Queue files to <b>copy</b> from right to left"),
                               "arrow-left", SP::SP_ArrowLeft);
    btnQueueMoveLeft = Button(pnlMiddle, "btnQueueMoveLeft", 75,
                              QStringLiteral("Queue files to <b>move</b> from left to right"),
                              "arrow-right-double", SP::SP_MediaSeekForward);
    btnQueueMoveRight = Button(pnlMiddle, "btnQueueMoveRight", 100,
                               QStringLiteral("Queue files to <b>move</b> from right to left"),
                               "arrow-left-double", SP::SP_MediaSeekBackward);

    btnRightSelectAll = Button(PanelButtonsRight, "btnRightSelectAll", 0, selectAll,
                               "edit-select-all", SP::SP_DialogApplyButton);
    btnDeselectAllRight = Button(PanelButtonsRight, "btnDeselectAllRight", 25, deselectAll,
                                 "edit-select-none", SP::SP_DialogResetButton);
    btnMakeDirRight = Button(PanelButtonsRight, "btnMakeDirRight", 50, makeDir, "folder-new",
                             SP::SP_FileDialogNewFolder);
    btnDeleteFilesRight = Button(PanelButtonsRight, "btnDeleteFilesRight", 75,
                                 QStringLiteral("Delete selected files/folders in right file list"),
                                 "edit-delete", SP::SP_TrashIcon);
    btnRenameRight = Button(PanelButtonsRight, "btnRenameRight", 100, rename, "edit-rename",
                            SP::SP_FileDialogDetailedView);

    Splitter3 = new TSplitterBar(
        PanelFiles, [this](int height) { SetFilePanelHeight(height); }, this);
    Splitter3->setObjectName(QStringLiteral("Splitter3"));
    layout_->addWidget(PanelFiles);
    layout_->addWidget(Splitter3);
    layout_->addStretch(1);

    connect(btnSelectAllLeft, &QToolButton::clicked, this, [this] { btnSelectAllLeftClick(); });
    connect(btnDeselectAllLeft, &QToolButton::clicked, this, [this] { btnDeselectAllLeftClick(); });
    connect(btnMakeDirLeft, &QToolButton::clicked, this, [this] { btnMakeDirLeftClick(); });
    connect(btnDeleteFilesLeft, &QToolButton::clicked, this, [this] { btnDeleteFilesLeftClick(); });
    connect(btnRenameLeft, &QToolButton::clicked, this, [this] { btnRenameLeftClick(); });
    connect(btnRightSelectAll, &QToolButton::clicked, this, [this] { btnRightSelectAllClick(); });
    connect(btnDeselectAllRight, &QToolButton::clicked, this,
            [this] { btnDeselectAllRightClick(); });
    connect(btnMakeDirRight, &QToolButton::clicked, this, [this] { btnMakeDirRightClick(); });
    connect(btnDeleteFilesRight, &QToolButton::clicked, this,
            [this] { btnDeleteFilesRightClick(); });
    connect(btnRenameRight, &QToolButton::clicked, this, [this] { btnRenameRightClick(); });
    connect(btnRefreshLeft, &QToolButton::clicked, this, [this] { btnRefreshLeftClick(); });

    connect(FileListLeft, &TFileListBoxEx::OnChange, this, [this] { FileListLeftChange(); });
    connect(FileListRight, &TFileListBoxEx::OnChange, this, [this] { FileListRightChange(); });
    connect(FileListLeft, &TFileListBoxEx::OnClick, this, [this] { FileListLeftClick(); });
    connect(FileListRight, &TFileListBoxEx::OnClick, this, [this] { FileListRightClick(); });
    connect(DirListLeft, &TDirectoryListBoxEx::OnClick, this, [this] { DirListLeftClick(); });
    connect(DirListRight, &TDirectoryListBoxEx::OnClick, this, [this] { DirListRightClick(); });
    connect(DriveComboLeft, &TDriveComboBoxEx::OnChange, this, [this] { DriveComboLeftChange(); });
    connect(DriveComboRight, &TDriveComboBoxEx::OnChange, this,
            [this] { DriveComboRightChange(); });
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
    DirListLeft->Update();
    FileListLeft->Update();
    DirListRight->Update();
    FileListRight->Update();
    CleanFileLists();
}

void TFilePanels::CleanFileLists() {
    RemoveDotEntries(*FileListLeft);
    RemoveDotEntries(*FileListRight);
}

void TFilePanels::ShowFreeSpace() {
    const auto show = [](TDriveComboBoxEx* combo, QLabel* label) {
        const QChar drive = combo->Drive();
        // No drive selected (the pane is on a network path): nothing to measure.
        if (drive.isNull()) {
            label->setText(QString());
            return;
        }
        label->setText(
            queue::FormatSize(platform::DriveFreeSpace(QString(drive) + QStringLiteral(":\\"))));
    };
    show(DriveComboLeft, pnlDriveSpaceLeft);
    show(DriveComboRight, pnlDriveSpaceRight);
}

int TFilePanels::PanelFilesCanResize(int height) {
    return height < 230 ? 220 : height;
}

int TFilePanels::FilePanelHeight() const {
    return PanelFiles->height();
}

void TFilePanels::SetFilePanelHeight(int height) {
    const int guarded = PanelFilesCanResize(height);
    PanelFiles->setFixedHeight(guarded);
    PanelFiles->resize(PanelFiles->width(), guarded);
}

void TFilePanels::FormResize(int clientWidth) {
    PanelLeft->setFixedWidth(std::max(kMinPaneWidth, (clientWidth - pnlMiddle->width()) / 2));
}

void TFilePanels::PlaceDriveRow(QWidget* dirPanel, TDriveComboBoxEx* combo, QLabel* space) {
    const int width = dirPanel->width();
    combo->setGeometry(0, 0, std::max(0, width - kSpaceLabelWidth), kDriveRowHeight);
    space->setGeometry(width - kSpaceLabelWidth, 0, kSpaceLabelWidth, kDriveRowHeight);
}

void TFilePanels::PanelDirLeftResize() {
    PlaceDriveRow(PanelDirLeft, DriveComboLeft, pnlDriveSpaceLeft);
}

void TFilePanels::PanelDirRightResize() {
    PlaceDriveRow(PanelDirRight, DriveComboRight, pnlDriveSpaceRight);
}

void TFilePanels::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize(width());
}

bool TFilePanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == PanelDirLeft) PanelDirLeftResize();
        if (watched == PanelDirRight) PanelDirRightResize();
    }
    return QWidget::eventFilter(watched, event);
}

void TFilePanels::btnSelectAllLeftClick() {
    platform::Guard([this] { TickAll(*FileListLeft, true); });
}

void TFilePanels::btnDeselectAllLeftClick() {
    platform::Guard([this] { TickAll(*FileListLeft, false); });
}

void TFilePanels::btnRightSelectAllClick() {
    platform::Guard([this] { TickAll(*FileListRight, true); });
}

void TFilePanels::btnDeselectAllRightClick() {
    platform::Guard([this] { TickAll(*FileListRight, false); });
}

void TFilePanels::btnMakeDirLeftClick() {
    platform::Guard([this] {
        MakeDirectory(*DirListLeft);
        RefreshAll();
    });
}

void TFilePanels::btnMakeDirRightClick() {
    platform::Guard([this] {
        MakeDirectory(*DirListRight);
        RefreshAll();
    });
}

void TFilePanels::btnDeleteFilesLeftClick() {
    platform::Guard([this] {
        DeleteTicked(*FileListLeft);
        RefreshAll();
    });
}

void TFilePanels::btnDeleteFilesRightClick() {
    platform::Guard([this] {
        DeleteTicked(*FileListRight);
        RefreshAll();
    });
}

void TFilePanels::btnRenameLeftClick() {
    platform::Guard([this] {
        RenameSelected(*DirListLeft, *FileListLeft);
        RefreshAll();
        CleanFileLists();
    });
}

void TFilePanels::btnRenameRightClick() {
    platform::Guard([this] {
        RenameSelected(*DirListRight, *FileListRight);
        RefreshAll();
        CleanFileLists();
    });
}

void TFilePanels::btnRefreshLeftClick() {
    platform::Guard([this] {
        RefreshAll();
        DirListLeft->ClearSelection();
        FileListLeft->ClearSelection();
        DirListRight->ClearSelection();
        FileListRight->ClearSelection();
        ShowFreeSpace();
    });
}

void TFilePanels::FileListLeftChange() {
    if (!FirstActivation) RemoveDotEntries(*FileListLeft);
}

void TFilePanels::FileListRightChange() {
    if (!FirstActivation) RemoveDotEntries(*FileListRight);
}

void TFilePanels::FileListLeftClick() {
    DirListLeft->ClearSelection();
}

void TFilePanels::FileListRightClick() {
    DirListRight->ClearSelection();
}

void TFilePanels::DirListLeftClick() {
    FileListLeft->ClearSelection();
}

void TFilePanels::DirListRightClick() {
    FileListRight->ClearSelection();
}

void TFilePanels::DriveComboLeftChange() {
    ShowFreeSpace();
}

void TFilePanels::DriveComboRightChange() {
    ShowFreeSpace();
}

}  // namespace panes
