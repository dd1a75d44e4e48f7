// korrin-batch as a script sees it: its lines, its exit status.

#include <QtTest>

class TestBatchCli : public QObject
{
    Q_OBJECT

private:
    struct Result
    {
        int status = -1;
        QStringList lines;
        QString err;
    };

    static Result run(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral(KORRIN_BATCH), args);
        Result r;
        if (!p.waitForFinished(60000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

private slots:
    void usageErrorIsStatus2()
    {
        const Result r = run({"--pair", "a"});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("Usage: korrin-batch"));
        QVERIFY(r.lines.isEmpty());
    }

    void helpIsStatus0()
    {
        const Result r = run({"--help"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.lines.first().startsWith("Usage: korrin-batch"));
    }

    void missingAndFailedFiles()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("gone.xlsx");
        const QString folder = dir.filePath("folder.xlsx");
        QVERIFY(QDir().mkdir(folder));
        const QString junk = dir.filePath("junk.xlsx");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a workbook");
        f.close();

        const Result r = run({"--pair", "a", "b", missing, folder, junk});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines.size(), 4);
        QVERIFY(r.lines.contains("MISSING\t" + missing));
        QVERIFY(r.lines.contains("MISSING\t" + folder));
        const QStringList failure = r.lines.filter("FAILURE\t" + junk + "\t");
        QCOMPARE(failure.size(), 1);
        QVERIFY(failure.first().section('\t', 2).startsWith("open: "));
        QCOMPARE(r.lines.last(), QString("3 files: 0 SUCCESS, 1 FAILURE, 2 MISSING"));
    }
};

QTEST_GUILESS_MAIN(TestBatchCli)
#include "tst_batchcli.moc"
