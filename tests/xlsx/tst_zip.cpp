#include "testutil.h"
#include "xlsx/zip/ziparchive.h"
#include "xlsx/zip/zipformat.h"
#include "xlsx/zip/zipwriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Excel::Xlsx;

class TestZip : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Writes source with changes to out; returns the error, empty on success.
    static QString rewrite(const ZipArchive &source, const ZipChanges &changes, const QString &out)
    {
        const int fd = ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return QStringLiteral("cannot create output");
        QString error;
        const bool ok = writeZipArchive(source, changes, fd, &error);
        ::close(fd);
        return ok ? QString() : error;
    }

    static QByteArray rawSpan(const QString &file, const ZipEntry &e)
    {
        return TestUtil::readFile(file).mid(int(e.localHeaderOffset), int(e.spanEnd - e.localHeaderOffset));
    }

    // Python's zipfile checks every CRC and lists "name method" lines.
    static QByteArray pythonListing(const QString &file)
    {
        QByteArray out;
        const bool ok = TestUtil::runPythonCode(
            "import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "assert z.testzip() is None\n"
            "for i in z.infolist(): print(i.filename, i.compress_type, i.date_time, i.comment)\n"
            "print('comment', z.comment)\n",
            {file}, &out);
        return ok ? out : QByteArray("FAILED");
    }

private slots:
    void initTestCase()
    {
        KORRIN_REQUIRE_PYTHON();
        QVERIFY(m_dir.isValid());
        QVERIFY(TestUtil::runPythonScript("makezips.py", {m_dir.path()}));
    }

    void copyWithoutChangesIsIdentical_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &f : QDir(KORRIN_CORPUS "/xlsx").entryList({"*.xlsx"}))
            QTest::newRow(qPrintable(f)) << QString(KORRIN_CORPUS "/xlsx/" + f);
        QTest::newRow("zip64 extras") << path("zip64.zip");
        QTest::newRow("comment") << path("comment.zip");
    }
    void copyWithoutChangesIsIdentical()
    {
        QFETCH(QString, file);
        QString error;
        auto zip = ZipArchive::open(file, &error);
        QVERIFY2(zip, qPrintable(error));
        const QString out = path("copy.zip");
        QCOMPARE(rewrite(*zip, ZipChanges(), out), QString());
        QVERIFY(TestUtil::readFile(out) == TestUtil::readFile(file));
    }

    void readsEveryEntry_data() { copyWithoutChangesIsIdentical_data(); }
    void readsEveryEntry()
    {
        QFETCH(QString, file);
        QString error;
        auto zip = ZipArchive::open(file, &error);
        QVERIFY2(zip, qPrintable(error));
        QByteArray expected;
        QVERIFY(TestUtil::runPythonCode("import sys, zipfile, hashlib\n"
                                        "z = zipfile.ZipFile(sys.argv[1])\n"
                                        "for i in z.infolist(): print(i.filename, hashlib.sha1(z.read(i)).hexdigest())\n",
                                        {file}, &expected));
        QByteArray ours;
        for (int i = 0; i < int(zip->entries().size()); ++i) {
            QByteArray data;
            QVERIFY2(zip->read(i, &data, &error), qPrintable(error));
            ours += zip->entries()[size_t(i)].name.toUtf8() + ' '
                    + QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex() + '\n';
        }
        QCOMPARE(ours, expected);
    }

    void findIgnoresCase()
    {
        QString error;
        auto zip = ZipArchive::open(KORRIN_CORPUS "/xlsx/crlf_crlf.xlsx", &error);
        QVERIFY(zip);
        QVERIFY(zip->find("XL/Workbook.XML") >= 0);
        QCOMPARE(zip->entries()[size_t(zip->find("xl/workbook.xml"))].name, QString("xl/workbook.xml"));
        QCOMPARE(zip->find("xl/nothing.xml"), -1);
    }

    // A changed entry keeps its name, time and extra field and is deflated;
    // every other entry is copied byte for byte; a removed one is gone.
    void changedAndRemovedEntries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("excel, padded extras") << QString(KORRIN_CORPUS "/xlsx/crlf_crlf.xlsx");
        QTest::newRow("libreoffice, data descriptors") << QString(KORRIN_CORPUS "/xlsx/LONumbers.xlsx");
        QTest::newRow("zip64 extras") << path("zip64.zip");
        QTest::newRow("comment") << path("comment.zip");
    }
    void changedAndRemovedEntries()
    {
        QFETCH(QString, file);
        QString error;
        auto zip = ZipArchive::open(file, &error);
        QVERIFY(zip);
        const int changed = 0, removed = int(zip->entries().size()) - 1;
        const QByteArray content = QByteArray("<new>") + QByteArray(100000, 'z') + "</new>";
        ZipChanges changes;
        changes.replaced[changed] = [&](ByteSink *sink, QString *) {
            return sink->write(content.left(7)) && sink->write(content.mid(7));
        };
        changes.removed.insert(removed);
        const QString out = path("changed.zip");
        QCOMPARE(rewrite(*zip, changes, out), QString());

        auto again = ZipArchive::open(out, &error);
        QVERIFY2(again, qPrintable(error));
        QCOMPARE(again->entries().size(), zip->entries().size() - 1);
        QByteArray data;
        QVERIFY(again->read(changed, &data, &error));
        QCOMPARE(data, content);
        const ZipEntry &before = zip->entries()[size_t(changed)], &after = again->entries()[size_t(changed)];
        QCOMPARE(after.rawName, before.rawName);
        QCOMPARE(after.modTime, before.modTime);
        QCOMPARE(after.modDate, before.modDate);
        QCOMPARE(after.method, quint16(8));
        QVERIFY(after.compressedSize < 2000);
        QCOMPARE(after.localExtra, Excel::Xlsx::Zip::withoutZip64Extra(before.localExtra));
        for (int i = 1; i < removed; ++i)
            QCOMPARE(rawSpan(out, again->entries()[size_t(i)]), rawSpan(file, zip->entries()[size_t(i)]));
        QCOMPARE(again->find(zip->entries()[size_t(removed)].name), -1);
        QCOMPARE(again->comment(), zip->comment());
        const QByteArray listing = pythonListing(out);
        QVERIFY2(!listing.startsWith("FAILED"), listing.constData());
        QVERIFY(listing.contains(zip->entries()[size_t(changed)].rawName + " 8 "));
    }

    // A part too large to deflate at once goes in pieces deflated side by
    // side and joined into one stream: it must read back whole.
    void largePartInPieces()
    {
        QString error;
        auto zip = ZipArchive::open(path("good.zip"), &error);
        QVERIFY(zip);
        QByteArray content;
        for (int i = 0; content.size() < (19 << 20); ++i)
            content += "<c r=\"A" + QByteArray::number(i) + "\"><v>" + QByteArray::number(i * 7919 % 100003) + "</v></c>";
        ZipChanges changes;
        changes.replaced[1] = [&](ByteSink *sink, QString *) {
            for (int at = 0; at < content.size(); at += 777777)
                if (!sink->write(content.mid(at, 777777)))
                    return false;
            return true;
        };
        const QString out = path("large.zip");
        QCOMPARE(rewrite(*zip, changes, out), QString());
        auto again = ZipArchive::open(out, &error);
        QVERIFY2(again, qPrintable(error));
        QByteArray data;
        QVERIFY2(again->read(1, &data, &error), qPrintable(error));
        QVERIFY(data == content);
        QVERIFY(again->entries()[1].compressedSize < quint64(content.size()) / 3);
        QVERIFY(!pythonListing(out).startsWith("FAILED"));
    }

    void zip64EndRecordsForManyEntries()
    {
        QString error;
        auto zip = ZipArchive::open(path("many.zip"), &error);
        QVERIFY2(zip, qPrintable(error));
        QCOMPARE(int(zip->entries().size()), 70000);
        ZipChanges changes;
        changes.replaced[69999] = [](ByteSink *sink, QString *) { return sink->write(QByteArray("changed")); };
        const QString out = path("many-out.zip");
        QCOMPARE(rewrite(*zip, changes, out), QString());
        QByteArray listing;
        QVERIFY(TestUtil::runPythonCode("import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                                        "print(len(z.infolist()), z.read('e/69999').decode(), z.read('e/00000').decode())",
                                        {out}, &listing));
        QCOMPARE(listing, QByteArray("70000 changed x\n"));
        // The end records are ZIP64 ones, as they must be for this count.
        QVERIFY(TestUtil::readFile(out).contains(QByteArray("PK\x06\x06", 4)));
    }

    void producerFailureFailsTheWrite()
    {
        QString error;
        auto zip = ZipArchive::open(path("good.zip"), &error);
        QVERIFY(zip);
        ZipChanges changes;
        changes.replaced[1] = [](ByteSink *, QString *why) {
            *why = "cannot splice";
            return false;
        };
        QCOMPARE(rewrite(*zip, changes, path("x.zip")), QString("cannot splice"));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a zip") << "notzip.zip" << "not a zip archive";
        QTest::newRow("truncated") << "truncated.zip" << "not a zip archive";
        QTest::newRow("tail cut") << "tailcut.zip" << "not a zip archive";
        QTest::newRow("encrypted") << "encrypted.zip" << "encrypted";
        QTest::newRow("bzip2") << "bzip2.zip" << "compression method 12";
        QTest::newRow("names differing in case") << "duplicate.zip" << "two entries named";
        QTest::newRow("local name differs") << "localname.zip" << "local header";
        QTest::newRow("overlapping entries") << "overlap.zip" << "overlap";
    }
    void refused()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!ZipArchive::open(path(file), &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void refusedOnRead_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crc") << "badcrc.zip" << 1 << "CRC mismatch";
        QTest::newRow("declared size too small") << "liar.zip" << 0 << "more than its declared size";
        QTest::newRow("declared size too large") << "shortliar.zip" << 0 << "size mismatch";
        QTest::newRow("bomb") << "bomb.zip" << 0 << "zip bomb";
    }
    void refusedOnRead()
    {
        QFETCH(QString, file);
        QFETCH(int, entry);
        QFETCH(QString, reason);
        // Held in memory and inflated at once, or streamed from the file.
        for (quint64 wholeFileLimit : {WholeFileReadLimit, quint64(0)}) {
            QString error;
            auto zip = ZipArchive::open(path(file), &error, wholeFileLimit);
            QVERIFY2(zip, qPrintable(error));
            QByteArray data;
            QVERIFY(!zip->read(entry, &data, &error));
            QVERIFY2(error.contains(reason), qPrintable(error));
        }
    }
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
