// korrin-batch: the workbook jobs of the window, from the command line.

#include "batchoptions.h"
#include "batchrun.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

bool g_verbose = false;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !g_verbose)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korrin-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORRIN_VERSION));
    qInstallMessageHandler(messageHandler);

    BatchOptions options;
    QString error;
    if (!parseBatchArguments(QCoreApplication::arguments().mid(1), &options, &error)) {
        std::fprintf(stderr, "korrin-batch: %s\n\n%s", error.toLocal8Bit().constData(),
                     batchUsage().toLocal8Bit().constData());
        return 2;
    }
    if (options.help) {
        std::fputs(batchUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("korrin-batch %s\n", KORRIN_VERSION);
        return 0;
    }
    g_verbose = options.verbose;

    QStringList files;
    QVector<RepPar> pars;
    if (!planBatch(options, &files, &pars, &error)) {
        std::fprintf(stderr, "korrin-batch: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    BatchRun run(files, pars, stdout, stderr);
    QObject::connect(&run, &BatchRun::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &BatchRun::start);
    return app.exec();
}
