#include "korrinversion.h"
#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Linux executables carry no version resource; the version names the
    // window title and the settings folder.
    QCoreApplication::setApplicationVersion(QStringLiteral(KORRIN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korrin"));
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/korrin-%1.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korrin"), icon));

    MainWindow window;
    window.show();
    return app.exec();
}
