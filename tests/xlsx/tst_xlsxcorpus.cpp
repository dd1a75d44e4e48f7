// Every workbook of the corpus (written by Excel, LibreOffice and WPS): a
// word that occurs in it is replaced over all sheets; openpyxl then finds
// every text and formula changed as Python's own str.replace would change
// it and every other cell as it was, and every zip entry other than the
// sheets, the shared strings and the workbook part is byte for byte the old.

#include "application.h"
#include "testutil.h"
#include "xlsxtest.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace Excel;

class TestXlsxCorpus : public QObject
{
    Q_OBJECT

    QStringList m_results;

    // corpuscheck.py's verdict: 0 agree, 1 differ, 3 openpyxl cannot read.
    static int check(const QStringList &args, QByteArray *out)
    {
        QProcess p;
        p.start("/usr/bin/python3", QStringList{KORRIN_TEST_DATA "/corpuscheck.py"} + args);
        p.waitForFinished(300000);
        *out = p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitCode();
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        QVERIFY(!XlsxTest::fixtures().isEmpty());
    }

    void replaceAWord_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &f : QDir(KORRIN_CORPUS "/xlsx").entryList({"*.xlsx"}))
            QTest::newRow(qPrintable(f)) << QString(KORRIN_CORPUS "/xlsx/" + f);
    }
    void replaceAWord()
    {
        QFETCH(QString, file);
        QByteArray out;
        int verdict = check({"choose", file}, &out);
        QVERIFY2(verdict == 0, out.constData());
        const QString word = QString::fromUtf8(out).trimmed();
        QVERIFY(!word.isEmpty());
        const QString replacement = QString::fromUtf8("«") + word.toUpper() + QString::fromUtf8("&<x>»");

        const QString copy = XlsxTest::freshCopy(file);
        {
            Application app;
            Workbook *book = app.Workbooks()->Open(copy);
            QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
            bool any = false;
            for (int i = 1; i <= book->Sheets()->Count(); ++i) {
                auto used = book->Sheets()->Item(i)->UsedRange();
                QVERIFY2(used, qPrintable(book->lastError()));
                any |= used->Replace(word, replacement, xlPart, xlByRows, true);
            }
            QVERIFY(any);
            QVERIFY2(book->Save(), qPrintable(book->lastError()));
        }

        m_results << copy;
        verdict = check({"check", file, copy, word, replacement}, &out);
        QVERIFY2(verdict == 0, out.constData());
        QVERIFY2(!out.contains("changed cells: 0"), out.constData());

        const QStringList changed = XlsxTest::changedEntries(file, copy);
        QVERIFY(!changed.isEmpty());
        for (const QString &name : changed)
            QVERIFY2((name.startsWith("xl/worksheets/") && name.endsWith(".xml")) || name == "xl/sharedStrings.xml"
                         || name == "xl/workbook.xml",
                     qPrintable(name));
    }

    // LibreOffice, a second independent reader, opens every result.
    void libreOfficeOpensEveryResult()
    {
        KORRIN_REQUIRE_LIBREOFFICE();
        QVERIFY(!m_results.isEmpty());
        const QString dir = XlsxTest::fixtures() + "/corpus-csv";
        QDir().mkpath(dir);
        QVERIFY(TestUtil::libreOfficeConvert(m_results, "csv", dir));
    }
};

QTEST_GUILESS_MAIN(TestXlsxCorpus)
#include "tst_xlsxcorpus.moc"
