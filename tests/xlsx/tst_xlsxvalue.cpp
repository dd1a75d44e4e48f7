// Value writes by position, and workbooks that cannot be opened or saved.

#include "application.h"
#include "testutil.h"
#include "xlsxtest.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace Excel;

class TestXlsxValue : public QObject
{
    Q_OBJECT

    using Writes = QVector<QPair<QString, QString>>;

    // Writes each (position, text) into sheet number `sheet` and saves;
    // returns the failure, empty on success.
    static QString write(const QString &file, int sheet, const Writes &writes)
    {
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        if (!book)
            return "open: " + app.Workbooks()->lastError();
        Worksheet *ws = book->Sheets()->Item(sheet);
        for (const auto &w : writes) {
            auto range = ws->Range(w.first);
            if (!range)
                return "no range: " + w.first;
            range->setValue(w.second);
        }
        if (!book->Save())
            return book->lastError();
        return QString();
    }

    static QString fixture(const QString &name) { return XlsxTest::freshCopy(XlsxTest::fixtures() + "/" + name); }

    // Rows ascending, cells ascending by column number within each row,
    // every cell in its row: what Excel insists on.
    static QString orderProblems(const QString &file)
    {
        QByteArray out;
        TestUtil::runPythonCode(
            "import sys, re, zipfile, xml.etree.ElementTree as ET\n"
            "ns = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'\n"
            "root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml'))\n"
            "def col(r):\n"
            "    n = 0\n"
            "    for ch in re.match('[A-Z]+', r).group(0): n = n * 26 + ord(ch) - 64\n"
            "    return n\n"
            "last = 0\n"
            "for row in root.iter(ns + 'row'):\n"
            "    r = int(row.get('r'))\n"
            "    if r <= last: print('row', r, 'after', last)\n"
            "    last, lastc = r, 0\n"
            "    for c in row.findall(ns + 'c'):\n"
            "        ref = c.get('r')\n"
            "        if int(re.search('[0-9]+', ref).group(0)) != r: print('cell', ref, 'in row', r)\n"
            "        if col(ref) <= lastc: print('cell', ref, 'out of order')\n"
            "        lastc = col(ref)\n",
            {file}, &out);
        return QString::fromUtf8(out);
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        QVERIFY(!XlsxTest::fixtures().isEmpty());
    }

    void existingAndNewCellsAndRows()
    {
        const QString file = fixture("layout.xlsx");
        QCOMPARE(write(file, 1, {{"B2", "new text"}, {"C2", "5"}, {"F2", "007"}, {"C3", "1.5"}, {"A4", "TRUE"},
                                 {"B5", "x5"}, {"B9", "=SUM(D2:D2)"}}),
                 QString());
        const QJsonObject d = XlsxTest::dump(file);
        auto is = [&](const char *ref, const char *type, const QVariant &value, const char *format = "General") {
            const QJsonArray c = XlsxTest::cell(d, "Sheet", ref);
            QCOMPARE(c.at(0).toString(), QString(type));
            QCOMPARE(c.at(1).toVariant(), value);
            QCOMPARE(c.at(2).toString(), QString(format));
        };
        is("B2", "s", "new text");
        is("C2", "n", 5);
        is("D2", "n", 4); // untouched neighbour
        is("F2", "s", "007", "@");     // the column's Text style: stays text
        is("C3", "n", 1.5, "0.000");   // the row's style
        is("A4", "b", true);
        is("B5", "s", "x5");
        is("B9", "f", "=SUM(D2:D2)");
        QCOMPARE(orderProblems(file), QString());
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QVERIFY2(sheet.contains("<x:dimension ref=\"A2:F9\"/>"), sheet.constData());
        QVERIFY(sheet.contains("<x:row r=\"2\" spans=\"2:6\">"));
        QVERIFY(sheet.contains("<x:c r=\"C2\"><x:v>5</x:v></x:c>"));
        QVERIFY(sheet.contains("<x:row r=\"5\" spans=\"2:2\"><x:c r=\"B5\" t=\"inlineStr\"><x:is><x:t>x5</x:t></x:is></x:c></x:row>"));
        QVERIFY(sheet.contains("<x:row r=\"9\"><x:c r=\"B9\"><x:f>SUM(D2:D2)</x:f></x:c></x:row>"));
        QVERIFY(XlsxTest::part(file, "xl/workbook.xml").contains("fullCalcOnLoad=\"1\""));
    }

    void calcPrInsertedWhereTheSchemaWantsIt()
    {
        const QString file = fixture("nocalcpr.xlsx");
        QCOMPARE(write(file, 1, {{"B1", "7"}}), QString());
        const QByteArray book = XlsxTest::part(file, "xl/workbook.xml");
        QVERIFY2(book.endsWith("<definedNames/><calcPr fullCalcOnLoad=\"1\"/></workbook>"), book.constData());
        // Several spans (written with white space around "=") do not
        // cover B: the hint goes.
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QVERIFY2(sheet.contains("<row r=\"1\"><c r=\"A1\""), sheet.constData());
        QCOMPARE(orderProblems(file), QString());
        QCOMPARE(XlsxTest::cell(XlsxTest::dump(file), "Sheet", "B1").at(1).toInt(), 7);
    }

    void typedInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("decimal") << "12.5" << "n" << QVariant(12.5);
        QTest::newRow("exponent") << "1E3" << "n" << QVariant(1000);
        QTest::newRow("leading zeros") << "007" << "n" << QVariant(7);
        QTest::newRow("boolean any case") << "true" << "b" << QVariant(true);
        QTest::newRow("apostrophe forces text") << "'=1+1" << "s" << QVariant("=1+1");
        QTest::newRow("formula") << "=1+1" << "f" << QVariant("=1+1");
        QTest::newRow("date-looking text") << "1/2" << "s" << QVariant("1/2");
        QTest::newRow("blank before digits") << " 12" << "s" << QVariant(" 12");
        QTest::newRow("month-day") << "OCT8" << "s" << QVariant("OCT8");
    }
    void typedInput()
    {
        QFETCH(QString, text);
        QFETCH(QString, type);
        QFETCH(QVariant, value);
        // "Three" is empty: <sheetData/> opens to take the cell.
        const QString file = fixture("kinds.xlsx");
        QCOMPARE(write(file, 3, {{"$b$2", text}}), QString());
        const QJsonArray c = XlsxTest::cell(XlsxTest::dump(file), "Three", "B2");
        QCOMPARE(c.at(0).toString(), type);
        QCOMPARE(c.at(1).toVariant(), value);
    }

    void rangesUnionsAndRepeats()
    {
        const QString file = fixture("kinds.xlsx");
        QCOMPARE(write(file, 3, {{"A1:B2, d4", "z"}, {"D4", "second"}}), QString());
        const QJsonObject d = XlsxTest::dump(file);
        for (const char *ref : {"A1", "A2", "B1", "B2"})
            QCOMPARE(XlsxTest::cell(d, "Three", ref).at(1).toString(), QString("z"));
        QCOMPARE(XlsxTest::cell(d, "Three", "D4").at(1).toString(), QString("second"));
        QCOMPARE(d.value("cells").toObject().value("Three").toObject().size(), 5);
    }

    void emptyTextClearsButKeepsTheStyle()
    {
        const QString file = fixture("basic.xlsx");
        QCOMPARE(write(file, 1, {{"C2", ""}, {"Z99", ""}}), QString());
        const QJsonArray c = XlsxTest::cell(XlsxTest::dump(file), "Data", "C2");
        QVERIFY(c.at(1).isNull());
        QCOMPARE(c.at(2).toString(), QString("@"));
        QVERIFY(!XlsxTest::part(file, "xl/worksheets/sheet1.xml").contains("Z99"));
    }

    void formulasOverwritten()
    {
        const QString file = fixture("formulas.xlsx");
        QCOMPARE(write(file, 1, {{"C1", "7"}, {"B1", "1"}}), QString());
        const QJsonObject d = XlsxTest::dump(file);
        QCOMPARE(XlsxTest::cell(d, "Sheet", "C1").at(1).toDouble(), 7.0);
        QCOMPARE(XlsxTest::cell(d, "Sheet", "B1").at(1).toDouble(), 1.0);
        // The shared group lost its master; its members keep their formulas.
        QCOMPARE(XlsxTest::cell(d, "Sheet", "B3").at(1).toString(), QString("=A3*2+$A$1"));
        QVERIFY(XlsxTest::part(file, "xl/calcChain.xml").isEmpty());
    }

    void refusedWritesLeaveTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ill-formed formula") << "basic.xlsx" << "D1" << "=SUM(" << "not well-formed";
        QTest::newRow("inside an array range") << "formulas.xlsx" << "D2" << "1" << "array";
        QTest::newRow("locked cell") << "protected.xlsx" << "A1" << "x" << "locked";
        QTest::newRow("new locked cell") << "protected.xlsx" << "C9" << "x" << "locked";
        QTest::newRow("bad position") << "basic.xlsx" << "A0" << "x" << "no range";
        QTest::newRow("past the last column") << "basic.xlsx" << "XFE1" << "x" << "no range";
        QTest::newRow("R1C1") << "basic.xlsx" << "R1C1" << "x" << "no range";
        QTest::newRow("more than a million cells") << "basic.xlsx" << "A:A" << "x" << "no range";
        QTest::newRow("chart sheet") << "kinds.xlsx" << "A1" << "x" << "no range";
        QTest::newRow("sheet without sheetData") << "nosheetdata.xlsx" << "B2" << "x" << "no sheetData";
    }
    void refusedWritesLeaveTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, position);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        const QString file = fixture(name);
        const QByteArray before = TestUtil::readFile(file);
        const qint64 mtime = TestUtil::mtimeNs(file);
        const int sheet = name == "kinds.xlsx" ? 2 : 1;
        const QString why = write(file, sheet, {{"A5", "earlier entry"}, {position, text}});
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(TestUtil::mtimeNs(file), mtime);
    }

    // Found by fuzzing: a cell added to a sheet without sheetData was read
    // back through a namespace scope that did not exist.
    void newCellWithoutSheetDataFailsAtOnce()
    {
        const QString file = fixture("nosheetdata.xlsx");
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        book->ActiveSheet()->Range("B2")->setValue("x");
        QVERIFY(book->lastError().contains("no sheetData"));
        QVERIFY(!book->ActiveSheet()->UsedRange()->Replace("x", "y", xlPart, xlByRows, false));
        QVERIFY(!book->Save());
    }

    // Found by fuzzing: a value after an unknown child was taken for part
    // of that child, and the cell came out with two values.
    void unknownChildBeforeTheValue()
    {
        const QString file = fixture("oddcell.xlsx");
        QCOMPARE(write(file, 1, {{"B2", "8"}}), QString());
        const QByteArray sheet = XlsxTest::part(file, "xl/worksheets/sheet1.xml");
        QCOMPARE(sheet.count("<v>"), 1);
        QVERIFY(sheet.contains("<o:note xmlns:o=\"urn:example:note\"/>"));
        QCOMPARE(XlsxTest::cell(XlsxTest::dump(file), "Sheet", "B2").at(1).toInt(), 8);
    }

    void openRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray good = TestUtil::readFile(XlsxTest::fixtures() + "/basic.xlsx");
        QTest::newRow("text file") << QByteArray("just some text\n") << "not a workbook";
        QTest::newRow("empty file") << QByteArray() << "not a workbook";
        QTest::newRow("truncated") << good.left(good.size() / 2) << "truncated";
        QByteArray corrupt = good;
        for (int i = 200; i < corrupt.size() - 400; i += 97)
            corrupt[i] = char(corrupt[i] ^ 0x5A);
        QTest::newRow("corrupt") << corrupt << "";
        QByteArray zipOnly;
        QVERIFY(TestUtil::runPythonCode("import io, sys, zipfile\nb = io.BytesIO()\n"
                                        "z = zipfile.ZipFile(b, 'w'); z.writestr('word/document.xml', '<w/>'); z.close()\n"
                                        "sys.stdout.buffer.write(b.getvalue())", {}, &zipOnly));
        QTest::newRow("zip without a workbook") << zipOnly << "Content_Types";
    }
    void openRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString file = XlsxTest::freshCopy(XlsxTest::fixtures() + "/basic.xlsx");
        QVERIFY(TestUtil::writeFile(file, content));
        Application app;
        QVERIFY(!app.Workbooks()->Open(file));
        const QString why = app.Workbooks()->lastError();
        QVERIFY2(!why.isEmpty() && why.contains(reason), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), content);
    }

    void readOnlyFileIsNotSaved()
    {
        const QString file = fixture("basic.xlsx");
        const QByteArray before = TestUtil::readFile(file);
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        const QString why = write(file, 1, {{"A1", "x"}});
        QVERIFY2(why.contains("read-only"), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
    }

    void readOnlyFolderIsNotSaved()
    {
        const QString file = fixture("basic.xlsx");
        const QByteArray before = TestUtil::readFile(file);
        const QString folder = QFileInfo(file).absolutePath();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QString why = write(file, 1, {{"A1", "x"}});
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY2(why.contains("read-only"), qPrintable(why));
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"basic.xlsx"});
    }

    void fullDiskFailsTheSave()
    {
        const QString file = fixture("basic.xlsx");
        const QByteArray before = TestUtil::readFile(file);
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        book->ActiveSheet()->Range("A1")->setValue(QString(30000, QChar('w')));
        // No file may grow past 2 KB now: the new one cannot be written.
        struct sigaction ignore = {}, old = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &old);
        struct rlimit limit, saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        limit = saved;
        limit.rlim_cur = 2048;
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved_ok = book->Save();
        setrlimit(RLIMIT_FSIZE, &saved);
        sigaction(SIGXFSZ, &old, nullptr);
        QVERIFY(!saved_ok);
        QVERIFY2(book->lastError().contains("cannot write"), qPrintable(book->lastError()));
        QCOMPARE(TestUtil::readFile(file), before);
        QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void savingTwiceWritesBothTimes()
    {
        const QString file = fixture("basic.xlsx");
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        book->ActiveSheet()->Range("A1")->setValue("first");
        QVERIFY2(book->Save(), qPrintable(book->lastError()));
        book->ActiveSheet()->Range("A2")->setValue("second");
        QVERIFY2(book->Save(), qPrintable(book->lastError()));
        const QJsonObject d = XlsxTest::dump(file);
        QCOMPARE(XlsxTest::cell(d, "Data", "A1").at(1).toString(), QString("first"));
        QCOMPARE(XlsxTest::cell(d, "Data", "A2").at(1).toString(), QString("second"));
    }

    void fileChangedBehindOurBackIsNotOverwritten()
    {
        const QString file = fixture("basic.xlsx");
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        book->ActiveSheet()->Range("A1")->setValue("ours");
        const QByteArray theirs = TestUtil::readFile(XlsxTest::fixtures() + "/kinds.xlsx");
        QVERIFY(TestUtil::writeFile(file, theirs));
        QVERIFY(!book->Save());
        QVERIFY2(book->lastError().contains("changed by someone else"), qPrintable(book->lastError()));
        QCOMPARE(TestUtil::readFile(file), theirs);
    }
};

QTEST_GUILESS_MAIN(TestXlsxValue)
#include "tst_xlsxvalue.moc"
