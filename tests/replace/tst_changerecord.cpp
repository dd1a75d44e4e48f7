// The record of changes: rows of jobs on several threads, read back by row
// number in the files' order, and written out as CSV.

#include "changeexport.h"
#include "changerecord.h"
#include "testutil.h"

#include <QtTest>

#include <thread>

class TestChangeRecord : public QObject
{
    Q_OBJECT

private:
    static QString text(int file, int k) { return QStringLiteral("%1/%2 %3").arg(file).arg(k).arg(QString(k % 50, 'x')); }

private slots:
    // Writers fill pieces on their own threads; only kept files count, in
    // the order of their indexes whatever order they were kept in; rows
    // come back whole, one at a time or many, across pieces and files.
    void rowsComeBackInFileOrder()
    {
        ChangeRecord record;
        QString error;
        QVERIFY2(record.open(&error), qPrintable(error));
        const int counts[] = {3, 5000, 40000}; // the last spans pieces of the file
        std::unique_ptr<ChangeRecord::Writer> writers[3] = {record.writer(), record.writer(), record.writer()};
        std::vector<std::thread> threads;
        bool ok[3] = {};
        for (int f = 0; f < 3; ++f) {
            threads.emplace_back([&, f] {
                QString why;
                ok[f] = true;
                for (int k = 0; k < counts[f] && ok[f]; ++k)
                    ok[f] = writers[f]->cellChanged(QStringLiteral("表%1").arg(f), k + 1, k % 300 + 1, text(f, k),
                                                    k % 7 ? text(f, -k) : QString(), &why);
                ok[f] = ok[f] && writers[f]->finish(&why);
            });
        }
        for (std::thread &t : threads)
            t.join();
        QVERIFY(ok[0] && ok[1] && ok[2]);
        record.keep(2, "/two.xlsx", std::move(writers[2]));
        record.keep(0, "/zero.xls", std::move(writers[0]));
        // file 1 failed: its writer is dropped
        QCOMPARE(record.rowCount(), qint64(40003));
        QCOMPARE(record.rowCount(1), qint64(0));
        QCOMPARE(record.firstRow(2), qint64(3));
        QCOMPARE(record.filePath(0), QString("/zero.xls"));

        ChangeRow row;
        QVERIFY(record.row(2, &row, &error));
        QCOMPARE(row.file, 0);
        QCOMPARE(row.sheet, QString("表0"));
        QCOMPARE(row.cell(), QString("C3"));
        QVERIFY(record.row(3 + 39999, &row, &error));
        QCOMPARE(row.file, 2);
        QCOMPARE(row.before, text(2, 39999));
        QCOMPARE(row.after, text(2, -39999));
        QVERIFY(!record.row(40003, &row, &error));

        qint64 seen = 0;
        QVERIFY(record.read(1, 40003, [&](qint64 index, const ChangeRow &r) {
            const int file = index < 3 ? 0 : 2, k = int(index < 3 ? index : index - 3);
            if (r.file != file || r.row != k + 1 || r.before != text(file, k) || r.after != (k % 7 ? text(file, -k) : QString()))
                return false;
            ++seen;
            return true;
        }, &error));
        QCOMPARE(seen, qint64(40002));
    }

    // CSV: a byte-order mark, the header, CRLF line ends, and quotes only
    // where RFC 4180 needs them; a path that cannot be written, or that is
    // no .csv or .xlsx, is refused at the start.
    void csvExport()
    {
        ChangeRecord record;
        QString error;
        QVERIFY(record.open(&error));
        std::unique_ptr<ChangeRecord::Writer> w = record.writer();
        QVERIFY(w->cellChanged("S, 1", 2, 1, "a \"q\"", QString::fromUtf8("line\nbreak \xF0\x9F\x98\x80"), &error));
        QVERIFY(w->cellChanged("中文", 1, 28, "=SUM(A1)", "", &error) && w->finish(&error));
        record.keep(0, "/x/a.xlsx", std::move(w));
        QTemporaryDir dir;
        const QString path = dir.filePath("r.CSV");
        std::unique_ptr<ChangeExport> out = ChangeExport::begin(path, &error);
        QVERIFY2(out, qPrintable(error));
        QVERIFY2(out->write(record, &error), qPrintable(error));
        QCOMPARE(TestUtil::readFile(path),
                 QByteArray("\xEF\xBB\xBF" "file,sheet,cell,before,after\r\n"
                            "/x/a.xlsx,\"S, 1\",A2,\"a \"\"q\"\"\",\"line\nbreak \xF0\x9F\x98\x80\"\r\n"
                            "/x/a.xlsx,中文,AB1,=SUM(A1),\r\n"));
        QVERIFY(!ChangeExport::begin(dir.filePath("r.txt"), &error));
        QVERIFY(!ChangeExport::begin(dir.filePath("no/r.csv"), &error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"r.CSV"});
    }
};

QTEST_GUILESS_MAIN(TestChangeRecord)
#include "tst_changerecord.moc"
