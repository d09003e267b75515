// The settings file may be edited by hand. Any bytes must read without a
// crash, come back byte for byte when nothing is written, and take a write
// that then reads back as written while the other entries stay as they read.

#include "persistence/Profile.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    persistence::ProfileText profile(bytes);
    if (profile.Content() != bytes) std::abort();

    const QString sourceDir = profile.ReadText("Files", "SourceDir", "<none>");
    const int height = profile.ReadInt("MainForm", "FilePanelHeight", 250);
    const bool maximized = profile.ReadFlag("MainForm", "Maximized", false);
    (void)persistence::ParseProfileInt(QString::fromUtf8(bytes), 0);

    const int value = size >= 4 ? static_cast<int>(data[0] | data[1] << 8 | data[2] << 16 |
                                                   static_cast<unsigned>(data[3]) << 24)
                                : -1;
    profile.WriteInt("QueueGrid", "Col0", value);
    profile.WriteText("Files", "TargetDir", QString::fromUtf8(bytes.left(64)));

    const persistence::ProfileText reread(profile.Content());
    if (reread.ReadInt("QueueGrid", "Col0", value ^ 1) != value) std::abort();
    if (reread.ReadText("Files", "SourceDir", "<none>") != sourceDir) std::abort();
    if (reread.ReadInt("MainForm", "FilePanelHeight", 250) != height) std::abort();
    if (reread.ReadFlag("MainForm", "Maximized", false) != maximized) std::abort();
    return 0;
}
