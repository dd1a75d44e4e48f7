// korrin-batch in a folder that others share: links and files another
// user planted, hard links, permissions, backups inside the folder and
// office lock files left behind. Where the tests run as root, a second
// user (uid 65534) owns what "another user" planted.

#include "batchprocess.h"
#include "testbooks.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

class TestSharedFolders : public QObject
{
    Q_OBJECT

    static QByteArray native(const QString &path) { return QFile::encodeName(path); }
    // A folder like /tmp: anyone may write to it, only owners remove.
    static QString sharedFolder(const QTemporaryDir &dir, const QString &name)
    {
        const QString path = dir.filePath(name);
        if (!QDir().mkdir(path) || ::chmod(native(path).constData(), 01777) != 0)
            return QString();
        ::chmod(native(dir.path()).constData(), 0755); // others reach it
        return path;
    }
    static bool plantLink(const QString &target, const QString &link, bool asOther)
    {
        return QFile::link(target, link)
            && (!asOther || ::lchown(native(link).constData(), BatchProcess::otherUid, BatchProcess::otherGid) == 0);
    }
    static QString command(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    }

private slots:
    // A folder scan follows links within the folder only, and never one
    // that another user may have planted in a shared folder; what it left
    // out is named and counted. A link named as a file is followed.
    void scansStayInsideTheFolder()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString shared = sharedFolder(dir, "shared"), own = dir.filePath("private");
        QVERIFY(!shared.isEmpty() && QDir().mkpath(own) && QDir().mkpath(shared + "/sub"));
        for (const QString &book : {own + "/mine.xlsx", own + "/other.xlsx", shared + "/sub/real.xlsx"})
            TestBooks::write(book, {"secret"});
        QVERIFY(::chmod(native(own + "/mine.xlsx").constData(), 0600) == 0);
        const QByteArray mine = TestBooks::bytes(own + "/mine.xlsx"), other = TestBooks::bytes(own + "/other.xlsx");
        QVERIFY(plantLink(own + "/other.xlsx", shared + "/outside.xlsx", false));
        QVERIFY(plantLink(shared + "/sub/real.xlsx", shared + "/inside.xlsx", false));
        const bool twoUsers = BatchProcess::whyNoOtherUser().isEmpty();
        if (twoUsers) {
            QVERIFY(plantLink(own + "/mine.xlsx", shared + "/evil.xlsx", true));
            QVERIFY(plantLink(own, shared + "/evil-folder", true));
            QVERIFY(plantLink(shared + "/sub/real.xlsx", shared + "/planted.xlsx", true));
        }

        BatchProcess::Result r = BatchProcess::batch({"-p", "secret", "public", shared});
        QCOMPARE(r.status, 0);
        QCOMPARE(TestBooks::bytes(own + "/mine.xlsx"), mine);
        QCOMPARE(TestBooks::bytes(own + "/other.xlsx"), other);
        QCOMPARE(TestBooks::column(shared + "/sub/real.xlsx"), QString("public"));
        QVERIFY2(r.err.contains("not followed: " + shared + "/outside.xlsx (a link out of the folder"), qPrintable(r.err));
        QVERIFY(!r.lines.filter(shared + "/inside.xlsx").isEmpty()); // the same workbook, processed once
        const QString counted = twoUsers ? "; not scanned: 1 link out of its folder, 3 links of other users"
                                         : "; not scanned: 1 link out of its folder";
        QVERIFY2(r.lines.last().endsWith(counted), qPrintable(r.lines.last()));

        // the user's own choice
        r = BatchProcess::batch({"-p", "secret", "public", shared + "/outside.xlsx"});
        QCOMPARE(r.status, 0);
        QCOMPARE(TestBooks::column(own + "/other.xlsx"), QString("public"));
        if (!twoUsers)
            QSKIP(qPrintable("links of another user: " + BatchProcess::whyNoOtherUser()));
    }

    // A workbook with a second name fails untouched, in a dry run too: a
    // save would leave the old content under the other name. With
    // --break-links the name given is saved and the other keeps the old.
    void hardLinksAreNotBrokenSilently()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx"), twin = dir.filePath("twin.xlsx");
        TestBooks::write(book, {"old"});
        QVERIFY(::link(native(book).constData(), native(twin).constData()) == 0);
        const QByteArray before = TestBooks::bytes(book);
        for (const QStringList &args : {QStringList{"-n", "-p", "old", "new", book}, QStringList{"-p", "old", "new", book}}) {
            const BatchProcess::Result r = BatchProcess::batch(args);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.lines.first().startsWith("FAILURE\t" + book + "\tthe file has 2 hard links"),
                     qPrintable(r.lines.first()));
        }
        QCOMPARE(TestBooks::bytes(twin), before);

        const BatchProcess::Result r = BatchProcess::batch({"--break-links", "-p", "old", "new", book, twin});
        QCOMPARE(r.status, 1);
        QVERIFY(r.lines.contains("SUCCESS\t" + book + "\t1 cell changed"));
        QVERIFY2(r.lines.filter(QRegularExpression("^FAILURE\t" + QRegularExpression::escape(twin)
                                                   + "\tnot processed: another name \\(hard link\\) of .*keeps the old content$"))
                         .size() == 1,
                 qPrintable(r.lines.join('\n')));
        QCOMPARE(TestBooks::column(book), QString("new"));
        QCOMPARE(TestBooks::bytes(twin), before);
    }

    // The new file has the old one's owner, group, mode, ACL (a user named
    // in it keeps access, the mask stays) and extended attributes; a
    // folder's default ACL does not creep into a file that had none.
    void saveKeepsOwnerModeAclAndAttributes()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        if (QStandardPaths::findExecutable("setfacl").isEmpty() || QStandardPaths::findExecutable("getfacl").isEmpty())
            QSKIP("needs setfacl and getfacl (package acl)");
        QTemporaryDir dir;
        const QString folder = dir.filePath("acl");
        QVERIFY(QDir().mkdir(folder));
        ::chmod(native(dir.path()).constData(), 0755);
        const QString book = folder + "/book.xlsx", plain = folder + "/plain.xlsx";
        TestBooks::write(book, {"old"});
        TestBooks::write(plain, {"old"});
        const bool twoUsers = BatchProcess::whyNoOtherUser().isEmpty();
        QVERIFY(::chmod(native(book).constData(), 0640) == 0);
        if (twoUsers)
            QVERIFY(::chown(native(book).constData(), BatchProcess::otherUid, BatchProcess::otherGid) == 0);
        const QString named = QString("u:%1:rw").arg(twoUsers ? BatchProcess::otherUid : ::geteuid());
        QVERIFY(command("setfacl", {"-m", named + ",m::rw", book}).isEmpty());
        if (::setxattr(native(book).constData(), "user.note", "keep me", 7, 0) != 0)
            QSKIP("the test folder's file system takes no user.* attributes");
        QVERIFY(command("setfacl", {"-d", "-m", named, folder}).isEmpty());
        const QString acl = command("getfacl", {"-p", book}), plainAcl = command("getfacl", {"-p", plain});
        struct stat was;
        QVERIFY(::stat(native(book).constData(), &was) == 0);

        const BatchProcess::Result r = BatchProcess::batch({"-p", "old", "new", book, plain});
        QCOMPARE(r.status, 0);
        QCOMPARE(TestBooks::column(book), QString("new"));
        struct stat now;
        QVERIFY(::stat(native(book).constData(), &now) == 0);
        QVERIFY(now.st_ino != was.st_ino); // a new file, with all the old one had
        QCOMPARE(now.st_mode, was.st_mode);
        QCOMPARE(now.st_uid, was.st_uid);
        QCOMPARE(now.st_gid, was.st_gid);
        QCOMPARE(command("getfacl", {"-p", book}), acl);
        QCOMPARE(command("getfacl", {"-p", plain}), plainAcl);
        char value[16] = {};
        QCOMPARE(::getxattr(native(book).constData(), "user.note", value, sizeof value), ssize_t(7));
        QCOMPARE(QByteArray(value), QByteArray("keep me"));
        if (!twoUsers)
            QSKIP(qPrintable("the named user's access: " + BatchProcess::whyNoOtherUser()));
        // the named user still writes it (the mode alone would not let them)
        QCOMPARE(BatchProcess::run("/bin/sh", {"-c", "test -w \"$0\" && test -r \"$0\"", book}, QByteArray(),
                                   BatchProcess::asOtherUser())
                     .status,
                 0);
    }

    // Backups are never scanned: not the folder named by --backup-dir in a
    // scanned folder (not marked), nor any folder marked as one; nor is the
    // record of --changes that an earlier run left in the folder.
    void backupFoldersAreNotScanned()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString top = dir.filePath("top"), kept = dir.filePath("top/kept");
        QVERIFY(QDir().mkpath(kept));
        TestBooks::write(top + "/a.xlsx", {"x"});
        TestBooks::write(kept + "/old.xlsx", {"x"});
        QVERIFY(TestUtil::writeFile(kept + "/.korrin-backups", ""));
        const QByteArray old = TestBooks::bytes(kept + "/old.xlsx");

        const QStringList record{"--changes", top + "/record.xlsx"};
        BatchProcess::Result r = BatchProcess::batch(record + QStringList{"-b", top + "/bk", "-p", "x", "y", top});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 2);
        QCOMPARE(TestBooks::column(top + "/a.xlsx"), QString("y"));
        const QStringList runs = QDir(top + "/bk").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(runs.size(), 1);
        const QString copy = top + "/bk/" + runs.first() + "/a.xlsx";
        const QByteArray backup = TestBooks::bytes(copy);
        QCOMPARE(TestBooks::column(copy), QString("x"));
        r = BatchProcess::batch(record + QStringList{"-b", top + "/bk", "-p", "x|y", "z", top});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lines.size(), 2);
        QCOMPARE(TestBooks::column(top + "/a.xlsx"), QString("z"));
        QCOMPARE(TestBooks::bytes(copy), backup);
        QCOMPARE(TestBooks::bytes(kept + "/old.xlsx"), old);
        QVERIFY2(r.lines.last().endsWith("; not scanned: 2 folders of backups"), qPrintable(r.lines.last()));
    }

    // A temporary file planted under a save's name, even one held locked,
    // neither stops the save nor is touched by it; a left-over one of the
    // user's own goes.
    void plantedTemporaryFilesAreIgnored()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx"), planted = dir.filePath(".~korrin.book.xlsx.tmp");
        const QString leftOver = dir.filePath(".~korrin.other.xlsx.0123abcd.tmp");
        TestBooks::write(book, {"old"});
        QVERIFY(TestUtil::writeFile(planted, "planted") && TestUtil::writeFile(leftOver, "left over"));
        const bool twoUsers = BatchProcess::whyNoOtherUser().isEmpty();
        if (twoUsers)
            QVERIFY(::chown(native(planted).constData(), BatchProcess::otherUid, BatchProcess::otherGid) == 0);
        const int fd = ::open(native(planted).constData(), O_RDWR);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        QVERIFY(fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0);

        const BatchProcess::Result r = BatchProcess::batch({"-p", "old", "new", book});
        ::close(fd);
        QCOMPARE(r.lines.first(), "SUCCESS\t" + book + "\t1 cell changed");
        QCOMPARE(TestBooks::column(book), QString("new"));
        QCOMPARE(TestBooks::bytes(planted), QByteArray("planted"));
        QCOMPARE(TestBooks::leftovers(dir.path()), QStringList{".~korrin.book.xlsx.tmp"});
    }

    // An office lock file whose program is long gone: the reason says who
    // it names, where and since when, and how to get out; the file stays.
    void officeLockFilesSayWhoAndTheWayOut()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        QTemporaryDir dir;
        const QString book = dir.filePath("book.xlsx"), other = dir.filePath("other.xlsx");
        TestBooks::write(book, {"old"});
        TestBooks::write(other, {"old"});
        const QString libre = dir.filePath(".~lock.book.xlsx#"), office = dir.filePath("~$other.xlsx");
        QVERIFY(TestUtil::writeFile(libre, ",alice,pc7,09.12.2024 17:50,file:///home/alice/.config/libreoffice/4;"));
        // Excel's owner file: the name in the 8-bit code page, then again in
        // UTF-16LE from byte 55, padded to 165 bytes
        QByteArray owner(165, ' ');
        owner[0] = 3;
        owner.replace(1, 3, "Bob");
        owner[55] = 3;
        owner[56] = 0;
        owner.replace(57, 6, QByteArray("B\0o\0b\0", 6));
        QVERIFY(TestUtil::writeFile(office, owner));
        const QByteArray before = TestBooks::bytes(book);

        const BatchProcess::Result r = BatchProcess::batch({"-p", "old", "new", book, other});
        QCOMPARE(r.status, 1);
        QVERIFY(r.lines.contains("FAILURE\t" + book + "\topen in another program: opened by alice on pc7 at "
                                 "09.12.2024 17:50; if nobody has it open, delete the lock file " + libre));
        QVERIFY2(!r.lines.filter(QRegularExpression("^FAILURE\t" + QRegularExpression::escape(other)
                                                    + "\topen in another program: opened by Bob at .*; if nobody has "
                                                      "it open, delete the lock file "
                                                    + QRegularExpression::escape(office) + "$"))
                      .isEmpty(),
                 qPrintable(r.lines.join('\n')));
        QCOMPARE(TestBooks::bytes(book), before);
        QVERIFY(QFileInfo::exists(libre) && QFileInfo::exists(office));
    }

    // In a folder with the sticky bit only a file's owner may replace it: a
    // dry run says so as the real run does, and nothing changes.
    void dryRunFailsWhereTheRealRunWould()
    {
        KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES);
        KORRIN_REQUIRE_OTHER_USER();
        QTemporaryDir dir;
        const QString shared = sharedFolder(dir, "shared");
        const QString book = shared + "/book.xlsx";
        TestBooks::write(book, {"old"});
        QVERIFY(::chmod(native(book).constData(), 0666) == 0);
        const QByteArray before = TestBooks::bytes(book);
        for (const QStringList &run : {QStringList{"--dry-run"}, QStringList()}) {
            const BatchProcess::Result r =
                BatchProcess::batch(run + QStringList{"-p", "old", "new", book}, BatchProcess::asOtherUser());
            QCOMPARE(r.status, 1);
            QVERIFY2(r.lines.first().contains("belongs to another user and its folder has the sticky bit"),
                     qPrintable(r.lines.first()));
        }
        QCOMPARE(TestBooks::bytes(book), before);
        QVERIFY(TestBooks::leftovers(shared).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSharedFolders)
#include "tst_sharedfolders.moc"
