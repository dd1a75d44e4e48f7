#include "atomicfile.h"
#include "atomicsave.h"
#include "filelock.h"
#include "temporaryfiles.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestAtomicFile : public QObject
{
    Q_OBJECT

private:
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void write(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    static QStringList leftovers(const QString &dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\.~"));
    }

private slots:
    void replacesAndKeepsPermissions()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("book.xlsx");
        write(path, "old");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QString error;
        QVERIFY2(Excel::writeFileAtomically(path, "new content", &error), qPrintable(error));
        QCOMPARE(read(path), QByteArray("new content"));
        QCOMPARE(QFile::permissions(path) & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser
                     | QFileDevice::ReadGroup);
        QVERIFY(leftovers(tmp.path()).isEmpty());
    }

    void followsSymbolicLinks()
    {
        QTemporaryDir tmp;
        const QString target = tmp.filePath("real.xlsx");
        write(target, "old");
        QVERIFY(QFile::link(target, tmp.filePath("link.xlsx")));
        QString error;
        QVERIFY2(Excel::writeFileAtomically(tmp.filePath("link.xlsx"), "new", &error), qPrintable(error));
        QVERIFY(QFileInfo(tmp.filePath("link.xlsx")).isSymLink());
        QCOMPARE(read(target), QByteArray("new"));

        // Through a linked folder and back out of it, and relative to the
        // current folder: the file the name leads to is replaced.
        QVERIFY(QDir(tmp.path()).mkpath("real/inner"));
        QVERIFY(QFile::link(tmp.filePath("real/inner"), tmp.filePath("via")));
        const QString beside = tmp.filePath("real/book.xlsx");
        write(beside, "old");
        QVERIFY2(Excel::writeFileAtomically(tmp.filePath("via/../book.xlsx"), "through", &error), qPrintable(error));
        QCOMPARE(read(beside), QByteArray("through"));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.filePath("real")));
        const bool relative = Excel::writeFileAtomically("book.xlsx", "relative", &error);
        QDir::setCurrent(cwd);
        QVERIFY2(relative, qPrintable(error));
        QCOMPARE(read(beside), QByteArray("relative"));
        QVERIFY(leftovers(tmp.filePath("real")).isEmpty() && leftovers(tmp.path()).isEmpty());
    }

    void readOnlyFileAndFolderAreRefused()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("book.xlsx");
        write(path, "old");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QString error;
        QVERIFY(!Excel::writeFileAtomically(path, "new", &error));
        QVERIFY(error.contains("read-only"));
        QCOMPARE(read(path), QByteArray("old"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        QVERIFY(QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!Excel::writeFileAtomically(path, "new", &error));
        QVERIFY(QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QCOMPARE(read(path), QByteArray("old"));
        QVERIFY(leftovers(tmp.path()).isEmpty());
    }

    void failedProducerLeavesNothing()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("list.xlsx");
        write(path, "old");
        QString error;
        QVERIFY(!Excel::replaceFileAtomically(
            path,
            [](const QString &temp, QString *why) {
                QFile f(temp);
                f.open(QIODevice::WriteOnly);
                f.write("half");
                *why = "library failed";
                return false;
            },
            &error));
        QCOMPARE(error, QString("library failed"));
        QCOMPARE(read(path), QByteArray("old"));
        QVERIFY(leftovers(tmp.path()).isEmpty());
    }

    void createsANewFile()
    {
        QTemporaryDir tmp;
        QString error;
        QVERIFY(Excel::writeFileAtomically(tmp.filePath("fresh.xlsx"), "x", &error));
        QCOMPARE(read(tmp.filePath("fresh.xlsx")), QByteArray("x"));
        // a new file is not left private to its owner as a temporary file is
        const mode_t mask = umask(022);
        umask(mask);
        struct stat st;
        QVERIFY(stat(QFile::encodeName(tmp.filePath("fresh.xlsx")).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
    }

    void producerThatReplacesItsFileIsTakenUp()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("list.xlsx");
        write(path, "old");
        QString error;
        QVERIFY2(Excel::replaceFileAtomically(
                     path,
                     [](const QString &temp, QString *) {
                         // as a library that writes elsewhere and renames
                         write(temp + ".part", "from the library");
                         return QFile::remove(temp) && QFile::rename(temp + ".part", temp);
                     },
                     &error),
                 qPrintable(error));
        QCOMPARE(read(path), QByteArray("from the library"));
        QVERIFY(leftovers(tmp.path()).isEmpty());
    }

    void saveRefusesAFileChangedSinceItWasRead()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("book.xlsx");
        write(path, "old");
        Excel::FileIdentity id;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(Excel::identityOfDescriptor(f.handle(), &id));
        }
        Excel::AtomicSave save;
        QString error;
        QVERIFY2(save.begin(path, &id, &error), qPrintable(error));
        QVERIFY(::write(save.fd(), "ours", 4) == 4);
        write(path, "someone else's longer content"); // while we were writing
        QVERIFY(!save.commit(&error));
        QVERIFY2(error.contains("changed by someone else"), qPrintable(error));
        QCOMPARE(read(path), QByteArray("someone else's longer content"));
        QVERIFY(leftovers(tmp.path()).isEmpty());

        // and one that is gone is not created anew
        QVERIFY(QFile::remove(path));
        QVERIFY(!save.begin(path, &id, &error));
        QVERIFY(!QFile::exists(path));
    }

    void abandonedSaveLeavesNoTemporaryFile()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("book.xlsx");
        write(path, "old");
        {
            Excel::AtomicSave save;
            QString error;
            QVERIFY(save.begin(path, nullptr, &error));
            QVERIFY(::write(save.fd(), "partial", 7) == 7);
        }
        QCOMPARE(read(path), QByteArray("old"));
        QVERIFY(leftovers(tmp.path()).isEmpty());
    }

    // A save killed halfway leaves its temporary file; the clean-up removes
    // it. One that a save under way holds locked stays, and so does a file
    // of another user under such a name: neither stops a save, which takes a
    // name of its own.
    void onlyOurOwnStaleTemporariesAreRemoved()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("book.xlsx");
        write(path, "old");
        const QString stem = tmp.filePath(QString::fromUtf8(Excel::temporaryNameStem("book.xlsx")));
        QCOMPARE(QFileInfo(stem).fileName(), QString(".~korrin.book.xlsx."));
        const QString killed = stem + "Q7x0ab3Z.tmp", older = tmp.filePath(".~korrin.book.xlsx.tmp");
        const QString live = stem + "LiveSave.tmp", foreign = tmp.filePath(".~korrin.other.xlsx.tmp");
        for (const QString &name : {killed, older, live, foreign})
            write(name, "half of a save");
        const int fd = ::open(QFile::encodeName(live).constData(), O_RDWR);
        QVERIFY(fd >= 0);
        QVERIFY(Excel::tryLockFile(fd) == Excel::FileLock::Held);
        const bool asRoot = ::geteuid() == 0;
        if (asRoot)
            QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);

        QString error;
        QVERIFY2(Excel::writeFileAtomically(path, "new", &error), qPrintable(error));
        QCOMPARE(read(path), QByteArray("new"));
        QCOMPARE(Excel::removeStaleTemporaryFiles(QFile::encodeName(tmp.path())), asRoot ? 2 : 3);
        QStringList left{QFileInfo(live).fileName()};
        if (asRoot)
            left.append(QFileInfo(foreign).fileName());
        QCOMPARE(leftovers(tmp.path()), left);
        QCOMPARE(read(live), QByteArray("half of a save"));
        ::close(fd);

        // a name too long to take the prefix keeps to the limit, and two
        // such names with the same start get different temporary names
        const QByteArray longName = QByteArray(240, 'n') + "1.xlsx";
        QVERIFY(Excel::temporaryNameStem(longName).size() + 12 <= 255);
        QVERIFY(Excel::temporaryNameStem(longName) != Excel::temporaryNameStem(QByteArray(240, 'n') + "2.xlsx"));
        write(tmp.filePath(QString::fromUtf8(longName)), "old");
        QVERIFY2(Excel::writeFileAtomically(tmp.filePath(QString::fromUtf8(longName)), "new", &error),
                 qPrintable(error));
    }
};

QTEST_APPLESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
