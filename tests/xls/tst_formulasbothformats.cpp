// One rule for both formats: the same workbook as .xls and as .xlsx (both
// written by LibreOffice from one openpyxl book), the same replacement or
// position write on each, the same outcome, and LibreOffice reads the
// same formula and computes the same value from both results.

#include "xlstestutil.h"

using namespace Excel;
using namespace XlsTest;

namespace {

const char *const TwinScript = R"(
import sys
import openpyxl
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
ws = wb.active
ws.title = 'Data'
for r, row in enumerate([[10, 1, 3], [20, 2, 4]], 1):
    for c, v in enumerate(row, 1):
        ws.cell(r, c, v)
ws['D1'] = '=SUMSQ(B1:B2,C1:C2)'
ws['D2'] = '=A1+Total'
ws['D3'] = '=IF(Other!$A$1="standard",1,2)'
ws['D4'] = '=$A$1+A$2+$A3'
ws['F1'] = '=A1:A2*2'
ws.formula_attributes['F1'] = {'t': 'array', 'ref': 'F1:F2'}
for r in range(1, 5):  # a filled column: a shared formula in both files
    ws.cell(r, 7, '=B%d*2' % r)
wb.defined_names.append(DefinedName('Total', attr_text='Data!$A$2'))
wb.create_sheet('Other')['A1'] = 'standard'
wb.save(sys.argv[1])
)";

struct Outcome
{
    bool ok = false;
    QString error;
    qint64 changed = 0;
    QStringList record; // "A1: before -> after", as the record of changes says
};

struct RecordSink : Excel::CellChangeSink
{
    QStringList *rows;
    bool cellChanged(const QString &, int row, int column, const QString &before, const QString &after,
                     QString *) override
    {
        *rows << QString("R%1C%2: %3 -> %4").arg(row).arg(column).arg(before, after);
        return true;
    }
};

Outcome apply(const QString &path, const QVector<Op> &ops)
{
    Outcome o;
    Application app;
    Workbook *wb = app.Workbooks()->Open(path);
    if (!wb) {
        o.error = app.Workbooks()->lastError();
        return o;
    }
    wb->keepOriginalTexts();
    Worksheet *ws = wb->Sheets()->Item(1);
    for (const Op &op : ops) {
        if (op.kind == Op::Replace)
            ws->UsedRange()->Replace(op.a, op.b, op.lookAt, xlByRows, op.matchCase);
        else if (auto r = ws->Range(op.a))
            r->setValue(op.b);
    }
    o.changed = wb->changedCells();
    RecordSink sink;
    sink.rows = &o.record;
    wb->reportChanges(&sink);
    o.ok = wb->Save();
    o.error = wb->lastError();
    return o;
}

} // namespace

Q_DECLARE_METATYPE(QVector<Op>)

class TestFormulasBothFormats : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_twin[2]; // .xls, .xlsx

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl", "xlrd");
        KORRIN_REQUIRE_LIBREOFFICE();
        const QString source = m_dir.filePath("source/twin.xlsx");
        QDir().mkpath(m_dir.filePath("source"));
        QVERIFY(TestUtil::runPythonCode(TwinScript, {source}));
        QVERIFY(TestUtil::libreOfficeConvert({source}, "xls:MS Excel 97", m_dir.path()));
        QVERIFY(TestUtil::libreOfficeConvert({source}, "xlsx", m_dir.path()));
        m_twin[0] = m_dir.filePath("twin.xls");
        m_twin[1] = m_dir.filePath("twin.xlsx");
    }

    // Each case: the operations, the cell to look at, then for a success
    // the formula LibreOffice reads there from each format and the value it
    // computes (.xls first; "|" parts them where LibreOffice reads the two
    // differently); for a failure the words of the reason, and the file
    // stays as it was.
    void sameOutcome_data()
    {
        QTest::addColumn<QVector<Op>>("ops");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("formula"); // empty: the workbook fails
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("changed");
        const QString D = "Data";
        // LibreOffice computes a call of a function it does not know as
        // Err:509 in an .xlsx file, and writes that as #VALUE!.
        QTest::newRow("unknown function") << QVector<Op>{replace(D, "SUMSQ", "ZQ5")} << "D1" << "=ZQ5(B1:B2,C1:C2)"
                                          << "#NAME?|#VALUE!" << "" << 1;
        // LibreOffice drops a name without a definition from an .xls file
        // and shows #NAME? in its place; it writes an unknown name of an
        // .xlsx file in small letters.
        QTest::newRow("unknown name") << QVector<Op>{replace(D, "Total", "ZQ5Down")} << "D2" << "=A1+#NAME?|=A1+zq5down"
                                      << "#NAME?" << "" << 1;
        QTest::newRow("missing sheet") << QVector<Op>{replace(D, "Other!", "ZQ4!")} << "D3"
                                       << "" << "" << "D3: =IF(ZQ4!$A$1=\"standard\",1,2) refers to the sheet 'ZQ4'" << 0;
        QTest::newRow("missing sheet written") << QVector<Op>{value(D, "H1", "=Nowhere!A1")} << "H1" << ""
                                               << "" << "H1: =Nowhere!A1 refers to the sheet 'Nowhere'" << 0;
        QTest::newRow("function newer than Excel 2007") << QVector<Op>{value(D, "H1", "=textjoin(\"-\",TRUE,A1:A2)")} << "H1"
                                                        << "=TEXTJOIN(\"-\",TRUE(),A1:A2)" << "10-20" << "" << 1;
        QTest::newRow("function of Excel 2007") << QVector<Op>{value(D, "H1", "=IFERROR(1/0,5)")} << "H1" << "=IFERROR(1/0,5)"
                                                << "5" << "" << 1;
        QTest::newRow("Analysis ToolPak function") << QVector<Op>{value(D, "H1", "=EOMONTH(A1,1)")} << "H1" << "=EOMONTH(A1,1)"
                                                   << "60" << "" << 1;
        QTest::newRow("text of 256 characters") << QVector<Op>{value(D, "H1", "=LEN(\"" + QString(256, 'x') + "\")")} << "H1"
                                                << "" << "" << "a text longer than 255 characters" << 0;
        QTest::newRow("array formula into a value") << QVector<Op>{replace(D, "=A1:A2*2", "7", xlWhole)} << "F1" << "" << ""
                                                    << "an array formula cannot become a value" << 0;
        QTest::newRow("mixed references") << QVector<Op>{replace(D, "$A$1+A", "$B$1+B")} << "D4" << "=$B$1+B$2+$A3"
                                          << "3" << "" << 1;
        QTest::newRow("shared formula, first cell") << QVector<Op>{replace(D, "=B1*2", "=B1*3", xlWhole)} << "G2" << "=B2*2"
                                                    << "4" << "" << 1;
        QTest::newRow("formula written twice") << QVector<Op>{value(D, "H1", "=SUM(1)"), value(D, "H1:H2", "=A1*3")} << "H2"
                                               << "=A1*3" << "30" << "" << 2;
    }
    void sameOutcome()
    {
        QFETCH(QVector<Op>, ops);
        QFETCH(QString, cell);
        QFETCH(QString, formula);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        QFETCH(int, changed);
        QTemporaryDir work;
        QStringList results, records;
        QString row = QString("| %1 |").arg(QTest::currentDataTag());
        for (const QString &twin : m_twin) {
            const QString path = copyInto(work, twin);
            const QByteArray before = readFile(path);
            const Outcome o = apply(path, ops);
            records << o.record.join('\n');
            row += o.ok ? QString(" SUCCESS, %1 changed |").arg(o.changed) : QString(" FAILURE: %1 |").arg(o.error);
            if (formula.isEmpty()) {
                QVERIFY2(!o.ok && o.error.contains(reason), qPrintable(twin + ": " + o.error));
                QCOMPARE(readFile(path), before);
                continue;
            }
            QVERIFY2(o.ok, qPrintable(twin + ": " + o.error));
            QCOMPARE(o.changed, qint64(changed));
            results << path;
        }
        // Both formats record the same texts, formulas as the formula bar shows them.
        QCOMPARE(records[1], records[0]);
        if (formula.isEmpty()) {
            qInfo("%s", qPrintable(row));
            return;
        }
        // xlrd reads the .xls result, its layout whole, every other stream
        // as it was.
        const QJsonObject xls = dump(results[0]);
        QVERIFY(!xls.isEmpty());
        QCOMPARE(xls.value("layout").toArray().size(), 0);
        QCOMPARE(xls.value("streams"), dump(m_twin[0]).value("streams"));
        // What LibreOffice reads from each result, as an .xlsx file it writes.
        QTemporaryDir out;
        QVERIFY(TestUtil::libreOfficeConvert({results[0]}, "xlsx", out.filePath("xls")));
        QVERIFY(TestUtil::libreOfficeConvert({results[1]}, "xlsx", out.filePath("xlsx")));
        for (int f = 0; f < 2; ++f) {
            QByteArray json;
            QVERIFY(TestUtil::runPython({KORRIN_XLSXFORMULAS, out.filePath(f ? "xlsx/twin.xlsx" : "xls/twin.xlsx")}, &json));
            const QJsonArray got = QJsonDocument::fromJson(json).object().value("Data").toObject().value(cell).toArray();
            // LibreOffice writes the prefix of newer functions into .xlsx files.
            const QString text = got.at(0).toString().remove("_xlfn.");
            const QString computed = got.at(1).toVariant().toString();
            row += QString(" %1 → %2 |").arg(text, computed);
            QCOMPARE(text, formula.section('|', f, f).isEmpty() ? formula : formula.section('|', f, f));
            QCOMPARE(computed, value.section('|', f, f).isEmpty() ? value : value.section('|', f, f));
        }
        qInfo("%s", qPrintable(row));
    }
};

QTEST_GUILESS_MAIN(TestFormulasBothFormats)
#include "tst_formulasbothformats.moc"
