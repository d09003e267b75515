// Program entry: sets the application title and shows the main window.
#include "app/MainUnit.h"
#include "platform/Dialogs.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/Icons.h"
#include "platform/widgets/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    platform::SetApplicationTitle(QStringLiteral("Ferrovant"));
    QApplication::setApplicationName(platform::ApplicationTitle());
    QApplication::setApplicationDisplayName(platform::ApplicationTitle());
    QApplication::setFont(platform::ProgramFont());
    platform::InitIconTheme();
    platform::InstallQtDialogs();

    app::TMainForm mainForm;
    mainForm.show();
    return QApplication::exec();
}
