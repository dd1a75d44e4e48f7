// korrin-batch on the file systems people keep workbooks on: a FAT stick
// (through FUSE, where the kernel has no FAT of its own here), and one
// without file locks (a preloaded library takes them away). A dry run and a
// real run agree, and the workbook reads back.

#include "batchprocess.h"
#include "testbooks.h"

#include <QtTest>

class TestFileSystems : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_fat; // the mount point, once mounted

    static bool succeeds(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // Why no FAT image could be mounted; empty once it is, at m_fat.
    QString mountFat()
    {
        for (const char *tool : {"mkfs.vfat", "fusefat"})
            if (QStandardPaths::findExecutable(tool, {"/usr/sbin", "/sbin", "/usr/bin"}).isEmpty())
                return QStringLiteral("needs %1 (packages dosfstools and fusefat)").arg(tool);
        if (!QFileInfo("/dev/fuse").isWritable())
            return QStringLiteral("needs FUSE (/dev/fuse, writable)");
        const QString image = m_dir.filePath("stick.img"), point = m_dir.filePath("stick");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20) || !QDir().mkpath(point))
            return QStringLiteral("cannot make the image");
        file.close();
        const QString mkfs = QStandardPaths::findExecutable("mkfs.vfat", {"/usr/sbin", "/sbin", "/usr/bin"});
        if (!succeeds(mkfs, {image}) || !succeeds("fusefat", {"-o", "rw+", image, point}))
            return QStringLiteral("fusefat cannot mount a FAT image here");
        m_fat = point;
        return QString();
    }

private slots:
    void cleanupTestCase()
    {
        if (!m_fat.isEmpty() && !succeeds("fusermount", {"-u", m_fat}) && !succeeds("fusermount3", {"-u", m_fat}))
            succeeds("umount", {m_fat});
    }

    // FAT has no permission bits, owners or extended attributes to keep:
    // the save goes through all the same, and the dry run said it would.
    void fatStick()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        const QString why = mountFat();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QStringList books;
        for (const QString &name : QStringList{"book.xlsx", "book.xls"}) {
            TestBooks::write(m_dir.filePath(name), {"old", "kept"});
            QVERIFY(QFile::copy(m_dir.filePath(name), m_fat + "/" + name)); // FAT over FUSE writes in order only
            books << m_fat + "/" + name;
        }
        const BatchProcess::Result dry = BatchProcess::batch(QStringList{"-n", "-p", "old", "new"} + books);
        QCOMPARE(dry.status, 0);
        QCOMPARE(TestBooks::column(books.first()), QString("old|kept"));
        const BatchProcess::Result real = BatchProcess::batch(QStringList{"-p", "old", "new"} + books);
        QCOMPARE(real.status, 0);
        QStringList agreed = dry.lines;
        agreed.replaceInStrings("cells would change", "cells changed").replaceInStrings("cell would change", "cell changed");
        agreed.last().remove(" (dry run: nothing written)");
        agreed.sort();
        QStringList done = real.lines;
        done.sort();
        QCOMPARE(done, agreed);
        for (const QString &book : books)
            QCOMPARE(TestBooks::column(book), QString("new|kept"));
        QCOMPARE(TestBooks::leftovers(m_fat), QStringList());
    }

    // Without locks the run goes on, guarded by the checks that the files
    // did not change; the first report says so, once. Left-over temporary
    // files stay, since a live save cannot be told from a dead one.
    void fileSystemWithoutLocks()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        QStringList books;
        for (const QString &name : QStringList{"a.xlsx", "b.xls", "c.xlsx"}) {
            books << dir.filePath(name);
            TestBooks::write(books.last(), {"old"});
        }
        const QString leftOver = dir.filePath(".~korrin.a.xlsx.0123abcd.tmp");
        QVERIFY(TestUtil::writeFile(leftOver, "left over"));
        const QStringList noLocks{"LD_PRELOAD=" KORRIN_NOLOCKS, "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
        for (const QString &dry : QStringList{"-n", "-v"}) {
            const BatchProcess::Result r = BatchProcess::run(KORRIN_BATCH, QStringList{dry, "-j", "2", "-p", "old", "new"} + books,
                                                             QByteArray(), QStringList(), noLocks);
            QCOMPARE(r.status, 0);
            QCOMPARE(r.lines.filter(QRegularExpression("^SUCCESS\t.*\t1 cell (would change|changed)")).size(), 3);
            QCOMPARE(r.lines.filter("\tworked on without file locks, which its file system does not support").size(), 1);
        }
        for (const QString &book : books)
            QCOMPARE(TestBooks::column(book), QString("new"));
        QCOMPARE(TestBooks::leftovers(dir.path()), QStringList{QFileInfo(leftOver).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestFileSystems)
#include "tst_filesystems.moc"
