#pragma once
// The program's font: Tahoma 8 pt (11 px at 96 dpi). Debian's fonts-wine ships
// a Tahoma outside fontconfig's path; it is loaded when present, else the
// system sans font stands in.

#include <QFont>

namespace platform {

// Loads the bundled Tahoma files once; true when Tahoma is available afterwards.
bool LoadProgramFonts();

// Tahoma (or the sans fallback) at 8 pt.
QFont ProgramFont();

}  // namespace platform
