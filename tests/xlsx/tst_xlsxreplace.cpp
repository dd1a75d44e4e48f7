// Replace on workbooks written by openpyxl and LibreOffice (and patched with
// zipfile where they cannot write a structure), read back with openpyxl.

#include "application.h"
#include "testutil.h"
#include "xlsx/book/ooxmlreader.h"
#include "xlsxtest.h"

#include <QtTest>

using namespace Excel;

class TestXlsxReplace : public QObject
{
    Q_OBJECT

    QString m_sst; // basic.xlsx as LibreOffice saves it: shared strings

    struct Pass
    {
        QString what, with;
        int lookAt = xlPart;
        bool matchCase = false;
    };

    // Replaces on one sheet (all sheets when empty) and saves; returns the
    // failure reason, empty on success.
    static QString run(const QString &file, const QString &sheet, const QVector<Pass> &passes)
    {
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        if (!book)
            return "open: " + app.Workbooks()->lastError();
        for (int i = 1; i <= book->Sheets()->Count(); ++i) {
            Worksheet *ws = book->Sheets()->Item(i);
            if (!sheet.isEmpty() && ws->Name() != sheet)
                continue;
            auto used = ws->UsedRange();
            if (!used)
                return "used range: " + book->lastError();
            for (const Pass &p : passes)
                used->Replace(p.what, p.with, p.lookAt, xlByRows, p.matchCase);
        }
        if (!book->Save())
            return book->lastError().isEmpty() ? QStringLiteral("not saved") : book->lastError();
        return QString();
    }
    static QString run(const QString &file, const QString &sheet, const QString &what, const QString &with,
                       int lookAt = xlPart, bool matchCase = false)
    {
        return run(file, sheet, QVector<Pass>{{what, with, lookAt, matchCase}});
    }

    static QString text(const QJsonObject &d, const QString &ref, const QString &sheet = "Data")
    {
        return XlsxTest::cell(d, sheet, ref).at(1).toString();
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        KORRIN_REQUIRE_LIBREOFFICE();
        QVERIFY(!XlsxTest::fixtures().isEmpty());
        const QString lo = QDir(XlsxTest::fixtures()).filePath("lo");
        QDir().mkpath(lo);
        QVERIFY(TestUtil::libreOfficeConvert({XlsxTest::fixtures() + "/basic.xlsx"}, "xlsx", lo));
        m_sst = lo + "/basic.xlsx";
        QVERIFY(!XlsxTest::part(m_sst, "xl/sharedStrings.xml").isEmpty());
    }

    // Column A of basic.xlsx holds: apple pie, Apple, pineapple, banana,
    // a*b?c~d, 北京市北京, ID0012, " spaced ", x, 1-2.
    void options_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<int>("lookAt");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QStringList>("expected"); // A1..A10, "" for an empty cell
        const QStringList original{"apple pie", "Apple", "pineapple", "banana", "a*b?c~d", "北京市北京", "ID0012", " spaced ", "x", "1-2"};
        auto with = [&](std::initializer_list<std::pair<int, QString>> changes) {
            QStringList l = original;
            for (const auto &c : changes)
                l[c.first - 1] = c.second;
            return l;
        };
        for (bool shared : {false, true}) {
            const QString f = shared ? " (shared strings)" : " (inline strings)";
            auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(name + f)) << shared; };
            row("part ignoring case") << "apple" << "pear" << 2 << false << with({{1, "pear pie"}, {2, "pear"}, {3, "pinepear"}});
            row("part matching case") << "apple" << "pear" << 2 << true << with({{1, "pear pie"}, {3, "pinepear"}});
            row("whole ignoring case") << "apple" << "pear" << 1 << false << with({{2, "pear"}});
            row("whole matching case") << "apple" << "pear" << 1 << true << original;
            row("question mark") << "b?n" << "X" << 2 << false << with({{4, "Xana"}});
            row("greedy star") << "a*" << "X" << 2 << false
                               << with({{1, "X"}, {2, "X"}, {3, "pineX"}, {4, "bX"}, {5, "X"}, {8, " spX"}});
            row("whole with star") << "*na" << "X" << 1 << false << with({{4, "X"}});
            row("tilde star") << "~*" << "star" << 2 << false << with({{5, "astarb?c~d"}});
            row("tilde question") << "~?" << "Q" << 2 << false << with({{5, "a*bQc~d"}});
            row("tilde tilde") << "~~" << "T" << 2 << false << with({{5, "a*b?cTd"}});
            row("replacement literal") << "pie" << "*?~" << 2 << false << with({{1, "apple *?~"}});
            row("chinese") << "北京" << "上海" << 2 << false << with({{6, "上海市上海"}});
            row("text stays text") << "ID" << "" << 2 << false << with({{7, "0012"}});
            row("dash removed stays text") << "-" << "" << 2 << false << with({{10, "12"}});
            row("cell emptied") << "banana" << "" << 1 << false << with({{4, ""}});
            row("leading space kept") << "spaced" << "s" << 2 << false << with({{8, " s "}});
        }
    }
    void options()
    {
        QFETCH(bool, shared);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(int, lookAt);
        QFETCH(bool, matchCase);
        QFETCH(QStringList, expected);
        const QString file = XlsxTest::freshCopy(shared ? m_sst : XlsxTest::fixtures() + "/basic.xlsx");
        QCOMPARE(run(file, "Data", what, with, lookAt, matchCase), QString());
        const QJsonObject d = XlsxTest::dump(file);
        QStringList got;
        for (int r = 1; r <= 10; ++r) {
            const QJsonArray c = XlsxTest::cell(d, "Data", QString("A%1").arg(r));
            if (!c.isEmpty() && c.at(1).isString())
                QCOMPARE(c.at(0).toString(), QString("s")); // text stays text
            got << c.at(1).toString();
        }
        QCOMPARE(got, expected);
        QCOMPARE(text(d, "A1", "Second"), QString("apple second")); // other sheet untouched
    }

    // Column B: 1234.5, 0.1+0.2, a date, a percentage, TRUE, 12,
    // =SUM(B1:B2), 1E+20.
    void valuesAndFormulas_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<int>("lookAt");
        QTest::addColumn<QString>("ref");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("number stays number") << "34" << "99" << 2 << "B1" << "n" << QVariant(1299.5);
        QTest::newRow("formula-bar text of a binary fraction") << "0.3" << "7" << 1 << "B2" << "n" << QVariant(7.0);
        QTest::newRow("number becomes text") << "1234.5" << "abc" << 1 << "B1" << "s" << QVariant("abc");
        QTest::newRow("scientific notation") << "E+20" << "E+21" << 2 << "B8" << "n" << QVariant(1e21);
        QTest::newRow("date not searched") << "45000" << "1" << 1 << "B3" << "d" << QVariant("2023-03-15T00:00:00");
        QTest::newRow("percentage not searched") << "0.25" << "1" << 1 << "B4" << "n" << QVariant(0.25);
        QTest::newRow("boolean stays boolean") << "TRUE" << "false" << 1 << "B5" << "b" << QVariant(false);
        QTest::newRow("boolean becomes text") << "TRUE" << "yes" << 1 << "B5" << "s" << QVariant("yes");
        QTest::newRow("number emptied") << "12" << "" << 1 << "B6" << "" << QVariant();
        QTest::newRow("formula text") << "SUM" << "MAX" << 2 << "B7" << "f" << QVariant("=MAX(B1:B2)");
        QTest::newRow("formula loses its equals sign") << "=" << "" << 2 << "B7" << "s" << QVariant("SUM(B1:B2)");
        QTest::newRow("formula becomes a number") << "=SUM(B1:B2)" << "5" << 1 << "B7" << "n" << QVariant(5.0);
        QTest::newRow("text format cell stays text") << "keep" << "12" << 1 << "C2" << "s" << QVariant("12");
    }
    void valuesAndFormulas()
    {
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(int, lookAt);
        QFETCH(QString, ref);
        QFETCH(QString, type);
        QFETCH(QVariant, value);
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/basic.xlsx");
        QCOMPARE(run(file, "Data", what, with, lookAt), QString());
        const QJsonArray c = XlsxTest::cell(XlsxTest::dump(file), "Data", ref);
        QCOMPARE(c.at(0).toString(), type);
        QCOMPARE(c.at(1).toVariant(), value);
    }

    void changedFormulaDropsItsCachedValueAndRecalculates()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/formulas.xlsx");
        QCOMPARE(run(file, "", "SUM", "MAX"), QString());
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QVERIFY(sheet.contains("<c r=\"C1\"><f>MAX(A1:A5)</f></c>"));
        QVERIFY(XlsxTest::part(file, "xl/workbook.xml").contains("<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/>"));
        // Still a formula: the calculation chain stays.
        QVERIFY(!XlsxTest::part(file, "xl/calcChain.xml").isEmpty());
    }

    void formulaThatBecomesConstantRemovesTheCalcChain()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/formulas.xlsx");
        QCOMPARE(run(file, "", "=SUM(A1:A5)", "7", xlWhole), QString());
        QCOMPARE(XlsxTest::cell(XlsxTest::dump(file), "Sheet", "C1").at(1).toDouble(), 7.0);
        QByteArray names;
        QVERIFY(TestUtil::runPythonCode("import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).namelist())", {file}, &names));
        QVERIFY(!names.contains("calcChain"));
        QVERIFY(!XlsxTest::part(file, "xl/_rels/workbook.xml.rels").contains("calcChain"));
        QVERIFY(!XlsxTest::part(file, "[Content_Types].xml").contains("calcChain"));
    }

    void brokenFormulaFailsAndLeavesTheFile()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/basic.xlsx");
        const QByteArray before = TestUtil::readFile(file);
        const qint64 mtime = TestUtil::mtimeNs(file);
        const QString why = run(file, "Data", QVector<Pass>{{"apple", "pear"}, {"SUM(B1:B2)", "SUM(B1:B2", xlPart}});
        QVERIFY2(why.contains("xl/worksheets/sheet1.xml: B7:") && why.contains("=SUM(B1:B2"), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(TestUtil::mtimeNs(file), mtime);
    }

    void chainedPairs()
    {
        const QString file = XlsxTest::freshCopy(m_sst);
        QCOMPARE(run(file, "Data", QVector<Pass>{{"apple", "pear"}, {"pear", "plum"}}), QString());
        const QJsonObject d = XlsxTest::dump(file);
        QCOMPARE(text(d, "A1"), QString("plum pie"));
        QCOMPARE(text(d, "A3"), QString("pineplum"));
    }

    void unchangedEntriesKeepTheirBytes()
    {
        const QString original = m_sst;
        const QString file = XlsxTest::freshCopy(original);
        QCOMPARE(run(file, "Data", "apple", "pear"), QString());
        QCOMPARE(XlsxTest::changedEntries(original, file),
                 QStringList({"xl/sharedStrings.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"}));
    }

    void nothingFoundLeavesTheFile()
    {
        const QString file = XlsxTest::freshCopy(m_sst);
        const QByteArray before = TestUtil::readFile(file);
        const qint64 mtime = TestUtil::mtimeNs(file);
        QCOMPARE(run(file, "", "no such text", "x"), QString());
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(TestUtil::mtimeNs(file), mtime);
    }

    // A match whose replacement gives the same text back: the cell is not
    // rewritten (a number from its 15-digit text would lose digits), and a
    // workbook where nothing else changed is not rewritten at all.
    void sameTextBackChangesNothing()
    {
        const QString file = QDir(XlsxTest::fixtures()).filePath("sametext.xlsx");
        QVERIFY(TestUtil::runPythonCode("import sys, openpyxl\n"
                                        "wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'Data'\n"
                                        "ws['A1'] = 705.6788194410846; ws['A2'] = 2 ** 53; ws['A3'] = True\n"
                                        "ws['A4'] = '=SUM(A1:A2)'; ws['A5'] = 'abc'\n"
                                        "wb.save(sys.argv[1])",
                                        {file}));
        const QString copy = XlsxTest::freshCopy(file);
        const QByteArray before = TestUtil::readFile(copy);
        const qint64 mtime = TestUtil::mtimeNs(copy);
        QCOMPARE(run(copy, "", QVector<Pass>{{"5", "5"}, {"1", "1"}, {"true", "TRUE"}, {"SUM", "SUM"}, {"abc", "abc", xlWhole}}),
                 QString());
        QCOMPARE(TestUtil::readFile(copy), before);
        QCOMPARE(TestUtil::mtimeNs(copy), mtime);
        // With a real change beside them, those cells keep their bytes.
        QCOMPARE(run(copy, "", QVector<Pass>{{"5", "5"}, {"1", "1"}, {"abc", "abd"}}), QString());
        const QByteArray sheet = XlsxTest::part(copy, "xl/worksheets/sheet1.xml");
        const QByteArray original = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        for (const char *ref : {"A1", "A2", "A3", "A4"}) {
            const QByteArray tag = QByteArray("<c r=\"") + ref + '"';
            const int at = original.indexOf(tag), end = original.indexOf("</c>", at);
            QVERIFY(at >= 0 && end > at);
            QVERIFY2(sheet.contains(original.mid(at, end - at)), ref);
        }
        QCOMPARE(text(XlsxTest::dump(copy), "A5"), QString("abd"));
    }

    // A shared string changes in its place only when every cell that uses
    // it changes the same way; otherwise it gets a new entry.
    void sharedStringsChangeInPlaceOnlyWhenEveryCellDoes()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/rich.xlsx");
        const QByteArray sheetBefore = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QCOMPARE(run(file, "", "world", "there"), QString());
        QByteArray sst = XlsxTest::part(file, "xl/sharedStrings.xml");
        QVERIFY2(sst.contains("count=\"6\" uniqueCount=\"4\"><si><t>hello there</t></si><si><r>"), sst.constData());
        QVERIFY(!sst.contains("hello world"));
        QCOMPARE(XlsxTest::part(file, "xl/worksheets/sheet1.xml"), sheetBefore);
        QJsonObject d = XlsxTest::dump(file);
        for (const char *ref : {"A1", "A4", "A6"})
            QCOMPARE(XlsxTest::cell(d, "Sheet", ref).at(1).toString(), QString("hello there"));

        // A6 stays: one new entry serves the two cells that change.
        const QString part = XlsxTest::freshCopy(XlsxTest::fixtures() + "/rich.xlsx");
        {
            Application app;
            Workbook *book = app.Workbooks()->Open(part);
            QVERIFY(book);
            book->ActiveSheet()->Range("A1:A5")->Replace("world", "there", xlPart, xlByRows, false);
            QVERIFY2(book->Save(), qPrintable(book->lastError()));
        }
        sst = XlsxTest::part(part, "xl/sharedStrings.xml");
        QVERIFY2(sst.contains("count=\"6\" uniqueCount=\"5\"><si><t>hello world</t></si>"), sst.constData());
        QVERIFY(sst.endsWith("<si><t>hello there</t></si></sst>"));
        QCOMPARE(XlsxTest::part(part, "xl/worksheets/sheet1.xml").count("<v>4</v>"), 2);
        d = XlsxTest::dump(part);
        QCOMPARE(XlsxTest::cell(d, "Sheet", "A4").at(1).toString(), QString("hello there"));
        QCOMPARE(XlsxTest::cell(d, "Sheet", "A6").at(1).toString(), QString("hello world"));
    }

    // Which entries may take their new text in place, over two sheets: a
    // cell left as it was, or a sheet not searched, keeps the old entry.
    void sharedStringsInPlaceAcrossSheets_data()
    {
        QTest::addColumn<QStringList>("ranges"); // sheet=range; empty range: the used range
        QTest::addColumn<QStringList>("passes"); // what=with
        QTest::addColumn<QString>("texts");      // Sheet A1..A4 | Other A1..A2
        QTest::addColumn<QString>("unique");
        QTest::addColumn<QStringList>("sheetsAsRead");
        QTest::newRow("every cell: all in place") << QStringList{"Sheet=", "Other="} << QStringList{"alpha=omega"}
            << "omega one,omega two,omega one,omega one|omega two,keep" << "4"
            << QStringList{"sheet1", "sheet2"};
        QTest::newRow("two passes over the same cells") << QStringList{"Sheet=", "Other="}
            << QStringList{"alpha=beta", "beta=gamma"}
            << "gamma one,gamma two,gamma one,gamma one|gamma two,keep" << "4" << QStringList{"sheet1", "sheet2"};
        QTest::newRow("other sheet not searched") << QStringList{"Sheet="} << QStringList{"alpha=omega"}
            << "omega one,omega two,omega one,omega one|alpha two,keep" << "6" << QStringList{"sheet2"};
        QTest::newRow("one cell left") << QStringList{"Sheet=A1:A3", "Other="} << QStringList{"alpha=omega"}
            << "omega one,omega two,omega one,alpha one|omega two,keep" << "6" << QStringList{"sheet2"};
    }
    void sharedStringsInPlaceAcrossSheets()
    {
        QFETCH(QStringList, ranges);
        QFETCH(QStringList, passes);
        QFETCH(QString, texts);
        QFETCH(QString, unique);
        QFETCH(QStringList, sheetsAsRead);
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/shared2.xlsx");
        QMap<QString, QByteArray> before;
        for (const char *s : {"sheet1", "sheet2"})
            before[s] = XlsxTest::part(file, QString("xl/worksheets/%1.xml").arg(s));
        {
            Application app;
            Workbook *book = app.Workbooks()->Open(file);
            QVERIFY(book);
            for (const QString &r : ranges) {
                const QString sheet = r.section('=', 0, 0), area = r.section('=', 1);
                for (int i = 1; i <= book->Sheets()->Count(); ++i) {
                    Worksheet *ws = book->Sheets()->Item(i);
                    if (ws->Name() != sheet)
                        continue;
                    auto range = area.isEmpty() ? ws->UsedRange() : ws->Range(area);
                    QVERIFY(range);
                    for (const QString &p : passes)
                        range->Replace(p.section('=', 0, 0), p.section('=', 1), xlPart, xlByRows, false);
                }
            }
            QVERIFY2(book->Save(), qPrintable(book->lastError()));
        }
        const QJsonObject d = XlsxTest::dump(file);
        const QStringList sheets = texts.split('|');
        for (int s = 0; s < 2; ++s) {
            const QStringList values = sheets[s].split(',');
            for (int row = 0; row < values.size(); ++row)
                QCOMPARE(XlsxTest::cell(d, s ? "Other" : "Sheet", QString("A%1").arg(row + 1)).at(1).toString(),
                         values[row]);
        }
        QVERIFY(XlsxTest::part(file, "xl/sharedStrings.xml").contains("uniqueCount=\"" + unique.toUtf8() + "\""));
        for (const char *s : {"sheet1", "sheet2"})
            QCOMPARE(XlsxTest::part(file, QString("xl/worksheets/%1.xml").arg(s)) == before[s],
                     sheetsAsRead.contains(s));
    }

    void richTextKeepsItsRuns_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("match across runs")
            << "dT" << "D_t"
            << QByteArray("<si><r><rPr><b/><sz val=\"11\"/></rPr><t>ReD_t</t></r><r><rPr><i/></rPr><t>ext tail</t></r></si>");
        QTest::newRow("run emptied is dropped")
            << "Red" << "" << QByteArray("<si><r><rPr><i/></rPr><t>Text tail</t></r></si>");
        QTest::newRow("phonetic runs dropped, properties kept")
            << "東京" << "大阪" << QByteArray("<si><t>大阪都</t><phoneticPr fontId=\"0\" type=\"noConversion\"/></si>");
        QTest::newRow("literal escape kept literal")
            << "see" << "saw" << QByteArray("<si><t>saw _x005F_x0041_ and B</t></si>");
    }
    void richTextKeepsItsRuns()
    {
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QByteArray, entry);
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/rich.xlsx");
        QCOMPARE(run(file, "", what, with, xlPart, true), QString());
        const QByteArray sst = XlsxTest::part(file, "xl/sharedStrings.xml");
        QVERIFY2(sst.contains(entry), sst.constData());
        QVERIFY(XlsxTest::dump(file).contains("cells"));
    }

    void sharedFormulas_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QStringList>("expected"); // B1..B4 as openpyxl reads them
        QTest::addColumn<int>("groupCells");       // cells still in the group
        QTest::newRow("member leaves the group") << "A3" << "A9" << QStringList{"=A1*2+$A$1", "=A2*2+$A$1", "=A9*2+$A$1", "=A4*2+$A$1"} << 3;
        QTest::newRow("master changes, group dissolves") << "A1*2" << "A1*3" << QStringList{"=A1*3+$A$1", "=A2*2+$A$1", "=A3*2+$A$1", "=A4*2+$A$1"} << 0;
        QTest::newRow("every member changes") << "+$A$1" << "" << QStringList{"=A1*2", "=A2*2", "=A3*2", "=A4*2"} << 0;
        QTest::newRow("absolute part searched as written") << "$A$1" << "$B$1" << QStringList{"=A1*2+$B$1", "=A2*2+$B$1", "=A3*2+$B$1", "=A4*2+$B$1"} << 0;
    }
    void sharedFormulas()
    {
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QStringList, expected);
        QFETCH(int, groupCells);
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/formulas.xlsx");
        QCOMPARE(run(file, "", what, with), QString());
        const QJsonObject d = XlsxTest::dump(file);
        QStringList got;
        for (int r = 1; r <= 4; ++r)
            got << XlsxTest::cell(d, "Sheet", QString("B%1").arg(r)).at(1).toString();
        QCOMPARE(got, expected);
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QCOMPARE(int(sheet.count("t=\"shared\"")), groupCells);
        // Members written out keep their cached results.
        if (groupCells == 0 && what == "A1*2")
            QVERIFY(sheet.contains("<c r=\"B3\"><f>A3*2+$A$1</f><v>7</v></c>"));
    }

    void arrayFormulas()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/formulas.xlsx");
        // D2 lies in D1's array range: not searched; D1's text is.
        QCOMPARE(run(file, "", QVector<Pass>{{"20", "x"}, {"~*10", "*11"}}), QString());
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QVERIFY(sheet.contains("<c r=\"D1\"><f t=\"array\" ref=\"D1:D2\">A1:A2*11</f></c>"));
        QVERIFY(sheet.contains("<c r=\"D2\"><v>20</v></c>"));
        QVERIFY(sheet.contains("<c r=\"E1\"><f>LOG10(A1)+1E5+A1</f><v>100001</v></c>"));
        // Its text cannot become a value: the range would keep its results.
        const QByteArray before = TestUtil::readFile(file);
        QVERIFY(run(file, "", "=A1:A2*11", "7", xlWhole).contains("an array formula cannot become a value"));
        QCOMPARE(TestUtil::readFile(file), before);
    }

    void controlCharactersRoundTrip()
    {
        const QString file = XlsxTest::freshCopy(m_sst);
        const QString awkward = QString("line\r\nnext") + QChar(1) + "tab\tend _x0041_ " + QChar(0xFFFF) + " ";
        QCOMPARE(run(file, "Data", "x", awkward, xlWhole), QString());
        const QByteArray sst = XlsxTest::part(file, "xl/sharedStrings.xml");
        QVERIFY2(sst.contains("line_x000D_\nnext_x0001_tab\tend _x005F_x0041_ _xFFFF_ </t>"), sst.constData());
        QVERIFY(sst.contains("<t xml:space=\"preserve\">line_x000D_"));
        QString error;
        auto reader = OoxmlReader::open(file, &error);
        QVERIFY2(reader, qPrintable(error));
        QCOMPARE(reader->cellText(0, 9, 1), awkward);
        QVERIFY(!XlsxTest::dump(file).isEmpty()); // and openpyxl reads the part
    }

    void leadingByteOrderMarkIsKept()
    {
        // U+FEFF at the start of a cell's text is a character: a later
        // replace in that cell keeps it, on each of the ways a text is read.
        const QString file = XlsxTest::freshCopy(m_sst);
        const QString mark(QChar(0xFEFF));
        QCOMPARE(run(file, "Data", "x", mark + mark + "alpha &", xlWhole), QString());
        QCOMPARE(run(file, "Data", "alpha", "omega"), QString());
        QString error;
        auto reader = OoxmlReader::open(file, &error);
        QVERIFY2(reader, qPrintable(error));
        QCOMPARE(reader->cellText(0, 9, 1), mark + mark + "omega &");
        QCOMPARE(run(file, "Data", "omega", "beta", xlPart, true), QString());
        reader = OoxmlReader::open(file, &error);
        QCOMPARE(reader->cellText(0, 9, 1), mark + mark + "beta &");
    }

    void textTooLongFails()
    {
        const QString file = XlsxTest::freshCopy(m_sst);
        const QByteArray before = TestUtil::readFile(file);
        const QString why = run(file, "Data", "x", QString(40000, QChar('y')), xlWhole);
        QVERIFY2(why.contains("32767"), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
    }

    void everySheetKindIsCountedAndChartSheetsHaveNoCells()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/kinds.xlsx");
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
        QCOMPARE(book->Sheets()->Count(), 3);
        QCOMPARE(book->Sheets()->Item(2)->Name(), QString("Chart"));
        QCOMPARE(book->ActiveSheet()->Name(), QString("Three"));
        QVERIFY(!book->Sheets()->Item(0));
        QVERIFY(!book->Sheets()->Item(4));
        Worksheet *chart = book->Sheets()->Item(2);
        auto used = chart->UsedRange();
        QVERIFY(used);
        QVERIFY(!used->Replace("*", "x", xlPart, xlByRows, false));
        QVERIFY(!chart->Range("A1"));
        QVERIFY(book->Save());
    }

    void dialogAndMacroSheets()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/sheetkinds.xlsx");
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
        QCOMPARE(book->Sheets()->Count(), 3);
        Worksheet *dialog = book->Sheets()->Item(2), *macro = book->Sheets()->Item(3);
        QCOMPARE(dialog->Name(), QString("Dialog"));
        QVERIFY(!dialog->UsedRange()->Replace("*", "x", xlPart, xlByRows, false));
        QVERIFY(!dialog->Range("A1"));
        // A macro sheet has cells like a worksheet.
        QVERIFY(macro->UsedRange()->Replace("apple", "pear", xlPart, xlByRows, false));
        QVERIFY2(book->Save(), qPrintable(book->lastError()));
        QVERIFY(XlsxTest::part(file, "xl/macrosheets/sheet1.xml").contains("<t>pear macro</t>"));
        QCOMPARE(XlsxTest::changedEntries(XlsxTest::fixtures() + "/sheetkinds.xlsx", file),
                 QStringList({"xl/macrosheets/sheet1.xml"})); // calcPr already asks for recalculation
    }

    void activeTabOutOfRangeMeansTheFirstSheet()
    {
        Application app;
        Workbook *book = app.Workbooks()->Open(XlsxTest::freshCopy(XlsxTest::fixtures() + "/badtab.xlsx"));
        QVERIFY(book);
        QCOMPARE(book->ActiveSheet()->Name(), QString("One"));
    }

    void protectedSheet()
    {
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/protected.xlsx");
        const QByteArray before = TestUtil::readFile(file);
        const QString why = run(file, "", "apple", "pear");
        QVERIFY2(why.contains("A1: the cell is locked on a protected sheet"), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
        // The unlocked cell may change.
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        book->ActiveSheet()->Range("A2")->Replace("apple", "pear", xlPart, xlByRows, false);
        QVERIFY2(book->Save(), qPrintable(book->lastError()));
        QCOMPARE(XlsxTest::cell(XlsxTest::dump(file), "Sheet", "A2").at(1).toString(), QString("pear open"));
    }
};

QTEST_GUILESS_MAIN(TestXlsxReplace)
#include "tst_xlsxreplace.moc"
