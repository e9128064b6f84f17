#include "mainwindow.h"
#include "qt_translations.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    install_qt_translations(app);
    MainWindow window;
    window.setWindowTitle(QStringLiteral("Конфигуратор трекеров Voltrin"));
    window.show();
    return app.exec();
}
