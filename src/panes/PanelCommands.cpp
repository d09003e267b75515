#include "panes/PanelCommands.h"

#include "panes/DirectoryListBox.h"
#include "panes/FileListBox.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "queue/TreeWalk.h"

namespace panes {

namespace {

// Leading and trailing blanks and control characters.
QString TrimControls(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 32)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

void Notify(const QString& text, platform::MsgKind kind) {
    platform::MessageDlg(text, kind, platform::mbOK);
}

}  // namespace

QString DeleteConfirmationText(int n) {
    return QStringLiteral("You are about to delete ") + QString::number(n) +
           QStringLiteral(
               " files/directories.\r\nThis cannot be undone!\r\n"
               "Are you sure you want to proceed?");
}

void TickAll(TCheckFileListBoxEx& list, bool ticked) {
    for (int i = 0; i < list.Count(); ++i)
        list.SetTicked(i, ticked);
}

void MakeDirectory(TDirectoryListBoxEx& dirList) {
    const QString name =
        platform::InputBox(QStringLiteral("Create Directory"),
                           QStringLiteral("Enter a new directory name"), QString());
    if (name.isEmpty()) return;
    const QString path = platform::JoinPath(dirList.Directory(), name);
    if (platform::DirectoryExists(path)) {
        Notify(QStringLiteral("Directory ") + path + QStringLiteral(" already exists"),
               platform::MsgKind::Confirmation);
        return;
    }
    (void)platform::CreateDir(path);
    if (!platform::DirectoryExists(path))
        Notify(QStringLiteral("Error creating \"") + path + QLatin1Char('"'),
               platform::MsgKind::Confirmation);
}

void DeleteTicked(TCheckFileListBoxEx& list) {
    int n = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Ticked(i) && !list.IsDotEntry(i)) ++n;
    if (n == 0) {
        Notify(QStringLiteral("Select some files/directories to delete"),
               platform::MsgKind::Information);
        return;
    }
    if (platform::MessageDlg(DeleteConfirmationText(n), platform::MsgKind::Confirmation,
                             platform::mbOK | platform::mbCancel) != platform::mrOk)
        return;

    const QString dir = list.Directory();
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        if (!list.Ticked(i) || list.IsDotEntry(i)) continue;
        const QString path = platform::JoinPath(dir, list.EntryName(i));
        // Failures are not reported: what could not go shows again after the re-read.
        if (!list.IsDirectoryEntry(i)) {
            (void)platform::DeleteFile(path);
            continue;
        }
        // A link to a directory is an entry of this directory; the tree behind
        // it belongs to someone else.
        const std::int32_t attr = platform::FileGetAttr(path);
        if (attr != -1 && (attr & platform::faSymLink))
            (void)platform::DeleteFile(path);
        else if (attr != -1 && (attr & platform::faDirectory))
            queue::RemoveTree(path, queue::Force::Yes);
    }
}

void RenameSelected(TDirectoryListBoxEx& dirList, TFileListBoxEx& fileList) {
    enum class Source { None, DirList, FileList };
    Source kind = Source::None;
    QString base;
    QString old;
    if (dirList.ItemIndex() >= 0) {
        kind = Source::DirList;
        base = platform::ExtractFileDir(dirList.Directory());
        old = platform::ExtractFileName(dirList.Directory());
        // A drive root has no name of its own to change.
        if (platform::IsDriveRoot(dirList.Directory())) old.clear();
    }
    if (fileList.ItemIndex() >= 0) {
        const int index = fileList.ItemIndex();
        if (fileList.IsDotEntry(index)) return;
        kind = Source::FileList;
        base = fileList.Directory();
        old = fileList.EntryName(index);
    }
    if (kind == Source::None || base.isEmpty() || old.isEmpty()) return;

    const QString answer = TrimControls(platform::InputBox(
        QStringLiteral("Rename file/directory"), QStringLiteral("New file/directory name"), old));
    // Exact comparison: a change of letter case alone is a rename.
    if (answer.isEmpty() || answer == old) return;

    if (kind == Source::DirList) dirList.SetDirectory(base);
    const QString from = platform::JoinPath(base, old);
    const QString to = platform::JoinPath(base, answer);
    if (!platform::RenameFile(from, to)) {
        Notify(QStringLiteral("Error renaming file/directory"), platform::MsgKind::Warning);
        return;
    }
    if (kind == Source::DirList) dirList.SetDirectory(to);
}

void RemoveDotEntries(TFileListBoxEx& list) {
    list.viewport()->update();
    for (int i = list.Count() - 1; i >= 0; --i) {
        if (i >= list.Count() || !list.IsDotEntry(i)) continue;
        if (list.Count() < 2)
            list.ClearItems();
        else
            list.DeleteItem(i);
    }
    list.viewport()->update();
}

}  // namespace panes
