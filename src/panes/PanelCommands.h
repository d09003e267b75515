#pragma once
// The file-management commands of a pane: tick or untick all, make a
// directory, delete the ticked entries, rename the selected entry. Each asks
// through the platform's message and input boxes; the caller re-reads the
// panes afterwards.

#include <QString>

namespace panes {

class TCheckFileListBoxEx;
class TDirectoryListBoxEx;
class TFileListBoxEx;

void TickAll(TCheckFileListBoxEx& list, bool ticked);

// Asks for a name and creates it in the directory list's directory.
void MakeDirectory(TDirectoryListBoxEx& dirList);

// Asks for confirmation, then deletes every ticked entry: files and links
// themselves, directories with all they hold. Nothing outside a ticked entry
// is touched: a link is removed, never what it points to.
void DeleteTicked(TCheckFileListBoxEx& list);

// Renames the file list's selected entry, else the directory list's current
// directory (the directory list then shows it under its new name).
void RenameSelected(TDirectoryListBoxEx& dirList, TFileListBoxEx& fileList);

// Drops the "[.]" and "[..]" entries of a file list.
void RemoveDotEntries(TFileListBoxEx& list);

// The delete confirmation for n entries, lines separated by CR LF.
QString DeleteConfirmationText(int n);

}  // namespace panes
