#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Linux executables carry no version resource; the version names the
    // window title and the settings folder.
    QCoreApplication::setApplicationVersion(QStringLiteral(KORRIN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korrin"));

    MainWindow window;
    window.show();
    return app.exec();
}
