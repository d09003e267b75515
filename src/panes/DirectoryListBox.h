#pragma once
// The directory list of a pane: the path down to the current directory, then
// its subdirectories. Opening an entry moves the pane: the linked drive
// selector follows the drive, the linked file list re-reads.

#include "panes/ListBoxBase.h"

#include <QChar>
#include <QPointer>
#include <QString>

#include <vector>

namespace panes {

class TDriveComboBoxEx;
class TFileListBoxEx;

enum class TDirEntryKind { Opened, Current, Closed };

// The directory a drive switch lands in: the last one this session opened on
// that drive while it can still be entered, else the drive's root.
QString DriveDirectory(QChar letter);
void RememberDriveDirectory(const QString& dir);
// Tests: forget every remembered directory.
void ForgetDriveDirectories();

class TDirectoryListBoxEx : public TListBoxBase {
    Q_OBJECT
public:
    explicit TDirectoryListBoxEx(QWidget* parent = nullptr);
    ~TDirectoryListBoxEx() override;

    const QString& Directory() const { return directory_; }
    // Opens a directory. Nothing happens for an empty path or the directory
    // already shown. A directory that cannot be entered throws EInOutError;
    // the list, its file list and its drive selector then stay where they were.
    void SetDirectory(const QString& path);
    // Rebuilds, passes the directory on to the file list, announces OnChange.
    void Update();

    TDirEntryKind EntryKind(int index) const;
    // The full path an entry stands for.
    QString EntryPath(int index) const;
    // Opens the selected entry; nothing when no entry is selected.
    void OpenSelected();
    // Opens the directory above the listed one; nothing at a root.
    void OpenParent();

    TFileListBoxEx* FileList() const;
    void SetFileList(TFileListBoxEx* list);
    TDriveComboBoxEx* DriveCombo() const;

    bool DirectOpen() const { return directOpen_; }
    void SetDirectOpen(bool on) { directOpen_ = on; }

    bool PreserveCase() const { return preserveCase_; }
    bool CaseSensitive() const { return caseSensitive_; }
    bool DriveChangeUnderWay() const { return driveChanging_; }

    // The drive selector moved to letter.
    void DriveChanged(QChar letter);

    // Selects the entry and, with DirectOpen, opens it, as a click does.
    void AccessiblePress(int index) override;
    bool GoUp() override;

protected:
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class TDriveComboBoxEx;
    struct Built {
        QStringList texts;
        std::vector<TDirEntryKind> kinds;
        bool preserveCase = true;
        bool caseSensitive = true;
    };
    Built BuildFor(const QString& dir) const;
    void Apply(Built built);
    void Rebuild();
    // Enters an absolute canonical path: rebuild, file list, OnChange.
    void OpenResolved(const QString& dir);
    void PassOn();
    void ReadVolumeFlags(const QString& dir, bool& preserveCase, bool& caseSensitive) const;
    bool SameAsCurrent(const QString& path) const;
    QString DrivePart() const;

    QString directory_;
    std::vector<TDirEntryKind> kinds_;
    bool built_ = false;
    bool directOpen_ = false;
    bool preserveCase_ = true;
    bool caseSensitive_ = true;
    bool driveChanging_ = false;
    QPointer<TFileListBoxEx> fileList_;
    QPointer<TDriveComboBoxEx> driveCombo_;
};

}  // namespace panes
