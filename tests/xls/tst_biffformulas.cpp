// The formulas of .xls files: every formula of the corpus read as text
// (checked against LibreOffice's reading of the same cell) and compiled
// back into the same tokens; replacements inside formulas and formulas
// written by position, recomputed by LibreOffice.

#include "application.h"
#include "biffbook.h"
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

    void formulaThatDoesNotCompileFailsTheWorkbook()
    {
        const QString path = copyInto(m_dir, fixture("lo_formulas.xls"), "broken.xls");
        const QByteArray original = readFile(path);
        for (const Op &op : {value("Data", "C1", "=NOSUCHFUNCTION(1)"), value("Data", "C1", "=Nowhere!A1"),
                             replace("Data", "SUM", "SUMX")}) {
            QString error;
            QVERIFY(!run(path, {op}, &error));
            QVERIFY2(error.contains("cannot be stored"), qPrintable(error));
            QCOMPARE(readFile(path), original);
        }
    }
};

QTEST_GUILESS_MAIN(TestBiffFormulas)
#include "tst_biffformulas.moc"
