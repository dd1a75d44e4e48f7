#include "batchoptions.h"

#include <QtTest>

class TestBatchOptions : public QObject
{
    Q_OBJECT

private:
    static BatchOptions parse(const QStringList &args, bool *ok = nullptr, QString *error = nullptr)
    {
        BatchOptions o;
        QString e;
        const bool r = parseBatchArguments(args, &o, &e);
        if (ok)
            *ok = r;
        if (error)
            *error = e;
        return o;
    }

private slots:
    void defaults()
    {
        const BatchOptions o = parse({"--pair", "a", "b", "x.xlsx"});
        QCOMPARE(o.par.sheetIndex, QString("默认页"));
        QVERIFY(o.par.byKey);
        QCOMPARE(o.par.lookAt, 2);
        QCOMPARE(o.par.searchOrder, 1);
        QVERIFY(!o.par.matchCase);
        QCOMPARE(o.par.pairs, (KeyPairs{{"a", "b"}}));
        QCOMPARE(o.inputs, QStringList{"x.xlsx"});
        QVERIFY(o.recursive);
        QCOMPARE(o.jobs, 0);
        QVERIFY(!o.dryRun && !o.json && o.backupDir.isEmpty());
    }

    void everyOption()
    {
        const BatchOptions o = parse({"--sheets", "1,3", "--position", "--whole", "--match-case",
                                      "--by-columns", "--separator", ";", "--pair", "A1;B2", "v",
                                      "--pair", "C3", "", "a.xlsx", "--", "--odd.xls", "--pair"});
        QCOMPARE(o.par.sheetIndex, QString("1,3"));
        QVERIFY(!o.par.byKey);
        QCOMPARE(o.par.lookAt, 1);
        QCOMPARE(o.par.searchOrder, 2);
        QVERIFY(o.par.matchCase);
        QCOMPARE(o.par.pairs, (KeyPairs{{"A1", "v"}, {"B2", "v"}, {"C3", ""}}));
        QCOMPARE(o.inputs, (QStringList{"a.xlsx", "--odd.xls", "--pair"}));
    }

    // Short forms, --opt=value, and --pair's two words wherever they stand,
    // even when they look like options; the word after an option that
    // takes a value is that value.
    void shortFormsAndValues()
    {
        const BatchOptions o = parse({"-wcn", "-j3", "--backup-dir=/b", "--json", "-p", "-x", "--y", "--pair=k",
                                      "v", "--separator", "--pair", "-f", "-", "-0", "--no-recursive", "dir"});
        QCOMPARE(o.par.lookAt, 1);
        QVERIFY(o.par.matchCase);
        QVERIFY(o.dryRun);
        QCOMPARE(o.jobs, 3);
        QCOMPARE(o.backupDir, QString("/b"));
        QVERIFY(o.json);
        QCOMPARE(o.separator, QString("--pair"));
        QCOMPARE(o.par.pairs, (KeyPairs{{"-x", "--y"}, {"k", "v"}}));
        QCOMPARE(o.filesFrom, QString("-"));
        QVERIFY(o.nullSeparated);
        QVERIFY(!o.recursive);
        QCOMPARE(o.inputs, QStringList{"dir"});
    }

    void sheetAliases_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("sheetBox");
        QTest::newRow("default") << "default" << "默认页";
        QTest::newRow("first") << "first" << "首表";
        QTest::newRow("last") << "last" << "尾表";
        QTest::newRow("all") << "all" << "所有表";
        QTest::newRow("chinese") << "尾表" << "尾表";
        QTest::newRow("list") << "2,2" << "2,2";
        QTest::newRow("spaced list") << " 1, 3" << "1,3";
    }
    void sheetAliases()
    {
        QFETCH(QString, given);
        QFETCH(QString, sheetBox);
        QCOMPARE(parse({"--sheets", given, "--pair", "a", "b", "f.xlsx"}).par.sheetIndex, sheetBox);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no pair") << QStringList{"a.xlsx"};
        QTest::newRow("no file") << QStringList{"--pair", "a", "b"};
        QTest::newRow("pair lacks replacement") << QStringList{"a.xlsx", "--pair", "a"};
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "--pair", "a", "b", "a.xlsx"};
        QTest::newRow("sheets lacks value") << QStringList{"--pair", "a", "b", "a.xlsx", "--sheets"};
        QTest::newRow("unknown short option") << QStringList{"-q", "--pair", "a", "b", "a.xlsx"};
        QTest::newRow("jobs not a number") << QStringList{"--jobs=many", "--pair", "a", "b", "a.xlsx"};
        QTest::newRow("jobs zero") << QStringList{"-j", "0", "--pair", "a", "b", "a.xlsx"};
        QTest::newRow("null without a list") << QStringList{"-0", "--pair", "a", "b", "a.xlsx"};
        QTest::newRow("list and files-from") << QStringList{"--list", "l.xlsx", "--files-from", "-"};
        QTest::newRow("sheets twice") << QStringList{"-s", "1", "-s", "2", "--pair", "a", "b", "a.xlsx"};
        for (const char *sheets : {"al", "nonsense", "all,", "0", "-1", "1,,2", "", "1;2"})
            QTest::newRow(qPrintable(QString("sheets '%1'").arg(sheets)))
                << QStringList{"-s", sheets, "--pair", "a", "b", "a.xlsx"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        bool ok = true;
        QString error;
        parse(args, &ok, &error);
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestBatchOptions)
#include "tst_batchoptions.moc"
