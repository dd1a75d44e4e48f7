#include "cellrules/cellvalue.h"

#include <QtTest>

using namespace Excel;

class TestCellValue : public QObject
{
    Q_OBJECT

private slots:
    void formulaBarNumber_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 7.0 << "7";
        QTest::newRow("negative") << -7.0 << "-7";
        QTest::newRow("decimal") << 1234.5 << "1234.5";
        QTest::newRow("binary fraction") << 0.1 + 0.2 << "0.3";
        QTest::newRow("fifteen digits") << 123456789012345.0 << "123456789012345";
        QTest::newRow("sixteen digits") << 1234567890123456.0 << "1.23456789012346E+15";
        QTest::newRow("large") << 1e20 << "1E+20";
        QTest::newRow("small") << 0.00001 << "0.00001";
        QTest::newRow("tiny") << 1.5e-10 << "1.5E-10";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("rounded to 15") << 2.0 / 3.0 << "0.666666666666667";
    }
    void formulaBarNumber()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(Excel::formulaBarNumber(value), text);
    }

    void storedNumberRoundTrips()
    {
        for (double d : {0.1, 1.0 / 3.0, 1e300, -2.5e-308, 123456789.125, 42.0}) {
            bool ok = false;
            QCOMPARE(storedNumberText(d).toDouble(&ok), d);
            QVERIFY(ok);
        }
        QCOMPARE(storedNumberText(42), QString("42"));
    }

    void readsAsNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::newRow("int") << "12" << true;
        QTest::newRow("sign") << "-12.5" << true;
        QTest::newRow("plus") << "+3" << true;
        QTest::newRow("leading point") << ".5" << true;
        QTest::newRow("trailing point") << "5." << true;
        QTest::newRow("exponent") << "1.5e-3" << true;
        QTest::newRow("comma decimal") << "1234,5" << false;
        QTest::newRow("grouping") << "1,000" << false;
        QTest::newRow("blank") << " 12" << false;
        QTest::newRow("date") << "2024-01-02" << false;
        QTest::newRow("bare exponent") << "1e" << false;
        QTest::newRow("overflow") << "1e999" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("sign only") << "-" << false;
    }
    void readsAsNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        double d;
        QCOMPARE(Excel::readsAsNumber(text, &d), isNumber);
    }

    void wellFormedFormula_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("ok");
        QTest::newRow("sum") << "SUM(A1:B2)" << true;
        QTest::newRow("nested") << "IF(A1>0,MAX(B1,C1),\"x\")" << true;
        QTest::newRow("open paren") << "SUM(A1" << false;
        QTest::newRow("close paren") << "A1)" << false;
        QTest::newRow("paren inside string") << "\"(\"&A1" << true;
        QTest::newRow("escaped quote") << "\"a\"\"b\"" << true;
        QTest::newRow("open string") << "\"abc" << false;
        QTest::newRow("sheet name") << "'My Sheet'!A1" << true;
        QTest::newRow("open sheet name") << "'My Sheet!A1" << false;
        QTest::newRow("array constant") << "SUM({1,2,3})" << true;
        QTest::newRow("crossed") << "(A1{)}" << false;
        QTest::newRow("blank") << "  " << false;
        QTest::newRow("empty") << "" << false;
    }
    void wellFormedFormula()
    {
        QFETCH(QString, body);
        QFETCH(bool, ok);
        QCOMPARE(isWellFormedFormula(body), ok);
    }

    void retyping()
    {
        // text stays text, even when it looks like a number
        RetypeResult r = retypeText("12");
        QVERIFY(r.ok);
        QCOMPARE(r.value.kind, ValueKind::Text);
        // numbers stay numbers only while they read as one
        r = retypeNumber("1234.5");
        QCOMPARE(r.value.kind, ValueKind::Number);
        QCOMPARE(r.value.number, 1234.5);
        r = retypeNumber("1234,5");
        QCOMPARE(r.value.kind, ValueKind::Text);
        QCOMPARE(r.value.text, QString("1234,5"));
        // booleans
        r = retypeBoolean("false");
        QCOMPARE(r.value.kind, ValueKind::Boolean);
        QCOMPARE(r.value.boolean, false);
        r = retypeBoolean("TRUEISH");
        QCOMPARE(r.value.kind, ValueKind::Text);
        // formulas
        r = retypeFormula("=COS(A1)");
        QCOMPARE(r.value.kind, ValueKind::Formula);
        QCOMPARE(r.value.text, QString("COS(A1)"));
        r = retypeFormula("=SUM(A1");
        QVERIFY(!r.ok);
        r = retypeFormula("SUM(A1)");
        QCOMPARE(r.value.kind, ValueKind::Text);
        r = retypeFormula("42");
        QCOMPARE(r.value.kind, ValueKind::Number);
        // an edit that leaves nothing empties the cell
        QCOMPARE(retypeText(QString()).value.kind, ValueKind::Empty);
        QCOMPARE(retypeFormula(QString()).value.kind, ValueKind::Empty);
        // too long
        QVERIFY(!retypeText(QString(MaxCellTextLength + 1, 'x')).ok);
        QVERIFY(retypeText(QString(MaxCellTextLength, 'x')).ok);
    }

    void typedInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("textFormat");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("stored");
        QTest::newRow("number") << "051019" << false << int(ValueKind::Number) << "";
        QTest::newRow("boolean") << "true" << false << int(ValueKind::Boolean) << "";
        QTest::newRow("formula") << "=A1+1" << false << int(ValueKind::Formula) << "A1+1";
        QTest::newRow("apostrophe") << "'0012" << false << int(ValueKind::Text) << "0012";
        QTest::newRow("date stays text") << "1/1/05" << false << int(ValueKind::Text) << "1/1/05";
        QTest::newRow("text format") << "0012" << true << int(ValueKind::Text) << "0012";
        QTest::newRow("text format formula") << "=A1" << true << int(ValueKind::Text) << "=A1";
        QTest::newRow("empty clears") << "" << false << int(ValueKind::Empty) << "";
    }
    void typedInput()
    {
        QFETCH(QString, text);
        QFETCH(bool, textFormat);
        QFETCH(int, kind);
        QFETCH(QString, stored);
        const RetypeResult r = Excel::typedInput(text, textFormat);
        QVERIFY(r.ok);
        QCOMPARE(int(r.value.kind), kind);
        if (!stored.isEmpty())
            QCOMPARE(r.value.text, stored);
    }

    void typedInputBadFormulaFails()
    {
        QVERIFY(!Excel::typedInput("=(", false).ok);
        QVERIFY(!Excel::typedInput("=", false).ok);
    }
};

QTEST_APPLESS_MAIN(TestCellValue)
#include "tst_cellvalue.moc"
