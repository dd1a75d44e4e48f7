// The byte path of a replace (plain text cells edited from their bytes)
// must write exactly what the full path writes: each case runs one sheet
// and its shared strings through both and compares the parts. So must a
// parse that reads plain cells from their bytes rather than as tokens.

#include "xlsx/parts/pagedvector.h"
#include "xlsx/parts/worksheetpart.h"

#include <QtTest>

using namespace Excel;
using namespace Excel::Xlsx;

namespace {

class BufferSink : public ByteSink
{
public:
    QByteArray bytes;
    bool write(const char *data, size_t length) override
    {
        bytes.append(data, int(length));
        return true;
    }
};

const char *const MainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

struct Outcome
{
    bool changed = false;
    QString error;
    QByteArray sheet, sharedStrings;
    quint64 byteEdited = 0;
    QVector<quint64> counts; // what the book learnt: edits, cells, value and formula changes
};

Outcome run(const QByteArray &sheet, const QByteArray &sst, const SearchPattern &pattern, const QString &with,
            bool byteEdits, bool cellScan = true)
{
    Outcome o;
    StylesPart styles;
    SharedStrings table;
    BookContext book;
    book.styles = &styles;
    book.byteEdits = byteEdits;
    book.cellScan = cellScan;
    if (!sst.isEmpty()) {
        if (!table.parse(sst, "xl/sharedStrings.xml", Conformance::Transitional, &o.error, cellScan))
            return o;
        book.sharedStrings = &table;
    }
    WorksheetPart part(&book, "xl/worksheets/sheet1.xml");
    if (!part.parseData(sheet, &o.error)
        || !part.replace({CellArea{1, 1, 100, 100}}, pattern, with, &o.changed, &o.error))
        return o;
    BufferSink s, t;
    if (!part.write(&s, &o.error) || (book.sharedStrings && !table.write(&t, &o.error)))
        return o;
    o.sheet = s.bytes;
    o.sharedStrings = t.bytes;
    o.byteEdited = book.byteEdited;
    o.counts = {book.edits, book.changedCells, quint64(book.valueChanged), quint64(book.formulaChanged),
                quint64(book.formulaRemoved)};
    return o;
}

// The part after new values in every cell of A1:D4, its rows read from
// their bytes or as tokens.
QByteArray withValues(const QByteArray &sheet, bool cellScan)
{
    StylesPart styles;
    BookContext book;
    book.styles = &styles;
    book.cellScan = cellScan;
    WorksheetPart part(&book, "xl/worksheets/sheet1.xml");
    QString error;
    BufferSink out;
    if (!part.parseData(sheet, &error) || !part.setValue({CellArea{1, 1, 4, 4}}, "7", &error) || !part.write(&out, &error))
        return error.toUtf8();
    return out.bytes;
}

} // namespace

class TestCellBytes : public QObject
{
    Q_OBJECT

private slots:
    void bytePathWritesWhatTheFullPathWrites_data()
    {
        QTest::addColumn<QByteArray>("cells"); // the <c> elements of row 1
        QTest::addColumn<QByteArray>("strings"); // <si> entries; none: no table
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("wholeCell");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("byteEdited"); // cells the byte path changes

        const QByteArray sst = "<si><t>apple pie</t></si><si><t>Apple</t></si><si><t>北京市北京</t></si>";
        auto inl = [](const char *text) {
            return QByteArray("<c r=\"A1\" s=\"2\" t=\"inlineStr\"><is><t>") + text + "</t></is></c>";
        };
        QTest::newRow("inline ASCII") << inl("apple pie") << QByteArray() << "apple" << "pear" << false << true << 1;
        QTest::newRow("inline CJK") << inl("北京市北京") << sst << "北京" << "上海" << false << true << 1;
        QTest::newRow("ignoring case") << inl("APPLE Apple apple") << QByteArray() << "aPPle" << "x" << false << false << 1;
        QTest::newRow("whole cell") << inl("Apple") << sst << "apple" << "Banana" << true << false << 1;
        QTest::newRow("whole cell, no match") << inl("apple pie") << sst << "apple" << "x" << true << false << 0;
        QTest::newRow("wildcards") << inl("pale apple, pure") << QByteArray() << "p*e" << "Q" << false << false << 1;
        QTest::newRow("question marks") << inl("cat cut cot") << QByteArray() << "c?t" << "dog" << false << true << 1;
        QTest::newRow("tilde") << inl("a*b?c~d and abxcyd") << QByteArray() << "a~*b~?c~~" << "Z" << false << true << 1;
        QTest::newRow("whole cell wildcards") << inl("alpha beta") << QByteArray() << "al*ta" << "γ" << true << false << 1;
        QTest::newRow("references") << inl("Tom &amp; Jerry &lt;3 &quot;q&quot;") << QByteArray() << "jerry" << "Spike > <&"
                                    << false << false << 1;
        QTest::newRow("spaces kept") << inl("x") << QByteArray() << "x" << " x " << false << true << 1;
        QTest::newRow("spaces dropped") << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> spaced</t></is></c>")
                                        << QByteArray() << " spaced" << "tight" << false << true << 1;
        QTest::newRow("empty result") << inl("apple") << QByteArray() << "apple" << "" << false << true << 1;
        QTest::newRow("escape made") << inl("_x00ZZ_") << QByteArray() << "ZZ" << "41" << false << true << 1;
        QTest::newRow("Kelvin sign") << inl("\u212Aelvin") << QByteArray() << "kelvin" << "K" << false << false << 1;
        QTest::newRow("long s") << inl("ſtop") << QByteArray() << "STOP" << "go" << false << false << 1;
        QTest::newRow("fullwidth stays apart") << inl("ＡＢＣ abc") << QByteArray() << "abc" << "x" << false << false << 1;
        QTest::newRow("fullwidth folds") << inl("ＡＢＣ abc") << QByteArray() << "ａｂｃ" << "x" << false << false << 1;
        QTest::newRow("outside the BMP") << inl("𝒜 and 𝒜") << QByteArray() << "?" << "." << false << true << 1;
        QTest::newRow("prefixed") << QByteArray("<x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>apple</x:t></x:is></x:c>")
                                  << QByteArray() << "apple" << "pear" << false << true << 1;
        QTest::newRow("constant with a table") << QByteArray("<c r=\"A1\" t=\"str\"><v>apple</v></c>") << sst << "apple"
                                               << "pear" << false << true << 1;
        QTest::newRow("constant without a table") << QByteArray("<c r=\"A1\" t=\"str\"><v>apple</v></c>") << QByteArray()
                                                  << "apple" << "pear" << false << true << 1;
        QTest::newRow("shared strings") << QByteArray("<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\" t=\"s\"><v>1</v></c>"
                                                      "<c r=\"C1\" t=\"s\"><v>0</v></c>")
                                        << sst << "apple" << "pear" << false << false << 3;
        QTest::newRow("shared string emptied") << QByteArray("<c r=\"A1\" t=\"s\"><v>1</v></c>") << sst << "apple" << ""
                                               << true << false << 1;
        QTest::newRow("formula") << QByteArray("<c r=\"A1\" s=\"3\"><f>SUM(B1:B4)</f><v>10</v></c>") << QByteArray()
                                 << "sum" << "MAX" << false << false << 1;
        QTest::newRow("formula of text") << QByteArray("<c r=\"A1\" t=\"str\"><f>B1&amp;\"apple\"</f><v>xapple</v></c>")
                                         << sst << "apple" << "<pear>" << false << true << 1;
        QTest::newRow("formulas, one without the word")
            << QByteArray("<c r=\"A1\"><f>B1*2</f><v>2</v></c><c r=\"B1\"><f>sum(C1)</f><v>1</v></c>") << QByteArray() << "SUM"
            << "max" << false << false << 1;
        // The full path's cases: the results must still agree.
        QTest::newRow("formula becomes text") << QByteArray("<c r=\"A1\"><f>B1</f><v>1</v></c>") << QByteArray() << "=*"
                                              << "x" << true << true << 0;
        QTest::newRow("cell metadata") << QByteArray("<c r=\"A1\" cm=\"1\"><f>B1</f><v>1</v></c>") << QByteArray() << "B"
                                       << "C" << false << true << 0;
        QTest::newRow("rich text") << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t>apple</t></r>"
                                                 "<r><t> pie</t></r></is></c>")
                                   << QByteArray() << "e p" << "-" << false << true << 0;
        QTest::newRow("Excel escape") << inl("apple_x0041_") << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("character reference") << inl("apple&#65;") << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("value metadata") << QByteArray("<c r=\"A1\" vm=\"1\" t=\"inlineStr\"><is><t>apple</t></is></c>")
                                        << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("type not last") << QByteArray("<c t=\"inlineStr\" r=\"A1\"><is><t>apple</t></is></c>") << QByteArray()
                                       << "apple" << "pear" << false << true << 0;
        QTest::newRow("white space between") << QByteArray("<c r=\"A1\" t=\"inlineStr\">\n <is><t>apple</t></is></c>")
                                             << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("control character") << inl("apple") << QByteArray() << "apple" << "a\rb" << false << true << 0;
        QTest::newRow("rich shared string") << QByteArray("<c r=\"A1\" t=\"s\"><v>0</v></c>")
                                            << QByteArray("<si><r><t>apple</t></r><r><rPr><i/></rPr><t> pie</t></r></si>")
                                            << "apple" << "pear" << false << true << 1;
        QTest::newRow("shared strings in other forms")
            << QByteArray("<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
                          "<c r=\"D1\" t=\"s\"><v>3</v></c><c r=\"E1\" t=\"s\"><v>4</v></c>")
            << QByteArray("<si><t xml:space=\"preserve\"> apple </t></si>\n<si><t>apple &amp; pie</t></si><si><t/></si>"
                          "<si ><t>apple</t></si><si><t>apple</t><phoneticPr fontId=\"1\"/></si>")
            << "apple" << "pear" << false << true << 4;
        // Rows read whole from their bytes, and one that must be read again as tokens.
        QTest::newRow("rows in other forms")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>apple</t></is></c></row>\n<row r=\"2\" spans=\"1:2\" "
                          "x:dyDescent=\"0.25\" customFormat=\"1\" s=\"3\">\n  <c r=\"A2\" t=\"inlineStr\"><is><t>apple pie</t></is>"
                          "</c>\n</row><row r=\"4\"/><row r=\"5\">")
            << QByteArray() << "apple" << "pear" << false << true << 2;
        QTest::newRow("row with a rich cell")
            << QByteArray("</row><row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>apple</t></is></c><c r=\"B2\" t=\"inlineStr\">"
                          "<is><r><t>apple</t></r></is></c></row><row r=\"3\">")
            << QByteArray() << "apple" << "pear" << false << true << 1;
        // Cells a parse must not take for plain ones of the row.
        QTest::newRow("cell in another element") << QByteArray("<x:w><c r=\"A1\" t=\"inlineStr\"><is><t>apple</t></is></c></x:w>")
                                                 << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("cell of another namespace") << QByteArray("<c xmlns=\"urn:o\" r=\"A1\" t=\"str\"><v>apple</v></c>")
                                                   << QByteArray() << "apple" << "pear" << false << true << 0;
        QTest::newRow("empty cells, shared formula") << QByteArray("<c r=\"A1\" s=\"1\"/><c r=\"B1\"><f t=\"shared\" ref=\"B1:C1\" si=\"0\">"
                                                                   "A1</f><v>0</v></c><c r=\"C1\"><f t=\"shared\" si=\"0\"/><v>0</v></c>")
                                                     << QByteArray() << "A" << "D" << false << true << 0;
    }

    void bytePathWritesWhatTheFullPathWrites()
    {
        QFETCH(QByteArray, cells);
        QFETCH(QByteArray, strings);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(bool, wholeCell);
        QFETCH(bool, matchCase);
        QFETCH(int, byteEdited);

        QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"" + QByteArray(MainNs)
                           + "\" xmlns:x=\"" + MainNs + "\"><dimension ref=\"A1:C1\"/><sheetData><row r=\"1\">" + cells
                           + "</row></sheetData></worksheet>";
        const QByteArray sst = strings.isEmpty() ? QByteArray()
                                                 : "<sst xmlns=\"" + QByteArray(MainNs) + "\" count=\"9\" uniqueCount=\"3\">"
                                                       + strings + "</sst>";
        const SearchPattern pattern(what, wholeCell, matchCase);
        const Outcome full = run(sheet, sst, pattern, with, false);
        const Outcome bytes = run(sheet, sst, pattern, with, true);
        QVERIFY2(full.error.isEmpty(), qPrintable(full.error));
        QCOMPARE(bytes.error, full.error);
        QCOMPARE(bytes.changed, full.changed);
        QCOMPARE(bytes.sheet, full.sheet);
        QCOMPARE(bytes.sharedStrings, full.sharedStrings);
        QCOMPARE(bytes.counts, full.counts);
        QCOMPARE(int(bytes.byteEdited), byteEdited);
        const Outcome tokens = run(sheet, sst, pattern, with, true, false);
        QCOMPARE(tokens.error, bytes.error);
        QCOMPARE(tokens.sheet, bytes.sheet);
        QCOMPARE(tokens.sharedStrings, bytes.sharedStrings);
        QCOMPARE(tokens.counts, bytes.counts);
    }

    // Cells that move to new shared strings, pair after pair, on a sheet of
    // more records than one page holds: each reads, and is written, as
    // the full path has it.
    void movedCellsReadAndWriteAsFromTheFullPath()
    {
        QByteArray rows;
        for (int r = 1; r <= 2500; ++r) {
            rows += "<row r=\"" + QByteArray::number(r) + "\">";
            for (int c = 0; c < 8; ++c)
                rows += "<c r=\"" + QByteArray(1, char('A' + c)) + QByteArray::number(r) + "\" t=\"s\"><v>"
                        + QByteArray::number((r + c) % 3) + "</v></c>";
            rows += "</row>";
        }
        const QByteArray sheet = "<worksheet xmlns=\"" + QByteArray(MainNs) + "\"><sheetData>" + rows
                                 + "</sheetData></worksheet>";
        const QByteArray sst = "<sst xmlns=\"" + QByteArray(MainNs) + "\"><si><t>alpha</t></si><si><t>beta</t></si>"
                               "<si><t>gamma</t></si></sst>";
        const auto edit = [&](bool byteEdits, QString *text, QString *error) {
            StylesPart styles;
            SharedStrings table;
            BookContext book;
            book.styles = &styles;
            book.byteEdits = byteEdits;
            bool changed = false;
            if (!table.parse(sst, "xl/sharedStrings.xml", Conformance::Transitional, error))
                return QByteArray();
            book.sharedStrings = &table;
            WorksheetPart part(&book, "xl/worksheets/sheet1.xml");
            const QVector<CellArea> all{CellArea{1, 1, 3000, 10}};
            BufferSink out;
            CellContent c;
            if (!part.parseData(sheet, error) || !part.replace(all, SearchPattern("alpha", false, true), "omega", &changed, error)
                || !part.replace(all, SearchPattern("omega", false, true), "zeta", &changed, error)
                || !part.setValue({CellArea{2000, 2, 2000, 2}}, "7", error)
                || !part.cellContent(part.findCell(2400, 3), &c, error) || !part.write(&out, error))
                return QByteArray();
            *text = c.value;
            BufferSink strings;
            table.write(&strings, error);
            return out.bytes + strings.bytes;
        };
        QString fullText, byteText, error;
        const QByteArray full = edit(false, &fullText, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(edit(true, &byteText, &error), full);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(byteText, fullText);
        QVERIFY(full.contains("<si><t>zeta</t></si>"));
    }

    // New cells go into rows whose start tags were read from their bytes:
    // spans widened or, when unreadable, dropped, as from tokens.
    void rowsTakeNewCellsAsFromTokens()
    {
        const QByteArray sheet = "<worksheet xmlns=\"" + QByteArray(MainNs) + "\" xmlns:x=\"" + MainNs + "\"><sheetData>"
            "<row r=\"1\" spans=\"1:2\"><c r=\"A1\"><v>1</v></c></row>\n"
            "<row r=\"2\" spans=\"x\" s=\"1\" customFormat=\"1\"/>"
            "<row r=\"3\" x:y=\"1\" spans=\"2:3\">\n <c r=\"B3\"><v>2</v></c>\n</row>"
            "<row r=\"4\" spans=\"\"></row></sheetData></worksheet>";
        const QByteArray bytes = withValues(sheet, true);
        QVERIFY2(bytes.contains("spans=\"1:4\""), bytes.constData());
        QVERIFY(!bytes.contains("spans=\"x\""));
        QCOMPARE(bytes, withValues(sheet, false));
    }

    // New shared strings are kept as bytes and read again from them: each
    // must give back its text, be found again by it, and survive going
    // back to a mark and a new order as the objects did.
    void newSharedStringsReadBackAndAreFoundAgain()
    {
        for (const QByteArray prefix : {QByteArray(), QByteArray("x:")}) {
            const QByteArray ns = prefix.isEmpty() ? "xmlns" : "xmlns:x";
            SharedStrings table;
            QString error;
            QVERIFY(table.parse("<" + prefix + "sst " + ns + "=\"" + MainNs + "\"><" + prefix + "si><" + prefix
                                    + "t>old</" + prefix + "t></" + prefix + "si></" + prefix + "sst>",
                                "xl/sharedStrings.xml", Conformance::Transitional, &error));
            QStringList texts{"plain", " lead and trail ", "a&b<c>\"'", "_x0041_ literal", "line\r\nbreak", "tab\there",
                              QString(QChar(1)) + "control", QString::fromUtf8("\xF0\x9D\x84\x9E wide"), QString(), "old"};
            for (int i = 0; i < 300; ++i)
                texts << QString("n%1").arg(i);
            for (int i = 0; i < texts.size(); ++i)
                QCOMPARE(table.appendPlain(texts[i]), quint32(i + 1));
            const SharedStrings::Mark mark = table.mark();
            QCOMPARE(table.appendPlain("later"), quint32(texts.size() + 1));
            table.backTo(mark);
            QCOMPARE(table.size(), quint32(texts.size() + 1));
            QCOMPARE(table.appendPlain("after"), quint32(texts.size() + 1));
            texts << "after";
            // The last three in reverse order.
            const size_t from = size_t(texts.size() - 3);
            table.reorderAdded(from, {2, 1, 0});
            std::reverse(texts.end() - 3, texts.end());
            QByteArray expected;
            for (int i = 0; i < texts.size(); ++i) {
                QString text;
                QVERIFY(table.text(quint32(i + 1), &text, &error));
                QCOMPARE(text, texts[i]);
                QVERIFY(!table.isComplex(quint32(i + 1)));
                QCOMPARE(table.appendPlain(texts[i]), quint32(i + 1));
                writeRichText(&expected, RichText::fromPlain(texts[i]), prefix, "si");
            }
            BufferSink out;
            QVERIFY(table.write(&out, &error));
            QVERIFY(out.bytes.contains(expected));
        }
    }

    // The tables of a sheet start on a small first page that grows to a
    // full one, then add pages: every record must stay where it was put
    // through growing, shrinking and growing again.
    void pagedTablesKeepTheirRecordsThroughGrowth()
    {
        PagedVector<quint32, 8> table; // pages of 256; the first grows from 64
        const auto check = [&](size_t size) {
            QCOMPARE(table.size(), size);
            QCOMPARE(size_t(table.end() - table.begin()), size);
            for (size_t i = 0; i < size; ++i)
                if (table[i] != quint32(i * 7))
                    QFAIL(qPrintable(QString("record %1 of %2 changed").arg(i).arg(size)));
        };
        for (size_t target : {size_t(63), size_t(64), size_t(65), size_t(256), size_t(257), size_t(1000)}) {
            while (table.size() < target)
                table.push_back(quint32(table.size() * 7));
            check(target);
        }
        for (size_t shrink : {size_t(300), size_t(40), size_t(0)}) {
            table.resize(shrink);
            check(shrink);
            while (table.size() < 700)
                table.push_back(quint32(table.size() * 7));
            check(700);
            table.resize(shrink);
        }
        table.clear();
        table.push_back(0);
        check(1);
    }
};

QTEST_GUILESS_MAIN(TestCellBytes)
#include "tst_cellbytes.moc"
