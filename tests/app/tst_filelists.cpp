// The two file lists as a user works them: dialogs answered by a script,
// results read from the tables, the lists behind them and the status bar.

#include "folderdialog.h"
#include "settings.h"
#include "workbookdialog.h"
#include "windowprobe.h"

class TestFileLists : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString folder; // A.XLSX, b.Xls, c.xlsm, d.xltx, e.txt, sub/f.xlsx

    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    static QList<int> codes(const QSignalSpy &spy)
    {
        QList<int> list;
        for (const QList<QVariant> &args : spy)
            list << args.at(0).toInt();
        return list;
    }
    static void select(QTableWidget *table, const QList<QPair<int, int>> &cells)
    {
        table->clearSelection();
        for (const auto &c : cells)
            table->selectionModel()->select(table->model()->index(c.first, c.second), QItemSelectionModel::Select);
    }
    static void type(QTableWidget *table, int row, int column, const QString &text)
    {
        QTableWidgetItem *item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            table->setItem(row, column, item);
        }
        item->setText(text);
    }
    static QString cell(QTableWidget *table, int row, int column)
    {
        const QTableWidgetItem *item = table->item(row, column);
        return item ? item->text() : QString();
    }

private slots:
    void initTestCase()
    {
        folder = tmp.filePath("books");
        QVERIFY(QDir().mkpath(folder + "/sub"));
        for (const char *name : {"A.XLSX", "b.Xls", "c.xlsm", "d.xltx", "e.txt", "sub/f.xlsx"})
            touch(folder + "/" + name);
    }

    void init()
    {
        QFile::remove(qEnvironmentVariable("XDG_DATA_HOME") + "/dovKa_" KORRIN_VERSION "/dovKa");
    }

    void addFilesSkipsDuplicates()
    {
        ScriptedWindow w;
        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        w.person->answerFiles({"/d/a.xlsx", "/d/b.xls"});
        w.ui()->pushButton_list1_Add->click();
        QCOMPARE(codes(spy), (QList<int>{9, 2, 10}));
        QCOMPARE(w.person->dialogs.last().caption, QString("选择Excel文档:"));
        QCOMPARE(w.person->dialogs.last().dir, QString("."));
        QCOMPARE(w.person->dialogs.last().filter, QString("Excel文件(*.xls *.xlsx)"));

        spy.clear();
        w.person->answerFiles({"/d/b.xls", "/d/A.xlsx", "/d/a.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        // each duplicate once, before the completion text replaces it
        QCOMPARE(codes(spy), (QList<int>{9, 13, 13, 2, 10}));
        QCOMPARE(WindowProbe::list1(*w), (QStringList{"/d/a.xlsx", "/d/b.xls", "/d/A.xlsx"}));
        QCOMPARE(w.status(), QString("添加文件完毕!"));
        QCOMPARE(w.fileCount(), QString(" 文件(3)"));
        KORRIN_CHECK_TABLES(*w);

        spy.clear();
        w.ui()->pushButton_list1_Add->click(); // no answer queued: cancelled
        QCOMPARE(codes(spy), (QList<int>{9, 11}));
        QCOMPARE(WindowProbe::list1(*w).size(), 3);
    }

    // Every name a workbook goes by, in any case: not e.txt.
    void folderScanWithAndWithoutSubfolders()
    {
        const QStringList top{folder + "/A.XLSX", folder + "/b.Xls", folder + "/c.xlsm", folder + "/d.xltx"};
        ScriptedWindow w;
        w.person->answerFolders({folder}, false);
        w.ui()->pushButton_list1_Adds->click();
        QCOMPARE(WindowProbe::list1(*w), top);
        QCOMPARE(w.person->dialogs.last().caption, QString("选择文本文档所在目录:"));
        QCOMPARE(w.status(), QString("添加目录文件完毕!"));
        KORRIN_CHECK_TABLES(*w);

        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        w.person->answerFolders({folder}, true);
        w.ui()->pushButton_list1_Adds->click();
        QCOMPARE(WindowProbe::list1(*w), top + QStringList{folder + "/sub/f.xlsx"});
        QCOMPARE(codes(spy), (QList<int>{1, 13, 13, 13, 13, 2}));
        QCOMPARE(w.fileCount(), QString(" 文件(5)"));
        KORRIN_CHECK_TABLES(*w);
    }

    // Links out of the folder and folders of backups are left out, and the
    // status text counts them.
    void folderScanLeavesOutLinksAndBackups()
    {
        const QString top = tmp.filePath("linked"), outside = tmp.filePath("outside.xlsx");
        QVERIFY(QDir().mkpath(top + "/backups"));
        for (const QString &name : {top + "/a.xlsx", top + "/backups/.korrin-backups", top + "/backups/a.xlsx", outside})
            touch(name);
        QVERIFY(QFile::link(outside, top + "/out.xlsx"));
        QVERIFY(QFile::link(top + "/a.xlsx", top + "/in.xlsx"));
        ScriptedWindow w;
        w.person->answerFolders({top}, true);
        w.ui()->pushButton_list1_Adds->click();
        QCOMPARE(WindowProbe::list1(*w), (QStringList{top + "/a.xlsx", top + "/in.xlsx"}));
        QCOMPARE(w.status(), QString("添加目录文件完毕! (not scanned: 1 link out of its folder, 1 folder of backups)"));
    }

    void subfolderChoiceIsStoredOnAcceptOnly()
    {
        ScriptedWindow w;
        const QString config = WindowProbe::configPath(*w);
        // accepted with nothing found: still stored, and offered next time
        w.person->answerFolders({tmp.filePath("empty-does-not-exist")}, true);
        w.ui()->pushButton_list1_Adds->click();
        QCOMPARE(readSetting(config, "check", "c1", "<absent>"), QString("1"));
        QVERIFY(WindowProbe::list1(*w).isEmpty());
        KORRIN_CHECK_TABLES(*w);

        QSignalSpy spy(&*w, &MainWindow::stateChangedSignals);
        w.person->cancelNextDialog();
        w.ui()->pushButton_list1_Adds->click();
        QVERIFY(w.person->dialogs.last().includeSubfolders);
        QCOMPARE(codes(spy), (QList<int>{1, 3}));
        QCOMPARE(readSetting(config, "check", "c1", "<absent>"), QString("1"));

        // Mode 2 keeps its own choice
        w.person->answerFolders({}, false);
        w.ui()->pushButton_list2_Adds->click();
        QCOMPARE(w.person->dialogs.last().caption, QString("选择Excel文档所在目录:"));
        QVERIFY(!w.person->dialogs.last().includeSubfolders);
        QCOMPARE(readSetting(config, "check", "c2", "<absent>"), QString("0"));
        QCOMPARE(readSetting(config, "check", "c1", "<absent>"), QString("1"));
    }

    void removeSelectedRows()
    {
        ScriptedWindow w;
        w.person->answerFiles({"/d/a.xlsx", "/d/b.xlsx", "/d/c.xlsx", "/d/d.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        QTableWidget *t = w.ui()->tableWidget_list1;

        t->clearSelection();
        w.ui()->pushButton_list1_Remove->click();
        QCOMPARE(WindowProbe::list1(*w).size(), 4);
        QCOMPARE(w.status(), QString("文件删除完毕!"));

        select(t, {{0, 0}, {2, 0}, {2, 0}});
        w.ui()->pushButton_list1_Remove->click();
        QCOMPARE(WindowProbe::list1(*w), (QStringList{"/d/b.xlsx", "/d/d.xlsx"}));
        QVERIFY(t->selectionModel()->selectedIndexes().isEmpty());
        QCOMPARE(w.fileCount(), QString(" 文件(2)"));
        KORRIN_CHECK_TABLES(*w);

        w.ui()->pushButton_list1_Clear->click();
        QVERIFY(WindowProbe::list1(*w).isEmpty());
        QCOMPARE(w.status(), QString("列表被清空!"));
        QCOMPARE(w.fileCount(), QString(" 文件(0)"));
        KORRIN_CHECK_TABLES(*w);
    }

    void hoverTips()
    {
        ScriptedWindow w;
        w.person->answerFiles({"/data/x/a.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        emit w.ui()->tableWidget_list1->cellEntered(0, 0);
        QCOMPARE(w.person->tips, QStringList{"/data/x/a.xlsx 【右键双击】可打开"});
        QCOMPARE(w.ui()->tableWidget_list1->item(0, 0)->text(), QString("a.xlsx"));
        emit w.ui()->tableWidget_list1->cellEntered(5, 0); // no such entry
        QCOMPARE(w.person->tips.size(), 1);

        w.person->answerFiles({"/data/y/b.xls"});
        w.ui()->pushButton_list2_Add->click();
        emit w.ui()->tableWidget_list2->cellEntered(0, 0); // keyword column
        emit w.ui()->tableWidget_list2->cellEntered(0, 2); // past the last file
        QCOMPARE(w.person->tips.size(), 1);
        emit w.ui()->tableWidget_list2->cellEntered(0, 1);
        QCOMPARE(w.person->tips.last(), QString("/data/y/b.xls 【右键双击】可打开"));
    }

    void mode2InputRowGrowsAndRefuses()
    {
        ScriptedWindow w;
        QTableWidget *t = w.ui()->tableWidget_list2;
        QCOMPARE(t->rowCount(), 1);
        type(t, 0, 0, "k1");
        QCOMPARE(t->rowCount(), 2);
        QVERIFY(t->item(1, 0));
        QVERIFY(cell(t, 1, 0).isEmpty());
        type(t, 1, 0, "k2");
        QCOMPARE(t->rowCount(), 3);

        // typing below an empty keyword is refused, in any column
        type(t, 1, 0, QString());
        w.ui()->pushButton_list2_Add->click(); // cancelled: nothing changes
        w.person->answerFiles({"/d/a.xlsx"});
        w.ui()->pushButton_list2_Add->click();
        type(t, 2, 1, "value");
        QCOMPARE(w.person->boxes.size(), 1);
        QCOMPARE(w.person->boxes.first().title, QString("警告"));
        QCOMPARE(w.person->boxes.first().text, QString("上一条[被替换关键字]为空,请补充!"));
        QVERIFY(cell(t, 2, 1).isEmpty());
        QCOMPARE(t->rowCount(), 3);
        type(t, 2, 0, "k3");
        QCOMPARE(w.person->boxes.size(), 2);
        QVERIFY(cell(t, 2, 0).isEmpty());
    }

    void mode2FileColumns()
    {
        ScriptedWindow w;
        w.ui()->tabWidget_1->setCurrentIndex(1);
        QTableWidget *t = w.ui()->tableWidget_list2;
        type(t, 0, 0, "key");
        type(t, 1, 0, "other");
        w.person->answerFiles({"/d/one.xlsx", "/d/two.xls"});
        w.ui()->pushButton_list2_Add->click();
        QCOMPARE(t->columnCount(), 3);
        QCOMPARE(t->horizontalHeaderItem(1)->text(), QString("one.xlsx"));
        QCOMPARE(t->horizontalHeaderItem(2)->text(), QString("two.xls"));
        QCOMPARE(w.fileCount(), QString(" 文件(2)"));
        QVERIFY(cell(t, 0, 1).isEmpty());
        type(t, 0, 1, "for one");
        type(t, 0, 2, "for two");
        KORRIN_CHECK_TABLES(*w);

        // column 0 is never removed
        select(t, {{0, 0}});
        w.ui()->pushButton_list2_RemoveColumn->click();
        QCOMPARE(t->columnCount(), 3);
        // removing column 1: the former column 2 keeps its cells under its own name
        select(t, {{0, 1}, {1, 1}});
        w.ui()->pushButton_list2_RemoveColumn->click();
        QCOMPARE(t->columnCount(), 2);
        QCOMPARE(WindowProbe::list2(*w), QStringList{"/d/two.xls"});
        QCOMPARE(t->horizontalHeaderItem(1)->text(), QString("two.xls"));
        QCOMPARE(cell(t, 0, 1), QString("for two"));
        QCOMPARE(cell(t, 0, 0), QString("key"));
        QCOMPARE(w.status(), QString("文件删除完毕!"));
        QCOMPARE(w.fileCount(), QString(" 文件(1)"));
        KORRIN_CHECK_TABLES(*w);
    }

    void mode2Rows()
    {
        ScriptedWindow w;
        QTableWidget *t = w.ui()->tableWidget_list2;
        type(t, 0, 0, "a");
        type(t, 1, 0, "b");
        type(t, 2, 0, "c");
        QCOMPARE(t->rowCount(), 4);
        // the input row alone removes nothing
        select(t, {{3, 0}});
        w.ui()->pushButton_list2_RemoveRow->click();
        QCOMPARE(t->rowCount(), 4);
        QCOMPARE(w.status(), QString("文件删除完毕!"));
        // two cells of one row remove it once
        w.person->answerFiles({"/d/a.xlsx"});
        w.ui()->pushButton_list2_Add->click();
        select(t, {{1, 0}, {1, 1}, {3, 0}});
        w.ui()->pushButton_list2_RemoveRow->click();
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(cell(t, 0, 0), QString("a"));
        QCOMPARE(cell(t, 1, 0), QString("c"));
        KORRIN_CHECK_TABLES(*w);

        w.ui()->pushButton_list2_Clear->click();
        QCOMPARE(t->rowCount(), 1);
        QCOMPARE(t->columnCount(), 1);
        QVERIFY(t->item(0, 0));
        QVERIFY(cell(t, 0, 0).isEmpty());
        QCOMPARE(t->horizontalHeaderItem(0)->text(), QString("关键字或位置"));
        QVERIFY(WindowProbe::list2(*w).isEmpty());
        QCOMPARE(w.status(), QString("列表被清空!"));
        KORRIN_CHECK_TABLES(*w);
    }

    void mode2FolderScan()
    {
        ScriptedWindow w;
        w.person->answerFolders({folder, folder + "/sub"}, false);
        w.ui()->pushButton_list2_Adds->click();
        QCOMPARE(WindowProbe::list2(*w), (QStringList{folder + "/A.XLSX", folder + "/b.Xls", folder + "/c.xlsm",
                                                      folder + "/d.xltx", folder + "/sub/f.xlsx"}));
        KORRIN_CHECK_TABLES(*w);
    }

    void fileCounterFollowsTheCurrentTab()
    {
        ScriptedWindow w;
        w.person->answerFiles({"/d/a.xlsx", "/d/b.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        QCOMPARE(w.fileCount(), QString(" 文件(2)"));
        w.ui()->tabWidget_1->setCurrentIndex(1);
        QCOMPARE(w.fileCount(), QString(" 文件(0)"));
        w.person->answerFiles({"/d/c.xlsx"});
        w.ui()->action_Add->trigger();
        QCOMPARE(w.fileCount(), QString(" 文件(1)"));
        QCOMPARE(WindowProbe::list2(*w), QStringList{"/d/c.xlsx"});
        w.ui()->tabWidget_1->setCurrentIndex(0);
        QCOMPARE(w.fileCount(), QString(" 文件(2)"));
        w.ui()->action_Clear->trigger();
        QCOMPARE(w.fileCount(), QString(" 文件(0)"));
        QCOMPARE(WindowProbe::list2(*w).size(), 1);
    }

    void clearAllOnEachTab()
    {
        ScriptedWindow w;
        w.person->answerFiles({"/d/a.xlsx"});
        w.ui()->pushButton_list1_Add->click();
        w.ui()->plainTextEdit_s1->setPlainText("k");
        w.ui()->pushButton_ClearAll->click();
        QVERIFY(WindowProbe::list1(*w).isEmpty());
        QVERIFY(w.ui()->plainTextEdit_s1->toPlainText().isEmpty());
        KORRIN_CHECK_TABLES(*w);
    }

    // The add-files dialog keeps its filter text and shows the workbooks the
    // folder scan takes, whatever their case, also after the filter is
    // chosen again.
    void fileDialogShowsEveryWorkbookName()
    {
        QFileDialog dialog(nullptr, "选择Excel文档:", folder, "Excel文件(*.xls *.xlsx)");
        matchNamesAsTheScanDoes(&dialog, true);
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
        auto *model = dialog.findChild<QFileSystemModel *>();
        QVERIFY(model);
        const auto shown = [&] {
            QStringList names;
            const QModelIndex root = model->index(folder);
            for (int i = 0; i < model->rowCount(root); ++i)
                if (!model->isDir(model->index(i, 0, root)))
                    names << model->index(i, 0, root).data().toString();
            names.sort(Qt::CaseInsensitive);
            return names;
        };
        const QStringList workbooks{"A.XLSX", "b.Xls", "c.xlsm", "d.xltx"};
        (void)QTest::qWaitFor([&] { return shown() == workbooks; }, 5000); // the model loads the folder on a thread
        QCOMPARE(shown(), workbooks);
        auto *types = dialog.findChild<QComboBox *>("fileTypeCombo");
        QCOMPARE(types->currentText(), QString("Excel文件(*.xls *.xlsx)"));
        emit types->activated(0);
        emit types->activated(types->currentText());
        QTest::qWait(50);
        QCOMPARE(shown(), workbooks);
    }

    void folderDialogLayout()
    {
        FolderDialog dialog(nullptr, "选择文本文档所在目录:", ".", true);
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
        QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
        QCOMPARE(dialog.windowTitle(), QString("选择文本文档所在目录:"));
        auto *list = dialog.findChild<QListView *>("listView");
        QVERIFY(list);
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCheckBox *box = dialog.subfolderBox();
        QCOMPARE(box->text(), QString("包含子目录文件"));
        QVERIFY(box->isChecked());
        auto *grid = qobject_cast<QGridLayout *>(dialog.layout());
        QVERIFY(grid);
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(grid->indexOf(box), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE((QList<int>{row, column, rowSpan, columnSpan}), (QList<int>{4, 0, 1, 5}));
    }
};

KORRIN_WINDOW_TEST_MAIN(TestFileLists)
#include "tst_filelists.moc"
