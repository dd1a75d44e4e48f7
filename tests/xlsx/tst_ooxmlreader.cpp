#include "testutil.h"
#include "xlsx/book/ooxmlreader.h"
#include "xlsxtest.h"

#include <QtTest>

using Excel::CellArea;
using Excel::OoxmlReader;

class TestOoxmlReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        QVERIFY(!XlsxTest::fixtures().isEmpty());
    }

    void cellTexts_data()
    {
        QTest::addColumn<bool>("libreOffice");
        QTest::newRow("openpyxl (inline strings)") << false;
        QTest::newRow("LibreOffice (shared strings)") << true;
    }
    void cellTexts()
    {
        QFETCH(bool, libreOffice);
        QString file = XlsxTest::fixtures() + "/basic.xlsx";
        if (libreOffice) {
            KORRIN_REQUIRE_LIBREOFFICE();
            const QString lo = XlsxTest::fixtures() + "/reader-lo";
            QDir().mkpath(lo);
            QVERIFY(TestUtil::libreOfficeConvert({file}, "xlsx", lo));
            file = lo + "/basic.xlsx";
        }
        QString error;
        auto r = OoxmlReader::open(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->sheetNames(), QStringList({"Data", "Second"}));
        CellArea a;
        QVERIFY(r->usedRange(0, &a));
        QCOMPARE(QVector<int>({a.firstRow, a.firstColumn, a.lastRow, a.lastColumn}), QVector<int>({1, 1, 10, 3}));
        QCOMPARE(r->cellText(0, 6, 1), QString::fromUtf8("北京市北京"));
        QCOMPARE(r->cellText(0, 8, 1), QString(" spaced "));
        QCOMPARE(r->cellText(0, 2, 2), QString("0.3"));
        QCOMPARE(r->cellText(0, 3, 2), QString("45000")); // a date, as its number
        QCOMPARE(r->cellText(0, 5, 2), QString("TRUE"));
        QCOMPARE(r->cellText(0, 8, 2), QString("1E+20"));
        // A formula by its cached value: openpyxl leaves it empty.
        QCOMPARE(r->cellText(0, 7, 2), libreOffice ? QString("1234.8") : QString());
        QCOMPARE(r->cellText(0, 50, 50), QString());
        QCOMPARE(r->cellText(1, 1, 1), QString("apple second"));
        QCOMPARE(r->cellText(5, 1, 1), QString());
    }

    void sheetsWithoutCells()
    {
        QString error;
        auto r = OoxmlReader::open(XlsxTest::fixtures() + "/kinds.xlsx", &error);
        QVERIFY(r);
        QCOMPARE(r->sheetNames(), QStringList({"One", "Chart", "Three"}));
        CellArea a;
        QVERIFY(r->usedRange(0, &a));
        QVERIFY(!r->usedRange(1, &a)); // chart sheet
        QVERIFY(!r->usedRange(2, &a)); // empty sheet
        QCOMPARE(r->cellText(1, 1, 1), QString());
        QVERIFY(r->lastError().isEmpty());
    }

    void refusesWhatTheEngineRefuses()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/basic.xlsx");
        QVERIFY(TestUtil::writeFile(file, "not a workbook"));
        QString error;
        QVERIFY(!OoxmlReader::open(file, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOoxmlReader)
#include "tst_ooxmlreader.moc"
