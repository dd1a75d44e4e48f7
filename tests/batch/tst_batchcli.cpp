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

    static QString py(const QString &script, const QStringList &args)
    {
        QProcess p;
        p.start("/usr/bin/python3", QStringList{"-c", "import sys, openpyxl\n" + script} + args);
        p.waitForFinished(120000);
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }
    // A workbook of two sheets: "x here" in A1 of each, a number in B1.
    static void makeBook(const QString &path)
    {
        py("wb = openpyxl.Workbook()\nws = wb.active\nws.title = 'One'\nws['A1'] = 'x here'\nws['B1'] = 15\n"
           "t = wb.create_sheet('Two')\nt['A1'] = 'x there'\nwb.save(sys.argv[1])\n",
           {path});
    }
    static QString cells(const QString &path)
    {
        return py("wb = openpyxl.load_workbook(sys.argv[1])\n"
                  "print('|'.join(str(ws[c].value) for ws in wb.worksheets for c in ('A1', 'B1')))\n",
                  {path})
            .trimmed();
    }

private slots:
    void replacesInRealWorkbooks()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx");
        makeBook(book);
        Result r = run({"--sheets", "all", "--pair", "x|15", "y", book});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.first(), "SUCCESS\t" + book);
        QCOMPARE(cells(book), QString("y here|y|y there|None"));

        // the default sheet only, whole cells, case matched
        makeBook(book);
        r = run({"--whole", "--match-case", "--pair", "X HERE", "no", "--pair", "x here", "yes", book});
        QCOMPARE(r.status, 0);
        QCOMPARE(cells(book), QString("yes|15|x there|None"));

        // a position
        makeBook(book);
        r = run({"--position", "--sheets", "2", "--pair", "C3|A1", "=1+1", book});
        QCOMPARE(r.status, 0);
        QCOMPARE(cells(book), QString("x here|15|=1+1|None"));
        r = run({"--position", "--pair", "NOT A CELL", "v", book});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.lines.first().startsWith("FAILURE\t" + book + "\t"), qPrintable(r.lines.first()));
    }

    void sameFileTwiceRunsOneAfterTheOther()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath("twice.xlsx");
        makeBook(book);
        const Result r = run({"--sheets", "首表", "--pair", "x", "xx", book, book, dir.filePath("./twice.xlsx")});
        QCOMPARE(r.status, 0);
        QCOMPARE(cells(book).section('|', 0, 0), QString("xxxxxxxx here"));
    }

    void runsListFiles()
    {
        QTemporaryDir dir;
        const QString one = dir.filePath("one.xlsx"), two = dir.filePath("two.xlsx");
        makeBook(one);
        makeBook(two);
        const QString list1 = dir.filePath("Tarvo方式一文件列表.xlsx");
        py("wb = openpyxl.Workbook()\nws = wb.active\nws.title = 'Tarvo方式一_文件列表'\n"
           "ws['A1'] = sys.argv[2]; ws['A2'] = sys.argv[3]\n"
           "k = wb.create_sheet('Tarvo方式一_关键字列表')\nk['A1'] = '被替换关键字:'; k['B1'] = '欲替换为:'\n"
           "k['A2'] = 'here;there'; k['B2'] = 'HERE'\nwb.save(sys.argv[1])\n",
           {list1, one, two});
        Result r = run({"--separator", ";", "--sheets", "all", "--list", list1});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 3);
        QCOMPARE(cells(one), QString("x HERE|15|x HERE|None"));
        QCOMPARE(cells(two), QString("x HERE|15|x HERE|None"));

        // Mode 2: each file its own replacement
        makeBook(one);
        makeBook(two);
        const QString list2 = dir.filePath("Tarvo方式二替换列表.xlsx");
        py("wb = openpyxl.Workbook()\nws = wb.active\nws.title = 'Tarvo方式二_替换文件列表'\n"
           "ws['A1'] = '关键字或位置'; ws['B1'] = sys.argv[2]; ws['C1'] = sys.argv[3]\n"
           "ws['A2'] = 'x'; ws['B2'] = 'first'; ws['C2'] = 'second'\nwb.save(sys.argv[1])\n",
           {list2, one, two});
        r = run({"--list", list2});
        QCOMPARE(r.status, 0);
        QCOMPARE(cells(one), QString("first here|15|x there|None"));
        QCOMPARE(cells(two), QString("second here|15|x there|None"));

        r = run({"--list", one});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("no list file"));
        r = run({"--list", list2, "--pair", "a", "b"});
        QCOMPARE(r.status, 2);
    }

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
