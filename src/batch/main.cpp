// korrin-batch: the run of the window, from the command line.

#include "batchoptions.h"
#include "batchplan.h"
#include "batchrun.h"
#include "korrinversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

bool g_verbose = false;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !g_verbose)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void complain(const QString &text)
{
    std::fprintf(stderr, "korrin-batch: %s\n", text.toLocal8Bit().constData());
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
    // Debug messages unseen are not even made.
    if (!g_verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    if (options.jobs > 0)
        QThreadPool::globalInstance()->setMaxThreadCount(options.jobs);

    // A reader of the output that goes away (| head) is a write error to
    // handle, not a signal that ends the process halfway through a save.
    std::signal(SIGPIPE, SIG_IGN);

    RunPlan plan;
    QStringList notes;
    ScanSkips skips;
    if (!planBatch(options, &plan, &notes, &error, &skips)) {
        complain(error);
        return 2;
    }
    for (const QString &note : qAsConst(notes))
        complain(note);
    plan.job.dryRun = options.dryRun;
    if (!options.backupDir.isEmpty() && !options.dryRun) {
        if (!QDir().mkpath(options.backupDir)) {
            complain(QStringLiteral("cannot create the backup folder %1").arg(options.backupDir));
            return 2;
        }
        plan.job.backupFolder = QDir(options.backupDir).absolutePath();
    }

    Run run(plan);
    BatchReporter reporter(&run, options.json ? BatchReporter::Json : BatchReporter::Plain, stdout, stderr);
    reporter.setScanSkips(skips);
    QObject::connect(&reporter, &BatchReporter::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &Run::start);
    return app.exec();
}
