// Damaged and hostile workbooks: each job ends in FAILURE with a reason,
// and the file stays byte for byte as it was, modification time included.

#include "rep.h"
#include "testutil.h"
#include "xlsxtest.h"

#include <QTemporaryDir>
#include <QtTest>

class TestXlsxHostile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        QVERIFY(!XlsxTest::fixtures().isEmpty());
        QVERIFY(TestUtil::runPythonScript("makehostile.py", {m_dir.path(), XlsxTest::fixtures() + "/basic.xlsx"}));
        registerStateType();
    }

    void failsAndLeavesTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a workbook") << "notworkbook.xlsx" << "not a workbook";
        QTest::newRow("truncated zip") << "truncated.xlsx" << "truncated";
        QTest::newRow("corrupt central directory") << "corrupt.xlsx" << "damaged";
        QTest::newRow("duplicate entry names") << "duplicate.xlsx" << "two entries named";
        QTest::newRow("encrypted package (compound file)") << "encrypted.xlsx" << "open:";
        QTest::newRow("encrypted zip entry") << "encrypted-entry.xlsx" << "encrypted";
        QTest::newRow("binary workbook") << "xlsb.xlsx" << ".xlsb";
        QTest::newRow("zip bomb by ratio") << "bomb-ratio.xlsx" << "zip bomb";
        QTest::newRow("zip bomb by declared size") << "bomb-declared.xlsx" << "too large";
        QTest::newRow("DTD with entity expansion") << "dtd-sheet.xlsx" << "DTD";
        QTest::newRow("external DTD") << "xxe-workbook.xlsx" << "DTD";
        QTest::newRow("undeclared entity") << "entity.xlsx" << "undeclared entity &xxe;";
        QTest::newRow("deep nesting") << "deep.xlsx" << "nested too deeply";
        QTest::newRow("UTF-16 part") << "utf16.xlsx" << "UTF-16";
        QTest::newRow("invalid UTF-8") << "badutf8.xlsx" << "UTF-8";
        QTest::newRow("strict sheet in a transitional package") << "mixed.xlsx" << "mixes strict and transitional";
        QTest::newRow("sheet part missing") << "missing-sheet.xlsx" << "no part";
        QTest::newRow("cell outside its row") << "cell-outside-row.xlsx" << "outside its row";
        QTest::newRow("row past the grid") << "row-past-grid.xlsx" << "bad row number";
        QTest::newRow("cell with two values") << "two-values.xlsx" << "B1 has two <v> elements";
        QTest::newRow("shared string that does not exist") << "bad-string-index.xlsx" << "does not exist";
    }
    void failsAndLeavesTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString file = XlsxTest::freshCopy(m_dir.filePath(name));
        const QByteArray before = TestUtil::readFile(file);
        const qint64 mtime = TestUtil::mtimeNs(file);
        RepPar par;
        par.sheetIndex = QString::fromUtf8("所有表");
        par.pairs = {{"apple", "pear"}};
        Rep rep(file, par, 0);
        STATE state = SUCCESS;
        QObject::connect(&rep, &Rep::done, [&](Rep *, STATE s, int) { state = s; });
        rep.run();
        QCOMPARE(state, FAILURE);
        QVERIFY2(rep.reason().text().contains(reason), qPrintable(rep.reason().text()));
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(TestUtil::mtimeNs(file), mtime);
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestXlsxHostile)
#include "tst_xlsxhostile.moc"
