// korrin-batch as a script sees it: its lines, its exit status.

#include "testbooks.h"
#include "korrinversion.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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

    static Result run(const QStringList &args, const QByteArray &input = QByteArray())
    {
        QProcess p;
        p.start(QStringLiteral(KORRIN_BATCH), args);
        p.write(input);
        p.closeWriteChannel();
        Result r;
        if (!p.waitForFinished(60000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    static QString py(const QString &script, const QStringList &args)
    {
        return TestBooks::python("import sys, openpyxl\n" + script, args);
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
                  {path});
    }

private slots:
    void replacesInRealWorkbooks()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx");
        makeBook(book);
        Result r = run({"--sheets", "all", "--pair", "x|15", "y", book});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.first(), "SUCCESS\t" + book + "\t3 cells changed");
        QCOMPARE(r.lines.last(), QString("1 files: 1 SUCCESS, 0 FAILURE, 0 MISSING, 3 cells changed"));
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

    // One workbook named three ways is changed once; the repeats say so.
    void sameWorkbookTwiceIsProcessedOnce()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("twice.xlsx");
        makeBook(book);
        QVERIFY(QFile::link(book, dir.filePath("link.xlsx")));
        const Result r = run({"--sheets", "首表", "--pair", "x", "xx", book, dir.filePath("link.xlsx"),
                              dir.filePath("./twice.xlsx")});
        QCOMPARE(r.status, 0);
        QCOMPARE(cells(book).section('|', 0, 0), QString("xx here"));
        QCOMPARE(r.lines.filter("\t0 cells changed\tthe same workbook as " + book + ":").size(), 2);
    }

    void runsListFiles()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
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
        // A list file that cannot be read says why, in the reader's words.
        QFile whole(list2);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString truncated = dir.filePath("truncated.xlsx");
        QFile cut(truncated);
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(whole.read(whole.size() / 2)) > 0);
        cut.close();
        for (const auto &[list, cause] : {std::pair<QString, QString>{truncated, "zip"},
                                          {dir.filePath("absent.xlsx"), "cannot read the file: "}}) {
            r = run({"--list", list});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains("cannot read the list file " + list + ": ") && r.err.contains(cause, Qt::CaseInsensitive),
                     qPrintable(r.err));
        }
        r = run({"--list", list2, "--pair", "a", "b"});
        QCOMPARE(r.status, 2);
    }

    // A usage error is status 2 with the usage and no lines: an unknown
    // option is never taken for a file name; after "--" everything is one.
    void usageErrors()
    {
        for (const QStringList &args : {QStringList{"--pair", "a"}, QStringList{"--frobnicate", "-p", "a", "b", "f.xlsx"},
                                        QStringList{"-p", "a", "b", "-q", "f.xlsx"}}) {
            const Result r = run(args);
            QCOMPARE(r.status, 2);
            QVERIFY(r.err.contains("Usage: korrin-batch"));
            QVERIFY(r.lines.isEmpty());
        }
        const Result r = run({"-p", "a", "b", "--", "-q"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines.first(), QString("MISSING\t-q"));

        const Result help = run({"-h"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.lines.first().startsWith("Usage: korrin-batch"));
        QCOMPARE(run({"-V"}).lines, QStringList{"korrin-batch " KORRIN_VERSION});
    }

    void missingAndFailedFiles()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("gone.xlsx");
        const QString fifo = dir.filePath("fifo.xlsx");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
        const QString junk = dir.filePath("junk.xlsx");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a workbook");
        f.close();

        const Result r = run({"--pair", "a", "b", missing, fifo, junk});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines.size(), 4);
        QVERIFY(r.lines.contains("MISSING\t" + missing));
        QVERIFY(r.lines.contains("FAILURE\t" + fifo + "\ta FIFO, not a workbook file"));
        const QStringList failure = r.lines.filter("FAILURE\t" + junk + "\t");
        QCOMPARE(failure.size(), 1);
        QVERIFY(failure.first().section('\t', 2).startsWith("open: "));
        QCOMPARE(r.lines.last(), QString("3 files: 0 SUCCESS, 2 FAILURE, 1 MISSING, 0 cells changed"));
    }

    // --dry-run changes no byte and leaves no temporary file; --backup-dir
    // copies each workbook that changes, before it changes, into a folder
    // of the run's own, and names the copy in the JSON report.
    void dryRunAndBackups()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString xlsx = dir.filePath("b.xlsx"), xls = dir.filePath("b.xls"), other = dir.filePath("c.xlsx");
        TestBooks::write(xlsx, {"A", "A A"});
        TestBooks::write(xls, {"A"});
        TestBooks::write(other, {"none"});
        const QByteArray x0 = TestBooks::bytes(xlsx), s0 = TestBooks::bytes(xls), o0 = TestBooks::bytes(other);

        Result r = run({"-n", "-c", "-p", "A", "Z", "-b", dir.filePath("never"), xlsx, xls, other});
        QCOMPARE(r.status, 0);
        QVERIFY(r.lines.contains("SUCCESS\t" + xlsx + "\t2 cells would change"));
        QVERIFY(r.lines.contains("SUCCESS\t" + xls + "\t1 cell would change"));
        QCOMPARE(r.lines.last(), QString("3 files: 3 SUCCESS, 0 FAILURE, 0 MISSING, 3 cells would change "
                                         "(dry run: nothing written)"));
        QCOMPARE(TestBooks::bytes(xlsx), x0);
        QCOMPARE(TestBooks::bytes(xls), s0);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath("never")));

        const QString backups = dir.filePath("saved/here");
        r = run({"--json", "-c", "-p", "A", "Z", "--backup-dir", backups, xlsx, xls, other});
        QCOMPARE(r.status, 0);
        QMap<QString, QJsonObject> byPath;
        for (const QString &line : qAsConst(r.lines)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            byPath[o.value("path").toString()] = o;
        }
        QCOMPARE(byPath.size(), 3);
        const QStringList runs = QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(runs.size(), 1);
        const QString first = backups + "/" + runs.first();
        QCOMPARE(byPath[xlsx].value("backup").toString(), first + "/b.xlsx");
        QCOMPARE(byPath[xlsx].value("cells").toInt(), 2);
        QCOMPARE(byPath[xls].value("backup").toString(), first + "/b.xls");
        QVERIFY(!byPath[other].contains("backup"));
        QCOMPARE(TestBooks::bytes(first + "/b.xlsx"), x0);
        QCOMPARE(TestBooks::bytes(first + "/b.xls"), s0);
        QCOMPARE(TestBooks::bytes(other), o0);
        QCOMPARE(TestBooks::column(xlsx), QString("Z|Z Z"));
        QVERIFY(r.err.contains("3 files: 3 SUCCESS")); // the summary, beside the objects

        const QByteArray x1 = TestBooks::bytes(xlsx);
        r = run({"-c", "-p", "Z", "Y", "-b", backups, xlsx});
        QCOMPARE(r.status, 0);
        const QStringList after = QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        QCOMPARE(after.size(), 2);
        QCOMPARE(TestBooks::bytes(backups + "/" + after.last() + "/b.xlsx"), x1);
        QCOMPARE(TestBooks::bytes(first + "/b.xlsx"), x0);
    }

    // The folder scan takes every name a workbook goes by, in any case; a
    // macro-enabled workbook keeps its VBA project and its content types
    // byte for byte, and it and a template read back in openpyxl and
    // LibreOffice.
    void everyNameOfAWorkbook()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString folder = dir.filePath("names");
        QVERIFY(QDir().mkpath(folder));
        TestBooks::write(folder + "/A.XLSX", {"old"});
        TestBooks::write(folder + "/b.Xls", {"old"});
        QVERIFY(TestUtil::writeFile(folder + "/e.txt", "old"));
        // .xlsm and .xltx: openpyxl's package with the main part's content
        // type of each, and for .xlsm a VBA project part
        const QString parts = py(
            "import zipfile\n"
            "src, xlsm, xltx = sys.argv[1:4]\n"
            "wb = openpyxl.Workbook(); wb.active['A1'] = 'old'; wb.save(src)\n"
            "sheet = 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml'\n"
            "kinds = {xlsm: 'application/vnd.ms-excel.sheet.macroEnabled.main+xml',\n"
            "         xltx: 'application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml'}\n"
            "vba = b'\\xd0\\xcf\\x11\\xe0\\xa1\\xb1\\x1a\\xe1' + bytes(range(256)) * 8\n"
            "for path, kind in kinds.items():\n"
            "    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as zout:\n"
            "        for item in zin.infolist():\n"
            "            data = zin.read(item.filename)\n"
            "            if item.filename == '[Content_Types].xml':\n"
            "                data = data.replace(sheet.encode(), kind.encode())\n"
            "                if path == xlsm:\n"
            "                    data = data.replace(b'<Default ', b'<Default Extension=\"bin\" ContentType=\"application/vnd.ms-office.vbaProject\"/><Default ', 1)\n"
            "            if item.filename == 'xl/_rels/workbook.xml.rels' and path == xlsm:\n"
            "                data = data.replace(b'</Relationships>', b'<Relationship Id=\"rIdVba\" Type=\"http://schemas.microsoft.com/office/2006/relationships/vbaProject\" Target=\"vbaProject.bin\"/></Relationships>')\n"
            "            zout.writestr(item, data)\n"
            "        if path == xlsm:\n"
            "            zout.writestr('xl/vbaProject.bin', vba)\n"
            "print('ok')\n",
            {dir.filePath("plain.xlsx"), folder + "/c.xlsm", folder + "/d.xltx"});
        QCOMPARE(parts, QString("ok"));
        const QString entries = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                                "print(z.read('xl/vbaProject.bin').hex(), z.read('[Content_Types].xml').hex())\n";
        const QString before = TestBooks::python(entries, {folder + "/c.xlsm"});

        const Result r = run({"-p", "old", "new", folder});
        QCOMPARE(r.status, 0);
        QStringList taken;
        for (const QString &line : r.lines.mid(0, r.lines.size() - 1))
            taken << line.section('\t', 1, 1).section('/', -1);
        taken.sort(Qt::CaseInsensitive);
        QCOMPARE(taken, (QStringList{"A.XLSX", "b.Xls", "c.xlsm", "d.xltx"}));
        QCOMPARE(r.lines.last(), QString("4 files: 4 SUCCESS, 0 FAILURE, 0 MISSING, 4 cells changed"));
        QCOMPARE(TestUtil::readFile(folder + "/e.txt"), QByteArray("old"));
        QCOMPARE(TestBooks::python(entries, {folder + "/c.xlsm"}), before);
        for (const QString &name : QStringList{"A.XLSX", "b.Xls", "c.xlsm", "d.xltx"})
            QCOMPARE(TestBooks::column(folder + "/" + name), QString("new"));
        const QString lo = TestUtil::missingLibreOffice();
        if (!lo.isEmpty())
            QSKIP(qPrintable(lo));
        const QMap<QString, QString> texts = TestUtil::libreOfficeTexts({folder + "/c.xlsm", folder + "/d.xltx"});
        QCOMPARE(texts.value(folder + "/c.xlsm").trimmed(), QString("new"));
        QCOMPARE(texts.value(folder + "/d.xltx").trimmed(), QString("new"));
    }

    // Files from standard input, a line or a NUL each, and folders scanned
    // as the window scans them; a path with a tab or a line break stays one
    // field of one line.
    void filesFromAndFolders()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("top/sub"));
        const QString a = dir.filePath("top/a.xlsx"), b = dir.filePath("top/sub/b.xls");
        const QString odd = dir.filePath("top/tab\there\nline.xlsx");
        TestBooks::write(a, {"k"});
        TestBooks::write(b, {"k"});
        TestBooks::write(odd, {"k"});
        TestBooks::write(dir.filePath("top/sub/B.XLS"), {"k"}); // a workbook name, in capitals
        QVERIFY(QFile::link(dir.filePath("top"), dir.filePath("top/sub/loop")));

        Result r = run({"-p", "k", "K", "--no-recursive", dir.filePath("top")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 3);
        QVERIFY(r.lines.contains("SUCCESS\t" + a + "\t1 cell changed"));
        QVERIFY(r.lines.contains("SUCCESS\t" + dir.filePath("top/tab\\there\\nline.xlsx") + "\t1 cell changed"));

        r = run({"-p", "K", "k", dir.filePath("top")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 5); // four workbooks, found once each, and the summary
        QVERIFY(r.lines.contains("SUCCESS\t" + b + "\t0 cells changed"));

        r = run({"--json", "-p", "k", "v", "-f", "-", "-0"}, QFile::encodeName(odd) + '\0' + QFile::encodeName(a) + '\0');
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 2);
        QStringList paths;
        for (const QString &line : qAsConst(r.lines))
            paths << QJsonDocument::fromJson(line.toUtf8()).object().value("path").toString();
        QCOMPARE(QSet<QString>(paths.begin(), paths.end()), (QSet<QString>{odd, a}));

        r = run({"--files-from", "-", "-p", "v", "w"}, QFile::encodeName(b + "\n" + a + "\n\n" + dir.filePath("top/sub")) + "\n");
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines.size(), 4);
        QVERIFY(r.lines.contains("SUCCESS\t" + a + "\t1 cell changed"));
        QVERIFY(r.lines.contains("FAILURE\t" + dir.filePath("top/sub") + "\ta folder, not a workbook file"));
        QCOMPARE(TestBooks::column(b), QString("k"));
    }
};

QTEST_GUILESS_MAIN(TestBatchCli)
#include "tst_batchcli.moc"
