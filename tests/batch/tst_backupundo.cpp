// Backups in a folder per run and --undo, through korrin-batch: a run taken
// back byte for byte, files changed since or open elsewhere left alone, and
// backup folders that must not be used refused before anything changes.

#include "batchprocess.h"
#include "testbooks.h"

#include <QCryptographicHash>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

class TestBackupUndo : public QObject
{
    Q_OBJECT

private:
    using Result = BatchProcess::Result;

    static QString onlyRun(const QString &root)
    {
        const QStringList runs = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return runs.size() == 1 ? root + "/" + runs.first() : QString();
    }
    static QJsonObject manifest(const QString &run)
    {
        return QJsonDocument::fromJson(TestBooks::bytes(run + "/manifest.json")).object();
    }
    static QString sha256(const QByteArray &data)
    {
        return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    }
    // The state of each file's report line, by path.
    static QMap<QString, QString> outcomes(const Result &r)
    {
        QMap<QString, QString> out;
        for (const QString &line : r.lines)
            if (line.count('\t') >= 1) {
                const QString state = line.section('\t', 0, 0);
                out[line.section('\t', 1, 1)] = state + " " + line.section('\t', state == "SUCCESS" ? 3 : 2);
            }
        return out;
    }
    static bool giveToOtherUser(const QString &path)
    {
        return ::chown(QFile::encodeName(path).constData(), BatchProcess::otherUid, BatchProcess::otherGid) == 0;
    }

private slots:
    // Every file of the run back byte for byte; one changed since the run
    // and one open in LibreOffice (its lock file) are left as they are, and
    // the one open elsewhere is restored once it is closed. The dry run
    // says the same and changes nothing.
    void undoPutsTheRunBack()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString a = dir.filePath("a.xlsx"), b = dir.filePath("b.xls"), edited = dir.filePath("edited.xlsx"),
                      open = dir.filePath("open.xlsx"), none = dir.filePath("none.xlsx");
        for (const QString &path : {a, b, edited, open})
            TestBooks::write(path, {"alpha", "beta alpha"});
        TestBooks::write(none, {"beta"});
        QMap<QString, QByteArray> original;
        for (const QString &path : {a, b, edited, open, none})
            original[path] = TestBooks::bytes(path);

        const QString root = dir.filePath("backups");
        Result r = BatchProcess::batch({"-p", "alpha", "omega", "-b", root, a, b, edited, open, none});
        QCOMPARE(r.status, 0);
        const QString run = onlyRun(root);
        QVERIFY(!run.isEmpty());
        QVERIFY(QFileInfo::exists(root + "/.korrin-backups") && QFileInfo::exists(run + "/.korrin-backups"));
        QVERIFY(!QFileInfo::exists(run + "/manifest.jsonl"));
        const QJsonArray files = manifest(run).value("files").toArray();
        QCOMPARE(files.size(), 4); // the unchanged one is not copied
        for (const QJsonValue &v : files) {
            const QJsonObject o = v.toObject();
            const QString path = o.value("path").toString();
            QCOMPARE(o.value("originalSha256").toString(), sha256(original.value(path)));
            QCOMPARE(o.value("writtenSha256").toString(), sha256(TestBooks::bytes(path)));
            QCOMPARE(TestBooks::bytes(run + "/" + o.value("backup").toString()), original.value(path));
            QCOMPARE(o.value("cells").toInt(), 2);
        }
        TestBooks::write(edited, {"someone else's"});
        const QByteArray editedNow = TestBooks::bytes(edited);
        const QString lock = dir.filePath(".~lock.open.xlsx#");
        QVERIFY(TestUtil::writeFile(lock, "someone,host,host,01.01.2025 10:00,file:///home/someone;\n"));
        QMap<QString, QByteArray> written;
        for (const QString &path : {a, b, open})
            written[path] = TestBooks::bytes(path);

        const QString changed = "FAILURE changed since the run; not restored";
        for (const bool dry : {true, false}) {
            r = BatchProcess::batch(QStringList{"--undo", run} + (dry ? QStringList{"-n"} : QStringList()));
            QCOMPARE(r.status, 1);
            const QMap<QString, QString> o = outcomes(r);
            QCOMPARE(o.value(a), QString("SUCCESS "));
            QCOMPARE(o.value(b), QString("SUCCESS "));
            QCOMPARE(o.value(edited), changed);
            QVERIFY2(o.value(open).startsWith("FAILURE open in another program"), qPrintable(o.value(open)));
            QCOMPARE(TestBooks::bytes(a), dry ? written.value(a) : original.value(a));
            QCOMPARE(TestBooks::bytes(b), dry ? written.value(b) : original.value(b));
            QCOMPARE(TestBooks::bytes(edited), editedNow);
            QCOMPARE(TestBooks::bytes(open), written.value(open));
        }
        QVERIFY(!manifest(run).contains("undone")); // not all of it was
        QVERIFY(QFile::remove(lock));
        r = BatchProcess::batch({"--undo", run});
        const QMap<QString, QString> o = outcomes(r);
        QCOMPARE(o.value(open), QString("SUCCESS "));
        QCOMPARE(o.value(a), QString("SUCCESS as it was before the run already; nothing to restore"));
        QCOMPARE(o.value(edited), changed);
        QCOMPARE(TestBooks::bytes(open), original.value(open));
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());

        // Not a run folder, or given with work of its own: nothing happens.
        r = BatchProcess::batch({"--undo", dir.path()});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("no folder of a run's backups"), qPrintable(r.err));
        r = BatchProcess::batch({"--undo", run, "-p", "x", "y", a});
        QCOMPARE(r.status, 2);
    }

    // An undo replaces a workbook as a save does: a read-only one, or one
    // that got another name (a hard link) since the run, fails untouched,
    // in a dry run as in the real undo; with --break-links the name given
    // is restored and the other keeps what the run wrote.
    void undoSavesAsARunSaves()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString locked = dir.filePath("readonly.xlsx"), linked = dir.filePath("linked.xlsx"),
                      twin = dir.filePath("twin.xlsx");
        for (const QString &path : {locked, linked})
            TestBooks::write(path, {"alpha"});
        const QByteArray original = TestBooks::bytes(linked);
        Result r = BatchProcess::batch({"-p", "alpha", "omega", "-b", dir.filePath("backups"), locked, linked});
        QCOMPARE(r.status, 0);
        const QString run = onlyRun(dir.filePath("backups"));
        const QByteArray written = TestBooks::bytes(linked);
        // Saved in another second, it differs in its zip timestamps.
        const QByteArray lockedWritten = TestBooks::bytes(locked);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QVERIFY(::link(QFile::encodeName(linked).constData(), QFile::encodeName(twin).constData()) == 0);

        for (const QStringList &dry : {QStringList{"-n"}, QStringList()}) {
            r = BatchProcess::batch(dry + QStringList{"--undo", run});
            QCOMPARE(r.status, 1);
            const QMap<QString, QString> o = outcomes(r);
            QCOMPARE(o.value(locked), QString("FAILURE not restored: the file is read-only"));
            QVERIFY2(o.value(linked).startsWith("FAILURE the file has 2 hard links"), qPrintable(o.value(linked)));
            QCOMPARE(TestBooks::bytes(locked), lockedWritten);
            QCOMPARE(TestBooks::bytes(linked), written);
        }
        r = BatchProcess::batch({"--break-links", "--undo", run});
        QCOMPARE(outcomes(r).value(linked), QString("SUCCESS "));
        QCOMPARE(TestBooks::bytes(linked), original);
        QCOMPARE(TestBooks::bytes(twin), written);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
    }

    // A backup folder that is a symbolic link, or another user's folder,
    // is refused before any workbook changes: whoever planted it would
    // read the copies. The run's user's own folder is fine.
    void backupFolderMustBeTheUsersOwn()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("mine/book.xlsx");
        QVERIFY(QDir().mkpath(dir.filePath("mine")) && QDir().mkpath(dir.filePath("planted")));
        TestBooks::write(book, {"alpha"});
        const QByteArray before = TestBooks::bytes(book);
        QVERIFY(QFile::link(dir.filePath("planted"), dir.filePath("link")));
        Result r;
        // A dry run, which backs nothing up, refuses it too.
        for (const QStringList &dry : {QStringList{"-n"}, QStringList()}) {
            r = BatchProcess::batch(dry + QStringList{"-p", "alpha", "omega", "-b", dir.filePath("link"), book});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains("is a symbolic link"), qPrintable(r.err));
            QCOMPARE(TestBooks::bytes(book), before);
            QVERIFY(QDir(dir.filePath("planted")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        }

        KORRIN_REQUIRE_OTHER_USER();
        const QStringList other = BatchProcess::asOtherUser();
        // The other user runs on his own workbook; root planted a folder
        // that anyone may write into.
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                      | QFileDevice::ExeOther));
        QVERIFY(giveToOtherUser(dir.filePath("mine")) && giveToOtherUser(book));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("planted")).constData(), 01777) == 0);
        r = BatchProcess::batch({"-p", "alpha", "omega", "-b", dir.filePath("planted"), book}, other);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("belongs to another user"), qPrintable(r.err));
        QCOMPARE(TestBooks::bytes(book), before);
        QVERIFY(QDir(dir.filePath("planted")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        r = BatchProcess::batch({"-p", "alpha", "omega", "-b", dir.filePath("mine/backups"), book}, other);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(TestBooks::bytes(onlyRun(dir.filePath("mine/backups")) + "/book.xlsx"), before);
    }

    // Two workbooks of the same name as long as a name may be get copies of
    // their own in one run: the second name is cut short, not refused.
    void longNamesAreShortened()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString name = QString(247, QLatin1Char('n')) + ".xlsx"; // 252 bytes
        const QString first = dir.filePath("one/" + name), second = dir.filePath("two/" + name);
        QVERIFY(QDir().mkpath(dir.filePath("one")) && QDir().mkpath(dir.filePath("two")));
        TestBooks::write(first, {"alpha 1"});
        TestBooks::write(second, {"alpha 2"});
        const QByteArray a = TestBooks::bytes(first), b = TestBooks::bytes(second);
        const Result r = BatchProcess::batch({"-p", "alpha", "omega", "-b", dir.filePath("backups"), first, second});
        QVERIFY2(r.status == 0, r.out.constData());
        const QString run = onlyRun(dir.filePath("backups"));
        QMap<QString, QString> copies;
        for (const QJsonValue &v : manifest(run).value("files").toArray())
            copies[v.toObject().value("path").toString()] = v.toObject().value("backup").toString();
        QCOMPARE(copies.size(), 2);
        const QString shortened = copies.value(first) == name ? copies.value(second) : copies.value(first);
        QVERIFY2(shortened.endsWith(" (1).xlsx") && shortened.toUtf8().size() <= 255, qPrintable(shortened));
        QCOMPARE(TestBooks::bytes(run + "/" + copies.value(first)), a);
        QCOMPARE(TestBooks::bytes(run + "/" + copies.value(second)), b);
    }

    // Where the record or the backups cannot go, the run does not start:
    // exit status 2, every workbook as it was, nothing left behind.
    void unusablePathsAreRefusedFirst()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx");
        TestBooks::write(book, {"alpha"});
        const QByteArray before = TestBooks::bytes(book);
        QVERIFY(TestUtil::writeFile(dir.filePath("file"), "x"));
        const QList<QPair<QStringList, QString>> cases{
            {{"--changes", dir.filePath("missing/record.csv")}, "cannot write"},
            {{"--changes", dir.filePath("record.txt")}, "as .xlsx or .csv"},
            {{"--changes", dir.path() + "/"}, ".xlsx or .csv"},
            {{"-b", dir.filePath("file")}, "is not a folder"},
            {{"-b", "/proc/no/backups"}, "cannot create the backup folder"},
        };
        for (const auto &c : cases) {
            const Result r = BatchProcess::batch(c.first + QStringList{"-p", "alpha", "omega", book});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(c.second), qPrintable(r.err));
            QCOMPARE(TestBooks::bytes(book), before);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({"book.xlsx", "file"}));
    }

    // The disk holding the backups fills up: the workbook whose copy does
    // not fit fails and stays as it was; the one whose copy fits changes.
    void fullDiskFailsThatFile()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString small = dir.filePath("small.xlsx"), big = dir.filePath("big.xlsx");
        TestBooks::write(small, {"alpha"});
        TestBooks::python("import sys, os, openpyxl\nwb = openpyxl.Workbook(); ws = wb.active\nws['A1'] = 'alpha'\n"
                          "for r in range(2, 3000): ws.cell(r, 1, os.urandom(40).hex())\nwb.save(sys.argv[1])\n",
                          {big});
        QVERIFY(QFileInfo(big).size() > 160 * 1024);
        const QString mount = dir.filePath("disk");
        QVERIFY(QDir().mkpath(mount));
        if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=96k") != 0)
            QSKIP("a small disk for the backups needs a tmpfs mount (root)");
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(mount).constData()); });
        const QByteArray bigBefore = TestBooks::bytes(big);
        const Result r = BatchProcess::batch({"-p", "alpha", "omega", "-b", mount + "/backups", small, big});
        QCOMPARE(r.status, 1);
        const QMap<QString, QString> o = outcomes(r);
        QCOMPARE(o.value(small), QString("SUCCESS "));
        QVERIFY2(o.value(big).startsWith("FAILURE backup: ") && o.value(big).contains("No space left"),
                 qPrintable(o.value(big)));
        QCOMPARE(TestBooks::bytes(big), bigBefore);
        QCOMPARE(TestBooks::column(small), QString("omega"));
        const QString run = onlyRun(mount + "/backups");
        QCOMPARE(manifest(run).value("files").toArray().size(), 1);
        QVERIFY(TestBooks::leftovers(dir.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupUndo)
#include "tst_backupundo.moc"
