#pragma once
// The drive selector of a pane: one entry per drive of the drive table,
// choosing one moves the linked directory list to that drive.

#include <QChar>
#include <QComboBox>
#include <QPointer>
#include <QString>

namespace panes {

class TDirectoryListBoxEx;

enum TTextCase { tcLowerCase, tcUpperCase };

class TDriveComboBoxEx : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBoxEx(QWidget* parent = nullptr);
    ~TDriveComboBoxEx() override;

    // Letter of the selected drive; QChar() for none.
    QChar Drive() const { return drive_; }
    // Selects a drive and moves the directory list there, then OnChange. Choosing
    // the drive already selected does nothing. When the directory list cannot
    // enter the drive, its EInOutError comes through and OnChange does not fire.
    void SetDrive(QChar letter);

    TTextCase TextCase() const { return textCase_; }
    void SetTextCase(TTextCase textCase);

    TDirectoryListBoxEx* DirList() const;
    void SetDirList(TDirectoryListBoxEx* list);

    // Fills the entries from the drive table (also done on first showing): the
    // ready drives, and the selected one while its volume is absent.
    void BuildList();
    // After a mount or unmount: the entries again, the same drive selected,
    // then OnChange. Nothing before the first showing.
    void DrivesChanged();
    // The entry text of one drive: "C: [LABEL]", "E: [STICK]", "F: \\SERVER\SHARE".
    static QString EntryText(QChar letter, TTextCase textCase);

signals:
    void OnChange();
    void OnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Choose(int index);

    QChar drive_;
    TTextCase textCase_ = tcLowerCase;
    bool built_ = false;
    QPointer<TDirectoryListBoxEx> dirList_;
};

}  // namespace panes
