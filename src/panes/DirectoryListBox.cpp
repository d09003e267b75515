#include "panes/DirectoryListBox.h"

#include "panes/DriveComboBox.h"
#include "panes/FileListBox.h"
#include "platform/Drives.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/Paths.h"
#include "platform/widgets/Icons.h"

#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cerrno>

namespace panes {

namespace {

QHash<QChar, QString>& DriveMemory() {
    static QHash<QChar, QString> memory;
    return memory;
}

[[noreturn]] void ThrowCannotEnter(const platform::OsError& error) {
    throw platform::EInOutError(platform::IoCodeFromErrno(error.code));
}

bool IsNetworkPath(const QString& path) {
    return path.startsWith(QLatin1String("\\\\"));
}

// "\\server\share" of a network path (without the "\" after the share).
QString NetworkRoot(const QString& path) {
    int slashes = 0;
    for (int i = 0; i < path.size(); ++i) {
        if (path.at(i) != u'\\') continue;
        if (++slashes == 4) return path.left(i);
    }
    return path;
}

}  // namespace

QString DriveDirectory(QChar letter) {
    const QChar key = letter.toUpper();
    const QString remembered = DriveMemory().value(key);
    if (!remembered.isEmpty() && platform::CanEnterDirectory(remembered)) return remembered;
    return QString(key) + QStringLiteral(":\\");
}

void RememberDriveDirectory(const QString& dir) {
    if (dir.size() < 2 || dir.at(1) != u':') return;
    DriveMemory().insert(dir.at(0).toUpper(), dir);
}

void ForgetDriveDirectories() {
    DriveMemory().clear();
}

TDirectoryListBoxEx::TDirectoryListBoxEx(QWidget* parent)
    : TListBoxBase(parent), directory_(platform::GetCurrentDir()) {
    SetItemHeight(16);
    ReadVolumeFlags(directory_, preserveCase_, caseSensitive_);
}

TDirectoryListBoxEx::~TDirectoryListBoxEx() = default;

TFileListBoxEx* TDirectoryListBoxEx::FileList() const {
    return fileList_;
}

TDriveComboBoxEx* TDirectoryListBoxEx::DriveCombo() const {
    return driveCombo_;
}

void TDirectoryListBoxEx::SetFileList(TFileListBoxEx* list) {
    if (fileList_ && fileList_->dirList_ == this) fileList_->dirList_ = nullptr;
    fileList_ = list;
    if (!list) return;
    if (list->dirList_ && list->dirList_ != this) list->dirList_->fileList_ = nullptr;
    list->dirList_ = this;
}

void TDirectoryListBoxEx::ReadVolumeFlags(const QString& dir, bool& preserveCase,
                                          bool& caseSensitive) const {
    const platform::Drive* drive =
        (dir.isEmpty() || IsNetworkPath(dir)) ? nullptr : platform::Drives().find(dir.at(0));
    // Without a drive to ask (a network path), assume what a share usually is.
    caseSensitive = drive ? drive->caseSensitive : false;
    preserveCase = drive ? (drive->casePreserving || drive->caseSensitive) : true;
}

QString TDirectoryListBoxEx::DrivePart() const {
    if (IsNetworkPath(directory_)) return NetworkRoot(directory_);
    return directory_.left(2);
}

TDirectoryListBoxEx::Built TDirectoryListBoxEx::BuildFor(const QString& dir) const {
    using namespace platform;
    Built out;
    ReadVolumeFlags(dir, out.preserveCase, out.caseSensitive);
    if (const Result<void> entered = CanEnterDirectory(dir); !entered)
        ThrowCannotEnter(entered.error());

    QString taken = dir;
    if (IsNetworkPath(dir)) {
        const QString root = NetworkRoot(dir);
        out.texts.append(root + QLatin1Char('\\'));
        out.kinds.push_back(TDirEntryKind::Opened);
        taken = dir.mid(root.size() + 1);
    }
    if (taken.endsWith(u'\\') || taken.isEmpty()) {
        if (!taken.isEmpty()) {
            out.texts.append(taken);
            out.kinds.push_back(TDirEntryKind::Current);
        } else if (!out.kinds.empty()) {
            out.kinds.back() = TDirEntryKind::Current;
        }
    } else {
        const QStringList parts = taken.split(u'\\');
        for (int i = 0; i < parts.size(); ++i) {
            const bool last = i == parts.size() - 1;
            QString text = parts[i];
            if (i == 0 && !IsNetworkPath(dir)) text += QLatin1Char('\\');
            out.texts.append(text);
            out.kinds.push_back(last ? TDirEntryKind::Current : TDirEntryKind::Opened);
        }
    }

    QStringList subdirs;
    DirectorySearch search;
    SearchRec rec;
    if (search.First(JoinPath(dir, QStringLiteral("*.*")), faDirectory, rec)) {
        do {
            if (!(rec.attr & faDirectory)) continue;
            if (rec.attr & (faHidden | faSysFile | faVolumeID)) continue;
            if (rec.name == QLatin1String(".") || rec.name == QLatin1String("..")) continue;
            subdirs.append(rec.name);
        } while (search.Next(rec));
    }
    SortEntries(subdirs);
    for (const QString& name : subdirs) {
        out.texts.append(name);
        out.kinds.push_back(TDirEntryKind::Closed);
    }
    if (!out.preserveCase)
        for (QString& text : out.texts)
            text = text.toLower();
    return out;
}

void TDirectoryListBoxEx::Apply(Built built) {
    ReplaceItems(built.texts);
    kinds_ = std::move(built.kinds);
    preserveCase_ = built.preserveCase;
    caseSensitive_ = built.caseSensitive;
    built_ = true;
    for (int i = 0; i < static_cast<int>(kinds_.size()); ++i) {
        if (kinds_[i] == TDirEntryKind::Current) {
            SetItemIndex(i);
            break;
        }
    }
}

void TDirectoryListBoxEx::Rebuild() {
    Apply(BuildFor(directory_));
}

void TDirectoryListBoxEx::PassOn() {
    if (fileList_) fileList_->SetDirectory(directory_);
}

void TDirectoryListBoxEx::Update() {
    Rebuild();
    PassOn();
    emit OnChange();
}

bool TDirectoryListBoxEx::SameAsCurrent(const QString& path) const {
    return QString::compare(path, directory_,
                            caseSensitive_ ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

void TDirectoryListBoxEx::OpenResolved(const QString& dir) {
    Built built = BuildFor(dir);  // throws before anything changes
    directory_ = dir;
    Apply(std::move(built));
    RememberDriveDirectory(dir);
    PassOn();
    emit OnChange();
}

void TDirectoryListBoxEx::SetDirectory(const QString& path) {
    if (path.isEmpty() || SameAsCurrent(path)) return;
    const QString dir = platform::ExpandFileName(path);
    if (dir.isEmpty()) {
        errno = 0;
        throw platform::EInOutError(platform::IoCodeFromErrno(ENOENT));
    }
    if (SameAsCurrent(dir)) return;

    const QChar oldDrive = directory_.isEmpty() ? QChar() : directory_.at(0).toUpper();
    const bool newDrive = dir.at(0).toUpper() != oldDrive;
    if (newDrive && driveCombo_) {
        driveChanging_ = true;
        try {
            driveCombo_->SetDrive(dir.at(0));
        } catch (...) {
            driveChanging_ = false;
            throw;
        }
        driveChanging_ = false;
    }
    try {
        OpenResolved(dir);
    } catch (...) {
        // The selector must not go on naming a drive the pane never reached.
        if (newDrive && driveCombo_) platform::Guard([&] { driveCombo_->SetDrive(oldDrive); });
        throw;
    }
}

void TDirectoryListBoxEx::DriveChanged(QChar letter) {
    if (letter.isNull()) return;
    if (!directory_.isEmpty() && letter.toUpper() == directory_.at(0).toUpper()) return;
    // During an opening the path being opened decides the directory.
    if (driveChanging_) return;
    OpenResolved(DriveDirectory(letter));
}

TDirEntryKind TDirectoryListBoxEx::EntryKind(int index) const {
    Item(index);  // range check
    return kinds_[static_cast<std::size_t>(index)];
}

QString TDirectoryListBoxEx::EntryPath(int index) const {
    const TDirEntryKind kind = EntryKind(index);
    const QString drive = DrivePart();
    if (index == 0) return drive + QLatin1Char('\\');
    if (kind == TDirEntryKind::Current) return directory_;
    if (kind == TDirEntryKind::Closed) return platform::JoinPath(directory_, Item(index));
    // Opened: the drive part, then the rest of the directory up to its
    // (index + 1)-th separator.
    const QString rest = directory_.mid(drive.size());
    int seen = 0;
    for (int i = 0; i < rest.size(); ++i) {
        if (rest.at(i) == u'\\' && ++seen == index + 1) return drive + rest.left(i);
    }
    return directory_;
}

void TDirectoryListBoxEx::OpenSelected() {
    if (ItemIndex() < 0) return;
    SetDirectory(EntryPath(ItemIndex()));
}

void TDirectoryListBoxEx::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    const QPalette& pal = palette();
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.fillRect(rect, pal.color(group, selected ? QPalette::Highlight : QPalette::Base));
    const TDirEntryKind kind = kinds_[static_cast<std::size_t>(index)];
    int offset = 0;
    if (kind == TDirEntryKind::Closed) {
        const int depth = static_cast<int>(directory_.count(u'\\'));
        offset = 4 * depth + 6;
        platform::FolderClosedIcon().paint(&painter,
                                           QRect(rect.left() + offset, rect.top(), 16, 16));
    } else {
        offset = 4 * index + 2;
        platform::FolderOpenIcon().paint(&painter, QRect(rect.left() + offset, rect.top(), 16, 16));
    }
    painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(QRect(rect.left() + offset + 20, rect.top(), rect.width(), rect.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, Item(index));
}

void TDirectoryListBoxEx::mousePressEvent(QMouseEvent* event) {
    // With single-click opening, the second click of a double click would open
    // whatever entry of the new list lies under the pointer: one level per
    // double click, as a user who double-clicks out of habit expects.
    if (directOpen_ && (event->flags() & Qt::MouseEventCreatedDoubleClick)) return;
    TListBoxBase::mousePressEvent(event);
}

void TDirectoryListBoxEx::mouseDoubleClickEvent(QMouseEvent* event) {
    if (directOpen_) return;
    platform::Guard([&] {
        if (event->button() == Qt::LeftButton) TListBoxBase::mousePressEvent(event);
        OpenSelected();
    });
}

void TDirectoryListBoxEx::mouseReleaseEvent(QMouseEvent* event) {
    if (!directOpen_) return;
    const QPoint pos = event->position().toPoint();
    if (pos.x() <= 0 || !viewport()->rect().contains(pos)) return;
    platform::Guard([this] { OpenSelected(); });
}

void TDirectoryListBoxEx::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        platform::Guard([this] { OpenSelected(); });
        event->accept();
        return;
    }
    TListBoxBase::keyPressEvent(event);
}

void TDirectoryListBoxEx::showEvent(QShowEvent* event) {
    TListBoxBase::showEvent(event);
    if (built_) return;
    platform::Guard([this] {
        Rebuild();
        PassOn();
    });
}

void TDirectoryListBoxEx::OpenParent() {
    for (int i = 1; i < Count(); ++i) {
        if (kinds_[i] == TDirEntryKind::Current) return SetDirectory(EntryPath(i - 1));
    }
}

bool TDirectoryListBoxEx::GoUp() {
    OpenParent();
    return true;
}

void TDirectoryListBoxEx::AccessiblePress(int index) {
    TListBoxBase::AccessiblePress(index);
    if (directOpen_ && ItemIndex() == index) OpenSelected();
}

}  // namespace panes
