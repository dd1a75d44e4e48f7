// The window's reasons are Chinese: every entry of the translation is
// finished in Chinese and keeps the placeholders of its English text, and
// with the window's translator installed, failing workbooks of every kind
// report reasons with no English left but names and technical terms.
// (korrin-batch installs no translator: its tests see the English texts.)

#include "run.h"
#include "systemerror.h"
#include "testbooks.h"
#include "testutil.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

// Words that stay as they are in Chinese: file formats, the names of
// records, streams and parts of the two formats, programs and options.
const QStringList technicalTerms = {
    "ACL", "BIFF8", "BOF", "BOUNDSHEET", "Book", "CDATA", "CRC", "Content_Types", "DIFAT", "DTD",
    "Excel", "FAT", "FIFO", "GB", "GiB", "ID", "MB", "ROW", "SST", "Strict", "Transitional",
    "UTF-16", "UTF-8", "Workbook", "XML", "ZIP64", "break-links", "csv", "korrin-batch", "libgsf",
    "officeDocument", "sheetData", "uid", "ulimit", "xls", "xlsb", "xlsx", "xml", "zip"};

// The English words left in a text once the given names, the placeholders
// and the technical terms are taken out.
QStringList englishWords(QString text, const QStringList &names)
{
    for (const QString &name : names)
        text.remove(name);
    text.remove(QRegularExpression(QStringLiteral("%\\d")));
    // Cell positions: A1, IV65536.
    text.remove(QRegularExpression(QStringLiteral("(?<![A-Za-z])[A-Z]{1,3}[0-9]+")));
    // File, folder and part names: xl/worksheets/sheet1.xml, .~lock.a.xlsx#
    text.remove(QRegularExpression(QStringLiteral("[\\w~#$\\[\\]/.-]*[/.][\\w~#$\\[\\]/.-]*")));
    QStringList words;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("[A-Za-z][A-Za-z0-9_-]*")).globalMatch(text);
    while (it.hasNext()) {
        QString word = it.next().captured();
        while (word.endsWith('-'))
            word.chop(1);
        if (word.size() > 1 && !technicalTerms.contains(word))
            words << word;
    }
    return words;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    found.removeDuplicates();
    return found;
}

// A workbook that the office suite has open: its lock file is beside it.
void lockLikeLibreOffice(const QString &path)
{
    const QFileInfo info(path);
    TestUtil::writeFile(info.dir().filePath(".~lock." + info.fileName() + "#"), "Li Lei,lilei,pc7,01.12.2026 09:30,file:///home/lilei/.config/libreoffice/4;");
}

} // namespace

class TestReasonTranslation : public QObject
{
    Q_OBJECT

    QTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_translator.load(QStringLiteral(KORRIN_TRANSLATION_QM)), KORRIN_TRANSLATION_QM);
        QVERIFY(QCoreApplication::installTranslator(&m_translator));
        registerStateType();
    }

    void everyEntryIsFinishedInChinese()
    {
        QFile ts(QStringLiteral(KORRIN_TRANSLATION_TS));
        QVERIFY(ts.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&ts);
        QString context, source;
        int entries = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                const QString type = xml.attributes().value(QLatin1String("type")).toString();
                const QString translation = xml.readElementText();
                const QString entry = context + ": " + source + " -> " + translation;
                QVERIFY2(type.isEmpty() && !translation.isEmpty(), qPrintable("not finished: " + entry));
                QVERIFY2(placeholders(translation) == placeholders(source), qPrintable("placeholders differ: " + entry));
                QVERIFY2(englishWords(translation, {}).isEmpty(), qPrintable("English left: " + entry));
                // What the window gets is this translation.
                const QByteArray key = source.toUtf8();
                QCOMPARE(QCoreApplication::translate(qPrintable(context), key.constData()), translation);
                ++entries;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(entries > 300);
    }

    // The system's words for an error: the window's, or the C library's in
    // the program's locale where no translation is installed (korrin-batch).
    void systemErrors()
    {
        QCOMPARE(Excel::systemErrorText(ENOSPC), QString::fromUtf8("磁盘空间不足"));
        QCOMPARE(Excel::systemErrorText(EPIPE), QString::fromLocal8Bit(std::strerror(EPIPE)));
        QCoreApplication::removeTranslator(&m_translator);
        const QString untranslated = Excel::systemErrorText(ENOSPC);
        QCoreApplication::installTranslator(&m_translator);
        QCOMPARE(untranslated, QString::fromLocal8Bit(std::strerror(ENOSPC)));
    }

    // Through a run, as the window starts it: the reasons are made on the
    // jobs' threads and by the run itself.
    void failingWorkbooksGetChineseReasons()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString base = dir.filePath("base.xlsx");
        TestBooks::write(base, {"apple", "pear"});
        QVERIFY(TestUtil::runPython({QStringLiteral(KORRIN_XLSX_TEST_DATA "/makehostile.py"), dir.path(), base}));
        QStringList files;
        for (const char *name : {"notworkbook.xlsx", "truncated.xlsx", "encrypted.xlsx",
                                    "encrypted-entry.xlsx", "bomb-ratio.xlsx", "dtd-sheet.xlsx", "deep.xlsx",
                                    "missing-sheet.xlsx"})
            files << dir.filePath(name);
        for (const char *name : {"biff5_sushi.xls", "password_2002_40_xor.xls"})
            files << TestUtil::copyInto(dir, QStringLiteral(KORRIN_CORPUS "/xls/") + QLatin1String(name));
        const QString locked = dir.filePath("locked.xlsx");
        TestBooks::write(locked, {"apple"});
        lockLikeLibreOffice(locked);
        files << locked << dir.filePath("gone.xlsx") << dir.path() << locked;
        const QString formula = dir.filePath("formula.xlsx"), outside = dir.filePath("outside.xls");
        TestBooks::write(formula, {"apple"});
        TestBooks::write(outside, {"apple"});

        // Keyword mode for the damaged ones; position mode fails the others.
        RepPar par;
        par.sheetIndex = QString::fromUtf8("所有表");
        par.pairs = {{"apple", "pear"}};
        RunPlan plan = RunPlan::forEvery(files, par);
        RepPar byPosition = par;
        byPosition.byKey = false;
        byPosition.pairs = {{"A1", "=SUM("}};
        RunPlan formulaPlan = RunPlan::forEvery({formula}, byPosition);
        byPosition.pairs = {{"A70000", "pear"}};
        RunPlan outsidePlan = RunPlan::forEvery({outside}, byPosition);

        const QStringList names = {dir.path(), "Li Lei", "lilei", "pc7", "=SUM(", "One", "Sheet"};
        for (RunPlan *p : {&plan, &formulaPlan, &outsidePlan}) {
            Run run(*p);
            QSignalSpy finished(&run, &Run::finished);
            run.start();
            QVERIFY(finished.count() > 0 || finished.wait(60000));
            for (int k = 0; k < p->files.size(); ++k) {
                const FileReport &report = run.report(k);
                const QString shown = report.reason.text();
                QVERIFY2(report.state != SUCCESS && !shown.isEmpty(), qPrintable(p->files.at(k)));
                QVERIFY2(englishWords(shown, names).isEmpty(), qPrintable(p->files.at(k) + ": " + shown));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestReasonTranslation)
#include "tst_reasontranslation.moc"
