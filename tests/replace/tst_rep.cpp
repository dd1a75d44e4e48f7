#include "rep.h"
#include "workbooklock.h"

#include <QtTest>

#include <atomic>
#include <thread>

class TestRep : public QObject
{
    Q_OBJECT

private:
    struct Report
    {
        int count = 0;
        STATE state = SUCCESS;
        int index = -1;
    };

    static Report runJob(const QString &path, RepPar par = RepPar())
    {
        Report r;
        Rep rep(path, par, 7);
        QObject::connect(&rep, &Rep::done, [&](Rep *from, STATE state, int index) {
            QCOMPARE(from, &rep);
            ++r.count;
            r.state = state;
            r.index = index;
        });
        rep.run();
        return r;
    }

private slots:
    void initTestCase()
    {
        registerStateType();
        QVERIFY(QMetaType::type("STATE") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("STATE&") != QMetaType::UnknownType);
    }

    void copiesTheRecord()
    {
        RepPar par;
        par.sheetIndex = "1,3";
        par.pairs = {{"a", "b"}};
        par.byKey = false;
        par.lookAt = 1;
        par.searchOrder = 2;
        par.matchCase = true;
        Rep rep("/x/y.xlsx", par, 4);
        par.pairs.clear();
        QCOMPARE(rep.filePath, QString("/x/y.xlsx"));
        QCOMPARE(rep.sheetIndex, QString("1,3"));
        QCOMPARE(rep.pairs, (KeyPairs{{"a", "b"}}));
        QVERIFY(!rep.byKey);
        QCOMPARE(rep.lookAt, 1);
        QCOMPARE(rep.searchOrder, 2);
        QVERIFY(rep.matchCase);
        QCOMPARE(rep.index, 4);
    }

    void missingFileFails()
    {
        QTemporaryDir dir;
        const Report r = runJob(dir.filePath("gone.xlsx"));
        QCOMPARE(r.count, 1);
        QCOMPARE(r.state, FAILURE);
        QCOMPARE(r.index, 7);
    }

    void notAWorkbookFailsAndStaysUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("notes.xlsx");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text, not a workbook");
        f.close();
        RepPar par;
        par.pairs = {{"text", "words"}};
        Rep rep(path, par, 0);
        STATE state = SUCCESS;
        connect(&rep, &Rep::done, [&](Rep *, STATE s, int) { state = s; });
        rep.run();
        QCOMPARE(state, FAILURE);
        QVERIFY2(rep.reason().startsWith("open: "), qPrintable(rep.reason()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("just some text, not a workbook"));
    }

    void sameFileIsLockedAcrossSpellings()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        const QString path = dir.filePath("sub/book.xlsx");
        QFile(path).open(QIODevice::WriteOnly);
        std::atomic<bool> secondInside{false};
        std::thread second;
        {
            WorkbookLock first(path);
            second = std::thread([&] {
                WorkbookLock again(dir.filePath("sub/../sub/book.xlsx"));
                secondInside = true;
            });
            QTest::qWait(200);
            QVERIFY(!secondInside);
            // Another file is not held up.
            WorkbookLock other(dir.filePath("sub/other.xlsx"));
        }
        second.join();
        QVERIFY(secondInside);
    }
};

QTEST_GUILESS_MAIN(TestRep)
#include "tst_rep.moc"
