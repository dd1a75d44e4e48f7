#include "application.h"
#include "xls/cfb/compoundfile.h"
#include "xlstestutil.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent>

#include <functional>

using namespace Excel;
using namespace XlsTest;

namespace {

// A compound file holding these streams (each a few bytes).
QByteArray container(const QStringList &streams)
{
    Excel::Biff::CfbNode root;
    root.storage = true;
    for (const QString &name : streams) {
        Excel::Biff::CfbNode n;
        n.name = name.toUtf8();
        n.data = QByteArray(100, 'x');
        root.children.push_back(n);
    }
    QByteArray file;
    QString error;
    writeCompoundFile(root, &file, &error);
    return file;
}

} // namespace

Q_DECLARE_METATYPE(Changes)
Q_DECLARE_METATYPE(QVector<Op>)

class TestBiffWorkbook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QJsonObject> m_before;

    // Results that LibreOffice must read, with what its text must show; one
    // LibreOffice run reads them all in libreOfficeReadsTheResults.
    struct LibreOfficeCheck
    {
        QString tag;
        QString file;
        std::function<void(const QString &text)> verify;
    };
    QVector<LibreOfficeCheck> m_libreOfficeChecks;
    QMap<QString, QString> m_libreOfficeTexts;
    QTemporaryDir m_libreOfficeDir;

    void readByLibreOffice(const QString &path, std::function<void(const QString &text)> verify)
    {
        QString tag = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            tag += QLatin1String(": ") + QString::fromLatin1(QTest::currentDataTag());
        const QString copy = m_libreOfficeDir.filePath(QString("result%1.xls").arg(m_libreOfficeChecks.size()));
        QVERIFY(QFile::copy(path, copy));
        m_libreOfficeChecks.append({tag, copy, verify});
    }

    QJsonObject before(const QString &source)
    {
        if (!m_before.contains(source))
            m_before.insert(source, dump(source));
        return m_before.value(source);
    }

    // Copies the fixture, runs the operations and checks the read-back.
    void check(const QString &source, const QVector<Op> &ops, const Changes &changes)
    {
        const QString path = copyInto(m_dir, source, "work.xls");
        QVERIFY(!path.isEmpty());
        QString error;
        QVERIFY2(run(path, ops, &error), qPrintable(error));
        QString why;
        const QJsonObject after = dump(path, &why);
        QVERIFY2(!after.isEmpty(), qPrintable(why));
        verify(before(source), after, changes);
    }

    // The operations must fail and leave the file exactly as it was.
    void checkRefused(const QString &source, const QVector<Op> &ops, const QString &reason)
    {
        const QString path = copyInto(m_dir, source, "work.xls");
        const QByteArray original = readFile(path);
        QString error;
        QVERIFY(!run(path, ops, &error));
        QVERIFY2(error.contains(reason, Qt::CaseInsensitive), qPrintable(error));
        QCOMPARE(readFile(path), original);
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON("xlrd", "olefile");
        QVERIFY(m_dir.isValid());
        QVERIFY2(!dump(fixture("lo_basic.xls")).isEmpty(), "xlsdump.py needs /usr/bin/python3 with xlrd and olefile");
    }

    void replaceOptions_data()
    {
        QTest::addColumn<QVector<Op>>("ops");
        QTest::addColumn<Changes>("changes");
        const QString D = "Data";
        QTest::newRow("part, any case") << QVector<Op>{replace(D, "apple", "pear")}
            << Changes{{"Data!A1", text("pear pie")}, {"Data!B1", text("pear")}, {"Data!C1", text("pear")},
                       {"Data!D1", text("pinepear")}, {"Data!A6", text("pear")}, {"Data!A8", text("")}};
        QTest::newRow("part, match case") << QVector<Op>{replace(D, "apple", "pear", xlPart, true)}
            << Changes{{"Data!A1", text("pear pie")}, {"Data!D1", text("pinepear")}, {"Data!A6", text("pear")},
                       {"Data!A8", text("")}};
        QTest::newRow("whole") << QVector<Op>{replace(D, "apple", "pear", xlWhole)}
            << Changes{{"Data!B1", text("pear")}, {"Data!C1", text("pear")}, {"Data!A6", text("pear")}};
        QTest::newRow("question mark") << QVector<Op>{replace(D, "a?c", "X")}
            << Changes{{"Data!A2", text("X")}, {"Data!B2", text("X")}, {"Data!C2", text("X")}};
        QTest::newRow("escaped question mark") << QVector<Op>{replace(D, "a~?c", "X")}
            << Changes{{"Data!A2", text("X")}};
        QTest::newRow("star, whole") << QVector<Op>{replace(D, "ban*", "X", xlWhole)}
            << Changes{{"Data!B6", text("X")}, {"Data!D6", text("X")}};
        // (A8 holds ="apple"&"pie", which "a*" would break.)
        QTest::newRow("greedy star") << QVector<Op>{Op{Op::Replace, D, "a*", "X", xlPart, true, "A1:D7,A9:D99"}}
            << Changes{{"Data!A1", text("X")}, {"Data!A2", text("X")}, {"Data!B2", text("X")}, {"Data!C2", text("X")},
                       {"Data!D1", text("pineX")}, {"Data!A6", text("X")}, {"Data!B6", text("bX")},
                       {"Data!D6", text("bX")}, {"Data!A3", text("shX")}, {"Data!B3", text("shX")},
                       {"Data!C3", text("shX")}, {"Data!A10", text("fX")}};
        QTest::newRow("literal tilde") << QVector<Op>{replace(D, "tilde~", "T", xlWhole)}
            << Changes{{"Data!D3", text("T")}};
        QTest::newRow("one cell of a shared string") << QVector<Op>{value(D, "B3", "mine")}
            << Changes{{"Data!B3", text("mine")}};
        QTest::newRow("shared string everywhere") << QVector<Op>{replace(D, "shared", "common", xlWhole)}
            << Changes{{"Data!A3", text("common")}, {"Data!B3", text("common")}, {"Data!C3", text("common")}};
        QTest::newRow("text stays text") << QVector<Op>{replace(D, "ID", "", xlPart, true)}
            << Changes{{"Data!D5", text("0012")}};
        QTest::newRow("text emptied") << QVector<Op>{replace(D, "far", "", xlWhole)}
            << Changes{{"Data!A10", QJsonValue()}};
        QTest::newRow("chained pairs") << QVector<Op>{replace(D, "cherry", "plum"), replace(D, "plum", "fig")}
            << Changes{{"Data!C6", text("fig")}};
        // A changed formula keeps no stored result; "applepie" is only its result.
        QTest::newRow("formulas searched in their text") << QVector<Op>{replace(D, "SUM", "MAX"), replace(D, "applepie", "x")}
            << Changes{{"Data!D7", text("")}};
        QTest::newRow("number stays number") << QVector<Op>{replace(D, "1234.5", "99", xlWhole)}
            << Changes{{"Data!A4", number(99)}};
        QTest::newRow("number becomes text") << QVector<Op>{replace(D, "0.3", "n/a", xlWhole)}
            << Changes{{"Data!B4", text("n/a")}};
        QTest::newRow("number part") << QVector<Op>{replace(D, "E+20", "E+21")}
            << Changes{{"Data!D4", number(1e21)}};
        QTest::newRow("number needs a double") << QVector<Op>{replace(D, "7", "7.123456789", xlWhole)}
            << Changes{{"Data!C4", number(7.123456789)}};
        QTest::newRow("dates and percentages not searched")
            << QVector<Op>{replace(D, "45293", "1"), replace(D, "0.25", "1"), replace(D, "25", "1")} << Changes{};
        QTest::newRow("other sheet untouched") << QVector<Op>{replace("Other", "apple", "kiwi")}
            << Changes{{"Other!A1", text("kiwi on other")}};
    }
    void replaceOptions()
    {
        QFETCH(QVector<Op>, ops);
        QFETCH(Changes, changes);
        check(fixture("lo_basic.xls"), ops, changes);
    }

    void booleansAndNumbers()
    {
        // xlwt writes real boolean cells, RK and NUMBER records.
        check(fixture("xlwt_basic.xls"),
              {replace("First", "TRUE", "false", xlWhole), replace("First", "3.25", "4.5", xlWhole),
               replace("First", "12", "twelve", xlWhole)},
              {{"First!A3", boolean(false)}, {"First!A2", number(4.5)}, {"First!B2", text("twelve")}});
    }

    void sheetChoices()
    {
        Application app;
        Workbook *wb = app.Workbooks()->Open(copyInto(m_dir, fixture("lo_basic.xls"), "sheets.xls"));
        QVERIFY(wb);
        QCOMPARE(wb->Sheets()->Count(), 4);
        QStringList names;
        for (int i = 1; i <= 4; ++i)
            names << wb->Sheets()->Item(i)->Name();
        QCOMPARE(names, QStringList({"Data", "Other", "Chart", "Locked"}));
        QVERIFY(!wb->Sheets()->Item(0));
        QVERIFY(!wb->Sheets()->Item(5));
        QVERIFY(wb->ActiveSheet());
        QCOMPARE(wb->ActiveSheet()->Name(), QString("Other"));
        QCOMPARE(QFileInfo(wb->Path()).absoluteFilePath(), QFileInfo(m_dir.path()).absoluteFilePath());
        auto used = wb->Sheets()->Item(1)->UsedRange();
        QVERIFY(used);
    }

    void positionWrites_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QVector<Op>>("ops");
        QTest::addColumn<Changes>("changes");
        struct Src { const char *tag; QString path; QString sheet; };
        // LibreOffice (no INDEX/DBCELL), xlwt (ROW next to its cells, no
        // EXTSST), Excel (row blocks with DBCELL and INDEX).
        const Src sources[] = {{"lo", fixture("lo_basic.xls"), "Data"},
                               {"xlwt", fixture("xlwt_basic.xls"), "First"},
                               {"excel", corpus("merge_cells.xls"), "Merge"}};
        for (const Src &s : sources) {
            const QString p = s.sheet + '!';
            const auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QString("%1: %2").arg(s.tag, name))) << s.path << s.sheet; };
            row("existing cell") << QVector<Op>{value(s.sheet, "A1", "new text")} << Changes{{p + "A1", text("new text")}};
            row("typed input") << QVector<Op>{value(s.sheet, "B1", "12.5"), value(s.sheet, "B1", "true"), value(s.sheet, "C1", "'0012"), value(s.sheet, "D1", "-1E3")}
                << Changes{{p + "B1", boolean(true)}, {p + "C1", text("0012")}, {p + "D1", number(-1000)}};
            row("new cell, existing row") << QVector<Op>{value(s.sheet, "H1", "east")} << Changes{{p + "H1", text("east")}};
            row("new row inside") << QVector<Op>{value(s.sheet, "B4", "inside")} << Changes{{p + "B4", text("inside")}};
            row("far beyond") << QVector<Op>{value(s.sheet, "IV65536", "corner"), value(s.sheet, "C300", "7")}
                << Changes{{p + "IV65536", text("corner")}, {p + "C300", number(7)}};
            row("many new rows") << QVector<Op>{value(s.sheet, "K20:L90", "x")} << [&] {
                Changes c;
                for (int r = 20; r <= 90; ++r) {
                    c.insert(p + QString("K%1").arg(r), text("x"));
                    c.insert(p + QString("L%1").arg(r), text("x"));
                }
                return c;
            }();
            row("cleared") << QVector<Op>{value(s.sheet, "A1", "")} << Changes{{p + "A1", QJsonValue()}};
            row("same position twice") << QVector<Op>{value(s.sheet, "F9", "one"), value(s.sheet, "F9", "two")}
                << Changes{{p + "F9", text("two")}};
            row("replace after write") << QVector<Op>{value(s.sheet, "F9", "grape"), replace(s.sheet, "grape", "melon", xlWhole)}
                << Changes{{p + "F9", text("melon")}};
            // A formula this job wrote, overwritten again (a position named
            // twice, or a sheet chosen twice).
            row("formula written twice") << QVector<Op>{value(s.sheet, "F9", "=1"), value(s.sheet, "F9", "2")}
                << Changes{{p + "F9", number(2)}};
            row("area over a new formula") << QVector<Op>{value(s.sheet, "D5", "=SUM(1)"), value(s.sheet, "C1:E10", "")} << [&] {
                Changes c;
                for (int r = 1; r <= 10; ++r)
                    for (const char *col : {"C", "D", "E"})
                        c.insert(p + col + QString::number(r), QJsonValue());
                return c;
            }();
        }
    }
    void positionWrites()
    {
        QFETCH(QString, source);
        QFETCH(QVector<Op>, ops);
        QFETCH(Changes, changes);
        // What merge_cells.xls holds in B1..D1 does not matter: the
        // expectation only names what the writes put there.
        QJsonObject b = before(source);
        Q_UNUSED(b);
        check(source, ops, changes);
    }

    void newRowBlocksReadByLibreOffice()
    {
        // Excel's row blocks with DBCELL and INDEX, grown by new rows and
        // new blocks: LibreOffice must see every new cell.
        const QString path = copyInto(m_dir, corpus("merge_cells.xls"), "blocks.xls");
        QVERIFY(run(path, {value("Merge", "K20:K90", "newcell"), value("Merge", "C300", "lastcell")}));
        readByLibreOffice(path, [](const QString &lo) {
            QCOMPARE(lo.count("newcell"), 71);
            QCOMPARE(lo.count("lastcell"), 1);
        });
    }

    void wpsWorkbookKeepsItsImageStreams()
    {
        check(corpus("wps_image.xls"), {value("Sheet1", "B2", "note"), value("Sheet1", "B3", "2.5")},
              {{"Sheet1!B2", text("note")}, {"Sheet1!B3", number(2.5)}});
    }

    void textFormattedCell()
    {
        check(fixture("lo_basic.xls"), {value("Data", "C7", "0042")}, {{"Data!C7", text("0042")}});
    }

    void refusedEdits_data()
    {
        QTest::addColumn<QVector<Op>>("ops");
        QTest::addColumn<QString>("reason");
        QTest::newRow("formula that cannot be stored") << QVector<Op>{value("Data", "A1", "x"), value("Data", "B9", "=SUM(A1:A2")}
            << "not well-formed";
        QTest::newRow("outside the grid") << QVector<Op>{value("Data", "A1", "x"), value("Data", "IW1", "x")} << "outside the .xls grid";
        QTest::newRow("not a position") << QVector<Op>{value("Data", "R1C1", "x")} << "cannot read position";
        QTest::newRow("locked cell") << QVector<Op>{replace("Data", "apple", "x"), replace("Locked", "apple", "x")} << "locked";
        QTest::newRow("locked new cell") << QVector<Op>{value("Locked", "C3", "x")} << "locked";
        QTest::newRow("text too long") << QVector<Op>{value("Data", "A1", QString(32768, 'x'))} << "32767";
    }
    void refusedEdits()
    {
        QFETCH(QVector<Op>, ops);
        QFETCH(QString, reason);
        checkRefused(fixture("lo_basic.xls"), ops, reason);
    }

    void formulaGroups()
    {
        // Excel's file: a shared formula stored with C33 of Engineering and
        // used by C34:C50, an array formula over B26:D26 of Lookup.
        const QString source = corpus("formula_stress_test.xls");
        checkRefused(source, {value("Lookup", "B26", "1")}, "array formula");
        checkRefused(source, {value("Lookup", "C26", "1")}, "part of an array formula");
        // Another cell of the shared formula may be overwritten: the rest
        // of the group keeps its formula.
        check(source, {value("Engineering", "C40", "plain")}, {{"Engineering!C40", text("plain")}});
        QVERIFY(sheetOf(dump(m_dir.filePath("work.xls")), "Engineering").value("formulas").toArray().contains("C41"));
        // Overwriting the cell the group is stored with gives every other
        // cell its own copy of the formula, with its result kept.
        check(source, {value("Engineering", "C33", "1")}, {{"Engineering!C33", number(1)}});
        const QJsonArray formulas = sheetOf(dump(m_dir.filePath("work.xls")), "Engineering").value("formulas").toArray();
        QVERIFY(formulas.contains("C34") && formulas.contains("C50") && !formulas.contains("C33"));
    }

    void unlockedCellOnProtectedSheet()
    {
        check(fixture("lo_basic.xls"), {value("Locked", "B1", "apple free")}, {{"Locked!B1", text("apple free")}});
    }

    void longSharedStringTable_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::newRow("grow") << "apple" << "APPLE-TREE-GROWN-TALL";
        QTest::newRow("shrink") << "apple with padding" << "";
        QTest::newRow("one byte to two") << "long string 0100" << "長い 0100";
        QTest::newRow("two bytes to one") << "長い文字列0300" << "plain 0300";
    }
    void longSharedStringTable()
    {
        QFETCH(QString, what);
        QFETCH(QString, with);
        const QString source = fixture("lo_longsst.xls");
        const QJsonObject b = before(source);
        Changes changes;
        const QJsonObject cells = cellsOf(b, "Long");
        for (auto it = cells.begin(); it != cells.end(); ++it) {
            const QJsonArray v = it.value().toArray();
            if (v.at(0) == "text" && v.at(1).toString().contains(what)) {
                const QString t = v.at(1).toString().replace(what, with);
                changes.insert("Long!" + it.key(), text(t.isEmpty() ? QString() : t));
            }
        }
        QVERIFY(changes.size() > 0);
        check(source, {replace("Long", what, with, xlPart, true)}, changes);
        const QString shown = with.isEmpty() ? QString("long string 0001  textx") : with;
        readByLibreOffice(m_dir.filePath("work.xls"), [shown](const QString &lo) {
            QVERIFY2(lo.contains(shown), qPrintable(lo.left(300)));
        });
    }

    void richTextKeepsRuns()
    {
        const QString source = corpus("rich_text_stress.xls");
        const QJsonObject b = before(source);
        const QJsonObject sheet = b.value("sheets").toArray().at(0).toObject();
        const QString name = sheet.value("name").toString();
        const QJsonObject allRuns = sheet.value("runs").toObject();
        QVERIFY(!allRuns.isEmpty());
        // In every rich cell, find two characters that occur once and lie
        // inside one run; wrapping them in "<<" ">>" must move the later
        // runs by four and keep every font.
        Changes changes;
        QVector<Op> ops;
        QMap<QString, QVector<QPair<int, int>>> expectedRuns;
        for (const QString &cell : allRuns.keys()) {
            const QString t = sheet.value("cells").toObject().value(cell).toArray().at(1).toString();
            QVector<int> starts;
            for (const QJsonValue &r : allRuns.value(cell).toArray())
                starts << r.toArray().at(0).toInt();
            int at = -1;
            for (int i = 0; i + 2 <= t.size() && at < 0; ++i) {
                const QString w = t.mid(i, 2);
                if (w.contains(QRegularExpression("[?*~\\s]")) || t.indexOf(w) != i || t.indexOf(w, i + 1) >= 0)
                    continue;
                if (starts.contains(i + 1))
                    continue;
                at = i;
            }
            if (at < 0)
                continue;
            const QString w = t.mid(at, 2);
            ops << replace(name, w, "<<" + w + ">>", xlPart, true);
            ops.last().range = cell;
            QString nt = t;
            changes.insert(name + '!' + cell, text(nt.replace(at, 2, "<<" + w + ">>")));
            QVector<QPair<int, int>> runs;
            for (const QJsonValue &r : allRuns.value(cell).toArray()) {
                const int pos = r.toArray().at(0).toInt();
                runs << qMakePair(pos > at ? pos + 4 : pos, r.toArray().at(1).toInt());
            }
            expectedRuns.insert(cell, runs);
        }
        QVERIFY(!ops.isEmpty());
        check(source, ops, changes);
        const QJsonObject after = sheetOf(dump(m_dir.filePath("work.xls")), name);
        for (auto it = expectedRuns.begin(); it != expectedRuns.end(); ++it) {
            QVector<QPair<int, int>> got;
            for (const QJsonValue &r : after.value("runs").toObject().value(it.key()).toArray())
                got << qMakePair(r.toArray().at(0).toInt(), r.toArray().at(1).toInt());
            QCOMPARE(got, it.value());
        }
    }

    // Files that bend the format in ways other readers accept
    // (make_tolerant.py): each is edited like any other, every other
    // stream kept byte for byte.
    void tolerantlyReadFiles_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QVector<Op>>("ops");
        QTest::addColumn<Changes>("changes");
        const QVector<Op> fruit{replace("Data", "apple", "grape"), replace("Data", "pear", "plum")};
        QTest::newRow("Excel 97 stream named BOOK") << fixture("book_stream.xls") << fruit
                                                    << Changes{{"Data!A1", text("grape")}, {"Data!A2", text("plum")}};
        // A1 is its later record, "pear"; the earlier "apple" is not seen.
        QTest::newRow("cell stored twice") << fixture("cell_twice.xls") << fruit
                                           << Changes{{"Data!A1", text("plum")}, {"Data!B1", text("plum")}};
        QTest::newRow("shared string of 40000 characters") << fixture("long_string.xls") << fruit
                                                           << Changes{{"Data!A1", text("grape")}};
        QTest::newRow("mini stream shorter than its entry says") << fixture("short_ministream.xls") << fruit
                                                                 << Changes{{"Data!A1", text("grape")}, {"Data!A2", text("plum")}};
    }
    void tolerantlyReadFiles()
    {
        QFETCH(QString, source);
        QFETCH(QVector<Op>, ops);
        QFETCH(Changes, changes);
        check(source, ops, changes);
        readByLibreOffice(m_dir.filePath("work.xls"), [changes](const QString &lo) {
            for (const QJsonValue &v : changes)
                QVERIFY2(lo.contains(v.toArray().at(1).toString()), qPrintable(lo.left(200)));
        });
    }

    void longTextFailsOnlyWhereAnEditWritesIt()
    {
        checkRefused(fixture("long_string.xls"), {replace("Data", "z", "y")}, "32767");
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("encrypted (XOR)") << readFile(corpus("password_2002_40_xor.xls")) << "encrypted";
        QTest::newRow("Excel 95") << readFile(corpus("biff5_sushi.xls")) << "Excel 5/95";
        QTest::newRow("damaged directory") << readFile(corpus("phpexcel_bad_cfb_dir.xls")) << "damaged";
        const QByteArray good = readFile(fixture("lo_basic.xls"));
        QTest::newRow("truncated") << good.left(good.size() / 2) << "damaged";
        QTest::newRow("not a workbook") << QByteArray("plain text, not a workbook") << "not a workbook";
        QTest::newRow("encrypted Office Open XML") << container({"EncryptionInfo", "EncryptedPackage"}) << "encrypted";
        QTest::newRow("no Workbook stream") << container({"WordDocument", "1Table"}) << "no Workbook stream";
        QByteArray zeroed = good;
        for (int i = 512; i < zeroed.size(); ++i)
            zeroed[i] = 0;
        QTest::newRow("zeroed sectors") << zeroed << "damaged";
        // The damaged twins of the files read tolerantly.
        QTest::newRow("Excel 95 stream named BOOK") << readFile(fixture("book_stream_biff5.xls")) << "Excel 5/95";
        QTest::newRow("cell stored twice, cut short") << readFile(fixture("cell_twice_cut.xls")) << "malformed";
        QTest::newRow("long string cut short") << readFile(fixture("long_string_cut.xls")) << "runs past";
        QTest::newRow("mini stream ending inside a stream") << readFile(fixture("short_ministream_cut.xls")) << "damaged";
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath("refused.xls");
        QVERIFY(writeFile(path, content));
        Application app;
        QVERIFY(!app.Workbooks()->Open(path));
        QVERIFY2(app.Workbooks()->lastError().contains(reason, Qt::CaseInsensitive),
                 qPrintable(app.Workbooks()->lastError()));
        QCOMPARE(readFile(path), content);
    }

    void readOnlyFileOrFolder()
    {
        QTemporaryDir dir;
        const QString path = copyInto(dir, fixture("lo_basic.xls"));
        const QByteArray original = readFile(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
        QString error;
        QVERIFY(!run(path, {replace("Data", "apple", "pear")}, &error));
        QVERIFY2(error.contains("read-only"), qPrintable(error));
        QCOMPARE(readFile(path), original);

        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(!run(path, {replace("Data", "apple", "pear")}, &error));
        QVERIFY2(error.contains("read-only"), qPrintable(error));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readFile(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void savedFileKeepsPermissions()
    {
        const QString path = copyInto(m_dir, fixture("lo_basic.xls"), "perm.xls");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QVERIFY(run(path, {replace("Data", "apple", "pear")}));
        const QFile::Permissions mask = ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(QFile::permissions(path) & mask, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QCOMPARE(QDir(m_dir.path()).entryList({".~*"}, QDir::Files | QDir::Hidden).size(), 0);
    }

    void fileChangedBehindOurBackIsNotOverwritten()
    {
        const QString path = copyInto(m_dir, fixture("lo_basic.xls"), "theirs.xls");
        Application app;
        Workbook *wb = app.Workbooks()->Open(path);
        QVERIFY(wb);
        wb->Sheets()->Item(1)->Range("A1")->setValue("ours");
        const QByteArray theirs = readFile(fixture("xlwt_basic.xls"));
        QVERIFY(writeFile(path, theirs));
        QVERIFY(!wb->Save());
        QVERIFY2(wb->lastError().contains("changed by someone else"), qPrintable(wb->lastError()));
        QCOMPARE(readFile(path), theirs);
    }

    void unchangedFileNotRewritten()
    {
        const QString path = copyInto(m_dir, fixture("lo_basic.xls"), "same.xls");
        // A number with more digits than the formula bar shows, and a boolean.
        QVERIFY(run(path, {value("Data", "Z1", "705.6788194410846"), value("Data", "Z2", "true")}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        f.close();
        const QByteArray original = readFile(path);
        // No match, a write of the value a cell already has, and replacements
        // that give back the text they found.
        QVERIFY(run(path, {replace("Data", "no such text", "x"), value("Data", "A1", "apple pie"),
                           replace("Data", "5", "5"), replace("Data", "TRUE", "TRUE", xlWhole, true),
                           replace("Data", "apple", "apple", xlPart, true)}));
        QCOMPARE(readFile(path), original);
        QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
    }

    void saveTwice()
    {
        const QString path = copyInto(m_dir, fixture("xlwt_basic.xls"), "twice.xls");
        Application app;
        Workbook *wb = app.Workbooks()->Open(path);
        QVERIFY(wb);
        Worksheet *first = wb->Sheets()->Item(1);
        auto used = first->UsedRange();
        used->Replace("apple", "pear", xlPart, xlByRows, false);
        QVERIFY(wb->Save());
        // Objects taken before the save go on working on the saved file.
        used->Replace("green", "ripe", xlPart, xlByRows, false);
        first->Range("Z9")->setValue("later");
        QVERIFY(wb->Save());
        const QJsonObject after = dump(path);
        QCOMPARE(cellsOf(after, "First").value("B1"), text("ripe pear"));
        QCOMPARE(cellsOf(after, "First").value("Z9"), text("later"));
    }

    // A save prepared but never committed (a dry run) leaves the file as it
    // was; the workbook goes on from what it wrote, and the next save still
    // writes every edit.
    void uncommittedSaveIsWrittenByTheNext()
    {
        const QString path = copyInto(m_dir, fixture("xlwt_basic.xls"), "uncommitted.xls");
        const QByteArray original = readFile(path);
        Application app;
        Workbook *wb = app.Workbooks()->Open(path);
        QVERIFY(wb);
        Worksheet *first = wb->Sheets()->Item(1);
        first->UsedRange()->Replace("apple", "pear", xlPart, xlByRows, false);
        const qint64 changed = wb->changedCells();
        QVERIFY(changed > 0);
        {
            std::unique_ptr<PendingSave> pending;
            QVERIFY(wb->prepareSave(&pending));
            QVERIFY(pending);
        }
        QCOMPARE(readFile(path), original);
        QCOMPARE(wb->changedCells(), changed);
        QVERIFY(wb->Save());
        QCOMPARE(wb->changedCells(), changed);
        QCOMPARE(cellsOf(dump(path), "First").value("B1"), text("green pear"));
    }

    void workbooksOnSeveralThreads()
    {
        QStringList paths;
        for (int i = 0; i < 8; ++i)
            paths << copyInto(m_dir, i % 2 ? fixture("lo_longsst.xls") : fixture("lo_basic.xls"), QString("t%1.xls").arg(i));
        std::function<bool(const QString &)> job = [](const QString &p) {
            const bool isLong = QFileInfo(p).baseName().mid(1).toInt() % 2 == 1;
            return run(p, {replace(isLong ? "Long" : "Data", "apple", "pear")});
        };
        const QList<bool> results = QtConcurrent::blockingMapped<QList<bool>>(paths, job);
        for (bool r : results)
            QVERIFY(r);
        for (const QString &p : paths)
            QVERIFY(!dump(p).isEmpty());
    }

    // Last: LibreOffice reads what the tests above left for it, all in one run.
    void libreOfficeReadsTheResults_data()
    {
        QTest::addColumn<int>("check");
        for (int i = 0; i < m_libreOfficeChecks.size(); ++i)
            QTest::newRow(qPrintable(m_libreOfficeChecks.at(i).tag)) << i;
        if (m_libreOfficeChecks.isEmpty())
            QTest::newRow("nothing to read") << -1;
    }
    void libreOfficeReadsTheResults()
    {
        QFETCH(int, check);
        if (check < 0)
            QSKIP("no test left a result for LibreOffice");
        KORRIN_REQUIRE_LIBREOFFICE();
        if (m_libreOfficeTexts.isEmpty()) {
            QStringList files;
            for (const LibreOfficeCheck &c : m_libreOfficeChecks)
                files << c.file;
            m_libreOfficeTexts = TestUtil::libreOfficeTexts(files);
        }
        const LibreOfficeCheck &c = m_libreOfficeChecks.at(check);
        c.verify(m_libreOfficeTexts.value(c.file));
    }
};

QTEST_GUILESS_MAIN(TestBiffWorkbook)
#include "tst_biffworkbook.moc"
