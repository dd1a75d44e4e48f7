#include "cellrules/celladdress.h"

#include <QtTest>

using namespace Excel;

Q_DECLARE_METATYPE(Excel::CellArea)

class TestCellAddress : public QObject
{
    Q_OBJECT

private:
    static QVector<CellArea> parse(const QString &text, GridLimits grid = OoxmlGrid, bool *ok = nullptr)
    {
        QVector<CellArea> areas;
        const bool r = parseRangeAddress(text, grid, &areas);
        if (ok)
            *ok = r;
        return areas;
    }
    static QString show(const QVector<CellArea> &areas)
    {
        QStringList parts;
        for (const CellArea &a : areas)
            parts << QString("%1,%2-%3,%4").arg(a.firstRow).arg(a.firstColumn).arg(a.lastRow).arg(a.lastColumn);
        return parts.join(';');
    }

private slots:
    void accepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("areas");
        QTest::newRow("cell") << "B3" << "3,2-3,2";
        QTest::newRow("absolute lower case") << "$b$2" << "2,2-2,2";
        QTest::newRow("mixed anchors") << "A$1" << "1,1-1,1";
        QTest::newRow("range") << "A1:C3" << "1,1-3,3";
        QTest::newRow("reversed range") << "C3:A1" << "1,1-3,3";
        QTest::newRow("rows") << "2:2" << "2,1-2,16384";
        QTest::newRow("row span") << "$1:$5" << "1,1-5,16384";
        QTest::newRow("union with blanks") << "A1, C5:D6" << "1,1-1,1;5,3-6,4";
        QTest::newRow("last cell") << "XFD1048576" << "1048576,16384-1048576,16384";
    }
    void accepted()
    {
        QFETCH(QString, text);
        QFETCH(QString, areas);
        bool ok;
        const QVector<CellArea> got = parse(text, OoxmlGrid, &ok);
        QVERIFY2(ok, qPrintable(text));
        QCOMPARE(show(got), areas);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("row zero") << "A0";
        QTest::newRow("column past XFD") << "XFE1";
        QTest::newRow("row past grid") << "A1048577";
        QTest::newRow("r1c1") << "R1C1";
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "  ";
        QTest::newRow("letters only") << "AB";
        QTest::newRow("space inside") << "A 1";
        QTest::newRow("dangling comma") << "A1,";
        QTest::newRow("two colons") << "A1:B2:C3";
        QTest::newRow("cell to column") << "A1:C";
        QTest::newRow("dollar at end") << "A1$";
        QTest::newRow("whole column is over a million cells") << "A:A";
        QTest::newRow("union over a million cells") << "1:40,41:80";
        QTest::newRow("non-ascii digit") << QString::fromUtf8("A１");
        QTest::newRow("name") << "MyName";
    }
    void refused()
    {
        QFETCH(QString, text);
        bool ok;
        parse(text, OoxmlGrid, &ok);
        QVERIFY2(!ok, qPrintable(text));
    }

    void biffGrid()
    {
        bool ok;
        parse("IV65536", BiffGrid, &ok);
        QVERIFY(ok);
        parse("IW1", BiffGrid, &ok);
        QVERIFY(!ok);
        parse("A65537", BiffGrid, &ok);
        QVERIFY(!ok);
        QCOMPARE(show(parse("A:A", BiffGrid, &ok)), QString("1,1-65536,1"));
        QVERIFY(ok);
    }

    void columnLettersRoundTrip()
    {
        for (int c : {1, 26, 27, 52, 53, 702, 703, 16384})
            QCOMPARE(columnNumber(columnLetters(c)), c);
        QCOMPARE(columnLetters(28), QString("AB"));
        QCOMPARE(cellName(3, 2), QString("B3"));
    }

    void storedCellNames()
    {
        int r, c;
        QVERIFY(parseCellName("AA10", 4, &r, &c));
        QCOMPARE(r, 10);
        QCOMPARE(c, 27);
        QVERIFY(!parseCellName("a1", 2, &r, &c));
        QVERIFY(!parseCellName("A", 1, &r, &c));
        QVERIFY(!parseCellName("1", 1, &r, &c));
        QVERIFY(!parseCellName("A0", 2, &r, &c));
        QVERIFY(!parseCellName("A1B", 3, &r, &c));
    }
};

QTEST_APPLESS_MAIN(TestCellAddress)
#include "tst_celladdress.moc"
