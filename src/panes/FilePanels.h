#pragma once
// The file-panel area of the main window: two browsing panes with their
// button strips, the middle strip with refresh and the four queue buttons,
// and the bar below that sets the area's height. The main window embeds it,
// places its queue area under the bar (SetQueueArea), connects the queue
// buttons, and clears FirstActivation at its first activation.

#include "panes/DirectoryListBox.h"
#include "panes/DriveComboBox.h"
#include "panes/FileListBox.h"
#include "panes/SplitterBar.h"

#include <QWidget>

class QLabel;
class QSplitter;
class QToolButton;
class QVBoxLayout;

namespace panes {

class TFilePanels : public QWidget {
    Q_OBJECT
public:
    explicit TFilePanels(QWidget* parent = nullptr);

    // While set (the main window not yet active), file-list changes keep the
    // "[.]" and "[..]" entries.
    bool FirstActivation = true;

    QWidget* PanelFiles;
    QWidget* PanelLeft;
    QWidget* PanelButtonsLeft;
    QWidget* PanelDirLeft;
    QWidget* PanelDriveLeft;
    TDriveComboBoxEx* DriveComboLeft;
    QLabel* pnlDriveSpaceLeft;
    TDirectoryListBoxEx* DirListLeft;
    QSplitter* Splitter1;
    TCheckFileListBoxEx* FileListLeft;
    QWidget* pnlMiddle;
    QWidget* PanelTarget;
    QWidget* PanelDirRight;
    QWidget* PanelDriveRight;
    TDriveComboBoxEx* DriveComboRight;
    QLabel* pnlDriveSpaceRight;
    TDirectoryListBoxEx* DirListRight;
    QSplitter* Splitter2;
    TCheckFileListBoxEx* FileListRight;
    QWidget* PanelButtonsRight;
    TSplitterBar* Splitter3;

    QToolButton* btnSelectAllLeft;
    QToolButton* btnDeselectAllLeft;
    QToolButton* btnMakeDirLeft;
    QToolButton* btnDeleteFilesLeft;
    QToolButton* btnRenameLeft;
    QToolButton* btnRefreshLeft;
    // Queueing is the main window's: it connects their clicked signals.
    QToolButton* btnQueueCopyLeft;
    QToolButton* btnQueueCopyRight;
    QToolButton* btnQueueMoveLeft;
    QToolButton* btnQueueMoveRight;
    QToolButton* btnRightSelectAll;
    QToolButton* btnDeselectAllRight;
    QToolButton* btnMakeDirRight;
    QToolButton* btnDeleteFilesRight;
    QToolButton* btnRenameRight;

    // Puts the queue area under the height bar, filling the rest.
    void SetQueueArea(QWidget* area);

    // Re-reads both panes (every tick goes) and drops the dot entries. A pane
    // that cannot be read throws EInOutError; the steps after it do not run.
    void RefreshAll();
    void CleanFileLists();
    // Writes the free space of both selected drives into their labels.
    void ShowFreeSpace();

    // Height of PanelFiles, through PanelFilesCanResize.
    int FilePanelHeight() const;
    void SetFilePanelHeight(int height);
    // The height PanelFiles takes when asked for height: below 230 it is 220.
    static int PanelFilesCanResize(int height);
    // The two panes share clientWidth equally on both sides of the middle strip.
    void FormResize(int clientWidth);
    void PanelDirLeftResize();
    void PanelDirRightResize();

    void btnSelectAllLeftClick();
    void btnDeselectAllLeftClick();
    void btnMakeDirLeftClick();
    void btnDeleteFilesLeftClick();
    void btnRenameLeftClick();
    void btnRightSelectAllClick();
    void btnDeselectAllRightClick();
    void btnMakeDirRightClick();
    void btnDeleteFilesRightClick();
    void btnRenameRightClick();
    void btnRefreshLeftClick();

    void FileListLeftChange();
    void FileListRightChange();
    void FileListLeftClick();
    void FileListRightClick();
    void DirListLeftClick();
    void DirListRightClick();
    void DriveComboLeftChange();
    void DriveComboRightChange();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pane;
    void BuildPane(Pane& pane, QWidget* parent);
    void PlaceDriveRow(QWidget* dirPanel, TDriveComboBoxEx* combo, QLabel* space);

    QVBoxLayout* layout_;
    QWidget* queueArea_ = nullptr;
};

}  // namespace panes
