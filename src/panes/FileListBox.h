#pragma once
// The file list of a pane: the entries of one directory, sorted, each with the
// small icon of its type; TCheckFileListBoxEx adds a check box per entry.
// Subdirectories show as "[name]". The list reads the disk only when told to
// (Update, a new Directory, Mask or FileType, or its first showing).

#include "panes/BoolList.h"
#include "panes/ListBoxBase.h"

#include <QPointer>
#include <QString>

#include <vector>

namespace panes {

class TDirectoryListBoxEx;

// Attribute set of the entries a file list shows (FileType).
enum TFileAttr : unsigned {
    ftReadOnly = 0x01,
    ftHidden = 0x02,
    ftSystem = 0x04,
    ftVolumeID = 0x08,
    ftDirectory = 0x10,
    ftArchive = 0x20,
    ftNormal = 0x80,
};
using TFileType = unsigned;

// Whether two directory texts name the same directory, compared as the
// volume of the first compares names (exactly on a case-sensitive volume).
bool SameDirectory(const QString& a, const QString& b);

class TFileListBoxEx : public TListBoxBase {
    Q_OBJECT
public:
    explicit TFileListBoxEx(QWidget* parent = nullptr);
    ~TFileListBoxEx() override;

    const QString& Directory() const { return directory_; }
    // Takes dir and reads it, unless it names the listed directory already.
    // A directory that cannot be entered throws EInOutError and changes nothing.
    void SetDirectory(const QString& dir);

    const QString& Mask() const { return mask_; }
    void SetMask(const QString& mask);
    TFileType FileType() const { return fileType_; }
    void SetFileType(TFileType type);

    // Reads the directory again: every tick and the selection go.
    void Update();

    // True for a subdirectory entry (what the disk said, not the brackets,
    // so a file that happens to be called "[x]" is never taken for a directory).
    bool IsDirectoryEntry(int index) const;
    // "[.]" or "[..]" standing for the directory itself or its parent.
    bool IsDotEntry(int index) const;
    // The on-disk name of an entry: the text, or the text inside the brackets.
    QString EntryName(int index) const;

    TDirectoryListBoxEx* DirList() const;

protected:
    void ItemInserted(int index) override;
    void ItemDeleted(int index) override;
    void ItemsCleared() override;
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) override;
    void UserSelectionChanged() override;
    bool GoUp() override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // Fills from left on, draws the icon at left and the text 17 pixels further.
    void DrawEntry(QPainter& painter, int index, const QRect& rect, bool selected, int left);

private:
    friend class TDirectoryListBoxEx;
    void Read(const QString& dir);
    void ReadIfShown();

    QString directory_;
    QString mask_ = QStringLiteral("*.*");
    TFileType fileType_ = ftNormal;
    bool read_ = false;
    int lastSelection_ = -1;
    std::vector<char> isDir_;
    QPointer<TDirectoryListBoxEx> dirList_;
};

class TCheckFileListBoxEx : public TFileListBoxEx {
    Q_OBJECT
public:
    explicit TCheckFileListBoxEx(QWidget* parent = nullptr);

    // Out of range: EListError.
    bool Ticked(int index) const;
    // Sets one tick and repaints its row; no notification.
    void SetTicked(int index, bool ticked);

    bool Flat() const { return flat_; }
    void SetFlat(bool flat);

    platform::AccessibleEntry AccessibleEntryAt(int index) const override;
    // Toggles the tick as a click on the check box does.
    void AccessibleToggle(int index) override;

signals:
    // The user toggled the tick of an entry.
    void OnClickCheck(panes::TCheckFileListBoxEx* sender, int index);

protected:
    void ItemInserted(int index) override;
    void ItemDeleted(int index) override;
    void ItemsCleared() override;
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SyncTicks() const;
    void Press(QMouseEvent* event);
    void Toggle(int index);
    void DrawCheckBox(QPainter& painter, const QRect& row, bool ticked);

    // Brought to the entry count lazily, also by readers.
    mutable TBoolList ticks_;
    bool flat_ = true;
};

}  // namespace panes
