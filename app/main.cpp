#include "mainwindow.h"
#include "qt_translations.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The station's records name the program's version that wrote each tracker.
    QApplication::setApplicationVersion(QStringLiteral(TC_VERSION));
    install_qt_translations(app);
    MainWindow window;
    window.setWindowTitle(QStringLiteral("Конфигуратор трекеров Voltrin"));
    window.show();
    return app.exec();
}
