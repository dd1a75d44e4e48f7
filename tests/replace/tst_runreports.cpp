// A run over real files: every entry reported once, what needs no job
// inside start(), and a workbook listed under several names changed once.

#include "committer.h"
#include "run.h"
#include "testbooks.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestRunReports : public QObject
{
    Q_OBJECT

    struct Outcome
    {
        QVector<int> timesReported;
        int reportedDuringStart = 0;
        bool finished = false;
    };

    static Outcome runToTheEnd(Run &run)
    {
        Outcome o;
        o.timesReported.resize(run.plan().files.size());
        QObject::connect(&run, &Run::done, [&](Rep *, STATE, int index) { ++o.timesReported[index]; });
        QObject::connect(&run, &Run::finished, [&] { o.finished = true; });
        run.start();
        for (int n : qAsConst(o.timesReported))
            o.reportedDuringStart += n;
        QDeadlineTimer deadline(30000);
        while (!o.finished && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return o;
    }
    static RepPar replacing(const QString &what, const QString &with)
    {
        RepPar par;
        par.sheetIndex = QStringLiteral("首表");
        par.pairs = {{what, with}};
        par.matchCase = true;
        return par;
    }

private slots:
    void everyEntryOnceAndEachWorkbookOnce()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx");
        TestBooks::write(book, {"A"});
        QVERIFY(QFile::link(book, dir.filePath("link.xlsx")));
        QVERIFY(::link(QFile::encodeName(book).constData(), QFile::encodeName(dir.filePath("hard.xlsx")).constData()) == 0);
        QVERIFY(QFile::link(dir.filePath("gone.xlsx"), dir.filePath("dangling.xlsx")));
        QVERIFY(QDir(dir.path()).mkdir("folder.xlsx"));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.xlsx")).constData(), 0644) == 0);
        const QStringList files{book,
                                dir.filePath("link.xlsx"),
                                dir.filePath("hard.xlsx"),
                                dir.path() + "/./book.xlsx",
                                dir.filePath("gone.xlsx"),
                                dir.filePath("dangling.xlsx"),
                                dir.filePath("folder.xlsx"),
                                dir.filePath("fifo.xlsx")};

        // A workbook with a second hard link fails untouched, and so do its
        // repeats, unless the links may be broken: then the other name keeps
        // the old content and its report says so.
        Run linked(RunPlan::forEvery(files, replacing("A", "AB")));
        QVERIFY(runToTheEnd(linked).finished);
        QCOMPARE(TestBooks::column(book), QString("A"));
        QVERIFY2(linked.report(0).reason.text().startsWith("the file has 2 hard links"),
                 qPrintable(linked.report(0).reason.text()));
        for (int k = 0; k <= 3; ++k)
            QCOMPARE(linked.report(k).state, FAILURE);

        RunPlan breaking = RunPlan::forEvery(files, replacing("A", "AB"));
        breaking.job.breakLinks = true;
        Run run(breaking);
        const Outcome o = runToTheEnd(run);
        QVERIFY(o.finished);
        QCOMPARE(o.timesReported, QVector<int>(files.size(), 1));
        QCOMPARE(o.reportedDuringStart, 4); // the missing and the no-files
        QCOMPARE(TestBooks::column(book), QString("AB")); // not ABB
        QCOMPARE(TestBooks::column(dir.filePath("hard.xlsx")), QString("A"));
        QCOMPARE(run.report(0).state, SUCCESS);
        QCOMPARE(run.report(0).cells, qint64(1));
        for (int k : {1, 3}) {
            QCOMPARE(run.report(k).state, SUCCESS);
            QCOMPARE(run.report(k).cells, qint64(0));
            QVERIFY2(run.report(k).reason.text().startsWith("the same workbook as " + book), qPrintable(run.report(k).reason.text()));
        }
        QCOMPARE(run.report(2).state, FAILURE);
        QVERIFY2(run.report(2).reason.text().contains("keeps the old content"), qPrintable(run.report(2).reason.text()));
        QCOMPARE(run.report(4).state, MISSING);
        QCOMPARE(run.report(4).reason.text(), QString("the file does not exist"));
        QCOMPARE(run.report(5).state, MISSING);
        QCOMPARE(run.report(5).reason.text(), QString("a symbolic link to nothing"));
        QCOMPARE(run.report(6).state, FAILURE);
        QCOMPARE(run.report(6).reason.text(), QString("a folder, not a workbook file"));
        QCOMPARE(run.report(7).state, FAILURE);
        QCOMPARE(run.summary().files, files.size());
        QCOMPARE(run.summary().success, 3);
        QCOMPARE(run.summary().failure, 3);
        QCOMPARE(run.summary().missing, 2);
        QCOMPARE(run.summary().cells, qint64(1));

        // as the window counts them, and a repeat with pairs of its own
        RunPlan plan = RunPlan::forEvery(files.mid(0, 2) + files.mid(6), replacing("AB", "C"));
        plan.pars[1] = replacing("AB", "D");
        plan.nonFilesAreMissing = true;
        Run second(plan);
        runToTheEnd(second);
        QCOMPARE(TestBooks::column(book), QString("C"));
        QCOMPARE(second.report(1).state, FAILURE);
        QVERIFY2(second.report(1).reason.text().contains("with other pairs"), qPrintable(second.report(1).reason.text()));
        QCOMPARE(second.report(2).state, MISSING);
        QCOMPARE(second.report(2).reason.text(), QString("a folder, not a workbook file"));
        QCOMPARE(second.report(3).state, MISSING);
    }

    // A stop asked for inside a report takes effect at once: while the
    // report's slot is still busy, the queued jobs do not start.
    void stopFromInsideAReport()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString first = dir.filePath("book0.xlsx");
        TestBooks::write(first, {"A"});
        QStringList files{first};
        for (int i = 1; i < 40; ++i) {
            files << dir.filePath(QString("book%1.xlsx").arg(i));
            QVERIFY(QFile::copy(first, files.last()));
        }
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        const QByteArray original = TestBooks::bytes(first);
        const auto changedOnDisk = [&] {
            int n = 0;
            for (const QString &f : files)
                n += TestBooks::bytes(f) != original;
            return n;
        };
        Run run(RunPlan::forEvery(files, replacing("A", "B")));
        int changedAtStop = -1;
        QObject::connect(&run, &Run::done, [&](Rep *, STATE, int) {
            if (changedAtStop >= 0)
                return;
            run.stopSoon();
            changedAtStop = changedOnDisk();
            QThread::msleep(300); // a slow window: the pool's thread goes on meanwhile
        });
        const Outcome o = runToTheEnd(run);
        pool->setMaxThreadCount(threads);
        QVERIFY(o.finished);
        QCOMPARE(o.timesReported, QVector<int>(files.size(), 1));
        // Besides the saves the committer may hold, at most the one job
        // under way when the stop came still saved.
        const int handedOn = Committer::instance()->inFlight();
        const int changed = changedOnDisk();
        QCOMPARE(changed, run.summary().success);
        QVERIFY2(changed <= changedAtStop + handedOn + 1, qPrintable(QString("%1 after %2").arg(changed).arg(changedAtStop)));
    }

    // More files than the pool has threads, some failing: the run does not
    // hold every job at once, and still reports each file.
    void manyFiles()
    {
        QTemporaryDir dir;
        QStringList files;
        for (int i = 0; i < 60; ++i) {
            files << dir.filePath(QString("junk%1.xlsx").arg(i));
            QFile f(files.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("no workbook");
        }
        Run run(RunPlan::forEvery(files, replacing("a", "b")));
        const Outcome o = runToTheEnd(run);
        QVERIFY(o.finished);
        QCOMPARE(o.timesReported, QVector<int>(files.size(), 1));
        QCOMPARE(run.summary().failure, files.size());

        // A run that goes while its jobs are out: they finish, and their
        // reports go nowhere.
        auto *gone = new Run(RunPlan::forEvery(files, replacing("a", "b")));
        gone->start();
        delete gone;
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(TestRunReports)
#include "tst_runreports.moc"
