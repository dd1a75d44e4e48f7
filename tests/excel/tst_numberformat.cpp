#include "cellrules/numberformat.h"

#include <QtTest>

using namespace Excel;

class TestNumberFormat : public QObject
{
    Q_OBJECT

private slots:
    void formatCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("hidesNumber");
        QTest::newRow("General") << "General" << false;
        QTest::newRow("grouping") << "#,##0.00" << false;
        QTest::newRow("scientific") << "0.00E+00" << false;
        QTest::newRow("colour") << "[Red]0.00;[Blue]-0.00" << false;
        QTest::newRow("quoted letters") << "0 \"days\"" << false;
        QTest::newRow("escaped letter") << "0\\d" << false;
        QTest::newRow("fill and spacing") << "_(* #,##0_);_(* (#,##0)" << false;
        QTest::newRow("currency tag") << "[$$-409]#,##0.00" << false;
        QTest::newRow("percent") << "0.0%" << true;
        QTest::newRow("date") << "yyyy-mm-dd" << true;
        QTest::newRow("time") << "h:mm AM/PM" << true;
        QTest::newRow("elapsed") << "[h]:mm" << true;
        QTest::newRow("locale date") << "[$-411]ge.m.d" << true;
        QTest::newRow("upper case date") << "DD/MM/YYYY" << true;
    }
    void formatCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, hidesNumber);
        QCOMPARE(formatCodeShowsDateTimeOrPercent(code), hidesNumber);
    }

    void builtinFormats()
    {
        for (int id : {9, 10, 14, 17, 20, 22, 27, 36, 45, 47, 50, 58})
            QVERIFY2(builtinFormatShowsDateTimeOrPercent(id), qPrintable(QString::number(id)));
        for (int id : {0, 1, 2, 3, 4, 11, 37, 44, 48, 49})
            QVERIFY2(!builtinFormatShowsDateTimeOrPercent(id), qPrintable(QString::number(id)));
        QVERIFY(builtinFormatIsText(49));
        QVERIFY(formatCodeIsText("@"));
        QVERIFY(!formatCodeIsText("@\" kg\""));
    }
};

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"
