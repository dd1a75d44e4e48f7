#include "korrinversion.h"
#include "mainwindow.h"

#include <QApplication>
#include <QIcon>
#include <QTranslator>

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

    // The engine's and the run's reasons are English in the code, as
    // korrin-batch shows them; the window shows them in Chinese, like the
    // rest of its texts, whatever the locale. Installed before any job can
    // make a reason.
    QTranslator reasons;
    if (reasons.load(QStringLiteral(":/translations/korrin_zh_CN.qm")))
        QCoreApplication::installTranslator(&reasons);

    MainWindow window;
    window.show();
    return app.exec();
}
