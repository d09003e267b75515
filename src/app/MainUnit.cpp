#include "app/MainUnit.h"

#include "platform/Dialogs.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"

#include <QPalette>

namespace app {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(platform::ApplicationTitle());
    setFont(platform::ProgramFont());
    // Designed placement; the placement memory overrides it once it exists.
    setGeometry(466, 182, 986, 634);
    setMinimumSize(780, 580);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(MainFormColor));
    setPalette(pal);
    setAutoFillBackground(true);

    GridQueue = new platform::TStringGridEx(&queue_.Grid(), this);
    GridQueue->setObjectName(QStringLiteral("GridQueue"));
    setCentralWidget(GridQueue);
    // The Real Size column is for the program; the user reads File Size.
    queue_.Grid().HideTableColumn(queue::colRealSize);
}

TMainForm::~TMainForm() {
    // The view must let go of the grid before the table it belongs to is destroyed.
    GridQueue->SetGrid(nullptr);
}

}  // namespace app
