#include "settings.h"

#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString file(const QString &name = "dovKa_1/dovKa") const { return dir.filePath(name); }

private slots:
    void absentValuesGiveTheDefault()
    {
        QCOMPARE(readSetting(file("none/dovKa"), "set", "separator", "|"), QString("|"));
        QCOMPARE(readSetting(file("none/dovKa"), "set", "way", QString()), QString());
        QVERIFY(!QFile::exists(file("none/dovKa")));
    }

    void firstWriteCreatesFolderAndIniFile()
    {
        const QString path = file("fresh/dovKa");
        writeSetting(path, "set", "way", "1");
        QFile ini(path);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY2(text.contains("[set]") && text.contains("way=1"), text.constData());
    }

    // Separators and typed sheet lists are free text; the INI format must
    // bring every one of them back unchanged.
    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("bar") << "|";
        QTest::newRow("comma") << ",";
        QTest::newRow("semicolon") << ";";
        QTest::newRow("sheet list") << "1,3";
        QTest::newRow("mixed") << "a, b;c=d";
        QTest::newRow("blanks") << "  ";
        QTest::newRow("quotes and backslash") << "\"x\\y\"";
        QTest::newRow("at sign") << "@Variant(x)";
        QTest::newRow("hash") << "#";
        QTest::newRow("chinese") << "指定表";
        QTest::newRow("empty") << "";
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, value);
        writeSetting(file(), "set", "separator", value);
        QCOMPARE(readSetting(file(), "set", "separator", "<default>"), value);
    }

    void groupsAndFilesAreSeparate()
    {
        writeSetting(file(), "set", "c1", "set-value");
        writeSetting(file(), "check", "c1", "1");
        writeSetting(file("dovKa_2/dovKa"), "check", "c1", "0");
        QCOMPARE(readSetting(file(), "set", "c1", QString()), QString("set-value"));
        QCOMPARE(readSetting(file(), "check", "c1", QString()), QString("1"));
        QCOMPARE(readSetting(file("dovKa_2/dovKa"), "check", "c1", QString()), QString("0"));
        QCOMPARE(readSetting(file("dovKa_2/dovKa"), "set", "c1", "<default>"), QString("<default>"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
