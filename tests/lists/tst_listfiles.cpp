// The list-file layouts, written by us and read back by us and by
// independent readers, and files written by others read by us.

#include "listfiles.h"
#include "listworkbook.h"
#include "testutil.h"

#include <QtTest>

class TestListFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    static QString python(const QString &script, const QStringList &args)
    {
        QByteArray out;
        TestUtil::runPythonCode(script, args, &out);
        return QString::fromUtf8(out);
    }
    static void makeOpenpyxlWorkbook(const QString &path, const QString &body)
    {
        python("import sys, openpyxl\nwb = openpyxl.Workbook()\nws = wb.active\n" + body + "\nwb.save(sys.argv[1])\n",
               {path});
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }

private slots:
    void mode1RoundTrip()
    {
        const QString path = tmp.filePath("m1.xlsx");
        Mode1List out;
        out.files = QStringList{"/data/a.xlsx", "/data/sub/b.xls", "/data/c d.xlsx"};
        out.keywordLines = QStringList{"k1|k2", " spaced ", "k3"};
        out.replacementLines = QStringList{"r1", "", "0012"};
        QString error;
        QVERIFY2(writeMode1List(path, out, &error), qPrintable(error));
        QCOMPARE(listFileMode(path), 1);
        Mode1List in;
        QCOMPARE(readMode1List(path, &in), 0);
        QCOMPARE(in.files, out.files);
        QCOMPARE(in.keywordLines, out.keywordLines);
        QCOMPARE(in.replacementLines, out.replacementLines);
    }

    void mode1ListsEndAtTheFirstEmptyCell()
    {
        const QString path = tmp.filePath("m1-gaps.xlsx");
        Mode1List out;
        out.files = QStringList{"/a.xlsx"};
        out.keywordLines = QStringList{"a", "", "b"}; // an empty line ends the keyword list
        out.replacementLines = QStringList{"x", "y", "z"};
        QString error;
        QVERIFY(writeMode1List(path, out, &error));
        Mode1List in;
        QCOMPARE(readMode1List(path, &in), 0);
        QCOMPARE(in.keywordLines, QStringList{"a"});
        QCOMPARE(in.replacementLines, QStringList{"x"});
    }

    void mode2RoundTrip()
    {
        const QString path = tmp.filePath("m2.xlsx");
        Mode2List out;
        out.files = QStringList{"/d/one.xlsx", "/d/two.xls"};
        out.rows = {{"k1|k2", "R1", ""}, {"A1", "", "for two"}};
        QString error;
        QVERIFY2(writeMode2List(path, out, &error), qPrintable(error));
        QCOMPARE(listFileMode(path), 2);
        Mode2List in;
        QCOMPARE(readMode2List(path, &in), 0);
        QCOMPARE(in.files, out.files);
        QCOMPARE(in.rows, out.rows);

        // only the input row: the files come back as empty columns
        Mode2List empty;
        empty.files = QStringList{"/d/one.xlsx"};
        QVERIFY(writeMode2List(path, empty, &error));
        QCOMPARE(readMode2List(path, &in), 0);
        QCOMPARE(in.files, empty.files);
        QVERIFY(in.rows.isEmpty());
    }

    void independentReadersSeeTheLayout()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        KORRIN_REQUIRE_LIBREOFFICE();
        const QString path = tmp.filePath("Tarvo方式二替换列表.xlsx");
        Mode2List out;
        out.files = QStringList{"/d/one.xlsx"};
        out.rows = {{"key", "value"}};
        QString error;
        QVERIFY(writeMode2List(path, out, &error));
        const QString cells = python("import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                     "print(ws.title)\nfor r in ws.iter_rows(values_only=True): print(r)\n",
                                     {path});
        QCOMPARE(cells, QString("Tarvo方式二_替换文件列表\n('关键字或位置', '/d/one.xlsx')\n('key', 'value')\n"));

        QVERIFY(TestUtil::libreOfficeConvert({path}, "csv:Text - txt - csv (StarCalc):44,34,76", tmp.filePath("csv")));
        QFile csv(tmp.filePath("csv/Tarvo方式二替换列表.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(csv.readAll()), QString("关键字或位置,/d/one.xlsx\nkey,value\n"));
    }

    void listWrittenByOpenpyxlImports()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        const QString path = tmp.filePath("by-openpyxl.xlsx");
        makeOpenpyxlWorkbook(path, "ws.title = 'Tarvo方式一_文件列表'\n"
                                   "ws['A1'] = 'C:\\\\\\\\data\\\\\\\\a.xlsx'\n"
                                   "ws['A2'] = 'C:\\\\data\\\\b.xls'\n"
                                   "ks = wb.create_sheet('Tarvo方式一_关键字列表')\n"
                                   "ks['A1'] = '被替换关键字:'; ks['B1'] = '欲替换为:'\n"
                                   "ks['A2'] = 'old'; ks['B2'] = 'new'\n"
                                   "ks['A3'] = 42\n");
        Mode1List in;
        QCOMPARE(readMode1List(path, &in), 0);
        QCOMPARE(in.files, (QStringList{"C:/data/a.xlsx", "C:/data/b.xls"}));
        QCOMPARE(in.keywordLines, (QStringList{"old", "42"}));
        QCOMPARE(in.replacementLines, (QStringList{"new", ""}));
    }

    void keywordSheetWithOnlyItsHeader()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        const QString path = tmp.filePath("header-only.xlsx");
        makeOpenpyxlWorkbook(path, "ws.title = 'Tarvo方式一_文件列表'\nws['A1'] = '/a.xlsx'\n"
                                   "ks = wb.create_sheet('Tarvo方式一_关键字列表')\n"
                                   "ks['A1'] = '被替换关键字:'; ks['B1'] = '欲替换为:'\n");
        Mode1List in;
        QCOMPARE(readMode1List(path, &in), 0);
        QCOMPARE(in.files, QStringList{"/a.xlsx"});
        QVERIFY(in.keywordLines.isEmpty());
    }

    void failures()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        Mode1List m1;
        Mode2List m2;
        QCOMPARE(readMode1List(QString(), &m1), 35);
        QCOMPARE(readMode2List(QString(), &m2), 35);
        QCOMPARE(readMode1List(tmp.filePath("absent.xlsx"), &m1), 36);
        QFile junk(tmp.filePath("junk.xlsx"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("no workbook");
        junk.close();
        QCOMPARE(readMode1List(junk.fileName(), &m1), 36);
        QCOMPARE(readMode2List(junk.fileName(), &m2), 36);

        const QString single = tmp.filePath("single.xlsx");
        makeOpenpyxlWorkbook(single, "ws.title = 'Tarvo方式一_文件列表'\n");
        QCOMPARE(readMode1List(single, &m1), 36);
        QCOMPARE(readMode2List(single, &m2), 37);
        QCOMPARE(listFileMode(single), 0);
        const QString two = tmp.filePath("two.xlsx");
        makeOpenpyxlWorkbook(two, "ws.title = 'Tarvo方式一_文件列表'\nwb.create_sheet('其他')\n");
        QCOMPARE(readMode1List(two, &m1), 37);
    }

    void listWorkbookOperations()
    {
        const QString path = tmp.filePath("book.xlsx");
        ListWorkbook book(path);
        QVERIFY(book.sheetNames().isEmpty());
        QVERIFY(book.addSheet("S"));
        QVERIFY(!book.addSheet("S"));
        book.write(3, 2, "x");
        QVERIFY(book.write("D5", "y"));
        QVERIFY(!book.write("D5:E6", "z"));
        const Excel::CellArea area = book.dimension();
        QCOMPARE((QList<int>{area.firstRow, area.firstColumn, area.lastRow, area.lastColumn}),
                 (QList<int>{3, 2, 5, 4}));
        QString error;
        QVERIFY2(book.save(&error), qPrintable(error));

        ListWorkbook again(path);
        QCOMPARE(again.sheetNames(), QStringList{"S"});
        QVERIFY(again.selectSheet("S"));
        QVERIFY(!again.selectSheet("T"));
        QCOMPARE(again.read(5, 4), QString("y"));
        QCOMPARE(again.read(1, 1), QString());
        QVERIFY(again.addSheet("Empty"));
        const Excel::CellArea none = again.dimension();
        QCOMPARE(none.lastRow - none.firstRow + 1, 0);
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
