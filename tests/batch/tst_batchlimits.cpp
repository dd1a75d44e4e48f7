// korrin-batch at its limits: arguments that mean nothing, endless lists,
// an output that cannot be written, few file descriptors. Each ends with a
// clear message and an exit status that says so, never with a crash, and
// leaves every workbook wholly old or wholly new.

#include "batchprocess.h"
#include "testbooks.h"

#include <QtTest>

class TestBatchLimits : public QObject
{
    Q_OBJECT

    // count copies of one workbook in a new folder, "old" in A1.
    static QStringList books(const QTemporaryDir &dir, int count)
    {
        const QString first = dir.filePath("book00.xlsx");
        TestBooks::write(first, {"old"});
        QStringList paths{first};
        for (int i = 1; i < count; ++i) {
            paths << dir.filePath(QStringLiteral("book%1.xlsx").arg(i, 2, 10, QLatin1Char('0')));
            QFile::copy(first, paths.last());
        }
        return paths;
    }
    // Every workbook is either as it was or changed and reported so (with
    // reports null: either as it was or changed), and no temporary file is
    // left.
    static void checkWholeAndReported(const QTemporaryDir &dir, const QStringList &paths, const QByteArray &original,
                                      const QString &reports)
    {
        for (const QString &path : paths) {
            if (reports.contains("SUCCESS\t" + path + "\t1 cell changed")
                || (reports.isNull() && TestBooks::bytes(path) != original))
                QCOMPARE(TestBooks::column(path), QString("new"));
            else
                QVERIFY2(TestBooks::bytes(path) == original, qPrintable(path + " changed, unreported in:\n" + reports));
        }
        QCOMPARE(TestBooks::leftovers(dir.path()), QStringList());
    }

private slots:
    // A --sheets value that names no sheets is a usage error that names it.
    void sheetsThatMeanNothing()
    {
        for (const QString &value : QStringList{"al", "nonsense", "all,", "0", "-1"}) {
            const BatchProcess::Result r = BatchProcess::batch({"--sheets", value, "-p", "a", "b", "book.xlsx"});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains("--sheets takes default, first, last, all or sheet numbers such as 1,3, not '"
                                    + value + "'"),
                     qPrintable(r.err));
            QVERIFY(r.lines.isEmpty());
        }
    }

    // Lists without end, entries no path can be and too many entries are
    // refused in bounded memory, before anything is touched.
    void endlessFileLists()
    {
        BatchProcess::Result r = BatchProcess::batch({"-0", "--files-from", "/dev/zero", "-p", "a", "b"});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("the file list /dev/zero has more than 1000000 entries"), qPrintable(r.err));
        r = BatchProcess::batch({"--files-from", "/dev/zero", "-p", "a", "b"});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("entry 1 of the file list /dev/zero holds a NUL character"), qPrintable(r.err));
        r = BatchProcess::batch({"--files-from", "-", "-p", "a", "b"}, {}, "a.xlsx\n" + QByteArray(5000, 'x') + "\n");
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("entry 2 of the file list (standard input) is longer than 4095 bytes"), qPrintable(r.err));
        QVERIFY(r.lines.isEmpty());
    }

    // Standard output on a full device or a reader that goes away, whether
    // it carries the reports or the record of changes (the reports then on
    // standard error): the run stops, says why, exits with 1, and leaves
    // nothing half done.
    void outputThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("message");
        const QString reports = "korrin-batch: cannot write to standard output (";
        const QString record = "korrin-batch: cannot write the record of changes to standard output (";
        QTest::newRow("full device") << "" << "> /dev/full" << reports;
        QTest::newRow("reader gone") << "" << "| head -1" << reports;
        QTest::newRow("record, full device") << "--changes -" << "> /dev/full" << record;
        QTest::newRow("record, reader gone") << "--changes -" << "| head -1" << record;
    }
    void outputThatCannotBeWritten()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QFETCH(QString, options);
        QFETCH(QString, redirect);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QStringList paths = books(dir, 30);
        const QByteArray original = TestBooks::bytes(paths.first());
        const BatchProcess::Result r = BatchProcess::shell(
            QStringLiteral("\"$KORRIN_BATCH\" -j 1 %1 -p old new '%2' 2>'%3' %4; exit ${PIPESTATUS[0]}")
                .arg(options, dir.path(), dir.filePath("err.txt"), redirect));
        QCOMPARE(r.status, 1);
        const QString err = QString::fromUtf8(TestBooks::bytes(dir.filePath("err.txt")));
        QVERIFY2(err.contains(message), qPrintable(err));
        // The first line fails on a full device: the files after it are
        // left as they were.
        const QString failures = redirect.contains("full") ? "[1-9]\\d*" : "\\d+";
        QVERIFY2(err.contains(QRegularExpression("\n30 files: \\d+ SUCCESS, " + failures + " FAILURE, 0 MISSING, ")),
                 qPrintable(err));
        QVERIFY(QFile::remove(dir.filePath("err.txt")));
        // Lines the pipe took before its reader went away are lost with it.
        const bool reportsLost = redirect.startsWith('|') && options.isEmpty();
        checkWholeAndReported(dir, paths, original, reportsLost ? QString() : r.lines.join('\n') + '\n' + err);
    }

    // Few file descriptors: the run keeps as few jobs under way as they
    // allow; with too few for one, every file fails untouched with the
    // reason. No abort either way.
    void fewFileDescriptors()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QStringList paths = books(dir, 24);
        const QByteArray original = TestBooks::bytes(paths.first());
        const QString command = QStringLiteral("ulimit -n %1 && exec \"$KORRIN_BATCH\" -j 4 -p old new '%2'");
        BatchProcess::Result r = BatchProcess::shell(command.arg(12).arg(dir.path()));
        QCOMPARE(r.status, 1);
        QCOMPARE(r.lines.filter("\ttoo few files may be open (see ulimit -n)").size(), 24);
        checkWholeAndReported(dir, paths, original, QString(""));

        r = BatchProcess::shell(command.arg(24).arg(dir.path()));
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.last(), QString("24 files: 24 SUCCESS, 0 FAILURE, 0 MISSING, 24 cells changed"));
        checkWholeAndReported(dir, paths, original, r.lines.join('\n'));
    }
};

QTEST_GUILESS_MAIN(TestBatchLimits)
#include "tst_batchlimits.moc"
