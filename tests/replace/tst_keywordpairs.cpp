#include "keywordpairs.h"
#include "sheetchoice.h"

#include <QtTest>

class TestKeywordPairs : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QStringList>("keywords");
        QTest::newRow("trailing separator") << "a|b|" << "|" << QStringList{"a", "b"};
        QTest::newRow("only separators") << "||" << "|" << QStringList{};
        QTest::newRow("no separator in text") << "abc" << "|" << QStringList{"abc"};
        QTest::newRow("multi-character separator") << "xaby" << "ab" << QStringList{"x", "y"};
        QTest::newRow("partial separator is text") << "xay" << "ab" << QStringList{"xay"};
        QTest::newRow("empty separator") << "abc" << "" << QStringList{"a", "b", "c"};
        QTest::newRow("empty separator keeps surrogate pairs") << QString::fromUtf8("a😀") << ""
                                                              << QStringList{"a", QString::fromUtf8("😀")};
        QTest::newRow("nothing trimmed") << " a | b " << "|" << QStringList{" a ", " b "};
        QTest::newRow("case-sensitive separator") << "aXbxc" << "x" << QStringList{"aXb", "c"};
        QTest::newRow("empty text") << "" << "|" << QStringList{};
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(QStringList, keywords);
        QCOMPARE(splitKeywords(text, separator), keywords);
    }

    void pairsShareTheReplacement()
    {
        KeyPairs pairs;
        appendPairs(&pairs, "a|b|", "X", "|");
        appendPairs(&pairs, "||", "Y", "|");
        QCOMPARE(pairs, (KeyPairs{{"a", "X"}, {"b", "X"}}));
    }

    void sheets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QVector<int>>("sheets");
        QTest::newRow("default") << "默认页" << true << QVector<int>{};
        QTest::newRow("first") << "首表" << false << QVector<int>{1};
        QTest::newRow("last") << "尾表" << false << QVector<int>{3};
        QTest::newRow("all") << "所有表" << false << QVector<int>{1, 2, 3};
        QTest::newRow("typed with duplicates") << "3,1,3" << false << QVector<int>{3, 1, 3};
        QTest::newRow("out of range") << "0,4" << false << QVector<int>{};
        QTest::newRow("untouched named item") << "指定表" << false << QVector<int>{};
        QTest::newRow("empty parts") << "1,,2" << false << QVector<int>{1, 2};
        QTest::newRow("not numbers dropped") << "x,2,-1" << false << QVector<int>{2};
        QTest::newRow("words are exact") << "所有表 " << false << QVector<int>{};
    }
    void sheets()
    {
        QFETCH(QString, text);
        QFETCH(bool, active);
        QFETCH(QVector<int>, sheets);
        bool activeOnly = !active;
        QCOMPARE(chooseSheets(text, 3, &activeOnly), sheets);
        QCOMPARE(activeOnly, active);
    }
};

QTEST_APPLESS_MAIN(TestKeywordPairs)
#include "tst_keywordpairs.moc"
