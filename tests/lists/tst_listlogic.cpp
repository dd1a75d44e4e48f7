#include "excelfilescan.h"
#include "dropkind.h"
#include "listedit.h"

#include <QtTest>

#include <unistd.h>

class TestListLogic : public QObject
{
    Q_OBJECT

private:
    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    static QStringList scan(const QString &dir, bool recurse)
    {
        QStringList found;
        ExcelFileScan(recurse, [&](const QString &p) { found << p; }).scan(dir);
        return found;
    }

private slots:
    // Every name a workbook goes by, in any case; nothing else.
    void scanOrderAndSuffixRule()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path();
        for (const char *name : {"a.xlsx", "B.XLS", "c.xls", "d.xlsm", "t.xltx", "u.XLTM", "v.xlsb", "w.xlsx.bak",
                                 "Z.xlsx", "notes.txt", ".hidden.xlsx"})
            touch(d + "/" + name);
        QVERIFY(QDir(d).mkpath("e/deeper"));
        touch(d + "/e/f.xlsx");
        touch(d + "/e/deeper/g.xls");
        QCOMPARE(scan(d, false), (QStringList{d + "/a.xlsx", d + "/B.XLS", d + "/c.xls", d + "/d.xlsm",
                                              d + "/t.xltx", d + "/u.XLTM", d + "/Z.xlsx"}));
        // depth first: e's files come where "e" falls in the parent's order
        QCOMPARE(scan(d, true), (QStringList{d + "/a.xlsx", d + "/B.XLS", d + "/c.xls", d + "/d.xlsm",
                                             d + "/e/deeper/g.xls", d + "/e/f.xlsx", d + "/t.xltx", d + "/u.XLTM",
                                             d + "/Z.xlsx"}));
    }

    void scanSurvivesLinkLoops()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path();
        QVERIFY(QDir(d).mkpath("sub"));
        touch(d + "/sub/x.xlsx");
        QVERIFY(QFile::link(d, d + "/sub/back-to-top"));
        QVERIFY(QFile::link(d + "/sub", d + "/also-sub"));
        const QStringList found = scan(d, true);
        // every file once, whichever name reached it first
        QCOMPARE(found.size(), 1);
        QVERIFY(found.first().endsWith("/x.xlsx"));
    }

    void scanOfUnreadableFolderYieldsNothing()
    {
        QTemporaryDir tmp;
        QCOMPARE(scan(tmp.filePath("does-not-exist"), true), QStringList());
        if (geteuid() == 0)
            return; // root reads every folder
        const QString locked = tmp.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        touch(locked + "/a.xlsx");
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        QCOMPARE(scan(locked, true), QStringList());
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void removeByPositionSet()
    {
        QStringList list{"a", "b", "c", "d"};
        removeListEntries(&list, {});
        QCOMPARE(list.size(), 4);
        removeListEntries(&list, {3, 1, -1, 9});
        QCOMPARE(list, (QStringList{"a", "c"}));
    }

    void tips()
    {
        const QStringList list{"/data/a.xlsx"};
        QCOMPARE(fileTip(list, 0), QString("/data/a.xlsx 【右键双击】可打开"));
        QCOMPARE(fileTip(list, 1), QString());
        QCOMPARE(fileTip(list, -1), QString());
    }

    void normalisesListedPaths()
    {
        QCOMPARE(normaliseListedPath("C:\\\\data\\\\book.xlsx"), QString("C:/data/book.xlsx"));
        QCOMPARE(normaliseListedPath("C:\\data\\book.xlsx"), QString("C:/data/book.xlsx"));
        QCOMPARE(normaliseListedPath("/home/u/a.xls"), QString("/home/u/a.xls"));
    }

    void dropKinds()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path();
        QFile text(d + "/notes.txt");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello\n");
        text.close();
        QCOMPARE(dropKind(text.fileName()), DropKind::Unsupported);
        QCOMPARE(dropKind(d), DropKind::Directory);
        const QString xlsx = QString(KORRIN_CORPUS) + "/xlsx/LONumbers.xlsx";
        QVERIFY(QFile::copy(xlsx, d + "/book.xlsx"));
        QVERIFY(QFile::copy(xlsx, d + "/Tarvo方式一文件列表.xlsx"));
        QVERIFY(QFile::copy(xlsx, d + "/Tarvo方式二替换列表.xlsx"));
        QVERIFY(QFile::copy(xlsx, d + "/Tarvo方式二替换列表.old.xlsx"));
        QVERIFY(QFile::copy(QString(KORRIN_CORPUS) + "/xls/LONumbers.xls", d + "/old.xls"));
        QCOMPARE(dropKind(d + "/book.xlsx"), DropKind::Workbook);
        QCOMPARE(dropKind(d + "/old.xls"), DropKind::Workbook);
        // every name of a workbook, in any case
        for (const char *name : {"REPORT.XLSX", "Old.XLS", "macros.xlsm", "form.xltx", "form.XLTM"}) {
            QVERIFY(QFile::copy(QString(name).endsWith("XLS") ? d + "/old.xls" : xlsx, d + "/" + name));
            QCOMPARE(dropKind(d + "/" + name), DropKind::Workbook);
        }
        QCOMPARE(dropKind(d + "/Tarvo方式一文件列表.xlsx"), DropKind::Mode1ListFile);
        QCOMPARE(dropKind(d + "/Tarvo方式二替换列表.xlsx"), DropKind::Mode2ListFile);
        // the base name ends at the first dot
        QCOMPARE(dropKind(d + "/Tarvo方式二替换列表.old.xlsx"), DropKind::Mode2ListFile);
    }

    void cellEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QString>("above");
        QTest::addColumn<int>("verdict");
        QTest::newRow("empty text") << "" << 2 << 3 << "" << int(CellEntry::Ignore);
        QTest::newRow("first row grows") << "k" << 0 << 1 << "" << int(CellEntry::AcceptAndGrow);
        QTest::newRow("below empty keyword") << "k" << 2 << 3 << "" << int(CellEntry::Refuse);
        QTest::newRow("below keyword") << "k" << 1 << 3 << "key" << int(CellEntry::Accept);
        QTest::newRow("last row grows") << "k" << 2 << 3 << "key" << int(CellEntry::AcceptAndGrow);
    }
    void cellEntry()
    {
        QFETCH(QString, text);
        QFETCH(int, row);
        QFETCH(int, rowCount);
        QFETCH(QString, above);
        QFETCH(int, verdict);
        QCOMPARE(int(judgeCellEntry(text, row, rowCount, above)), verdict);
    }
};

QTEST_APPLESS_MAIN(TestListLogic)
#include "tst_listlogic.moc"
