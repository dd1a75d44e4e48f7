#include "launchchecks.h"

#include <QtTest>

class TestLaunchChecks : public QObject
{
    Q_OBJECT

private slots:
    void mode1Pairs()
    {
        QCOMPARE(::mode1Pairs({"a|b|"}, {"X"}, "|"), (KeyPairs{{"a", "X"}, {"b", "X"}}));
        QCOMPARE(::mode1Pairs({"||"}, {"X"}, "|"), KeyPairs());
        // more keyword lines than replacements: the surplus gets nothing
        QCOMPARE(::mode1Pairs({"a", "b"}, {"x"}, "|"), (KeyPairs{{"a", "x"}, {"b", ""}}));
        // the replacement line is never split
        QCOMPARE(::mode1Pairs({"k"}, {"1|2"}, "|"), (KeyPairs{{"k", "1|2"}}));
        QCOMPARE(::mode1Pairs({"xaby"}, {"R"}, "ab"), (KeyPairs{{"x", "R"}, {"y", "R"}}));
        QCOMPARE(::mode1Pairs({"abc"}, {"R"}, ""), (KeyPairs{{"a", "R"}, {"b", "R"}, {"c", "R"}}));
    }

    void mode2Pairs()
    {
        // a file column whose cells have no items reads as empty text
        QCOMPARE(::mode2Pairs({"k1", "k2"}, {}, "|"), (KeyPairs{{"k1", ""}, {"k2", ""}}));
        QCOMPARE(::mode2Pairs({"k1|k2"}, {"R"}, "|"), (KeyPairs{{"k1", "R"}, {"k2", "R"}}));
        QCOMPARE(::mode2Pairs({}, {}, "|"), KeyPairs());
    }

    void mode1Checks_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QStringList>("keywords");
        QTest::addColumn<int>("replacementLines");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("no files") << 0 << QStringList{"a"} << 1 << 51 << "警告" << "Excel文件列表为空,请添加!";
        QTest::newRow("empty line between") << 1 << QStringList{"a", "", "b"} << 1 << 51 << "警告"
                                            << "【被替换关键字】存在空行，请检查!";
        QTest::newRow("fewer keyword lines") << 1 << QStringList{"a"} << 2 << 51 << "警告"
                                             << "【被替换关键字】与【欲替换为】内容条目数量不一致，请检查!";
        QTest::newRow("both panes empty") << 1 << QStringList{""} << 1 << 51 << "警告!"
                                          << "无【被替换关键字】内容，请填写!";
        QTest::newRow("trailing line break") << 1 << QStringList{"a", ""} << 1 << 50 << "" << "";
        QTest::newRow("leading line break") << 1 << QStringList{"", "a"} << 1 << 50 << "" << "";
        QTest::newRow("blank line is not empty") << 1 << QStringList{"a", "  "} << 1 << 0 << "" << "";
        QTest::newRow("separators only pass") << 1 << QStringList{"||"} << 1 << 0 << "" << "";
        QTest::newRow("more keyword lines pass") << 1 << QStringList{"a", "b"} << 1 << 0 << "" << "";
    }
    void mode1Checks()
    {
        QFETCH(int, files);
        QFETCH(QStringList, keywords);
        QFETCH(int, replacementLines);
        QFETCH(int, code);
        QFETCH(QString, title);
        QFETCH(QString, text);
        LaunchStop stop;
        const bool ok = checkMode1Input(files, keywords, replacementLines, &stop) && checkMode1Lines(keywords, &stop);
        QCOMPARE(ok, code == 0);
        QCOMPARE(stop.stateCode, code);
        QCOMPARE(stop.boxTitle, title);
        QCOMPARE(stop.boxText, text);
    }

    void mode2Checks()
    {
        LaunchStop stop;
        QVERIFY(!checkMode2Files(0, &stop));
        QCOMPARE(stop.stateCode, 51);
        QCOMPARE(stop.boxTitle, QString("警告"));
        QCOMPARE(stop.boxText, QString("excel文件列表为空,请添加excel文件到列表!"));
        QVERIFY(checkMode2Files(2, &stop));

        LaunchStop again;
        QVERIFY(checkMode2Keywords({}, &again)); // only the input row: no entries
        QVERIFY(!checkMode2Keywords({"a", ""}, &again));
        QCOMPARE(again.stateCode, 50);
        QVERIFY(again.boxText.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestLaunchChecks)
#include "tst_launchchecks.moc"
