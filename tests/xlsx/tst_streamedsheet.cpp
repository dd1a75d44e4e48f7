// A large sheet is worked on a window of rows at a time. Whatever a run
// does, the outcome must be that of working on the whole part: the same
// answers, the same cells counted and recorded, the same bytes saved. Here
// every sheet of every workbook goes through windows of a few hundred
// bytes, so that rows, shared strings and the turns back to the whole part
// meet window edges everywhere.
#include "xlsx/book/ooxmlbook.h"
#include "xlsxtest.h"

#include "cellchanges.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Excel;

namespace {

using Pairs = QList<QPair<QString, QString>>;

class RecordingSink : public CellChangeSink
{
public:
    bool cellChanged(const QString &sheet, int row, int column, const QString &before, const QString &after,
                     QString *) override
    {
        lines << QStringLiteral("%1!%2,%3 %4 -> %5").arg(sheet).arg(row).arg(column).arg(before, after);
        return true;
    }
    QStringList lines;
};

struct Outcome
{
    QString failure;     // the first error: a replace's or the work put off to the end
    QStringList answers; // per replace: changed
    qint64 cells = 0;
    QStringList record;
    QByteArray saved;
    int streamedSheets = 0;
};

Outcome run(const QString &source, const Pairs &pairs, bool wholeCell, bool matchCase, bool windows)
{
    Outcome o;
    const QString path = XlsxTest::freshCopy(source);
    QString error;
    std::unique_ptr<Xlsx::OoxmlBook> book = Xlsx::OoxmlBook::open(path, &error);
    if (!book) {
        o.failure = QStringLiteral("open: ") + error;
        return o;
    }
    book->setStreamFrom(windows ? 1 : 0, 300);
    for (int i = 0; i < book->sheetCount(); ++i) {
        if (!book->sheet(i).hasCells())
            continue;
        for (const auto &pair : pairs) {
            bool changed = false;
            if (!book->replace(i, {}, true, SearchPattern(pair.first, wholeCell, matchCase), pair.second, &changed, &error)) {
                o.failure = error;
                return o;
            }
            o.answers << QString::number(changed);
        }
        o.streamedSheets += book->sheet(i).stream != nullptr;
    }
    if (!book->finishWork(&error)) {
        o.failure = error;
        return o;
    }
    o.cells = qint64(book->changedCells());
    RecordingSink sink;
    if (!book->reportChanges(&sink, &error))
        o.record << QStringLiteral("record: ") + error;
    o.record += sink.lines;
    if (!book->save(&error)) {
        o.failure = QStringLiteral("save: ") + error;
        return o;
    }
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        o.saved = f.readAll();
    return o;
}

} // namespace

class tst_StreamedSheet : public QObject
{
    Q_OBJECT

private slots:
    void sameAsWhole_data();
    void sameAsWhole();
};

void tst_StreamedSheet::sameAsWhole_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Pairs>("pairs");
    QTest::addColumn<bool>("wholeCell");
    QTest::addColumn<bool>("matchCase");
    QStringList files;
    for (const QString &f : QDir(KORRIN_CORPUS "/xlsx").entryList({"*.xlsx"}))
        files << QStringLiteral(KORRIN_CORPUS "/xlsx/") + f;
    const QString fixtures = XlsxTest::fixtures();
    QVERIFY(!fixtures.isEmpty());
    for (const QString &f : QDir(fixtures).entryList({"*.xlsx"}))
        files << fixtures + QLatin1Char('/') + f;
    struct Set
    {
        const char *name;
        Pairs pairs;
        bool wholeCell, matchCase;
    };
    const Set sets[] = {
        {"part", {{"e", "E"}, {"a", "xy"}}, false, false},
        // Texts made by one pair that the next takes up again; numbers.
        {"chain", {{"E", "e2"}, {"e2", "1"}, {"1", "one"}, {"0", ""}}, false, true},
        {"whole", {{"x*", "q"}, {"?", ""}, {"TRUE", "no"}}, true, false},
        // Two replaces that make the same text: which one made it first
        // decides its number in the shared strings.
        {"same text", {{"*a*", "ZQ"}, {"xx", "Z1"}, {"yy", "Z1"}, {"*e*", "ZQ"}}, true, false},
        // Numbers that become new texts, far apart: the second replace
        // meets its cells first in every window.
        {"new texts", {{"5", "five"}, {"2", "two"}, {"1", "one"}}, false, false},
    };
    for (const QString &f : files)
        for (const Set &s : sets)
            QTest::newRow(qPrintable(QFileInfo(f).fileName() + QLatin1Char(' ') + s.name))
                << f << s.pairs << s.wholeCell << s.matchCase;
}

void tst_StreamedSheet::sameAsWhole()
{
    QFETCH(QString, file);
    QFETCH(Pairs, pairs);
    QFETCH(bool, wholeCell);
    QFETCH(bool, matchCase);
    const Outcome whole = run(file, pairs, wholeCell, matchCase, false);
    const Outcome windows = run(file, pairs, wholeCell, matchCase, true);
    // A replace in windows looks only as far as its first change, so a
    // sheet that cannot be worked on in windows fails later, for the same
    // reason; then only that reason is compared.
    QCOMPARE(windows.failure, whole.failure);
    if (!whole.failure.isEmpty())
        return;
    QCOMPARE(windows.answers, whole.answers);
    QCOMPARE(windows.cells, whole.cells);
    QCOMPARE(windows.record, whole.record);
    QVERIFY2(windows.saved == whole.saved, "the saved files differ");
    qInfo("%d sheet(s) worked on in windows", windows.streamedSheets);
}

QTEST_GUILESS_MAIN(tst_StreamedSheet)
#include "tst_streamedsheet.moc"
