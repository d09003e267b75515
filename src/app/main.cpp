// Program entry: the application title, the main window and its dialogs, the
// event loop, then the windows go in reverse.
#include "app/Application.h"
#include "app/MainUnit.h"
#include "app/ProgramLook.h"
#include "app/SingleInstance.h"
#include "platform/Dialogs.h"
#include "platform/widgets/AccessibleEntries.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "platform/widgets/QtDialogs.h"

#include <QIcon>

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    platform::SetApplicationTitle(QStringLiteral("Ferrovant"));
    QApplication::setApplicationName(platform::ApplicationTitle());
    QApplication::setApplicationDisplayName(platform::ApplicationTitle());
    // The application id: the desktop entry, the metainfo and the icon carry it.
    QApplication::setDesktopFileName(QStringLiteral("io.github.ferrovant.Ferrovant"));
    QApplication::setFont(platform::ProgramFont());
    // Dialogs and message boxes keep their light look on a dark desktop too.
    QApplication::setPalette(app::ProgramPalette());
    platform::InitIconTheme();
    // The program's own drawing, the same picture the desktop entry names.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ferrovant.svg")));
    platform::InstallQtDialogs();
    platform::InstallAccessibleEntries();

    // A second start on the same queue brings the running window forward
    // and ends: two writers of one queue file would lose one's rows.
    const app::ProgramFiles files = app::ProgramFiles::ForThisProgram();
    app::SingleInstance instance(files.queue);
    if (!instance.Claim()) return 0;

    app::TMainForm mainForm(files);
    instance.OnActivationAsked([&mainForm] {
        mainForm.setWindowState(mainForm.windowState() & ~Qt::WindowMinimized);
        mainForm.show();
        mainForm.raise();
        mainForm.activateWindow();
    });
    mainForm.CreateDialogs();
    mainForm.show();
    // Without a window manager nothing activates the window by itself.
    mainForm.activateWindow();
    // Closing the window ends the loop only through FormClose.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
