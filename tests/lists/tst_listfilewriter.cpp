#include "listfilewriter.h"
#include "testutil.h"

#include <QtTest>

// The list files are read back by an independent reader (openpyxl).
class TestListFileWriter : public QObject
{
    Q_OBJECT

private:
    static QString openpyxlDump(const QString &path)
    {
        QByteArray out;
        TestUtil::runPythonCode("import sys, openpyxl\n"
                                "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                "for ws in wb.worksheets:\n"
                                "    print('#' + ws.title)\n"
                                "    for row in ws.iter_rows():\n"
                                "        for c in row:\n"
                                "            if c.value is not None: print(c.coordinate, c.data_type, c.value)\n",
                                {path}, &out);
        return QString::fromUtf8(out);
    }

private slots:
    void writesTextSheetsInOrder()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        QTemporaryDir tmp;
        const QString path = tmp.filePath("list.xlsx");
        ListFileWriter::Sheet files{"Tarvo方式一_文件列表", {}};
        files.cells[{1, 1}] = "/data/a.xlsx";
        files.cells[{2, 1}] = "0012"; // stays text
        ListFileWriter::Sheet keys{"Tarvo方式一_关键字列表", {}};
        keys.cells[{1, 1}] = "被替换关键字:";
        keys.cells[{1, 2}] = "欲替换为:";
        keys.cells[{2, 2}] = " padded ";
        QString error;
        QVERIFY2(ListFileWriter::write(path, {files, keys}, &error), qPrintable(error));
        QCOMPARE(openpyxlDump(path),
                 QString("#Tarvo方式一_文件列表\nA1 s /data/a.xlsx\nA2 s 0012\n"
                         "#Tarvo方式一_关键字列表\nA1 s 被替换关键字:\nB1 s 欲替换为:\nB2 s  padded \n"));
    }

    void failedWriteKeepsTheOldFile()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("list.xlsx");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old list");
        old.close();
        ListFileWriter::Sheet bad{"no/slashes:allowed", {}};
        QString error;
        QVERIFY(!ListFileWriter::write(path, {bad}, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old list"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"list.xlsx"});
    }
};

QTEST_GUILESS_MAIN(TestListFileWriter)
#include "tst_listfilewriter.moc"
