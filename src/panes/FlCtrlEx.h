#pragma once
// The three pane widgets together, for code that uses all of them.

#include "panes/DirectoryListBox.h"
#include "panes/DriveComboBox.h"
#include "panes/FileListBox.h"
