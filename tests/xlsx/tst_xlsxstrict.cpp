// Strict Open XML packages (made by rewriting the namespaces of files that
// openpyxl and LibreOffice wrote) are read and edited like transitional
// ones, stay strict, and LibreOffice reads the result.

#include "application.h"
#include "testutil.h"
#include "xlsx/book/ooxmlreader.h"
#include "xlsxtest.h"

#include <QtTest>

using namespace Excel;

class TestXlsxStrict : public QObject
{
    Q_OBJECT

    QString m_libreOffice; // basic.xlsx as LibreOffice writes it

    static QString strict(const QString &source)
    {
        const QString target = XlsxTest::freshCopy(source);
        QFile::remove(target);
        return TestUtil::runPythonScript("makestrict.py", {source, target}) ? target : QString();
    }

    // Every part of the package as text, joined.
    static QByteArray allParts(const QString &file)
    {
        QByteArray out;
        TestUtil::runPythonCode("import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                                "for n in z.namelist(): sys.stdout.buffer.write(z.read(n))",
                                {file}, &out);
        return out;
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        KORRIN_REQUIRE_LIBREOFFICE();
        QVERIFY(!XlsxTest::fixtures().isEmpty());
        const QString dir = XlsxTest::fixtures() + "/strict-lo";
        QDir().mkpath(dir);
        QVERIFY(TestUtil::libreOfficeConvert({XlsxTest::fixtures() + "/basic.xlsx"}, "xlsx", dir));
        m_libreOffice = dir + "/basic.xlsx";
    }

    void editedLikeTransitional_data()
    {
        QTest::addColumn<bool>("sharedStrings");
        QTest::newRow("openpyxl: inline strings") << false;
        QTest::newRow("LibreOffice: shared strings") << true;
    }
    void editedLikeTransitional()
    {
        QFETCH(bool, sharedStrings);
        const QString file = strict(sharedStrings ? m_libreOffice : XlsxTest::fixtures() + "/basic.xlsx");
        QVERIFY(!file.isEmpty());
        {
            Application app;
            Workbook *book = app.Workbooks()->Open(file);
            QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
            QCOMPARE(book->Sheets()->Count(), 2);
            QCOMPARE(book->Sheets()->Item(2)->Name(), QString("Second"));
            Worksheet *data = book->Sheets()->Item(1);
            QVERIFY(data->UsedRange()->Replace("apple", "pear", xlPart, xlByRows, false));
            data->Range("D1")->setValue("added");
            data->Range("D2")->setValue("=B1*2");
            QVERIFY2(book->Save(), qPrintable(book->lastError()));
        }
        const QByteArray parts = allParts(file);
        QVERIFY(!parts.contains("http://schemas.openxmlformats.org/spreadsheetml/2006/main"));
        QVERIFY(!parts.contains("http://schemas.openxmlformats.org/officeDocument/2006/relationships"));
        QVERIFY(XlsxTest::part(file, "xl/workbook.xml").contains("conformance=\"strict\""));
        QVERIFY(XlsxTest::part(file, "xl/workbook.xml").contains("fullCalcOnLoad=\"1\""));

        QString error;
        auto reader = OoxmlReader::open(file, &error);
        QVERIFY2(reader, qPrintable(error));
        QCOMPARE(reader->cellText(0, 1, 1), QString("pear pie"));
        QCOMPARE(reader->cellText(0, 3, 1), QString("pinepear"));
        QCOMPARE(reader->cellText(0, 1, 4), QString("added"));

        // LibreOffice reads strict packages: the first sheet as CSV.
        const QString csvDir = QFileInfo(file).path() + "/csv";
        QDir().mkpath(csvDir);
        QVERIFY(TestUtil::libreOfficeConvert({file}, "csv", csvDir));
        const QByteArray csv = TestUtil::readFile(csvDir + "/basic.csv");
        QVERIFY2(csv.startsWith("pear pie,1234.5,,added\n"), csv.constData());
        QVERIFY2(csv.contains("\npear,0.3,keep,2469\n"), csv.constData());
    }

    void familiesAreNotMixed()
    {
        // A strict package whose styles part kept the transitional namespace.
        const QString file = strict(XlsxTest::fixtures() + "/basic.xlsx");
        QVERIFY(TestUtil::runPythonCode(
            "import sys, zipfile, shutil\n"
            "src = sys.argv[1]; tmp = src + '.tmp'\n"
            "with zipfile.ZipFile(src) as a, zipfile.ZipFile(tmp, 'w') as b:\n"
            "    for i in a.infolist():\n"
            "        d = a.read(i.filename)\n"
            "        if i.filename == 'xl/styles.xml':\n"
            "            d = d.replace(b'http://purl.oclc.org/ooxml/spreadsheetml/main', b'http://schemas.openxmlformats.org/spreadsheetml/2006/main')\n"
            "        b.writestr(i, d)\n"
            "shutil.move(tmp, src)\n",
            {file}));
        const QByteArray before = TestUtil::readFile(file);
        Application app;
        Workbook *book = app.Workbooks()->Open(file);
        QVERIFY(book);
        QVERIFY(!book->ActiveSheet()->UsedRange());
        QVERIFY2(book->lastError().contains("mixes strict and transitional"), qPrintable(book->lastError()));
        QVERIFY(!book->Save());
        QCOMPARE(TestUtil::readFile(file), before);
    }
};

QTEST_GUILESS_MAIN(TestXlsxStrict)
#include "tst_xlsxstrict.moc"
