#include "platform/widgets/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace platform {

bool LoadProgramFonts() {
    static const bool loaded = [] {
        bool any = false;
        for (const char* path :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QString::fromLatin1(path)) &&
                QFontDatabase::addApplicationFont(QString::fromLatin1(path)) >= 0)
                any = true;
        }
        return any;
    }();
    return loaded;
}

QFont ProgramFont() {
    LoadProgramFonts();
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

}  // namespace platform
