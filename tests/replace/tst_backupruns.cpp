// The folders of the runs' backups: what a run leaves, how the runs are
// listed (a run cut short included) and pruned, and the names of copies.

#include "backuprun.h"
#include "workbookbackup.h"
#include "testutil.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestBackupRuns : public QObject
{
    Q_OBJECT

private:
    // A run that backs up the files (each "changed" in cells cells) and,
    // unless cut short, finishes.
    static QString makeRun(const QString &root, const QStringList &files, qint64 cells, bool finish = true)
    {
        QString error;
        std::unique_ptr<BackupRun> run = BackupRun::start(root, &error);
        if (!run)
            return QString();
        for (const QString &path : files) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            BackupEntry entry;
            const bool ok = fd >= 0 && run->backUp(fd, path, &entry, &error);
            ::close(fd);
            entry.written = QByteArray(64, 'a');
            entry.cells = cells;
            if (!ok || !run->note(entry, &error))
                return QString();
            run->settle(entry, true);
        }
        if (finish && !run->finish(&error))
            return QString();
        return run->folder();
    }

private slots:
    void runsAreListedAndPruned()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("backups"), a = dir.filePath("a.xlsx"), b = dir.filePath("b.xls");
        QVERIFY(TestUtil::writeFile(a, "first") && TestUtil::writeFile(b, "second"));
        const QString one = makeRun(root, {a, b}, 3);
        const QString two = makeRun(root, {a}, 5);
        QVERIFY(!one.isEmpty() && !two.isEmpty() && one != two);
        const QString empty = makeRun(root, {}, 0);
        QVERIFY(!empty.isEmpty() && !QFileInfo::exists(empty)); // a run that backed nothing up leaves nothing
        const QString cut = makeRun(root, {b}, 7, false);
        QVERIFY(QDir().mkpath(root + "/not a run"));

        QVector<BackupRunInfo> runs = listBackupRuns(root);
        QCOMPARE(runs.size(), 3);
        QCOMPARE(runs[0].folder, cut);
        QVERIFY(!runs[0].complete);
        QCOMPARE(runs[0].files, 1);
        QCOMPARE(runs[0].cells, qint64(7));
        QCOMPARE(runs[1].folder, two);
        QCOMPARE(runs[2].folder, one);
        QVERIFY(runs[2].complete);
        QCOMPARE(runs[2].files, 2);
        QCOMPARE(runs[2].cells, qint64(6));
        QVERIFY(runs[2].started.isValid());

        BackupRunInfo info;
        QVector<BackupEntry> entries;
        QString error;
        QVERIFY(readBackupRun(one, &info, &entries, &error));
        QCOMPARE(entries[0].path, a);
        QCOMPARE(TestUtil::readFile(one + "/" + entries[0].backup), QByteArray("first"));
        QVERIFY(markUndone(one, &error) && readBackupRun(one, &info, &entries, &error));
        QVERIFY(info.undone.isValid() && info.complete);

        // The oldest go; one holding more than a run writes stays.
        QVERIFY(QDir().mkpath(two + "/extra"));
        QVERIFY(!pruneBackupRuns(root, 1, &error));
        QVERIFY2(error.contains("holds more than"), qPrintable(error));
        QVERIFY(!QFileInfo::exists(one));
        QVERIFY(QFileInfo::exists(two) && QFileInfo::exists(cut) && QFileInfo::exists(root + "/not a run"));
    }

    void copyNamesFit()
    {
        QCOMPARE(numberedName("book.xlsx", 0), QString("book.xlsx"));
        QCOMPARE(numberedName("book.xlsx", 2), QString("book (2).xlsx"));
        QCOMPARE(numberedName(".hidden", 1), QString(".hidden (1)"));
        // 84 three-byte characters: 252 bytes with the extension
        const QString name = QString(82, QChar(0x8868)) + "表.x";
        const QString n = numberedName(name, 12);
        QVERIFY(QFile::encodeName(n).size() <= 255);
        QVERIFY(n.endsWith(" (12).x") && n.startsWith(QString(70, QChar(0x8868))));
    }
};

QTEST_GUILESS_MAIN(TestBackupRuns)
#include "tst_backupruns.moc"
