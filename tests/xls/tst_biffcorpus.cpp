// Every real workbook of the corpus: BIFF8 ones get a word replaced over
// all sheets and are read back independently; the others are refused and
// stay byte-identical.

#include "application.h"
#include "xlstestutil.h"

#include <QRegularExpression>

using namespace Excel;
using namespace XlsTest;

namespace {

const QStringList Refused = {"password_2002_40_xor.xls", "biff5_sushi.xls", "phpexcel_bad_cfb_dir.xls"};

// Calls visit(sheet name, cell reference, text) for every text cell that
// holds no formula, until visit returns false.
template <typename Visit>
void forEachTextCell(const QJsonObject &d, Visit visit)
{
    for (const QJsonValue &s : d.value("sheets").toArray()) {
        const QJsonObject sheet = s.toObject();
        const QJsonArray formulas = sheet.value("formulas").toArray();
        const QJsonObject cells = sheet.value("cells").toObject();
        for (auto it = cells.begin(); it != cells.end(); ++it) {
            if (formulas.contains(it.key()) || it.value().toArray().at(0) != "text")
                continue;
            if (!visit(sheet.value("name").toString(), it.key(), it.value().toArray().at(1).toString()))
                return;
        }
    }
}

// A word of three or more ASCII letters from the first text cell that has
// one, outside formulas, or else the whole text of the first such cell; it
// must not match a number or TRUE/FALSE.
QString pickWord(const QJsonObject &d)
{
    const QRegularExpression word("[A-Za-z]{3,}");
    QString fallback, found;
    forEachTextCell(d, [&](const QString &, const QString &, const QString &t) {
        if (fallback.isEmpty() && !t.contains(QRegularExpression("[?*~0-9eE]"))
            && !QString("TRUE FALSE").contains(t, Qt::CaseInsensitive))
            fallback = t;
        auto m = word.globalMatch(t);
        while (m.hasNext()) {
            const QString w = m.next().captured();
            if (!QString("TRUE FALSE").contains(w, Qt::CaseInsensitive)) {
                found = w;
                return false;
            }
        }
        return true;
    });
    return found.isEmpty() ? fallback : found;
}

} // namespace

class TestBiffCorpus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void corpus_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList files = QDir(KORRIN_CORPUS "/xls").entryList({"*.xls"}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 12);
        for (const QString &f : files)
            QTest::newRow(qPrintable(f)) << f;
    }
    void corpus()
    {
        KORRIN_REQUIRE_PYTHON("xlrd", "olefile");
        KORRIN_REQUIRE_LIBREOFFICE();
        QFETCH(QString, name);
        const QString path = copyInto(m_dir, XlsTest::corpus(name));
        const QByteArray original = readFile(path);
        if (Refused.contains(name)) {
            Application app;
            QVERIFY(!app.Workbooks()->Open(path));
            QVERIFY(!app.Workbooks()->lastError().isEmpty());
            QCOMPARE(readFile(path), original);
            return;
        }
        const QJsonObject before = dump(path);
        QVERIFY(!before.isEmpty());
        const QString word = pickWord(before);
        const QString with = QString::fromUtf8("Ж") + word.toUpper() + QString::fromUtf8("Ж");
        Changes changes;
        int expected = 0;
        if (!word.isEmpty()) {
            forEachTextCell(before, [&](const QString &sheet, const QString &ref, QString t) {
                if (t.contains(word, Qt::CaseInsensitive)) {
                    t.replace(word, with, Qt::CaseInsensitive);
                    changes.insert(sheet + '!' + ref, text(t));
                    ++expected;
                }
                return true;
            });
        }
        qInfo("%s: '%s' in %d cells", qPrintable(name), qPrintable(word), expected);
        Application app;
        Workbook *wb = app.Workbooks()->Open(path);
        QVERIFY2(wb, qPrintable(app.Workbooks()->lastError()));
        int changedSheets = 0;
        for (int i = 1; i <= wb->Sheets()->Count(); ++i) {
            auto used = wb->Sheets()->Item(i)->UsedRange();
            QVERIFY(used);
            if (!word.isEmpty() && used->Replace(word, with, xlPart, xlByRows, false))
                ++changedSheets;
        }
        QVERIFY2(wb->Save(), qPrintable(wb->lastError()));
        app.Quit();
        if (expected == 0) {
            QCOMPARE(readFile(path), original);
            return;
        }
        QVERIFY(changedSheets > 0);
        const QJsonObject after = dump(path);
        verify(before, after, changes);
        const QString lo = libreOfficeText(path);
        QVERIFY2(lo.contains(with), qPrintable(QString("LibreOffice does not show %1").arg(with)));
    }
};

QTEST_GUILESS_MAIN(TestBiffCorpus)
#include "tst_biffcorpus.moc"
