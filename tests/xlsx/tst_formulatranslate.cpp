#include "xlsx/formula/formulatext.h"
#include "xlsx/formula/formulatranslate.h"

#include <QtTest>

using Excel::Xlsx::translateFormula;

class TestFormulaTranslate : public QObject
{
    Q_OBJECT

private slots:
    void translate_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relative") << "A1*2" << 2 << 1 << "B3*2";
        QTest::newRow("absolute parts stay") << "$A1+A$1+$A$1" << 3 << 2 << "$A4+C$1+$A$1";
        QTest::newRow("range") << "SUM(A1:B2)" << 1 << 0 << "SUM(A2:B3)";
        QTest::newRow("lower case") << "sum(a1)" << 1 << 1 << "sum(B2)";
        QTest::newRow("function like a reference") << "LOG10(A1)" << 1 << 0 << "LOG10(A2)";
        QTest::newRow("number like a reference") << "1E5+A1+1.5" << 1 << 0 << "1E5+A2+1.5";
        QTest::newRow("string") << "\"A1\"&A1" << 1 << 0 << "\"A1\"&A2";
        QTest::newRow("doubled quote in string") << "\"say \"\"A1\"\"\"&B1" << 1 << 0 << "\"say \"\"A1\"\"\"&B2";
        QTest::newRow("sheet name") << "Sheet1!A1+'My A1'!B2" << 1 << 0 << "Sheet1!A2+'My A1'!B3";
        QTest::newRow("three-d") << "SUM(Sheet1:Sheet3!A1)" << 1 << 0 << "SUM(Sheet1:Sheet3!A2)";
        QTest::newRow("structured reference") << "Table1[@Col1]+A1" << 1 << 0 << "Table1[@Col1]+A2";
        QTest::newRow("nested structured reference") << "Table1[[#This Row],[B1]]" << 1 << 0 << "Table1[[#This Row],[B1]]";
        QTest::newRow("external book") << "[1]Data!A1" << 1 << 0 << "[1]Data!A2";
        QTest::newRow("whole columns") << "SUM(A:B)" << 5 << 1 << "SUM(B:C)";
        QTest::newRow("whole rows") << "SUM(1:2)" << 1 << 5 << "SUM(2:3)";
        QTest::newRow("defined name") << "Rate*A1" << 1 << 0 << "Rate*A2";
        QTest::newRow("booleans and errors") << "IF(TRUE,#N/A,A1)" << 1 << 0 << "IF(TRUE,#N/A,A2)";
        QTest::newRow("off the grid above") << "A1+B2" << -1 << 0 << "#REF!+B1";
        QTest::newRow("off the grid right") << "XFD1" << 0 << 1 << "#REF!";
        QTest::newRow("range partly off") << "SUM(A1:B2)" << -1 << 0 << "SUM(#REF!)";
        QTest::newRow("sheet reference off") << "Data!A1" << 0 << -1 << "Data!#REF!";
        QTest::newRow("no offset") << "A1" << 0 << 0 << "A1";
        QTest::newRow("spill") << "A1#" << 1 << 0 << "A2#";
        // Found by fuzzing: a long run of letters before a colon.
        QTest::newRow("long name in a range") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ:B1" << 1 << 0 << "ABCDEFGHIJKLMNOPQRSTUVWXYZ:B2";
        QTest::newRow("four letters are no column") << "ABCD:ABCE" << 0 << 1 << "ABCD:ABCE";
    }
    void translate()
    {
        QFETCH(QString, formula);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, expected);
        QCOMPARE(translateFormula(formula, rows, columns), expected);
    }

    // Stored text and formula-bar text: newer functions with and without
    // their prefix, and what is refused before it is stored.
    void storedAndShown_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<QString>("why");
        QTest::newRow("newer function") << "XLOOKUP(1,A1:A2,B1:B2)+textjoin(\",\",TRUE,A1)"
                                        << "_xlfn.XLOOKUP(1,A1:A2,B1:B2)+_xlfn.TEXTJOIN(\",\",TRUE,A1)" << "";
        QTest::newRow("worksheet prefix") << "SORT(FILTER(A1:A9,B1:B9))" << "_xlfn._xlws.SORT(_xlfn._xlws.FILTER(A1:A9,B1:B9))" << "";
        QTest::newRow("Excel 2007 and older functions") << "IFERROR(SUM(A1),EOMONTH(A2,1))" << "IFERROR(SUM(A1),EOMONTH(A2,1))" << "";
        QTest::newRow("names, texts and sheets are no functions") << "IFS+\"IFS(\"+'IFS'!A1+IFS!A1" << "IFS+\"IFS(\"+'IFS'!A1+IFS!A1" << "";
        // Each doubled quote inside a text is one of its characters.
        const QString longest = "\"" + QString(253, 'x') + "\"\"\"\"\"";
        QTest::newRow("text of 255 characters") << longest << longest << "";
        QTest::newRow("text of 256 characters") << "LEN(\"x" + longest.mid(1) + ")" << "" << "longer than 255";
        QTest::newRow("sheet the workbook lacks") << "IF(ZQ4!$X$2=\"a\",1)" << "" << "refers to the sheet 'ZQ4'";
        QTest::newRow("quoted and in a range") << "SUM('It''s':Data!A1)" << "SUM('It''s':Data!A1)" << "";
        QTest::newRow("last of a range missing") << "SUM(Data:Nowhere!A1)" << "" << "'Nowhere'";
        QTest::newRow("another file") << "[1]Elsewhere!A1+'[Book.xlsx]Far'!A1" << "[1]Elsewhere!A1+'[Book.xlsx]Far'!A1" << "";
    }
    void storedAndShown()
    {
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        QFETCH(QString, why);
        QString out, reason;
        QCOMPARE(Excel::Xlsx::storedFormula(shown, {"Data", "IFS", "It's"}, &out, &reason), !stored.isEmpty());
        if (stored.isEmpty()) {
            QVERIFY2(reason.contains(why), qPrintable(reason));
            return;
        }
        QCOMPARE(out, stored);
        QCOMPARE(Excel::Xlsx::shownFormula(stored), shown.contains("textjoin") ? QString(shown).replace("textjoin", "TEXTJOIN") : shown);
        // A prefix the engine does not know stays in sight.
        QCOMPARE(Excel::Xlsx::shownFormula("_xlfn.DISPIMG(\"x\",1)+_xlfn.SUM(1)"), QString("_xlfn.DISPIMG(\"x\",1)+_xlfn.SUM(1)"));
    }
};

QTEST_GUILESS_MAIN(TestFormulaTranslate)
#include "tst_formulatranslate.moc"
