// The record of changes: rows of jobs on several threads, read back by row
// number in the files' order, and written out as CSV.

#include "application.h"
#include "changeexport.h"
#include "changerecord.h"
#include "testutil.h"

#include <QtTest>

#include <thread>

class TestChangeRecord : public QObject
{
    Q_OBJECT

private:
    struct ListSink : Excel::CellChangeSink
    {
        QStringList rows;
        bool cellChanged(const QString &sheet, int row, int column, const QString &before, const QString &after,
                         QString *) override
        {
            rows << QStringList{sheet, QString::number(row), QString::number(column), before, after}.join('|');
            return true;
        }
    };

    static QString text(int file, int k) { return QStringLiteral("%1/%2 %3").arg(file).arg(k).arg(QString(k % 50, 'x')); }

private slots:
    // Writers fill pieces on their own threads; only kept files count, in
    // the order of their indexes whatever order they were kept in; rows
    // come back whole, one at a time or many, across pieces and files.
    void rowsComeBackInFileOrder()
    {
        ChangeRecord record;
        QString error;
        QVERIFY2(record.open(&error), qPrintable(error));
        const int counts[] = {3, 5000, 40000}; // the last spans pieces of the file
        std::unique_ptr<ChangeRecord::Writer> writers[3] = {record.writer(), record.writer(), record.writer()};
        std::vector<std::thread> threads;
        bool ok[3] = {};
        for (int f = 0; f < 3; ++f) {
            threads.emplace_back([&, f] {
                QString why;
                ok[f] = true;
                for (int k = 0; k < counts[f] && ok[f]; ++k)
                    ok[f] = writers[f]->cellChanged(QStringLiteral("表%1").arg(f), k + 1, k % 300 + 1, text(f, k),
                                                    k % 7 ? text(f, -k) : QString(), &why);
                ok[f] = ok[f] && writers[f]->finish(&why);
            });
        }
        for (std::thread &t : threads)
            t.join();
        QVERIFY(ok[0] && ok[1] && ok[2]);
        record.keep(2, "/two.xlsx", std::move(writers[2]));
        record.keep(0, "/zero.xls", std::move(writers[0]));
        // file 1 failed: its writer is dropped
        QCOMPARE(record.rowCount(), qint64(40003));
        QCOMPARE(record.rowCount(1), qint64(0));
        QCOMPARE(record.firstRow(2), qint64(3));
        QCOMPARE(record.filePath(0), QString("/zero.xls"));

        ChangeRow row;
        QVERIFY(record.row(2, &row, &error));
        QCOMPARE(row.file, 0);
        QCOMPARE(row.sheet, QString("表0"));
        QCOMPARE(row.cell(), QString("C3"));
        QVERIFY(record.row(3 + 39999, &row, &error));
        QCOMPARE(row.file, 2);
        QCOMPARE(row.before, text(2, 39999));
        QCOMPARE(row.after, text(2, -39999));
        QVERIFY(!record.row(40003, &row, &error));

        qint64 seen = 0;
        QVERIFY(record.read(1, 40003, [&](qint64 index, const ChangeRow &r) {
            const int file = index < 3 ? 0 : 2, k = int(index < 3 ? index : index - 3);
            if (r.file != file || r.row != k + 1 || r.before != text(file, k) || r.after != (k % 7 ? text(file, -k) : QString()))
                return false;
            ++seen;
            return true;
        }, &error));
        QCOMPARE(seen, qint64(40002));
    }

    // CSV: a byte-order mark, the header, CRLF line ends, and quotes only
    // where RFC 4180 needs them; a path that cannot be written, or that is
    // no .csv or .xlsx, is refused at the start.
    void csvExport()
    {
        ChangeRecord record;
        QString error;
        QVERIFY(record.open(&error));
        std::unique_ptr<ChangeRecord::Writer> w = record.writer();
        QVERIFY(w->cellChanged("S, 1", 2, 1, "a \"q\"", QString::fromUtf8("line\nbreak \xF0\x9F\x98\x80"), &error));
        QVERIFY(w->cellChanged("中文", 1, 28, "=SUM(A1)", "", &error) && w->finish(&error));
        record.keep(0, "/x/a.xlsx", std::move(w));
        QTemporaryDir dir;
        const QString path = dir.filePath("r.CSV");
        std::unique_ptr<ChangeExport> out = ChangeExport::begin(path, &error);
        QVERIFY2(out, qPrintable(error));
        QVERIFY2(out->write(record, &error), qPrintable(error));
        QCOMPARE(TestUtil::readFile(path),
                 QByteArray("\xEF\xBB\xBF" "file,sheet,cell,before,after\r\n"
                            "/x/a.xlsx,\"S, 1\",A2,\"a \"\"q\"\"\",\"line\nbreak \xF0\x9F\x98\x80\"\r\n"
                            "/x/a.xlsx,中文,AB1,=SUM(A1),\r\n"));
        QVERIFY(!ChangeExport::begin(dir.filePath("r.txt"), &error));
        QVERIFY(!ChangeExport::begin(dir.filePath("no/r.csv"), &error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"r.CSV"});
    }

    // Rows written while the run goes on wait for the reports of the files
    // before them and come out in the files' order, each once, whatever the
    // order of the reports; the rest follows at the end.
    void exportFollowsReports()
    {
        ChangeRecord record;
        QString error;
        QVERIFY(record.open(&error));
        QTemporaryDir dir;
        const QString path = dir.filePath("r.csv");
        std::unique_ptr<ChangeExport> out = ChangeExport::begin(path, &error);
        QVERIFY2(out, qPrintable(error));
        const auto keep = [&](int file, int rows) {
            std::unique_ptr<ChangeRecord::Writer> w = record.writer();
            for (int k = 1; k <= rows; ++k)
                QVERIFY(w->cellChanged("S", k, file + 1, "b", "a", &error));
            QVERIFY(w->finish(&error));
            record.keep(file, QStringLiteral("/f%1").arg(file), std::move(w));
        };
        keep(2, 2);
        QVERIFY(out->fileReported(record, 2, &error));
        QVERIFY(out->fileReported(record, 1, &error)); // failed: no rows
        keep(0, 1);
        QVERIFY(out->fileReported(record, 0, &error));
        keep(3, 1); // reported only by the end
        QVERIFY2(out->write(record, &error), qPrintable(error));
        QCOMPARE(TestUtil::readFile(path), QByteArray("\xEF\xBB\xBF" "file,sheet,cell,before,after\r\n"
                                                      "/f0,S,A1,b,a\r\n/f2,S,C1,b,a\r\n/f2,S,C2,b,a\r\n"
                                                      "/f3,S,D1,b,a\r\n"));
    }

    // The .xlsx export as openpyxl and LibreOffice read it: one sheet, the
    // header frozen, an autofilter, and every text as it was, whatever XML
    // or Excel's own escapes need to be made of it (markup characters, line
    // ends, control characters, blanks at the ends, empty texts, a text
    // that reads like an escape).
    void xlsxExportKeepsTexts()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        KORRIN_REQUIRE_LIBREOFFICE();
        const QStringList texts{"a \"q\" <&> '", QString::fromUtf8("line\nbreak\r\nCR\r \xF0\x9F\x98\x80 中文"),
                                "  blanks at both ends\t", "_x0041_ and _x00_ _", QString("ctrl \x01\x1F tab\t|"),
                                QString(QChar(0xFFFE)) + QChar(0xFFFF) + "\xEF", "=SUM(A1)", ""};
        ChangeRecord record;
        QString error;
        QVERIFY(record.open(&error));
        std::unique_ptr<ChangeRecord::Writer> w = record.writer();
        QStringList expected;
        for (int i = 0; i < texts.size(); ++i) {
            const QString before = texts[i], after = texts[(i + 3) % texts.size()];
            const QString sheet = i < 4 ? QStringLiteral("S <1>") : QStringLiteral(" 表 ");
            QVERIFY(w->cellChanged(sheet, i + 1, 2, before, after, &error));
            expected << QStringList{"/x/a&b.xlsx", sheet, QStringLiteral("B%1").arg(i + 1), before, after}.join('\x1E');
        }
        QVERIFY(w->finish(&error));
        record.keep(0, "/x/a&b.xlsx", std::move(w));
        QTemporaryDir dir;
        const QString path = dir.filePath("r.xlsx");
        std::unique_ptr<ChangeExport> out = ChangeExport::begin(path, &error);
        QVERIFY2(out && out->write(record, &error), qPrintable(error));
        QByteArray read;
        // openpyxl leaves Excel's _xHHHH_ escapes as they are; Excel and
        // LibreOffice read them as the characters.
        QVERIFY2(TestUtil::runPythonCode(
                     "import re, sys, openpyxl\n"
                     "wb = openpyxl.load_workbook(sys.argv[1])\n"
                     "ws = wb.active\n"
                     "assert wb.sheetnames == ['Changes'] and ws.freeze_panes == 'A2', (wb.sheetnames, ws.freeze_panes)\n"
                     "assert ws.auto_filter.ref == 'A1:E%d' % ws.max_row, ws.auto_filter.ref\n"
                     "assert ws['A1'].font.b and ws.max_column == 5\n"
                     "un = lambda v: re.sub('_x([0-9A-F]{4})_', lambda m: chr(int(m.group(1), 16)), v or '')\n"
                     "for r in ws.iter_rows(min_row=2, values_only=True):\n"
                     "    sys.stdout.buffer.write('\\x1e'.join(map(un, r)).encode('utf-8', 'surrogatepass') + b'\\x1d')\n",
                     {path}, &read), read.constData());
        QStringList got = QString::fromUtf8(read).split('\x1D');
        got.removeLast();
        QCOMPARE(got, expected);
        // LibreOffice's csv has line feeds for carriage returns, and its
        // quotes doubled.
        const QString lo = TestUtil::libreOfficeTexts({path}).value(path);
        for (QString text : texts) {
            text.replace("\r\n", "\n").replace('\r', '\n').replace("\"", "\"\"");
            QVERIFY2(lo.contains(text), qPrintable(text + " in " + lo));
        }
    }

    // A workbook's engine hands the record the texts of plain inline and
    // shared strings in UTF-8 as they are; the rows must be those it reports
    // as texts, for escapes, line ends, non-ASCII and cells made anew too.
    void engineHandsTheSameTextsInUtf8()
    {
        KORRIN_REQUIRE_PYTHON("zipfile");
        QTemporaryDir dir;
        const QString path = dir.filePath("mixed.xlsx");
        const char *script =
            "import sys, zipfile\n"
            "ns = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'\n"
            "rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'\n"
            "inl = ['alpha 1', 'alpha &amp; &lt;b&gt;', 'alpha _x0041_', 'alpha \u4e2d\u6587', 'alpha\\r\\nline',\n"
            "       'alpha \U0001F600', ' alpha ', 'alpha\\tx', 'beta']\n"
            "sst = ['alpha s1', 'alpha &amp; s2', 'alpha \u00e9', 'gamma']\n"
            "cells = ''.join('<row r=\"%d\"><c r=\"A%d\" t=\"inlineStr\"><is><t xml:space=\"preserve\">%s</t></is></c>'\n"
            "                '<c r=\"B%d\" t=\"s\"><v>%d</v></c></row>' % (i + 1, i + 1, t, i + 1, i % len(sst))\n"
            "                for i, t in enumerate(inl))\n"
            "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
            "z.writestr('[Content_Types].xml', '<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">'\n"
            "  '<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>'\n"
            "  '<Default Extension=\"xml\" ContentType=\"application/xml\"/>'\n"
            "  '<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>'\n"
            "  '<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>'\n"
            "  '<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/></Types>')\n"
            "z.writestr('_rels/.rels', '<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">'\n"
            "  '<Relationship Id=\"rId1\" Type=\"' + rel + '/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>')\n"
            "z.writestr('xl/workbook.xml', '<workbook xmlns=\"' + ns + '\" xmlns:r=\"' + rel + '\"><sheets>'\n"
            "  '<sheet name=\"S \u00e9\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>')\n"
            "z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">'\n"
            "  '<Relationship Id=\"rId1\" Type=\"' + rel + '/worksheet\" Target=\"worksheets/sheet1.xml\"/>'\n"
            "  '<Relationship Id=\"rId2\" Type=\"' + rel + '/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>')\n"
            "z.writestr('xl/worksheets/sheet1.xml', '<worksheet xmlns=\"' + ns + '\"><sheetData>' + cells + '</sheetData></worksheet>')\n"
            "z.writestr('xl/sharedStrings.xml', '<sst xmlns=\"' + ns + '\">' + ''.join('<si><t>%s</t></si>' % t for t in sst) + '</sst>')\n"
            "z.close()\n";
        QVERIFY(TestUtil::runPythonCode(QString::fromUtf8(script), {path}));

        Excel::Application app;
        Excel::Workbook *book = app.Workbooks()->Open(path);
        QVERIFY2(book, qPrintable(app.Workbooks()->lastError()));
        book->keepOriginalTexts();
        Excel::Worksheet *sheet = book->Sheets()->Item(1);
        sheet->UsedRange()->Replace("alpha", QString::fromUtf8("omega \xE2\x82\xAC"), Excel::xlPart, Excel::xlByRows, true);
        sheet->Range("C2")->setValue("new");
        sheet->Range("A9")->setValue("beta & more");

        ListSink texts;
        QVERIFY(book->reportChanges(&texts));
        ChangeRecord record;
        QString error;
        QVERIFY2(record.open(&error), qPrintable(error));
        std::unique_ptr<ChangeRecord::Writer> writer = record.writer();
        QVERIFY(book->reportChanges(writer.get()));
        QVERIFY(writer->finish(&error));
        record.keep(0, path, std::move(writer));
        QStringList rows;
        QVERIFY(record.read(0, record.rowCount(), [&](qint64, const ChangeRow &r) {
            rows << QStringList{r.sheet, QString::number(r.row), QString::number(r.column), r.before, r.after}.join('|');
            return true;
        }, &error));
        QCOMPARE(texts.rows.size(), 17);
        QCOMPARE(rows, texts.rows);
    }
};

QTEST_GUILESS_MAIN(TestChangeRecord)
#include "tst_changerecord.moc"
