// The formulas of .xls files: every formula of the corpus read as text
// (checked against LibreOffice's reading of the same cell) and compiled
// back into the same tokens; replacements inside formulas and formulas
// written by position, recomputed by LibreOffice.

#include "application.h"
#include "xls/book/biffbook.h"
#include "cellrules/searchpattern.h"
#include "xlstestutil.h"

using namespace Excel;
using namespace XlsTest;

namespace {

// The formulas LibreOffice finds, through a conversion to .xlsx, with the
// values it computed: "Sheet!A1" -> ["=...", value].
QMap<QString, QJsonArray> libreOfficeFormulas(const QString &path)
{
    QTemporaryDir out;
    QProcess p;
    p.start("soffice", {QString("-env:UserInstallation=file://%1/lo").arg(out.path()), "--headless",
                        "--convert-to", "xlsx", "--outdir", out.path(), path});
    p.waitForFinished(180000);
    const QString xlsx = out.filePath(QFileInfo(path).completeBaseName() + ".xlsx");
    QProcess py;
    py.start("/usr/bin/python3", {KORRIN_XLSXFORMULAS, xlsx});
    py.waitForFinished(120000);
    QMap<QString, QJsonArray> result;
    const QJsonObject sheets = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    for (auto s = sheets.begin(); s != sheets.end(); ++s) {
        const QJsonObject cells = s.value().toObject();
        for (auto c = cells.begin(); c != cells.end(); ++c)
            result.insert(s.key() + '!' + c.key(), c.value().toArray());
    }
    return result;
}

QString cellRef(int row, int col)
{
    return Biff::FormulaText::columnName(col) + QString::number(row + 1);
}

} // namespace

class TestBiffFormulas : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void corpusRoundTrip()
    {
        const QStringList refused = {"password_2002_40_xor.xls", "biff5_sushi.xls", "phpexcel_bad_cfb_dir.xls"};
        int seen = 0, sameText = 0, sameTokens = 0, unsupported = 0;
        QMap<QString, int> differences;
        QStringList examples;
        QMap<QString, int> shown; // examples per file and kind, a few each
        const auto example = [&](const QString &file, const QString &kind, const QString &text) {
            if (shown[file + kind]++ < 6)
                examples << text;
        };
        for (const QString &name : QDir(KORRIN_CORPUS "/xls").entryList({"*.xls"}, QDir::Files, QDir::Name)) {
            if (refused.contains(name))
                continue;
            Biff::Book book;
            QString error;
            QVERIFY2(book.openFile(readFile(corpus(name)), &error), qPrintable(error));
            const QMap<QString, QJsonArray> lo = libreOfficeFormulas(corpus(name));
            const int unsupportedBefore = unsupported;
            int unread = 0;
            for (int s = 0; s < book.sheetCount(); ++s) {
                Biff::Sheet *sheet = book.sheet(s);
                // A search skips and counts the formulas it cannot read.
                bool changed = false;
                QVERIFY(sheet->replace({}, SearchPattern(QString(QChar(0x1)), false, true), "x", &changed, &error));
                unread += sheet->unreadFormulas();
                for (const Biff::Sheet::FormulaCell &f : sheet->formulaCells()) {
                    ++seen;
                    const QString where = sheet->name() + '!' + cellRef(f.row, f.col);
                    QString text, why;
                    if (!Biff::decompileFormula(f.tokens, f.place, book.formulaNames(), &text, &why)) {
                        ++unsupported;
                        differences[QString("unsupported: ") + why]++;
                        continue;
                    }
                    // LibreOffice keeps the prefix of newer functions that
                    // the formula bar does not show.
                    const QString theirs = lo.value(where).at(0).toString().replace("_xlfn.", "");
                    if (theirs.isEmpty()) {
                        differences["LibreOffice shows no formula there"]++;
                    } else if ('=' + text == theirs) {
                        ++sameText;
                    } else {
                        differences["text differs from LibreOffice's"]++;
                        example(name, "text", QString("%1 %2: ours =%3, LibreOffice %4").arg(name, where, text, theirs));
                    }
                    Biff::FormulaTokens back;
                    Biff::FormulaNames names = book.formulaNames();
                    if (!Biff::compileFormula(text, f.place, names, &back, &why)) {
                        differences[QString("does not compile back: ") + why]++;
                        example(name, "compile", QString("%1 %2: =%3 does not compile: %4").arg(name, where, text, why));
                        continue;
                    }
                    if (back.rgce == f.tokens.rgce && back.extra == f.tokens.extra) {
                        ++sameTokens;
                    } else {
                        differences["tokens differ"]++;
                        example(name, "tokens", QString("%1 %2: =%3 tokens %4 vs %5").arg(name, where, text,
                                            QString(f.tokens.rgce.toHex(' ')), QString(back.rgce.toHex(' '))));
                    }
                }
            }
            QCOMPARE(unread, unsupported - unsupportedBefore);
        }
        qInfo("formulas seen %d, same text as LibreOffice %d, same tokens %d, unsupported %d", seen, sameText,
              sameTokens, unsupported);
        for (auto it = differences.begin(); it != differences.end(); ++it)
            qInfo("  %d: %s", it.value(), qPrintable(it.key()));
        for (const QString &e : examples)
            qInfo("  %s", qPrintable(e));
        QVERIFY(seen > 0);
    }

    // A text inside a formula, a sheet name in a 3-D reference, a function
    // name, the first cell of a shared formula, and formulas written by
    // position: LibreOffice reads the new formulas and computes them.
    void replacementsInFormulas()
    {
        const QString path = copyInto(m_dir, fixture("lo_formulas.xls"), "formulas.xls");
        const QJsonObject before = dump(path);
        QString error;
        QVERIFY2(run(path, {replace("Data", "Total", "Sum", xlPart, true), replace("Data", "Other!", "Third!"),
                            replace("Data", "SUM(", "MAX("), replace("Data", "=A1+1", "=A1+100", xlWhole),
                            value("Data", "C1", "=A1*3"), value("Data", "C2", "='Other'!B1+A2"),
                            value("Other", "B1", "=Third!B1/4")},
                     &error),
                 qPrintable(error));
        const QMap<QString, QJsonArray> lo = libreOfficeFormulas(path);
        const auto expect = [&](const QString &cell, const QString &formula, const QJsonValue &v) {
            QCOMPARE(lo.value(cell).at(0).toString(), formula);
            QCOMPARE(lo.value(cell).at(1), v);
        };
        expect("Data!A3", "=\"Sum \"&MAX(A1:A2)", QJsonValue("Sum 20"));
        expect("Data!A4", "=Third!B1*2", QJsonValue(200));
        expect("Data!A5", "=MAX(A1:A2)", QJsonValue(20));
        expect("Data!D1", "=A1+100", QJsonValue(110));
        expect("Data!D2", "=A2+1", QJsonValue(21)); // the rest of the shared formula keeps computing
        expect("Data!D5", "=A5+1", QJsonValue(21));
        expect("Data!C1", "=A1*3", QJsonValue(30));
        expect("Data!C2", "=Other!B1+A2", QJsonValue(45));
        expect("Other!B1", "=Third!B1/4", QJsonValue(25));
        // Everything else reads back as it was; changed formulas lost their
        // stored result.
        Changes changes;
        for (const QString c : {"Data!A3", "Data!A4", "Data!A5", "Data!D1", "Data!C1", "Data!C2", "Other!B1"})
            changes.insert(c, text(""));
        verify(before, dump(path), changes);
    }

    // Every mix of relative and absolute parts, as LibreOffice wrote them
    // (cells, areas, whole columns, other sheets, a range of sheets, a name
    // whose area mixes them, a shared formula): read as LibreOffice reads
    // them and compiled back into the same tokens.
    void referenceFormsReadAsLibreOffice()
    {
        const QString path = fixture("lo_references.xls");
        Biff::Book book;
        QString error;
        QVERIFY2(book.openFile(readFile(path), &error), qPrintable(error));
        const QMap<QString, QJsonArray> lo = libreOfficeFormulas(path);
        int seen = 0;
        for (int s = 0; s < book.sheetCount(); ++s) {
            for (const Biff::Sheet::FormulaCell &f : book.sheet(s)->formulaCells()) {
                const QString where = book.sheet(s)->name() + '!' + cellRef(f.row, f.col);
                QString text, why;
                QVERIFY2(Biff::decompileFormula(f.tokens, f.place, book.formulaNames(), &text, &why), qPrintable(why));
                QCOMPARE('=' + text, lo.value(where).at(0).toString());
                Biff::FormulaTokens back;
                Biff::FormulaNames names = book.formulaNames();
                QVERIFY2(Biff::compileFormula(text, f.place, names, &back, &why), qPrintable(why));
                QCOMPARE(back.rgce.toHex(' '), f.tokens.rgce.toHex(' '));
                ++seen;
            }
        }
        QCOMPARE(seen, 15);
    }

    // The same forms written by position and by replacement, and the copies
    // a dissolved shared formula gives its cells: LibreOffice reads them as
    // typed.
    void referenceFormsWrittenAsTyped()
    {
        const QString path = copyInto(m_dir, fixture("lo_references.xls"), "references.xls");
        const QStringList typed = {"=A$1+$B1", "=SUM($A$1:B$2)", "=SUM($A:B)", "=SUM($1:2)", "=SUM(1:$2)",
                                   "=Other!A$1+Other!$A1", "=SUM(Other:Third!A$1:$B2)", "=$A$1+A$2+$A3"};
        // Whole rows of an .xls sheet end at column IV, which LibreOffice
        // spells out in an .xlsx file.
        const QMap<QString, QString> shown = {{"=SUM($1:2)", "=SUM($A$1:$IV2)"}, {"=SUM(1:$2)", "=SUM($A1:$IV$2)"}};
        QVector<Op> ops;
        for (int i = 0; i < typed.size(); ++i)
            ops << value("Data", QString("I%1").arg(i + 1), typed[i]);
        ops << replace("Data", "$A$1+A", "$C$1+C") << replace("Data", "=$A1*B$1+C1", "=$A1*B$1+C1*2", xlWhole);
        QString error;
        QVERIFY2(run(path, ops, &error), qPrintable(error));
        const QMap<QString, QJsonArray> lo = libreOfficeFormulas(path);
        for (int i = 0; i + 1 < typed.size(); ++i)
            QCOMPARE(lo.value(QString("Data!I%1").arg(i + 1)).at(0).toString(), shown.value(typed[i], typed[i]));
        QCOMPARE(lo.value("Data!I8").at(0).toString(), QString("=$C$1+C$2+$A3"));
        QCOMPARE(lo.value("Data!G1").at(0).toString(), QString("=$A1*B$1+C1*2"));
        for (int r = 2; r <= 6; ++r)
            QCOMPARE(lo.value(QString("Data!G%1").arg(r)).at(0).toString(), QString("=$A%1*B$1+C%1").arg(r));
    }

    // xlwt's workbook has no reference table, no add-in functions and no
    // names: it gets what the new formulas need, as Excel would write it,
    // and everything else reads back as it was.
    void tablesAddedWhereThereAreNone()
    {
        const QString path = copyInto(m_dir, fixture("xlwt_basic.xls"), "tables.xls");
        const QJsonObject before = dump(path);
        QString error;
        QVERIFY2(run(path, {value("First", "C11", "=Second!A1&\"!\""), value("First", "C12", "=ZQ5(1)"),
                            value("First", "C13", "=IFERROR(1/0,3)+EOMONTH(45000,0)"), value("First", "C14", "=Undefined1")},
                     &error),
                 qPrintable(error));
        const QMap<QString, QJsonArray> lo = libreOfficeFormulas(path);
        QCOMPARE(lo.value("First!C11"), QJsonArray({"=Second!A1&\"!\"", "apple second!"}));
        QCOMPARE(lo.value("First!C12"), QJsonArray({"=ZQ5(1)", "#NAME?"}));
        QCOMPARE(lo.value("First!C13"), QJsonArray({"=IFERROR(1/0,3)+EOMONTH(45000,0)", 45019}));
        QCOMPARE(lo.value("First!C14"), QJsonArray({"=#NAME?", "#NAME?"}));
        verify(before, dump(path), {{"First!C11", text("")}, {"First!C12", text("")}, {"First!C13", text("")}, {"First!C14", text("")}});
    }

    // The first cell of D1:D5's shared formula changes; the others get
    // copies that read as before and are not counted.
    void sharedFormulaCountsOnlyTheChangedText()
    {
        const QString path = copyInto(m_dir, fixture("lo_formulas.xls"), "count.xls");
        Application app;
        Workbook *wb = app.Workbooks()->Open(path);
        QVERIFY(wb);
        QVERIFY(wb->Sheets()->Item(1)->UsedRange()->Replace("=A1+1", "=A1+100", xlWhole, xlByRows, false));
        QCOMPARE(wb->changedCells(), 1);
    }

    void formulaThatDoesNotCompileFailsTheWorkbook()
    {
        const QString path = copyInto(m_dir, fixture("lo_formulas.xls"), "broken.xls");
        const QByteArray original = readFile(path);
        const QPair<Op, QString> refused[] = {
            {value("Data", "C1", "=Nowhere!A1"), "cell C1: =Nowhere!A1 refers to the sheet 'Nowhere'"},
            {replace("Data", "Other!", "Fourth!"), "cell A4: =Fourth!B1*2 refers to the sheet 'Fourth'"},
            {value("Data", "C1", "=1+"), "cannot be stored as an .xls formula"},
            {value("Data", "C1", "=Data:!A1"), "cannot be stored as an .xls formula"},
            {value("Data", "C1", "=XFD1+A70000"), "XFD1 lies outside the .xls grid"}};
        for (const auto &op : refused) {
            QString error;
            QVERIFY(!run(path, {op.first}, &error));
            QVERIFY2(error.contains(op.second), qPrintable(error));
            QCOMPARE(readFile(path), original);
        }
    }
};

QTEST_GUILESS_MAIN(TestBiffFormulas)
#include "tst_biffformulas.moc"
