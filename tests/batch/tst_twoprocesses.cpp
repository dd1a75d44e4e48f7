// Two korrin-batch processes started at once on one workbook, with
// different pairs, many times over, in both formats: no edit may be lost.
// Every round ends with both edits in the file, or with one FAILURE that
// says why and the other edit in the file.

#include "testbooks.h"

#include <QtTest>

class TestTwoProcesses : public QObject
{
    Q_OBJECT

    static constexpr int rounds = 40;

    struct Outcome
    {
        QString line;
        int status = -1;
    };

    static Outcome finish(QProcess &p)
    {
        Outcome o;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
            o.status = p.exitCode();
        o.line = QString::fromUtf8(p.readAllStandardOutput()).section('\n', 0, 0);
        return o;
    }

private slots:
    void editsSurviveEachOther_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::newRow("xlsx") << "xlsx";
        QTest::newRow("xls") << "xls";
    }
    void editsSurviveEachOther()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QFETCH(QString, extension);
        QTemporaryDir dir;
        // Enough cells that a job takes a while, so that the two overlap.
        const QString start = dir.filePath("start." + extension);
        TestBooks::python(QStringLiteral(
                              "import sys\n"
                              "cells = ['left', 'right'] + ['filler %d' % i for i in range(3000)]\n"
                              "if sys.argv[1].endswith('.xls'):\n"
                              "    import xlwt\n"
                              "    wb = xlwt.Workbook(); ws = wb.add_sheet('One')\n"
                              "    for i, t in enumerate(cells): ws.write(i, 0, t)\n"
                              "else:\n"
                              "    import openpyxl\n"
                              "    wb = openpyxl.Workbook(); ws = wb.active\n"
                              "    for i, t in enumerate(cells): ws.cell(i + 1, 1, t)\n"
                              "wb.save(sys.argv[1])\n"),
                          {start});
        QVERIFY(QFileInfo::exists(start));

        QStringList results;
        QVector<QPair<Outcome, Outcome>> outcomes;
        for (int round = 0; round < rounds; ++round) {
            const QString book = dir.filePath(QString("round%1.%2").arg(round).arg(extension));
            QVERIFY(QFile::copy(start, book));
            QProcess left, right;
            left.start(KORRIN_BATCH, {"--whole", "--match-case", "-p", "left", "LEFT", book});
            right.start(KORRIN_BATCH, {"--whole", "--match-case", "-p", "right", "RIGHT", book});
            outcomes.append({finish(left), finish(right)});
            results << book;
        }
        const QStringList firstCells = TestBooks::python(
            QStringLiteral("import sys\n"
                           "for p in sys.argv[1:]:\n"
                           "    if p.endswith('.xls'):\n"
                           "        import xlrd\n"
                           "        s = xlrd.open_workbook(p).sheet_by_index(0)\n"
                           "        print(s.cell_value(0, 0), s.cell_value(1, 0))\n"
                           "    else:\n"
                           "        import openpyxl\n"
                           "        ws = openpyxl.load_workbook(p).active\n"
                           "        print(ws['A1'].value, ws['A2'].value)\n"),
            results).split('\n');
        QCOMPARE(firstCells.size(), rounds);

        int bothSucceeded = 0;
        for (int round = 0; round < rounds; ++round) {
            const Outcome &l = outcomes[round].first, &r = outcomes[round].second;
            const QString book = results[round];
            const QString where = QString("round %1: %2 / %3 / file holds '%4'").arg(round).arg(l.line, r.line,
                                                                                        firstCells[round]);
            const bool leftOk = l.line == "SUCCESS\t" + book + "\t1 cell changed";
            const bool rightOk = r.line == "SUCCESS\t" + book + "\t1 cell changed";
            const bool leftFailed = l.status == 1 && l.line.startsWith("FAILURE\t" + book + "\t") && l.line.count('\t') == 2;
            const bool rightFailed = r.status == 1 && r.line.startsWith("FAILURE\t" + book + "\t") && r.line.count('\t') == 2;
            if (leftOk && rightOk) {
                ++bothSucceeded;
                QVERIFY2(firstCells[round] == "LEFT RIGHT", qPrintable(where));
            } else if (leftOk && rightFailed) {
                QVERIFY2(firstCells[round] == "LEFT right", qPrintable(where));
            } else if (rightOk && leftFailed) {
                QVERIFY2(firstCells[round] == "left RIGHT", qPrintable(where));
            } else {
                QFAIL(qPrintable(where));
            }
        }
        qInfo("%d of %d rounds: both edits made", bothSucceeded, rounds);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTwoProcesses)
#include "tst_twoprocesses.moc"
