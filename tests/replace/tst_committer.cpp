// Saves put in place by the committer, many into one folder at once: each
// reported once, only after its rename and with its workbook still locked;
// one that can no longer be put in place fails with its reason and leaves
// the original as it was.

#include "atomicfile.h"
#include "committer.h"
#include "filelock.h"
#include "testbooks.h"
#include "workbooklock.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestCommitter : public QObject
{
    Q_OBJECT

    struct Outcome
    {
        int reports = 0;
        bool saved = false;
        QString error;
        QByteArray contentWhenReported;
        bool lockedWhenReported = false;
    };

private slots:
    void reportsEachSaveOnceWhenInPlace()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a") && QDir(dir.path()).mkdir("b"));
        const int count = 24;
        const int failing = 5;
        QVector<QString> paths;
        QVector<int> probes; // the originals, to see whether they are still locked
        QVector<Outcome> outcomes(count);
        QMutex mutex;
        {
            Committer committer(4);
            for (int i = 0; i < count; ++i) {
                paths << dir.filePath(QString("%1/book%2.xlsx").arg(i % 3 ? "a" : "b").arg(i));
                QVERIFY(Excel::writeFileAtomically(paths[i], "old", nullptr));
                probes << ::open(QFile::encodeName(paths[i]).constData(), O_RDWR | O_CLOEXEC);
                QVERIFY(probes[i] >= 0);
                auto lock = std::make_unique<WorkbookLock>();
                QString error;
                QVERIFY2(lock->acquire(paths[i], 0, &error), qPrintable(error));
                Excel::FileIdentity read;
                QVERIFY(Excel::identityOfDescriptor(lock->fd(), &read));
                auto save = std::make_unique<Excel::AtomicSave>();
                QVERIFY2(save->begin(paths[i], &read, &error), qPrintable(error));
                QVERIFY(Excel::writeAll(save->fd(), "new", &error));
                if (i == failing) { // changed by someone else before the commit
                    QFile f(paths[i]);
                    QVERIFY(f.open(QIODevice::Append) && f.write("+theirs") > 0);
                }
                const QString path = paths[i];
                const int probe = probes[i];
                committer.submit(std::move(save), std::move(lock), [&, i, path, probe](bool saved, const QString &why) {
                    QFile f(path);
                    const QByteArray content = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                    const bool locked = Excel::tryLockFile(probe) == Excel::FileLock::Busy;
                    QMutexLocker locker(&mutex);
                    Outcome &o = outcomes[i];
                    ++o.reports;
                    o.saved = saved;
                    o.error = why;
                    o.contentWhenReported = content;
                    o.lockedWhenReported = locked;
                });
            }
        } // waits for every save
        for (int i = 0; i < count; ++i) {
            const Outcome &o = outcomes.at(i);
            QCOMPARE(o.reports, 1);
            QVERIFY(o.lockedWhenReported);
            if (i == failing) {
                QVERIFY(!o.saved);
                QCOMPARE(o.error, QString("the file was changed by someone else since it was opened"));
                QCOMPARE(o.contentWhenReported, QByteArray("old+theirs"));
            } else {
                QVERIFY2(o.saved, qPrintable(o.error));
                QCOMPARE(o.contentWhenReported, QByteArray("new"));
            }
            ::close(probes[i]);
        }
        QVERIFY(TestBooks::leftovers(dir.filePath("a")).isEmpty());
        QVERIFY(TestBooks::leftovers(dir.filePath("b")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommitter)
#include "tst_committer.moc"
