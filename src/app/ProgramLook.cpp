#include "app/ProgramLook.h"

namespace app {

QPalette ProgramPalette(QColor window) {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    // Dark draws bevels and the frames of tick boxes: it keeps 4.5:1 on white.
    const QColor dark = QColor::fromRgb(0x696969);
    const QColor disabledText = QColor::fromRgb(0x8C8C8C);
    QPalette p;
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? disabledText : black;
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, disabled ? window : white);
        p.setColor(group, QPalette::AlternateBase, QColor::fromRgb(0xE2EDFA));
        p.setColor(group, QPalette::ToolTipBase, QColor::fromRgb(0xFFFFE1));
        p.setColor(group, QPalette::ToolTipText, black);
        p.setColor(group, QPalette::PlaceholderText, QColor::fromRgb(0x6D6D6D));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, QColor::fromRgb(DialogColor));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, white);
        p.setColor(group, QPalette::Light, white);
        p.setColor(group, QPalette::Midlight, QColor::fromRgb(0xE3E3E3));
        p.setColor(group, QPalette::Mid, QColor::fromRgb(0xA0A0A0));
        p.setColor(group, QPalette::Dark, dark);
        p.setColor(group, QPalette::Shadow, QColor::fromRgb(0x404040));
        p.setColor(group, QPalette::Highlight,
                   disabled ? QColor::fromRgb(0xC0C0C0) : QColor::fromRgb(0x0063B1));
        p.setColor(group, QPalette::HighlightedText, disabled ? black : white);
        p.setColor(group, QPalette::Link, QColor::fromRgb(0x0000EE));
        p.setColor(group, QPalette::LinkVisited, QColor::fromRgb(0x551A8B));
    }
    return p;
}

}  // namespace app
