// Program entry: the application title, the main window and the three
// dialogs created hidden, the event loop, then the windows go in reverse.
#include "app/Application.h"
#include "app/MainUnit.h"
#include "platform/Dialogs.h"
#include "platform/widgets/AccessibleEntries.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "platform/widgets/QtDialogs.h"

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    platform::SetApplicationTitle(QStringLiteral("Ferrovant"));
    QApplication::setApplicationName(platform::ApplicationTitle());
    QApplication::setApplicationDisplayName(platform::ApplicationTitle());
    QApplication::setFont(platform::ProgramFont());
    platform::InitIconTheme();
    QApplication::setWindowIcon(
        platform::CommandIcon(QStringLiteral("folder-sync"), QStyle::SP_DriveHDIcon));
    platform::InstallQtDialogs();
    platform::InstallAccessibleEntries();

    app::TMainForm mainForm;
    mainForm.CreateDialogs();
    mainForm.show();
    // Without a window manager nothing activates the window by itself.
    mainForm.activateWindow();
    // Closing the window ends the loop only through FormClose.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
