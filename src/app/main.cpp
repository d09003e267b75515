// Program entry: sets the application title and shows the main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Ferrovant"));
    window.show();
    return app.exec();
}
