#include "rep.h"
#include "runshared.h"
#include "application.h"
#include "atomicfile.h"
#include "committer.h"
#include "testbooks.h"
#include "workbooklock.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <sys/stat.h>

class TestRep : public QObject
{
    Q_OBJECT

private:
    struct Report
    {
        int count = 0;
        STATE state = SUCCESS;
        int index = -1;
        QString reason;
        qint64 cells = 0;
        QString backup;
    };

    static Report runJob(const QString &path, RepPar par = RepPar(), const JobOptions &options = JobOptions())
    {
        Report r;
        Rep rep(path, par, 7);
        rep.setJobOptions(options);
        QObject::connect(&rep, &Rep::done, [&](Rep *from, STATE state, int index) {
            QCOMPARE(from, &rep);
            ++r.count;
            r.state = state;
            r.index = index;
        });
        rep.run();
        r.reason = rep.reason().text();
        r.cells = rep.changedCells();
        r.backup = rep.backupPath();
        return r;
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
    void initTestCase()
    {
        registerStateType();
        QVERIFY(QMetaType::type("STATE") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("STATE&") != QMetaType::UnknownType);
    }

    void copiesTheRecord()
    {
        RepPar par;
        par.sheetIndex = "1,3";
        par.pairs = {{"a", "b"}};
        par.byKey = false;
        par.lookAt = 1;
        par.searchOrder = 2;
        par.matchCase = true;
        Rep rep("/x/y.xlsx", par, 4);
        par.pairs.clear();
        QCOMPARE(rep.filePath, QString("/x/y.xlsx"));
        QCOMPARE(rep.sheetIndex, QString("1,3"));
        QCOMPARE(rep.pairs, (KeyPairs{{"a", "b"}}));
        QVERIFY(!rep.byKey);
        QCOMPARE(rep.lookAt, 1);
        QCOMPARE(rep.searchOrder, 2);
        QVERIFY(rep.matchCase);
        QCOMPARE(rep.index, 4);
    }

    void missingFileFails()
    {
        QTemporaryDir dir;
        const Report r = runJob(dir.filePath("gone.xlsx"));
        QCOMPARE(r.count, 1);
        QCOMPARE(r.state, FAILURE);
        QCOMPARE(r.index, 7);
    }

    void notAWorkbookFailsAndStaysUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("notes.xlsx");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text, not a workbook");
        f.close();
        RepPar par;
        par.pairs = {{"text", "words"}};
        Rep rep(path, par, 0);
        STATE state = SUCCESS;
        connect(&rep, &Rep::done, [&](Rep *, STATE s, int) { state = s; });
        rep.run();
        QCOMPARE(state, FAILURE);
        QVERIFY2(rep.reason().text().startsWith("open: "), qPrintable(rep.reason().text()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("just some text, not a workbook"));

        // A job that was still waiting for a thread when its run stopped
        // does not start at all.
        JobOptions stopped;
        stopped.shared = std::make_shared<RunShared>();
        stopped.shared->stop();
        Rep waiting(path, par, 0);
        waiting.setJobOptions(stopped);
        waiting.run();
        QCOMPARE(waiting.reason().text(), QString("not processed: the run was stopped"));
        QVERIFY(waiting.stoppedBeforeSave());
    }

    // One holder at a time, whatever the spelling of the path; a waiter
    // gives up after its bound; and a waiter whose holder replaced the file
    // by saving locks the new file, not the old one the name no longer has.
    void lockIsExclusiveAndFollowsASave()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        const QString path = dir.filePath("sub/book.xlsx");
        QVERIFY(Excel::writeFileAtomically(path, "old", nullptr));
        QString error;
        WorkbookLock first;
        QVERIFY2(first.acquire(path, 0, &error), qPrintable(error));
        WorkbookLock again;
        QVERIFY(!again.acquire(dir.filePath("sub/../sub/book.xlsx"), 100, &error));
        QVERIFY2(error.contains("in use"), qPrintable(error));
        WorkbookLock other;
        QVERIFY(other.acquire(dir.filePath("sub/other.xlsx"), 0, &error) == false); // none there
        QCOMPARE(error, QString("the file does not exist"));

        std::atomic<bool> secondInside{false};
        bool namesNewFile = false;
        std::thread second([&] {
            WorkbookLock waiter;
            QString why;
            if (waiter.acquire(path, 10000, &why)) {
                secondInside = true;
                struct stat st;
                namesNewFile = ::fstat(waiter.fd(), &st) == 0 && st.st_size == 3 + 1; // "new!"
            }
        });
        QTest::qWait(200);
        QVERIFY(!secondInside);
        QVERIFY(Excel::writeFileAtomically(path, "new!", &error));
        first.release();
        second.join();
        QVERIFY(secondInside);
        QVERIFY(namesNewFile);
    }

    // A workbook is read from the locked descriptor, in both formats: what
    // the name leads to once the lock is held is not what is read; and the
    // lock's status is that of the file locked.
    void readsTheLockedFile()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        for (const QString name : {QString("book.xlsx"), QString("book.xls")}) {
            const QString path = dir.filePath(name), other = dir.filePath("other-" + name);
            TestBooks::write(path, {"locked"});
            TestBooks::write(other, {"other", "rows"});
            QString error;
            WorkbookLock lock;
            QVERIFY2(lock.acquire(path, 0, &error), qPrintable(error));
            QCOMPARE(qint64(lock.status().st_size), QFileInfo(path).size());
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
            Excel::Application app;
            Excel::Workbook *book = app.Workbooks()->Open(path, lock.fd(), lock.status());
            QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
            std::unique_ptr<Excel::Range> used = book->Sheets()->Item(1)->UsedRange();
            QVERIFY(used);
            QVERIFY(!used->Replace("other", "x", Excel::xlPart, Excel::xlByRows, true));
            QVERIFY(used->Replace("locked", "x", Excel::xlPart, Excel::xlByRows, true));
        }
    }

    // The job in both formats: the cells it changes, counted once each; a
    // dry run that leaves every byte and no temporary file; a backup that is
    // the original, made only when the workbook changes, numbered on a
    // clash, and a failed backup that leaves the workbook as it was.
    void countsDryRunAndBackup_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xlsx") << "book.xlsx";
        QTest::newRow("xls") << "book.xls";
    }
    void countsDryRunAndBackup()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        TestBooks::write(path, {"A here", "no match", "A and A"});
        const QByteArray original = TestBooks::bytes(path);

        JobOptions dry;
        dry.dryRun = true;
        RepPar par = replacing("A", "AB");
        par.pairs << KeyPair("AB", "ABC"); // changes the same cells again: still 2 cells
        Report r = runJob(path, par, dry);
        QCOMPARE(r.state, SUCCESS);
        QCOMPARE(r.cells, qint64(2));
        QCOMPARE(TestBooks::bytes(path), original);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());

        QString error;
        const std::shared_ptr<BackupRun> backups = BackupRun::start(dir.filePath("backups"), &error);
        QVERIFY2(backups, qPrintable(error));
        JobOptions keep;
        keep.backups = backups;
        r = runJob(path, par, keep);
        QCOMPARE(r.state, SUCCESS);
        QCOMPARE(r.cells, qint64(2));
        QCOMPARE(r.backup, backups->folder() + "/" + name);
        QCOMPARE(TestBooks::bytes(r.backup), original);
        QCOMPARE(TestBooks::column(path), QString("ABC here|no match|ABC and ABC"));

        const QByteArray second = TestBooks::bytes(path);
        r = runJob(path, replacing("no match", "matched"), keep);
        QCOMPARE(r.backup, backups->folder() + "/" + QString(name).replace("book", "book (1)"));
        QCOMPARE(TestBooks::bytes(r.backup), second);
        // a temporary file a killed save left goes, even when nothing is saved
        QVERIFY(Excel::writeFileAtomically(dir.filePath(".~korrin." + name + ".tmp"), "half", nullptr));
        r = runJob(path, replacing("absent", "x"), keep);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
        QCOMPARE(r.state, SUCCESS);
        QCOMPARE(r.cells, qint64(0));
        QVERIFY(r.backup.isEmpty());
        QCOMPARE(QDir(backups->folder()).entryList({"book*"}, QDir::Files).size(), 2);

        const QByteArray third = TestBooks::bytes(path);
        const std::shared_ptr<BackupRun> gone = BackupRun::start(dir.filePath("gone"), &error);
        QVERIFY(gone && QDir(dir.filePath("gone")).removeRecursively());
        keep.backups = gone;
        r = runJob(path, replacing("ABC", "D"), keep);
        QCOMPARE(r.state, FAILURE);
        QVERIFY2(r.reason.startsWith("backup: "), qPrintable(r.reason));
        QCOMPARE(r.cells, qint64(0));
        QCOMPARE(TestBooks::bytes(path), third);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
    }

    // A save goes to the committer until one on its device was timed as
    // quicker than the hand-off; then the job puts it in place itself, and
    // reports from its own thread. Either way the workbook is saved once.
    void savesItselfWhereSavesAreQuick()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString path = dir.filePath("book.xlsx");
        TestBooks::write(path, {"A here"});
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        Committer committer(1);
        JobOptions options;
        options.committer = &committer;
        const auto reportThread = [&](const QString &what, const QString &with) {
            auto rep = std::make_unique<Rep>(path, replacing(what, with), 0);
            rep->setJobOptions(options);
            std::atomic<QThread *> from{nullptr};
            std::atomic<int> reports{0};
            QObject::connect(rep.get(), &Rep::done, rep.get(), [&](Rep *, STATE, int) {
                from = QThread::currentThread();
                ++reports;
            }, Qt::DirectConnection);
            rep->run();
            rep->waitUntilReported();
            return reports == 1 ? from.load() : nullptr;
        };
        QVERIFY(!committer.quickOn(st.st_dev));
        QThread *handedIn = reportThread("A", "B");
        QVERIFY(handedIn && handedIn != QThread::currentThread());
        QCOMPARE(TestBooks::column(path), QString("B here"));

        committer.noteCommitTime(st.st_dev, 0);
        QVERIFY(committer.quickOn(st.st_dev));
        QCOMPARE(reportThread("B", "C"), QThread::currentThread());
        QCOMPARE(TestBooks::column(path), QString("C here"));
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
    }

    // A workbook an office program has open (its lock file beside it) is
    // refused and left as it was; so are a FIFO (without hanging) and a
    // read-only file.
    void refusesWhatItMustNotWrite()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString path = dir.filePath("open.xlsx");
        TestBooks::write(path, {"A"});
        const QByteArray original = TestBooks::bytes(path);
        for (const QString &lock : {QString(".~lock.open.xlsx#"), QString("~$open.xlsx")}) {
            QVERIFY(Excel::writeFileAtomically(dir.filePath(lock), "someone", nullptr));
            const Report r = runJob(path, replacing("A", "B"));
            QCOMPARE(r.state, FAILURE);
            QVERIFY2(r.reason.startsWith("open in another program") && r.reason.contains(lock), qPrintable(r.reason));
            QCOMPARE(TestBooks::bytes(path), original);
            QVERIFY(QFile::remove(dir.filePath(lock)));
        }

        const QString fifo = dir.filePath("fifo.xlsx");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        Report r = runJob(fifo, replacing("A", "B"));
        QCOMPARE(r.state, FAILURE);
        QCOMPARE(r.reason, QString("a FIFO, not a workbook file"));

        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        r = runJob(path, replacing("A", "B"));
        QCOMPARE(r.state, FAILURE);
        QVERIFY2(r.reason.contains("read-only"), qPrintable(r.reason));
        QCOMPARE(TestBooks::bytes(path), original);
        // Nothing to change in it: read, and a success.
        r = runJob(path, replacing("nowhere", "B"));
        QCOMPARE(r.state, SUCCESS);
        QCOMPARE(TestBooks::bytes(path), original);
    }
};

QTEST_GUILESS_MAIN(TestRep)
#include "tst_rep.moc"
