#include "panes/DriveComboBox.h"

#include "panes/DirectoryListBox.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/widgets/Icons.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

namespace panes {

namespace {

constexpr int kRowHeight = 16;

// Drive rows: the drive's icon at the left, the text 22 pixels further,
// drawn as it is ("&" included).
class DriveRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect,
                          option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        icon.paint(painter, QRect(option.rect.left(), option.rect.top(), 16, 16));
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect text = option.rect.adjusted(22, 0, 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
};

QString Cased(const QString& text, TTextCase textCase) {
    return textCase == tcUpperCase ? text.toUpper() : text.toLower();
}

}  // namespace

TDriveComboBoxEx::TDriveComboBoxEx(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setItemDelegate(new DriveRowDelegate(this));
    setIconSize(QSize(16, 16));
    const QString current = platform::GetCurrentDir();
    if (!current.isEmpty() && current.at(0) != u'\\') drive_ = current.at(0);
    // activated comes for every choice, by mouse or by an arrow key in the
    // closed box; currentIndexChanged would also come for our own changes.
    connect(this, &QComboBox::activated, this, &TDriveComboBoxEx::Choose);
    // A screen reader acts on an entry of the closed box by selecting it in
    // the list behind the box: that too is a choice.
    connect(view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (view()->isVisible() || selected.indexes().isEmpty()) return;
                const int row = selected.indexes().front().row();
                if (row != currentIndex()) Choose(row);
            });
    platform::WatchDrives(this, [this] { platform::Guard([this] { DrivesChanged(); }); });
}

TDriveComboBoxEx::~TDriveComboBoxEx() {
    if (dirList_ && dirList_->driveCombo_ == this) dirList_->driveCombo_ = nullptr;
}

TDirectoryListBoxEx* TDriveComboBoxEx::DirList() const {
    return dirList_;
}

void TDriveComboBoxEx::SetDirList(TDirectoryListBoxEx* list) {
    if (dirList_ && dirList_->driveCombo_ == this) dirList_->driveCombo_ = nullptr;
    dirList_ = list;
    if (!list) return;
    if (list->driveCombo_ && list->driveCombo_ != this) list->driveCombo_->dirList_ = nullptr;
    list->driveCombo_ = this;
}

QString TDriveComboBoxEx::EntryText(QChar letter, TTextCase textCase) {
    const platform::Drive* drive = platform::Drives().entry(letter);
    const QString shownLetter = Cased(QString(letter), textCase);
    if (!drive) return shownLetter + QStringLiteral(": ");
    QString description;
    switch (drive->type) {
        case platform::DriveType::Removable:
            // Nothing is read from the medium: the label is the one the
            // system already knows, and a stick without one shows none.
            if (!drive->label.isEmpty())
                description = QLatin1Char('[') + drive->label + QLatin1Char(']');
            break;
        case platform::DriveType::Remote:
            description = drive->remoteName.isEmpty()
                              ? QLatin1Char('[') + drive->label + QLatin1Char(']')
                              : drive->remoteName;
            break;
        case platform::DriveType::Fixed:
        case platform::DriveType::CdRom:
        case platform::DriveType::RamDisk:
            description = QLatin1Char('[') + drive->label + QLatin1Char(']');
            break;
    }
    return QStringLiteral("%1: %2").arg(shownLetter, Cased(description, textCase));
}

void TDriveComboBoxEx::BuildList() {
    built_ = true;
    const QSignalBlocker blocker(this);
    clear();
    std::vector<platform::Drive> drives = platform::Drives().drives();
    std::sort(drives.begin(), drives.end(), [](const platform::Drive& a, const platform::Drive& b) {
        return a.letter.toUpper() < b.letter.toUpper();
    });
    for (const platform::Drive& drive : drives) {
        // An absent volume's letter is listed only where a pane still shows it.
        if (!drive.ready && drive.letter != drive_.toUpper()) continue;
        addItem(platform::DriveIcon(drive.type), EntryText(drive.letter, textCase_));
    }
    setCurrentIndex(-1);
}

void TDriveComboBoxEx::DrivesChanged() {
    if (!built_) return;
    // Rebuilding the list is not a choice of the user's.
    const QSignalBlocker viewBlocker(view()->selectionModel());
    BuildList();
    // The selection stays without a drive switch; the pane's own drive may have
    // come or gone, so the free space is shown again.
    int found = -1;
    for (int i = 0; i < count() && !drive_.isNull(); ++i) {
        if (itemText(i).at(0).toUpper() == drive_.toUpper()) found = i;
    }
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(found);
    }
    emit OnChange();
}

void TDriveComboBoxEx::SetTextCase(TTextCase textCase) {
    if (textCase == textCase_) return;
    textCase_ = textCase;
    if (!built_) return;
    BuildList();
    SetDrive(drive_);
}

void TDriveComboBoxEx::SetDrive(QChar letter) {
    if (currentIndex() >= 0 && !drive_.isNull() && letter.toUpper() == drive_.toUpper()) return;
    if (letter.isNull()) {
        drive_ = QChar();
        const QSignalBlocker blocker(this);
        setCurrentIndex(-1);
    } else {
        drive_ = textCase_ == tcUpperCase ? letter.toUpper() : letter.toLower();
        int found = -1;
        for (int i = 0; i < count(); ++i) {
            const QString text = itemText(i);
            if (text.size() >= 2 && text.at(0).toUpper() == drive_.toUpper() &&
                text.at(1) == u':') {
                found = i;
                break;
            }
        }
        const QSignalBlocker blocker(this);
        setCurrentIndex(found);
    }
    if (dirList_) dirList_->DriveChanged(drive_);
    emit OnChange();
}

void TDriveComboBoxEx::Choose(int index) {
    platform::Guard([&] {
        emit OnClick();
        const QString text = itemText(index);
        if (text.isEmpty()) return;
        const QChar previous = drive_;
        try {
            SetDrive(text.at(0));
        } catch (...) {
            // The pane stays where it was, so the selector goes back to its drive.
            platform::Guard([&] { SetDrive(previous); });
            throw;
        }
    });
}

void TDriveComboBoxEx::showEvent(QShowEvent* event) {
    QComboBox::showEvent(event);
    if (built_) return;
    platform::Guard([this] {
        BuildList();
        SetDrive(drive_);
    });
}

}  // namespace panes
