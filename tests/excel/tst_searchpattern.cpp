#include "cellrules/richruns.h"
#include "cellrules/searchpattern.h"

#include <QtTest>

using Excel::SearchPattern;

class TestSearchPattern : public QObject
{
    Q_OBJECT

private:
    static QString rep(const QString &text, const QString &what, const QString &with,
                       bool whole = false, bool matchCase = false)
    {
        QString out;
        return SearchPattern(what, whole, matchCase).replace(text, with, &out) ? out : text;
    }

private slots:
    void partMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("expected");
        QTest::newRow("every occurrence") << "abcabc" << "b" << "X" << "aXcaXc";
        QTest::newRow("inserted text not searched again") << "aa" << "a" << "aa" << "aaaa";
        QTest::newRow("non-overlapping") << "aaa" << "aa" << "X" << "Xa";
        QTest::newRow("question mark one char") << "cat cot" << "c?t" << "dog" << "dog dog";
        QTest::newRow("question mark every char") << "abc" << "?" << "-" << "---";
        QTest::newRow("star is greedy") << "banana" << "a*" << "X" << "bX";
        QTest::newRow("inner star greedy") << "a1b2b3" << "a*b" << "X" << "X3";
        QTest::newRow("leading star reaches the start") << "Sometext*&^%, just" << "*&^%" << "LOL" << "LOL, just";
        QTest::newRow("star alone") << "anything" << "*" << "Z" << "Z";
        QTest::newRow("tilde star literal") << "Sometext*&^%, just" << "~*&^%" << "!" << "Sometext!, just";
        QTest::newRow("tilde question literal") << "what? yes" << "t~?" << "T" << "whaT yes";
        QTest::newRow("double tilde") << "a~b" << "~~" << "-" << "a-b";
        QTest::newRow("tilde before other char is literal") << "a~b" << "~b" << "B" << "aB";
        QTest::newRow("lone trailing tilde") << "x~" << "x~" << "y" << "y";
        QTest::newRow("replacement is literal") << "ab" << "a" << "*?~" << "*?~b";
        QTest::newRow("case folded") << "Apple APPLE apple" << "apple" << "pear" << "pear pear pear";
        QTest::newRow("non-ascii case") << QString::fromUtf8("ÄRGER ärger") << QString::fromUtf8("ärger") << "x" << "x x";
        QTest::newRow("full width differs") << QString::fromUtf8("ＡA") << "a" << "b" << QString::fromUtf8("Ａb");
        QTest::newRow("no match") << "hello" << "xyz" << "q" << "hello";
        QTest::newRow("surrogate pair is one char") << QString::fromUtf8("a😀b") << "a?b" << "ok" << "ok";
        QTest::newRow("chinese") << QString::fromUtf8("北京市北京") << QString::fromUtf8("北京") << QString::fromUtf8("上海")
                                 << QString::fromUtf8("上海市上海");
    }
    void partMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QString, expected);
        QCOMPARE(rep(text, what, with), expected);
    }

    void canMatchWithin_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("possible");
        QTest::newRow("digits") << "12" << false << true;
        QTest::newRow("wildcards only") << "?*" << false << true;
        QTest::newRow("exponent any case") << "1e5" << false << true;
        QTest::newRow("exponent with case") << "1e5" << true << false;
        QTest::newRow("letter") << "1a" << false << false;
        QTest::newRow("escaped star is literal") << "1~*" << false << false;
        QTest::newRow("wildcard around a letter") << "*x?" << false << false;
    }
    void canMatchWithin()
    {
        QFETCH(QString, what);
        QFETCH(bool, matchCase);
        QFETCH(bool, possible);
        QCOMPARE(SearchPattern(what, false, matchCase).canMatchWithin("0123456789.-+E"), possible);
    }

    void matchCase()
    {
        QCOMPARE(rep("Apple apple", "apple", "x", false, true), QString("Apple x"));
        QCOMPARE(rep("ABC", "a?c", "x", false, true), QString("ABC"));
    }

    void wholeCell_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact") << "abc" << "abc" << true;
        QTest::newRow("part is not whole") << "abcd" << "abc" << false;
        QTest::newRow("case folded") << "ABC" << "abc" << true;
        QTest::newRow("prefix star") << "apple" << "a*" << true;
        QTest::newRow("prefix star no") << "banana" << "a*" << false;
        QTest::newRow("suffix") << "banana" << "*na" << true;
        QTest::newRow("middle") << "a-x-b" << "a*b" << true;
        QTest::newRow("middle segments") << "one two three" << "one*two*three" << true;
        QTest::newRow("middle segments out of order") << "three two one" << "one*two*three" << false;
        QTest::newRow("last segment must end the text") << "abab" << "a*b" << true;
        QTest::newRow("question count") << "abc" << "???" << true;
        QTest::newRow("question count short") << "ab" << "???" << false;
        QTest::newRow("star alone") << "x" << "*" << true;
        QTest::newRow("empty never") << "" << "*" << false;
        QTest::newRow("overlap of head and tail") << "aba" << "ab*ba" << false;
    }
    void wholeCell()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(bool, matches);
        QCOMPARE(!SearchPattern(what, true, false).matches(text).isEmpty(), matches);
    }

    void wholeReplacesEverything()
    {
        QCOMPARE(rep("apple pie", "apple*", "tart", true), QString("tart"));
    }

    void emptyTextStaysEmpty()
    {
        QVERIFY(SearchPattern("*", false, false).matches(QString()).isEmpty());
    }

    void longTextWithoutMatchIsFast()
    {
        // a*b on text full of a and no b must not take quadratic time per start.
        const QString text(32767, QLatin1Char('a'));
        QElapsedTimer t;
        t.start();
        QVERIFY(SearchPattern("a*b", false, false).matches(text).isEmpty());
        QVERIFY(t.elapsed() < 5000);
    }

    void richRunsKeepFormatting()
    {
        // runs "Hello " + "World"; replace "o W" by "0-w": starts in run 0.
        const QString text = "Hello World";
        const QVector<int> lengths{6, 5};
        QVector<Excel::TextSpan> spans;
        QString out;
        QVERIFY(SearchPattern("o W", false, true).replace(text, "0-w", &out, &spans));
        const QVector<QString> runs = Excel::replaceInRuns(text, lengths, spans, "0-w");
        QCOMPARE(runs, (QVector<QString>{"Hell0-w", "orld"}));
    }

    void richRunsMatchInsideSecondRun()
    {
        const QString text = "ab" "cd" "ef";
        QVector<Excel::TextSpan> spans{{3, 4}};
        QCOMPARE(Excel::replaceInRuns(text, {2, 2, 2}, spans, "XY"),
                 (QVector<QString>{"ab", "cXY", "ef"}));
    }

    void richRunsEmptyRunBetweenMatches()
    {
        QVector<Excel::TextSpan> spans{{1, 3}, {4, 5}};
        QCOMPARE(Excel::replaceInRuns("abcde", {2, 0, 3}, spans, "X"), (QVector<QString>{"aX", "", "dX"}));
    }
    void richRunsWholeRunRemoved()
    {
        QVector<Excel::TextSpan> spans{{2, 4}};
        QCOMPARE(Excel::replaceInRuns("abcdef", {2, 2, 2}, spans, QString()),
                 (QVector<QString>{"ab", "", "ef"}));
    }
};

QTEST_APPLESS_MAIN(TestSearchPattern)
#include "tst_searchpattern.moc"
