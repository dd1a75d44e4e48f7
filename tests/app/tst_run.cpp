// Runs started from the window: the launch checks with their boxes, and runs
// over real files whose reports come back through the event loop.

#include "rep.h"
#include "testutil.h"
#include "workbooklock.h"
#include "windowprobe.h"

#include <unistd.h>

class TestRun : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    QString junk(const QString &name)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("this is no workbook");
        return path;
    }
    // A workbook written by openpyxl with "apple" in A1 and "pear" in A2.
    QString realBook(const QString &name)
    {
        const QString path = tmp.filePath(name);
        TestUtil::runPythonCode("import sys, openpyxl\nwb = openpyxl.Workbook()\nws = wb.active\n"
                                "ws['A1'] = 'apple'; ws['A2'] = 'pear'\nwb.save(sys.argv[1])\n",
                                {path});
        return path;
    }
    static QString firstCells(const QString &path)
    {
        QByteArray out;
        TestUtil::runPythonCode("import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                "print(ws['A1'].value, ws['A2'].value)\n",
                                {path}, &out);
        return QString::fromUtf8(out).trimmed();
    }
    static bool controlsEnabled(ScriptedWindow &w)
    {
        Ui::MainWindow *ui = w.ui();
        return ui->pushButton_replace->isEnabled() && ui->pushButton_ClearAll->isEnabled()
               && ui->radioButton_key->isEnabled() && ui->radioButton_position->isEnabled()
               && ui->checkBox_lookAt->isEnabled() && ui->checkBox_matchCase->isEnabled()
               && ui->comboBox_searchOrder->isEnabled();
    }
    static QColor rowColour(ScriptedWindow &w, int row)
    {
        return w.ui()->tableWidget_list1->item(row, 0)->background().color();
    }
    static void addFiles(ScriptedWindow &w, const QStringList &files, int tab = 0)
    {
        w.ui()->tabWidget_1->setCurrentIndex(tab);
        w.person->answerFiles(files);
        w.ui()->action_Add->trigger();
    }

private slots:
    void init() { QFile::remove(qEnvironmentVariable("XDG_DATA_HOME") + "/dovKa_" KORRIN_VERSION "/dovKa"); }

    void mode1Checks_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("replacements");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::newRow("no files") << false << "a" << "b" << "警告" << "Excel文件列表为空,请添加!"
                                  << "文件替换处理被取消!";
        QTest::newRow("empty line") << true << "a\n\nb" << "x" << "警告" << "【被替换关键字】存在空行，请检查!"
                                    << "文件替换处理被取消!";
        QTest::newRow("line counts") << true << "a" << "x\ny" << "警告"
                                     << "【被替换关键字】与【欲替换为】内容条目数量不一致，请检查!"
                                     << "文件替换处理被取消!";
        QTest::newRow("no keywords") << true << "" << "" << "警告!" << "无【被替换关键字】内容，请填写!"
                                     << "文件替换处理被取消!";
        QTest::newRow("trailing line break") << true << "a\n" << "x" << "" << ""
                                             << "发现被替换关键字有[空]行,请检查!";
    }
    void mode1Checks()
    {
        QFETCH(bool, withFile);
        QFETCH(QString, keywords);
        QFETCH(QString, replacements);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, status);
        ScriptedWindow w;
        if (withFile)
            addFiles(w, {tmp.filePath("never-opened.xlsx")});
        w.ui()->plainTextEdit_s1->setPlainText(keywords);
        w.ui()->plainTextEdit_s2->setPlainText(replacements);
        w.ui()->pushButton_replace->click();
        if (title.isEmpty()) {
            QVERIFY(w.person->boxes.isEmpty());
        } else {
            QCOMPARE(w.person->boxes.size(), 1);
            QCOMPARE(w.person->boxes.first().title, title);
            QCOMPARE(w.person->boxes.first().text, text);
        }
        QCOMPARE(w.status(), status);
        QVERIFY(controlsEnabled(w));
        QCOMPARE(WindowProbe::label(*w, "missingLabel"), QString(" 丢失(0)")); // nothing launched
        QCOMPARE(w.ui()->pushButton_replace->text(), QString("开始替换"));
    }

    void mode2Checks()
    {
        ScriptedWindow w;
        w.ui()->tabWidget_1->setCurrentIndex(1);
        w.ui()->pushButton_replace->click();
        QCOMPARE(w.person->boxes.size(), 1);
        QCOMPARE(w.person->boxes.first().title, QString("警告"));
        QCOMPARE(w.person->boxes.first().text, QString("excel文件列表为空,请添加excel文件到列表!"));
        QCOMPARE(w.status(), QString("文件替换处理被取消!"));
        QCOMPARE(w.ui()->pushButton_replace->text(), QString("开始替换(CTRL+SHIFT+H)"));
        // the new caption has no mnemonic, yet the shortcut is back
        QCOMPARE(w.ui()->pushButton_replace->shortcut(), QKeySequence("Ctrl+Shift+H"));
        QVERIFY(controlsEnabled(w));

        // an empty keyword above the input row: code 50, no box
        addFiles(w, {tmp.filePath("gone.xlsx")}, 1);
        QTableWidget *t = w.ui()->tableWidget_list2;
        t->item(0, 0)->setText("k1");
        t->item(1, 0)->setText("k2");
        t->item(0, 0)->setText(QString());
        w.ui()->pushButton_replace->click();
        QCOMPARE(w.person->boxes.size(), 1);
        QCOMPARE(w.status(), QString("发现被替换关键字有[空]行,请检查!"));
        QVERIFY(controlsEnabled(w));
    }

    void everyFileMissingFinishesInsideTheClick()
    {
        ScriptedWindow w;
        QVERIFY(QDir(tmp.path()).mkpath("a-folder.xlsx"));
        addFiles(w, {tmp.filePath("gone.xlsx"), tmp.filePath("a-folder.xlsx")});
        w.ui()->plainTextEdit_s1->setPlainText("a");
        w.ui()->pushButton_replace->click();
        QCOMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "missingLabel"), QString(" <font color='blue'>丢失(2)</font>"));
        QCOMPARE(rowColour(w, 0), QColor(Qt::blue));
        QCOMPARE(rowColour(w, 1), QColor(Qt::blue));
        QVERIFY(controlsEnabled(w));
    }

    void missingInTheMiddleAndAFailure()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        ScriptedWindow w;
        const QString first = junk("first.xlsx");
        const QString third = junk("third.xls");
        addFiles(w, {first, tmp.filePath("second-gone.xlsx"), third});
        w.ui()->plainTextEdit_s1->setPlainText("no");
        w.ui()->plainTextEdit_s2->setPlainText("yes");
        w.ui()->pushButton_replace->click();
        // during the click: the missing file is counted and marked at once
        QCOMPARE(WindowProbe::label(*w, "missingLabel"), QString(" <font color='blue'>丢失(1)</font>"));
        QCOMPARE(rowColour(w, 1), QColor(Qt::blue));
        QCOMPARE(w.status(), QString("文件替换处理中...已完成[1/3]"));
        QVERIFY(!w.ui()->pushButton_replace->isEnabled());
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "failureLabel"), QString(" <font color='red'>失败(2)</font>"));
        QCOMPARE(rowColour(w, 0), QColor(Qt::red));
        QCOMPARE(rowColour(w, 2), QColor(Qt::red));
        QVERIFY(controlsEnabled(w));
        // the files stay as they were
        QFile f(first);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("this is no workbook"));
    }

    void mode1RunOverRealWorkbooks()
    {
        ScriptedWindow w;
        const QString first = realBook("r1.xlsx"), third = realBook("r3.xlsx");
        addFiles(w, {first, tmp.filePath("r2-missing.xlsx"), third});
        w.ui()->plainTextEdit_s1->setPlainText("apple|pear\nfruit");
        w.ui()->plainTextEdit_s2->setPlainText("fruit\nFRUIT");
        w.ui()->pushButton_replace->click();
        QCOMPARE(w.status(), QString("文件替换处理中...已完成[1/3]"));
        QCOMPARE(rowColour(w, 1), QColor(Qt::blue));
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "successLabel"), QString(" 成功(2)"));
        QCOMPARE(WindowProbe::label(*w, "missingLabel"), QString(" <font color='blue'>丢失(1)</font>"));
        QCOMPARE(WindowProbe::label(*w, "failureLabel"), QString(" 失败(0)"));
        QCOMPARE(w.ui()->tableWidget_list1->item(0, 0)->background().style(), Qt::NoBrush);
        // pairs chain: apple and pear became fruit, then FRUIT
        QCOMPARE(firstCells(first), QString("FRUIT FRUIT"));
        QCOMPARE(firstCells(third), QString("FRUIT FRUIT"));
    }

    void mode2GivesEachFileItsReplacement()
    {
        ScriptedWindow w;
        const QString one = realBook("m2-one.xlsx"), two = realBook("m2-two.xlsx");
        addFiles(w, {one, two}, 1);
        QTableWidget *t = w.ui()->tableWidget_list2;
        t->item(0, 0)->setText("apple"); // grows a new input row with items in every column
        t->setItem(0, 1, new QTableWidgetItem("Apfel"));
        t->setItem(0, 2, new QTableWidgetItem("pomme"));
        t->item(1, 0)->setText("pear");
        t->item(1, 2)->setText("poire"); // the first file's cell stays without text
        w.ui()->pushButton_replace->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "successLabel"), QString(" 成功(2)"));
        QCOMPARE(firstCells(one), QString("Apfel None"));
        QCOMPARE(firstCells(two), QString("pomme poire"));
    }

    void marksGoToTheTabOfTheLaunch()
    {
        ScriptedWindow w;
        const QString held = junk("held.xlsx");
        addFiles(w, {held});
        w.ui()->plainTextEdit_s1->setPlainText("x");
        addFiles(w, {held, tmp.filePath("other.xlsx")}, 1);
        w.ui()->tabWidget_1->setCurrentIndex(0);
        {
            WorkbookLock lock; // keeps the job waiting
            QString error;
            QVERIFY2(lock.acquire(held, 0, &error), qPrintable(error));
            w.ui()->pushButton_replace->click();
            QCOMPARE(WindowProbe::runMode(*w), 0);
            w.ui()->tabWidget_1->setCurrentIndex(1);
        }
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(rowColour(w, 0), QColor(Qt::red));
        QCOMPARE(w.ui()->tableWidget_list2->horizontalHeaderItem(1)->background().style(), Qt::NoBrush);
    }

    // A row removed during a run moves the files below it up: a report
    // that comes after marks its file where it is now.
    void marksFollowAFileThatMoved()
    {
        ScriptedWindow w;
        const QString held = junk("moves-up.xlsx");
        addFiles(w, {junk("removed.xlsx"), held});
        w.ui()->plainTextEdit_s1->setPlainText("x");
        {
            WorkbookLock lock;
            QString error;
            QVERIFY2(lock.acquire(held, 0, &error), qPrintable(error));
            w.ui()->pushButton_replace->click();
            QTRY_COMPARE(w.status(), QString("文件替换处理中...已完成[1/2]"));
            w.ui()->tableWidget_list1->selectRow(0);
            w.ui()->pushButton_list1_Remove->click();
            QCOMPARE(WindowProbe::list1(*w), QStringList{held});
        }
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(rowColour(w, 0), QColor(Qt::red));
    }

    void mode2MarksTheFileColumns()
    {
        ScriptedWindow w;
        addFiles(w, {junk("bad.xlsx"), tmp.filePath("missing.xlsx"), tmp.filePath("also-missing.xls")}, 1);
        w.ui()->tableWidget_list2->item(0, 0)->setText("k");
        w.ui()->pushButton_replace->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QTableWidget *t = w.ui()->tableWidget_list2;
        QCOMPARE(t->horizontalHeaderItem(1)->background().color(), QColor(Qt::red));
        QCOMPARE(t->horizontalHeaderItem(2)->background().color(), QColor(Qt::blue));
        QCOMPARE(t->horizontalHeaderItem(3)->background().color(), QColor(Qt::blue));
        QCOMPARE(t->horizontalHeaderItem(0)->background().style(), Qt::NoBrush);
        // the marked header shows the tip its cells show, outcome included
        for (int column = 1; column <= 3; ++column) {
            emit t->cellEntered(0, column);
            QCOMPARE(t->model()->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString(), w.person->tips.last());
        }
        QVERIFY(w.person->tips.last().contains("\n丢失: "));
    }

    // Closing during a run asks; 否 keeps the window and the run, 是 closes.
    void closingDuringARunAsks()
    {
        {
            ScriptedWindow idle;
            QVERIFY(idle.window->close());
            QVERIFY(idle.person->boxes.isEmpty());
        }
        ScriptedWindow w;
        const QString held = junk("close-held.xlsx");
        addFiles(w, {held});
        w.ui()->plainTextEdit_s1->setPlainText("x");
        WorkbookLock lock; // keeps the job waiting
        QString error;
        QVERIFY2(lock.acquire(held, 0, &error), qPrintable(error));
        w.ui()->pushButton_replace->click();
        QVERIFY(!w.window->close());
        QCOMPARE(w.person->boxes.size(), 1);
        QCOMPARE(w.person->boxes.first().kind, QString("question"));
        QCOMPARE(w.person->boxes.first().text, QString("替换尚未完成，确定退出？"));
        QVERIFY(w.window->isVisible());
        // 退出 asks too; 否 goes on with the run.
        w.window->findChild<QAction *>("action_Quit")->trigger();
        QCOMPARE(w.person->boxes.size(), 2);
        QCOMPARE(w.person->boxes.last().text, QString("替换尚未完成，确定退出？"));
        w.person->questionAnswers = {true};
        QVERIFY(w.window->close());
        QCOMPARE(w.person->boxes.size(), 3);
    }

    // A list cleared during a run resets the counters shown, yet the run
    // still finishes when its last file reports, and a report for a row that
    // is gone marks nothing.
    void clearingDuringARunStillFinishes()
    {
        ScriptedWindow w;
        const QString held = junk("slow.xlsx");
        addFiles(w, {junk("quick.xlsx"), held});
        w.ui()->plainTextEdit_s1->setPlainText("x");
        {
            WorkbookLock lock;
            QString error;
            QVERIFY2(lock.acquire(held, 0, &error), qPrintable(error));
            w.ui()->pushButton_replace->click();
            QTRY_COMPARE(w.status(), QString("文件替换处理中...已完成[1/2]"));
            w.ui()->pushButton_list1_Clear->click();
            QCOMPARE(WindowProbe::label(*w, "failureLabel"), QString(" 失败(0)"));
            QVERIFY(!w.ui()->pushButton_replace->isEnabled());
        }
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QVERIFY(controlsEnabled(w));
        QCOMPARE(w.ui()->tableWidget_list1->rowCount(), 0);
    }

    void moreFilesThanThreads()
    {
        ScriptedWindow w;
        QStringList files;
        const int n = QThreadPool::globalInstance()->maxThreadCount() * 3 + 1;
        for (int i = 0; i < n; ++i)
            files << junk(QString("many-%1.xlsx").arg(i));
        addFiles(w, files);
        w.ui()->plainTextEdit_s1->setPlainText("x");
        w.ui()->pushButton_replace->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "failureLabel"), QString(" <font color='red'>失败(%1)</font>").arg(n));
    }

    // The end text comes with the last report, never before: checked on
    // every turn of the event loop of a run over many files, saved ones,
    // failures and missing ones mixed.
    void endTextOnlyAfterTheLastReport()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        ScriptedWindow w;
        const QString model = realBook("race-model.xlsx");
        QStringList files;
        const int n = 1000;
        for (int i = 0; i < n; ++i) {
            const QString path = tmp.filePath(QString("race-%1.xlsx").arg(i));
            if (i % 10 == 3)
                files << path; // missing
            else if (i % 10 == 7)
                files << junk(QString("race-%1.xlsx").arg(i));
            else if (QFile::copy(model, path))
                files << path;
        }
        QCOMPARE(files.size(), n);
        addFiles(w, files);
        w.ui()->plainTextEdit_s1->setPlainText("apple");
        w.ui()->plainTextEdit_s2->setPlainText("fruit");
        const auto counted = [&w] {
            int sum = 0;
            for (const char *name : {"successLabel", "failureLabel", "missingLabel"})
                sum += QRegularExpression("\\((\\d+)\\)").match(WindowProbe::label(*w, name)).captured(1).toInt();
            return sum;
        };
        QString early;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (early.isEmpty() && w.status() == QString("文件替换处理全部完成!") && counted() != n)
                early = QString("end text at %1 of %2 reports").arg(counted()).arg(n);
        });
        watch.start(0);
        w.ui()->pushButton_replace->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.status() == QString("文件替换处理全部完成!"), 240000);
        QVERIFY2(early.isEmpty(), qPrintable(early));
        QCOMPARE(counted(), n);
        QCOMPARE(WindowProbe::label(*w, "missingLabel"), QString(" <font color='blue'>丢失(%1)</font>").arg(n / 10));
        // nothing comes after the end text
        QTest::qWait(200);
        QCOMPARE(counted(), n);
        QVERIFY(controlsEnabled(w));
    }

    // After a run the hover tip of a file says, after its path, what
    // happened to it: the count of changed cells, or why it failed or is
    // missing (a listed folder stays missing and blue, and says what it is).
    void hoverTipsTellTheOutcome()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl");
        ScriptedWindow w;
        const QString good = realBook("tip-good.xlsx"), bad = junk("tip-bad.xlsx");
        const QString folder = tmp.filePath("tip-folder.xlsx");
        QVERIFY(QDir().mkpath(folder));
        // a workbook with a second name is not saved under one of them
        const QString linked = realBook("tip-linked.xlsx");
        QVERIFY(::link(QFile::encodeName(linked).constData(), QFile::encodeName(linked + ".too").constData()) == 0);
        addFiles(w, {good, bad, folder, linked});
        w.ui()->plainTextEdit_s1->setPlainText("apple");
        w.ui()->plainTextEdit_s2->setPlainText("fruit");
        w.ui()->pushButton_replace->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(rowColour(w, 2), QColor(Qt::blue));
        QTableWidget *t = w.ui()->tableWidget_list1;
        for (int row = 0; row < 4; ++row)
            emit t->cellEntered(row, 0);
        QCOMPARE(w.person->tips.size(), 4);
        // backups are on: the tip names the copy
        QVERIFY2(w.person->tips.at(0).startsWith(good + " 【右键双击】可打开\n成功: 更改了 1 个单元格，备份: ")
                     && w.person->tips.at(0).endsWith("/tip-good.xlsx"),
                 qPrintable(w.person->tips.at(0)));
        QVERIFY2(w.person->tips.at(1).startsWith(bad + " 【右键双击】可打开\n失败: open: "), qPrintable(w.person->tips.at(1)));
        QCOMPARE(w.person->tips.at(2), folder + " 【右键双击】可打开\n丢失: a folder, not a workbook file");
        QVERIFY2(w.person->tips.at(3).startsWith(linked + " 【右键双击】可打开\n失败: the file has 2 hard links"),
                 qPrintable(w.person->tips.at(3)));
        QCOMPARE(firstCells(linked), QString("apple pear"));

        // Mode 2: the column header carries it
        addFiles(w, {bad}, 1);
        w.ui()->tableWidget_list2->item(0, 0)->setText("k");
        w.ui()->pushButton_replace->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        emit w.ui()->tableWidget_list2->cellEntered(0, 1);
        QVERIFY2(w.person->tips.last().startsWith(bad + " 【右键双击】可打开\n失败: open: "), qPrintable(w.person->tips.last()));
    }

    void keywordOnlyControlsFollowTheMode()
    {
        ScriptedWindow w;
        w.ui()->radioButton_position->setChecked(true);
        QVERIFY(!w.ui()->checkBox_lookAt->isEnabled());
        QVERIFY(!w.ui()->checkBox_matchCase->isEnabled());
        QVERIFY(!w.ui()->comboBox_searchOrder->isEnabled());
        w.ui()->radioButton_key->setChecked(true);
        QVERIFY(w.ui()->comboBox_searchOrder->isEnabled());

        QComboBox *box = w.ui()->comboBox;
        box->setCurrentIndex(4);
        QVERIFY(box->isEditable());
        box->setCurrentIndex(3);
        QVERIFY(!box->isEditable());

        w.ui()->plainTextEdit_s1->setPlainText("k");
        w.ui()->plainTextEdit_s2->setPlainText("v");
        w.ui()->pushButton_keyClear->click();
        QVERIFY(w.ui()->plainTextEdit_s1->toPlainText().isEmpty());
        QVERIFY(w.ui()->plainTextEdit_s2->toPlainText().isEmpty());
        QCOMPARE(w.status(), QString("列表被清空!"));
    }
};

KORRIN_WINDOW_TEST_MAIN(TestRun)
#include "tst_run.moc"
