#include "panes/FileListBox.h"

#include "panes/DirectoryListBox.h"
#include "platform/Drives.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/Paths.h"
#include "platform/widgets/Icons.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <numeric>

namespace panes {

namespace {

// Shows the busy pointer once a read grows long, and always puts the old
// pointer back, also when the read fails.
class BusyPointer {
public:
    BusyPointer() = default;
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    ~BusyPointer() {
        if (on_) QGuiApplication::restoreOverrideCursor();
    }
    void On() {
        if (on_) return;
        on_ = true;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    }

private:
    bool on_ = false;
};

constexpr int kBusyFromEntry = 100;

bool IsDotName(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

}  // namespace

bool SameDirectory(const QString& a, const QString& b) {
    const platform::Drive* drive = a.isEmpty() ? nullptr : platform::Drives().find(a.at(0));
    const bool caseSensitive = drive != nullptr && drive->caseSensitive;
    return QString::compare(a, b, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

TFileListBoxEx::TFileListBoxEx(QWidget* parent)
    : TListBoxBase(parent), directory_(platform::GetCurrentDir()) {
    SetItemHeight(17);
}

TFileListBoxEx::~TFileListBoxEx() = default;

TDirectoryListBoxEx* TFileListBoxEx::DirList() const {
    return dirList_;
}

void TFileListBoxEx::SetDirectory(const QString& dir) {
    // The volumes are case-sensitive: C:\photos and C:\Photos are two
    // directories, and a list that stayed on the first would show (and delete
    // in) the wrong one.
    if (read_ && SameDirectory(directory_, dir)) return;
    Read(dir);
}

void TFileListBoxEx::SetMask(const QString& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    ReadIfShown();
}

void TFileListBoxEx::SetFileType(TFileType type) {
    if (type == fileType_) return;
    fileType_ = type;
    ReadIfShown();
}

void TFileListBoxEx::Update() {
    Read(directory_);
}

void TFileListBoxEx::ReadIfShown() {
    if (read_ || isVisible()) Read(directory_);
}

bool TFileListBoxEx::GoUp() {
    if (dirList_) dirList_->OpenParent();
    return dirList_;
}

void TFileListBoxEx::keyPressEvent(QKeyEvent* event) {
    const int index = ItemIndex();
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || index < 0 || !IsDirectoryEntry(index) || !dirList_)
        return TListBoxBase::keyPressEvent(event);
    // Enter on a directory entry opens it, as the directory list does.
    platform::Guard([&] {
        if (EntryName(index) == QStringLiteral(".."))
            dirList_->OpenParent();
        else if (!IsDotEntry(index))
            dirList_->SetDirectory(platform::JoinPath(directory_, EntryName(index)));
    });
}

void TFileListBoxEx::showEvent(QShowEvent* event) {
    TListBoxBase::showEvent(event);
    if (!read_) platform::Guard([this] { Read(directory_); });
}

bool TFileListBoxEx::IsDirectoryEntry(int index) const {
    Item(index);  // range check
    return isDir_[static_cast<std::size_t>(index)] != 0;
}

bool TFileListBoxEx::IsDotEntry(int index) const {
    const QString& text = Item(index);
    return IsDirectoryEntry(index) &&
           (text == QLatin1String("[.]") || text == QLatin1String("[..]"));
}

QString TFileListBoxEx::EntryName(int index) const {
    const QString& text = Item(index);
    return IsDirectoryEntry(index) ? text.mid(1, text.size() - 2) : text;
}

void TFileListBoxEx::Read(const QString& dir) {
    using namespace platform;
    const std::int32_t filter = static_cast<std::int32_t>(fileType_ & 0x3F);
    if (const Result<void> entered = CanEnterDirectory(dir); !entered)
        throw EInOutError(IoCodeFromErrno(entered.error().code));
    const bool root = IsDriveRoot(dir);

    BusyPointer busy;
    struct Entry {
        QString text;
        bool isDir;
    };
    std::vector<Entry> found;
    for (const QString& pattern : mask_.split(u';')) {
        if (pattern.isEmpty()) continue;
        DirectorySearch search;
        SearchRec rec;
        if (!search.First(JoinPath(dir, pattern), filter, rec)) continue;
        do {
            const bool isDir = (rec.attr & faDirectory) != 0;
            const bool dot = isDir && IsDotName(rec.name);
            if (dot && root) continue;
            const std::int32_t special = rec.attr & (faHidden | faSysFile | faVolumeID);
            if (!dot && (special & ~filter) != 0) continue;
            const std::int32_t shown = rec.attr & 0x3F;
            if (!(fileType_ & ftNormal) && (shown & filter) == 0) continue;
            found.push_back(
                {isDir ? QLatin1Char('[') + rec.name + QLatin1Char(']') : rec.name, isDir});
            if (static_cast<int>(found.size()) > kBusyFromEntry) busy.On();
        } while (search.Next(rec));
    }

    QStringList texts;
    texts.reserve(static_cast<qsizetype>(found.size()));
    std::vector<int> order(found.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&found](int a, int b) {
        return CompareEntries(found[a].text, found[b].text) < 0;
    });
    std::vector<char> kinds;
    kinds.reserve(found.size());
    for (int i : order) {
        texts.append(found[i].text);
        kinds.push_back(found[i].isDir ? 1 : 0);
    }

    directory_ = dir;
    read_ = true;
    ReplaceItems(texts);
    isDir_ = std::move(kinds);
    lastSelection_ = ItemIndex();
    emit OnChange();
}

void TFileListBoxEx::ItemInserted(int index) {
    isDir_.insert(isDir_.begin() + std::min<std::size_t>(index, isDir_.size()), 0);
}

void TFileListBoxEx::ItemDeleted(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < isDir_.size())
        isDir_.erase(isDir_.begin() + index);
}

void TFileListBoxEx::ItemsCleared() {
    isDir_.clear();
}

void TFileListBoxEx::UserSelectionChanged() {
    emit OnClick();
    if (ItemIndex() != lastSelection_) {
        lastSelection_ = ItemIndex();
        emit OnChange();
    }
}

void TFileListBoxEx::DrawEntry(QPainter& painter, int index, const QRect& rect, bool selected,
                               int left) {
    const QPalette& pal = palette();
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QRect fill(rect.left() + left, rect.top(), rect.width() - left, rect.height());
    painter.fillRect(fill, pal.color(group, selected ? QPalette::Highlight : QPalette::Base));
    const QString& text = Item(index);
    // A directory shows a folder: looked up by its bracketed text it would get
    // the unknown-type picture.
    const QIcon icon =
        IsDirectoryEntry(index) ? platform::FolderClosedIcon() : platform::FileIcon(text);
    icon.paint(&painter, QRect(rect.left() + left, rect.top(), 16, 16));
    painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect(rect.left() + left + 17, rect.top(), rect.width() - left - 17,
                         rect.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void TFileListBoxEx::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    DrawEntry(painter, index, rect, selected, 0);
}

}  // namespace panes
