// List export and import from the window's buttons, and drops onto the
// window sent as real drop events.

#include "listfiles.h"
#include "listworkbook.h"
#include "settings.h"
#include "windowprobe.h"

class TestListExchange : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    static QList<int> codes(const QSignalSpy &spy)
    {
        QList<int> list;
        for (const QList<QVariant> &args : spy)
            list << args.at(0).toInt();
        return list;
    }
    static void drop(MainWindow &w, const QStringList &paths)
    {
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls << QUrl::fromLocalFile(p);
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &event);
    }
    QString workbook(const QString &name)
    {
        const QString path = tmp.filePath(name);
        QFile::remove(path);
        QFile::copy(QString(KORRIN_CORPUS) + "/xlsx/LONumbers.xlsx", path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return path;
    }
    static QString cell(QTableWidget *t, int r, int c)
    {
        return t->item(r, c) ? t->item(r, c)->text() : QString("<none>");
    }

private slots:
    // Each window starts from the defaults, whatever the last one stored.
    void init() { QFile::remove(qEnvironmentVariable("XDG_DATA_HOME") + "/dovKa_" KORRIN_VERSION "/dovKa"); }

    void mode1ExportAndImport()
    {
        const QString path = tmp.filePath("m1.xlsx");
        {
            ScriptedWindow w;
            w.person->answerFiles({"/d/a.xlsx", "/d/b.xls"});
            w.ui()->pushButton_list1_Add->click();
            const QString wide = QString(300, 'w') + "|x";
            w.ui()->plainTextEdit_s1->setPlainText("k1\n" + wide);
            w.ui()->plainTextEdit_s2->setPlainText("r1\nr2");
            QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
            w.person->fileNameAnswers << path;
            w.ui()->action_Save->trigger();
            QCOMPARE(codes(spy), (QList<int>{25, 26}));
            QCOMPARE(w.person->dialogs.last().caption, QString("选择保存目录:"));
            QCOMPARE(w.person->dialogs.last().dir, QString("./Tarvo方式一文件列表.xlsx"));
            QCOMPARE(w.person->dialogs.last().filter, QString("XLS表格(*.xlsx)"));
            // a wrapped long line is still one row
            Mode1List list;
            QCOMPARE(readMode1List(path, &list), 0);
            QCOMPARE(list.keywordLines, (QStringList{"k1", wide}));

            spy.clear();
            w.ui()->pushButton_list1_Save->click(); // cancelled
            QCOMPARE(codes(spy), (QList<int>{25, 27}));
        }
        ScriptedWindow w;
        w.person->answerFiles({"/d/old.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        w.ui()->plainTextEdit_s1->setPlainText("old");
        w.person->answerFiles({"/d/mode2.xlsx"});
        w.ui()->pushButton_list2_Add->click();
        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        w.person->fileNameAnswers << path;
        w.ui()->pushButton_list1_Import->click();
        QCOMPARE(codes(spy).first(), 33);
        QCOMPARE(codes(spy).last(), 34);
        QCOMPARE(w.person->dialogs.last().caption, QString("选择文件列表Tarvo文件:"));
        QCOMPARE(WindowProbe::list1(*w), (QStringList{"/d/a.xlsx", "/d/b.xls"}));
        QCOMPARE(w.ui()->plainTextEdit_s1->toPlainText(), "k1\n" + QString(300, 'w') + "|x");
        QCOMPARE(w.ui()->plainTextEdit_s2->toPlainText(), QString("r1\nr2"));
        QCOMPARE(WindowProbe::list2(*w), QStringList{"/d/mode2.xlsx"}); // the other tab keeps its data
        QCOMPARE(w.fileCount(), QString(" 文件(2)"));
        KORRIN_CHECK_TABLES(*w);
    }

    void mode2ExportAndImport()
    {
        const QString path = tmp.filePath("m2.xlsx");
        {
            ScriptedWindow w;
            w.ui()->tabWidget_1->setCurrentIndex(1);
            QTableWidget *t = w.ui()->tableWidget_list2;
            t->item(0, 0)->setText("k1");
            w.person->answerFiles({"/d/one.xlsx", "/d/two.xlsx"});
            w.ui()->pushButton_list2_Add->click();
            t->item(1, 0)->setText("k2");
            t->setItem(0, 2, new QTableWidgetItem("R"));
            w.person->fileNameAnswers << path;
            w.ui()->action_Save->trigger();
            QCOMPARE(w.status(), QString("列表导出完毕!"));
            QCOMPARE(w.person->dialogs.last().dir, QString("./Tarvo方式二替换列表.xlsx"));
        }
        ScriptedWindow w;
        w.ui()->tabWidget_1->setCurrentIndex(1);
        w.person->fileNameAnswers << path;
        w.ui()->action_Import->trigger();
        QTableWidget *t = w.ui()->tableWidget_list2;
        QCOMPARE(WindowProbe::list2(*w), (QStringList{"/d/one.xlsx", "/d/two.xlsx"}));
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(cell(t, 0, 0), QString("k1"));
        QCOMPARE(cell(t, 0, 1), QString(""));
        QCOMPARE(cell(t, 0, 2), QString("R"));
        QCOMPARE(cell(t, 1, 0), QString("k2"));
        QCOMPARE(cell(t, 1, 2), QString(""));
        QCOMPARE(cell(t, 2, 0), QString("")); // the input row
        QCOMPARE(w.status(), QString("列表导入完毕!"));
        KORRIN_CHECK_TABLES(*w);
    }

    void failedExportKeepsTheOldFile()
    {
        QVERIFY(QDir(tmp.path()).mkpath("locked"));
        const QString path = tmp.filePath("locked/list.xlsx");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous list");
        old.close();
        QFile::setPermissions(tmp.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        ScriptedWindow w;
        w.person->fileNameAnswers << path;
        w.ui()->pushButton_list1_Save->click();
        QFile::setPermissions(tmp.filePath("locked"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY2(w.status().startsWith("列表导出失败! (") && w.status().endsWith(")"), qPrintable(w.status()));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("previous list"));
    }

    void importFailuresLeaveTheData()
    {
        ScriptedWindow w;
        w.person->answerFiles({"/d/keep.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        w.ui()->pushButton_list1_Import->click(); // cancelled: empty name
        QCOMPARE(w.status(), QString("没有找到对应的列表文件!"));
        // A failed import tells its cause after the message.
        w.person->fileNameAnswers << tmp.filePath("absent.xlsx");
        w.ui()->pushButton_list1_Import->click();
        QVERIFY2(w.status().startsWith("清单数量不足! (cannot read the file: "), qPrintable(w.status()));
        w.person->fileNameAnswers << workbook("plain.xlsx");
        w.ui()->pushButton_list2_Import->click();
        QCOMPARE(w.status(), QString("没有在列表043文件中找到对应的清单! (it lacks the sheet Tarvo方式二_替换文件列表)"));
        QCOMPARE(WindowProbe::list1(*w), QStringList{"/d/keep.xlsx"});
        KORRIN_CHECK_TABLES(*w);
    }

    void dropsOfFilesAndFolders()
    {
        ScriptedWindow w;
        QFile text(tmp.filePath("notes.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("plain text\n");
        text.close();
        drop(*w, {text.fileName()});
        QCOMPARE(w.status(), QString("拖入文件类型不受支持!"));
        QVERIFY(WindowProbe::list1(*w).isEmpty());

        // a folder is scanned with the stored option, without a dialog
        const QString folder = tmp.filePath("dropped");
        QVERIFY(QDir().mkpath(folder + "/sub"));
        QFile::copy(workbook("w.xlsx"), folder + "/a.xlsx");
        QFile::copy(workbook("w.xlsx"), folder + "/sub/b.xlsx");
        writeSetting(WindowProbe::configPath(*w), "check", "c1", "1");
        drop(*w, {folder});
        QVERIFY(w.person->dialogs.isEmpty());
        QCOMPARE(WindowProbe::list1(*w), (QStringList{folder + "/a.xlsx", folder + "/sub/b.xlsx"}));

        // a workbook with an unsupported file: the workbook goes in, 58 is shown
        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        const QString extra = workbook("extra.xlsx");
        drop(*w, {extra, text.fileName()});
        QCOMPARE(codes(spy), (QList<int>{10, 58, 2}));
        QCOMPARE(WindowProbe::list1(*w).last(), extra);
        QCOMPARE(w.status(), QString("添加目录文件完毕!"));
        KORRIN_CHECK_TABLES(*w);
    }

    void dropsOfListFiles()
    {
        const QString dir = tmp.filePath("lists");
        QVERIFY(QDir().mkpath(dir));
        const QString list2 = dir + "/Tarvo方式二替换列表.xlsx";
        Mode2List m2;
        m2.files = QStringList{"/d/x.xlsx"};
        m2.rows = {{"key", "val"}};
        QString error;
        QVERIFY(writeMode2List(list2, m2, &error));

        ScriptedWindow w;
        w.person->answerFiles({"/d/mode1.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        // alone, while the other tab is current: imported into Mode 2 only
        drop(*w, {list2});
        QCOMPARE(w.ui()->tabWidget_1->currentIndex(), 1);
        QCOMPARE(WindowProbe::list2(*w), QStringList{"/d/x.xlsx"});
        QCOMPARE(cell(w.ui()->tableWidget_list2, 0, 1), QString("val"));
        QCOMPARE(WindowProbe::list1(*w), QStringList{"/d/mode1.xlsx"});

        // together with a workbook it is a workbook like any other
        const QString book = workbook("book.xlsx");
        drop(*w, {list2, book});
        QCOMPARE(WindowProbe::list2(*w), (QStringList{"/d/x.xlsx", list2, book}));
        KORRIN_CHECK_TABLES(*w);

        // named like a list but without its sheets: 37, then added as a workbook
        const QString fake = dir + "/Tarvo方式一文件列表.xlsx";
        ListWorkbook twoSheets(fake);
        twoSheets.addSheet("一");
        twoSheets.write(1, 1, "x");
        twoSheets.addSheet("二");
        QVERIFY(twoSheets.save(&error));
        w.ui()->tabWidget_1->setCurrentIndex(0);
        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        drop(*w, {fake});
        QVERIFY(codes(spy).contains(37));
        QCOMPARE(WindowProbe::list1(*w), (QStringList{"/d/mode1.xlsx", fake}));
        QCOMPARE(w.status(), QString("添加目录文件完毕!"));
        KORRIN_CHECK_TABLES(*w);
    }
};

KORRIN_WINDOW_TEST_MAIN(TestListExchange)
#include "tst_listexchange.moc"
