// korrin-batch: the run of the window, from the command line.

#include "batchoptions.h"
#include "batchplan.h"
#include "batchrun.h"
#include "backuprun.h"
#include "changeexport.h"
#include "korrinversion.h"
#include "undo.h"

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
    ScanSkips skips;
    if (!options.undo.isEmpty()) {
        JobOptions job;
        job.dryRun = options.dryRun;
        job.breakLinks = options.breakLinks;
        if (!planUndo(options.undo, job, &plan, &error)) {
            complain(error);
            return 2;
        }
    } else {
        QStringList notes;
        if (!planBatch(options, &plan, &notes, &error, &skips)) {
            complain(error);
            return 2;
        }
        for (const QString &note : qAsConst(notes))
            complain(note);
        plan.job.dryRun = options.dryRun;
    }

    // Whatever the run needs to write besides the workbooks is set up
    // before any workbook is touched: a path that cannot be written stops
    // the run before it begins.
    std::shared_ptr<ChangeRecord> changes;
    std::unique_ptr<ChangeExport> exported;
    const bool changesToOutput = options.changes == QLatin1String("-");
    if (!options.changes.isEmpty()) {
        changes = std::make_shared<ChangeRecord>();
        if (!changes->open(&error)
            || (!changesToOutput && !(exported = ChangeExport::begin(options.changes, &error)))) {
            complain(error);
            return 2;
        }
        plan.job.changes = changes;
    }
    // A dry run makes no backups, but refuses a backup folder as the real
    // run would.
    std::shared_ptr<BackupRun> backups;
    if (!options.backupDir.isEmpty() && options.dryRun && !BackupRun::check(options.backupDir, &error)) {
        complain(error);
        return 2;
    }
    if (!options.backupDir.isEmpty() && !options.dryRun) {
        backups = BackupRun::start(options.backupDir, &error);
        if (!backups) {
            complain(error);
            return 2;
        }
        plan.job.backups = backups;
    }

    Run run(plan);
    // With the record on standard output, the reports go to standard error.
    FILE *reports = changesToOutput ? stderr : stdout;
    std::unique_ptr<ChangeStream> stream;
    if (changesToOutput)
        stream = std::make_unique<ChangeStream>(&run, changes.get(), stdout, stderr);
    // A record written to a file is written as the reports come in, so that
    // little of it is left for the end; one that cannot be written stops
    // the run, as one to standard output does.
    if (exported) {
        QObject::connect(&run, &Run::done, &app, [&, failed = false](Rep *, STATE, int index) mutable {
            QString why;
            if (failed || exported->fileReported(*changes, index, &why))
                return;
            failed = true;
            complain(QStringLiteral("the record of changes cannot be written (%1): the run stops; files not yet "
                                    "saved stay as they were").arg(why));
            run.stopSoon();
        });
    }
    BatchReporter reporter(&run, options.json ? BatchReporter::Json : BatchReporter::Plain, reports, stderr);
    reporter.setScanSkips(skips);
    QObject::connect(&reporter, &BatchReporter::finished, &app, [&](int status) {
        QString why;
        if (backups && !backups->finish(&why)) {
            complain(why);
            status = 1;
        }
        if (exported && !exported->write(*changes, &why)) {
            complain(QStringLiteral("the record of changes was not written: %1").arg(why));
            status = 1;
        }
        if (stream && !stream->ok())
            status = 1; // said when it happened
        if (!options.undo.isEmpty() && !options.dryRun && status == 0 && !markUndone(options.undo, &why))
            complain(why);
        app.exit(status);
    }, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &Run::start);
    return app.exec();
}
