// The record of changes (--changes) against what independent readers see:
// every row of it, and nothing else, is a cell whose text differs between
// the workbook before and after the run, read with openpyxl and xlrd.

#include "batchprocess.h"
#include "testutil.h"

#include <QtTest>

class TestChanges : public QObject
{
    Q_OBJECT

private:
    static bool python(const QStringList &args, QByteArray *out = nullptr)
    {
        return TestUtil::runPythonScript(QStringLiteral("changebooks.py"), args, out);
    }
    static bool copyAll(const QString &from, const QString &to)
    {
        if (!QDir().mkpath(to))
            return false;
        for (const QString &name : QDir(from).entryList(QDir::Files))
            if (!QFile::copy(from + '/' + name, to + '/' + name))
                return false;
        return true;
    }
    // The JSON lines of a record with each file named by its name alone,
    // sorted: files are streamed as their reports come in.
    static QStringList rows(const QByteArray &record)
    {
        QStringList out;
        for (const QByteArray &line : record.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonObject o = QJsonDocument::fromJson(line).object();
            o["file"] = QFileInfo(o["file"].toString()).fileName();
            out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        }
        out.sort();
        return out;
    }

    QTemporaryDir m_dir;
    QString m_books; // the workbooks every case starts from

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl", "xlwt", "xlrd");
        KORRIN_REQUIRE_LIBREOFFICE();
        // openpyxl (inline strings) and xlwt write their own; LibreOffice
        // saves openpyxl's again (shared strings, its own layout) in both
        // formats; the corpus adds rich text as Excel writes it.
        m_books = m_dir.filePath("books");
        QVERIFY(python({"make", m_books}));
        const QString lo = m_dir.filePath("lo");
        QVERIFY(TestUtil::libreOfficeConvert({m_books + "/opx.xlsx"}, "xlsx", lo));
        QVERIFY(TestUtil::libreOfficeConvert({m_books + "/opx.xlsx"}, "xls", lo));
        QVERIFY(QFile::rename(lo + "/opx.xlsx", m_books + "/lo.xlsx"));
        QVERIFY(QFile::rename(lo + "/opx.xls", m_books + "/lo.xls"));
        QVERIFY(QFile::copy(KORRIN_CORPUS "/xlsx/rich_text_stress.xlsx", m_books + "/rich.xlsx"));
        QVERIFY(QFile::copy(KORRIN_CORPUS "/xls/rich_text_stress.xls", m_books + "/rich.xls"));
        for (const QString &name : QDir(m_books).entryList(QDir::Files))
            QFile(m_books + '/' + name).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // Keywords (texts, shared strings used by many cells, rich text,
    // numbers, formulas), positions (new cells, formulas, forced text) and
    // both kinds of list file; for keywords and positions a dry run's record
    // is the real run's.
    void recordIsTheDifference()
    {
        const QString cases = m_dir.filePath("cases");
        const QStringList books = QDir(m_books).entryList(QDir::Files, QDir::Name);
        struct Case
        {
            QString name;
            QStringList args; // before the files, or the list file's arguments
            bool list;
        };
        const QList<Case> all{
            {"keyword", {"--sheets", "all", "-p", "alpha", "omega", "-p", "3.5", "4.25", "-p", "SUM", "MAX",
                         "-p", "enough", "ENOUGH"}, false},
            // Cells moved to another shared string, then made numbers.
            {"again", {"--sheets", "all", "-p", "alpha", "omega", "-p", "omega", "12"}, false},
            {"position", {"--sheets", "all", "--position", "-p", "A4|E7", "typed", "-p", "B2", "=1+2", "-p", "C2",
                          "'007"}, false},
            {"mode1", {}, true},
            {"mode2", {}, true},
        };
        QStringList xls;
        for (const Case &c : all) {
            const QString folder = cases + '/' + c.name;
            QVERIFY(copyAll(m_books, folder + "/before") && copyAll(m_books, folder + "/after"));
            QStringList files;
            for (const QString &name : books)
                files << folder + "/after/" + name;
            QStringList args = c.args;
            if (c.name == "mode1") {
                QVERIFY(python(QStringList{"list1", folder + "/list.xlsx", "beta=BETA;no match=matched"} + files));
                args = QStringList{"--sheets", "all", "--list", folder + "/list.xlsx"};
            } else if (c.name == "mode2") {
                QVERIFY(python(QStringList{"list2", folder + "/list.xlsx", "alpha", "one;two;three;four;five;six"}
                               + files));
                args = QStringList{"--list", folder + "/list.xlsx"};
            }
            if (!c.list) {
                QVERIFY(copyAll(m_books, folder + "/dry"));
                QStringList dry;
                for (const QString &name : books)
                    dry << folder + "/dry/" + name;
                const BatchProcess::Result d = BatchProcess::batch(QStringList{"-n", "--changes", "-"} + c.args + dry);
                QCOMPARE(d.status, 0);
                const BatchProcess::Result r = BatchProcess::batch(QStringList{"--changes", "-"} + c.args + files);
                QVERIFY2(r.status == 0, qPrintable(r.err));
                QCOMPARE(rows(d.out), rows(r.out));
                QVERIFY(TestUtil::writeFile(folder + "/record.jsonl", r.out));
            } else {
                const BatchProcess::Result r = BatchProcess::batch(QStringList{"--changes", "-"} + args);
                QVERIFY2(r.status == 0, qPrintable(r.err));
                QVERIFY(TestUtil::writeFile(folder + "/record.jsonl", r.out));
            }
            for (const char *side : {"before", "after"})
                for (const QString &name : books)
                    if (name.endsWith(".xls"))
                        xls << folder + '/' + QLatin1String(side) + '/' + name;
        }
        // LibreOffice reads the formulas of the .xls files, which xlrd cannot.
        const QString flat = m_dir.filePath("flat"), converted = m_dir.filePath("converted");
        QStringList named;
        for (const QString &path : qAsConst(xls)) {
            const QStringList parts = path.mid(cases.size() + 1).split('/');
            named << flat + '/' + parts.join('.');
            QVERIFY(QDir().mkpath(flat) && QFile::copy(path, named.last()));
        }
        QVERIFY(TestUtil::libreOfficeConvert(named, "xlsx", converted));
        QByteArray out;
        const bool same = python({"check", cases, converted}, &out);
        QVERIFY2(same, out.constData());
        qInfo("%s", out.trimmed().constData());
    }

    // The same rows as .xlsx (one sheet, header, frozen, autofilter) and as
    // .csv (what Python's csv reads of it), as read back by openpyxl.
    void exportsHoldTheRecord()
    {
        QStringList books;
        for (const QString &name : QDir(m_books).entryList(QDir::Files, QDir::Name))
            books << m_books + '/' + name;
        const QStringList pairs{"--sheets", "all", "-n", "-p", "alpha", "omega", "-p", "enough", "ENOUGH"};
        const BatchProcess::Result lines = BatchProcess::batch(pairs + QStringList{"--changes", "-"} + books);
        QCOMPARE(lines.status, 0);
        const QString xlsx = m_dir.filePath("record.xlsx"), csv = m_dir.filePath("record.csv");
        for (const QString &to : {xlsx, csv})
            QCOMPARE(BatchProcess::batch(pairs + QStringList{"--changes", to} + books).status, 0);
        QVERIFY(TestUtil::writeFile(m_dir.filePath("record.jsonl"), lines.out));
        QByteArray out;
        const bool same = TestUtil::runPythonCode(
            "import csv, json, sys, openpyxl\n"
            "rows = [[o[k] for k in ('file', 'sheet', 'cell', 'before', 'after')]\n"
            "        for o in map(json.loads, open(sys.argv[1], encoding='utf-8'))]\n"
            "rows.sort()\n"
            "head = ['file', 'sheet', 'cell', 'before', 'after']\n"
            "raw = open(sys.argv[3], 'rb').read()\n"
            "assert raw.startswith(b'\\xef\\xbb\\xbf'), 'no byte-order mark'\n"
            "c = list(csv.reader(open(sys.argv[3], encoding='utf-8-sig', newline='')))\n"
            "assert c[0] == head and sorted(c[1:]) == rows, 'csv differs'\n"
            "wb = openpyxl.load_workbook(sys.argv[2])\n"
            "ws = wb.active\n"
            "assert wb.sheetnames == ['Changes'] and ws.freeze_panes == 'A2', (wb.sheetnames, ws.freeze_panes)\n"
            "assert ws.auto_filter.ref == 'A1:E%d' % (len(rows) + 1), ws.auto_filter.ref\n"
            "x = [[v if v is not None else '' for v in r] for r in ws.iter_rows(values_only=True)]\n"
            "assert x[0] == head and sorted(x[1:]) == rows, 'xlsx differs'\n"
            "print(len(rows))\n",
            {m_dir.filePath("record.jsonl"), xlsx, csv}, &out);
        QVERIFY2(same && out.trimmed().toInt() > 20, out.constData());
    }
};

QTEST_GUILESS_MAIN(TestChanges)
#include "tst_changes.moc"
