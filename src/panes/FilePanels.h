#pragma once
// The file-panel area of the main window: two browsing panes with their
// button strips, the middle strip with refresh and the four queue buttons,
// and the bar below that sets the area's height. The main window embeds it,
// places its queue area under the bar (SetQueueArea), connects the queue
// buttons, and clears FirstActivation at its first activation.
//
// Both panes are one kind of pane built twice; each handler takes the side it
// acts on. The handlers named after a control are one-line forwarders.
//
// Keys, besides the lists' own: in a pane F5 and F6 press the queue button that
// copies or moves its ticked entries to the other pane, F7 makes a directory,
// F2 renames, Delete deletes the ticked entries; in a file list Ctrl+A ticks
// all and Ctrl+Shift+A unticks all.

#include "panes/DirectoryListBox.h"
#include "panes/DriveComboBox.h"
#include "panes/FileListBox.h"

#include <QWidget>

#include <array>
#include <vector>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace panes {

class TSplitterBar;

enum class Side { Left, Right };

class TFilePanels : public QWidget {
    Q_OBJECT
public:
    explicit TFilePanels(QWidget* parent = nullptr);

    // While set (the main window not yet active), file-list changes keep the
    // "[.]" and "[..]" entries.
    bool FirstActivation = true;

    TDriveComboBoxEx& DriveCombo(Side side) const { return *pane(side).combo; }
    TDirectoryListBoxEx& DirList(Side side) const { return *pane(side).dirList; }
    TCheckFileListBoxEx& FileList(Side side) const { return *pane(side).fileList; }
    QLabel& DriveSpace(Side side) const { return *pane(side).space; }
    // The middle strip's button that queues the ticked entries of a pane for
    // the other one; queueing is the main window's, which connects it.
    QToolButton& QueueButton(Side from, bool move) const;
    // Every control the keyboard reaches, in the order the eye meets them.
    std::vector<QWidget*> TabStops() const;

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

    void SelectAllClick(Side side, bool ticked);
    void MakeDirClick(Side side);
    void DeleteFilesClick(Side side);
    void RenameClick(Side side);
    void PanelDirResize(Side side);
    void FileListChange(Side side);
    // The selection hand-over: a user selection in one list of a pane clears the other's.
    void ListClick(Side side, bool inFileList);

    void btnSelectAllLeftClick() { SelectAllClick(Side::Left, true); }
    void btnDeselectAllLeftClick() { SelectAllClick(Side::Left, false); }
    void btnMakeDirLeftClick() { MakeDirClick(Side::Left); }
    void btnDeleteFilesLeftClick() { DeleteFilesClick(Side::Left); }
    void btnRenameLeftClick() { RenameClick(Side::Left); }
    void btnRightSelectAllClick() { SelectAllClick(Side::Right, true); }
    void btnDeselectAllRightClick() { SelectAllClick(Side::Right, false); }
    void btnMakeDirRightClick() { MakeDirClick(Side::Right); }
    void btnDeleteFilesRightClick() { DeleteFilesClick(Side::Right); }
    void btnRenameRightClick() { RenameClick(Side::Right); }
    void btnRefreshLeftClick();
    void FileListLeftChange() { FileListChange(Side::Left); }
    void FileListRightChange() { FileListChange(Side::Right); }
    void FileListLeftClick() { ListClick(Side::Left, true); }
    void FileListRightClick() { ListClick(Side::Right, true); }
    void DirListLeftClick() { ListClick(Side::Left, false); }
    void DirListRightClick() { ListClick(Side::Right, false); }
    void DriveComboLeftChange() { ShowFreeSpace(); }
    void DriveComboRightChange() { ShowFreeSpace(); }
    void PanelDirLeftResize() { PanelDirResize(Side::Left); }
    void PanelDirRightResize() { PanelDirResize(Side::Right); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One pane: PanelLeft or PanelTarget with its strip, drive row and lists.
    struct Pane {
        QWidget* outer = nullptr;
        QWidget* dirPanel = nullptr;
        TDriveComboBoxEx* combo = nullptr;
        QLabel* space = nullptr;
        TDirectoryListBoxEx* dirList = nullptr;
        TCheckFileListBoxEx* fileList = nullptr;
        std::vector<QToolButton*> buttons;  // the strip, top to bottom
    };
    const Pane& pane(Side side) const { return panes_[static_cast<std::size_t>(side)]; }
    void BuildPane(Side side);
    void BuildMiddleStrip();
    void AddPaneKeys(Side side);

    QVBoxLayout* layout_;
    QWidget* panelFiles_;
    QWidget* middle_;
    std::vector<QToolButton*> middleButtons_;  // refresh, then the four queue buttons
    TSplitterBar* heightBar_;
    std::array<Pane, 2> panes_;
    QWidget* queueArea_ = nullptr;
};

}  // namespace panes
