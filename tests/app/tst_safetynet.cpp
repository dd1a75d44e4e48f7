// The Tools menu through the widgets: a preview that changes nothing, its
// start button, the record of the run, backups and the undo that puts the
// workbooks back; the backup option's default; and the change table over a
// record of a million rows.

#include "changetablemodel.h"
#include "previewwindow.h"
#include "settings.h"
#include "testutil.h"
#include "windowprobe.h"

#include <QElapsedTimer>

class TestSafetyNet : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // first in A1, second in A2 of the first sheet, as openpyxl or xlwt
    // writes it.
    QString book(const QString &name, const QString &first = "apple", const QString &second = "pear")
    {
        const QString path = tmp.filePath(name);
        TestUtil::runPythonCode(
            "import sys\npath, first, second = sys.argv[1:4]\nif path.endswith('.xls'):\n"
            "    import xlwt\n    wb = xlwt.Workbook(); ws = wb.add_sheet('S')\n"
            "    ws.write(0, 0, first); ws.write(1, 0, second); wb.save(path)\n"
            "else:\n    import openpyxl\n    wb = openpyxl.Workbook(); ws = wb.active; ws.title = 'S'\n"
            "    ws['A1'] = first; ws['A2'] = second; wb.save(path)\n",
            {path, first, second});
        return path;
    }
    static PreviewWindow *changeWindow(ScriptedWindow &w, const char *name)
    {
        PreviewWindow *found = nullptr;
        for (PreviewWindow *p : w.window->findChildren<PreviewWindow *>())
            if (p->objectName() == QLatin1String(name) && p->isVisible())
                found = p;
        return found;
    }
    static QString tipOf(ScriptedWindow &w, int row)
    {
        emit w.ui()->tableWidget_list1->cellEntered(row, 0);
        return w.person->tips.isEmpty() ? QString() : w.person->tips.last();
    }
    static QMenu *toolsMenu(ScriptedWindow &w) { return w.window->findChild<QMenu *>("menu_T"); }
    static QAction *tool(ScriptedWindow &w, const char *name) { return w.window->findChild<QAction *>(name); }

private slots:
    void init() { QFile::remove(qEnvironmentVariable("XDG_DATA_HOME") + "/dovKa_" KORRIN_VERSION "/dovKa"); }

    // The menu sits between File and Help; backups are on until turned
    // off, which the settings file keeps; no key of the menu is taken.
    void menuAndBackupSetting()
    {
        {
            ScriptedWindow w;
            const QList<QAction *> menus = w.window->menuBar()->actions();
            QCOMPARE(menus.size(), 3);
            QCOMPARE(menus.at(1)->text(), QString("工具(&T)"));
            QCOMPARE(menus.at(0)->menu(), w.ui()->menu_F);
            QCOMPARE(menus.at(2)->menu(), w.ui()->menu_H);
            QStringList texts;
            for (QAction *a : toolsMenu(w)->actions())
                if (!a->isSeparator())
                    texts << a->text();
            QCOMPARE(texts, QStringList({"预览替换(&V)", "更改记录(&R)", "撤销上次替换(&U)", "替换前备份(&B)",
                                         "备份文件夹(&D)…"}));
            QVERIFY(tool(w, "action_Backup")->isCheckable());
            QVERIFY(tool(w, "action_Backup")->isChecked());

            QSet<QKeySequence> keys;
            for (QAction *a : w.window->findChildren<QAction *>())
                for (const QKeySequence &k : a->shortcuts()) {
                    QVERIFY2(!keys.contains(k), qPrintable(k.toString()));
                    keys.insert(k);
                }
            for (QAbstractButton *b : w.window->findChildren<QAbstractButton *>())
                QVERIFY2(b->shortcut().isEmpty() || !keys.contains(b->shortcut()), qPrintable(b->objectName()));
            // editing keys of the panes and tables stay theirs
            for (const auto standard : {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Copy, QKeySequence::Paste,
                                        QKeySequence::Cut, QKeySequence::SelectAll, QKeySequence::Delete})
                for (const QKeySequence &k : QKeySequence::keyBindings(standard))
                    QVERIFY2(!keys.contains(k), qPrintable(k.toString()));

            tool(w, "action_Backup")->setChecked(false);
        }
        ScriptedWindow again;
        QVERIFY(!tool(again, "action_Backup")->isChecked());
        QCOMPARE(readSetting(WindowProbe::configPath(*again), "backup", "enabled", QString()), QString("0"));
    }

    // preview → 开始替换 → 更改记录 → 撤销上次替换 on an .xlsx and an .xls
    // workbook, a file without the keyword and a missing one.
    void previewReplaceRecordUndo()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl", "xlwt");
        const QString backups = tmp.filePath("backups");
        ScriptedWindow w;
        writeSetting(WindowProbe::configPath(*w), "backup", "folder", backups);
        const QString x = book("e2e.xlsx"), s = book("e2e.xls"), plain = book("untouched.xlsx", "plum", "fig");
        const QString missing = tmp.filePath("gone.xlsx");
        const QByteArray xBefore = bytes(x), sBefore = bytes(s), plainBefore = bytes(plain);
        w.person->answerFiles({x, s, plain, missing});
        w.ui()->action_Add->trigger();
        w.ui()->plainTextEdit_s1->setPlainText("apple|pear");
        w.ui()->plainTextEdit_s2->setPlainText("fruit");

        // the preview: a table of the cells, no file touched, no backup
        tool(w, "action_Preview")->trigger();
        QTRY_VERIFY(changeWindow(w, "PreviewWindow"));
        PreviewWindow *preview = changeWindow(w, "PreviewWindow");
        QVERIFY(bytes(x) == xBefore && bytes(s) == sBefore);
        QVERIFY(!QDir(backups).exists() || QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        ChangeTableModel *model = preview->model();
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->index(0, 0).data().toString(), QString("e2e.xlsx"));
        QCOMPARE(model->index(0, 2).data().toString(), QString("A1"));
        QCOMPARE(model->index(0, 3).data().toString(), QString("apple"));
        QCOMPARE(model->index(0, 4).data().toString(), QString("fruit"));
        QCOMPARE(model->index(3, 0).data().toString(), QString("e2e.xls"));
        auto *files = preview->findChild<QTableWidget *>("tableWidget_files");
        QCOMPARE(files->rowCount(), 4);
        QCOMPARE(files->item(0, 1)->text(), QString("预览: 将更改 2 个单元格"));
        QVERIFY2(files->item(3, 1)->text().startsWith("丢失"), qPrintable(files->item(3, 1)->text()));
        preview->findChild<QLineEdit *>("lineEdit_filter")->setText("PEAR");
        QTRY_COMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(1, 3).data().toString(), QString("pear"));
        const QString csv = tmp.filePath("preview.csv");
        w.person->fileNameAnswers << csv;
        preview->findChild<QPushButton *>("pushButton_export")->click();
        QTRY_COMPARE(w.person->boxes.size(), 1);
        QVERIFY(bytes(csv).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(bytes(csv).count('\n'), 5); // the header and all rows, not only the filtered ones

        // its start button runs the same plan for real, with backups
        preview->findChild<QPushButton *>("pushButton_start")->click();
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(WindowProbe::label(*w, "successLabel"), QString(" 成功(3)"));
        QVERIFY(bytes(x) != xBefore && bytes(s) != sBefore);
        QCOMPARE(bytes(plain), plainBefore);
        const QStringList runs = QDir(backups).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(runs.size(), 1);
        const QString runFolder = backups + "/" + runs.first();
        QCOMPARE(bytes(runFolder + "/e2e.xlsx"), xBefore);
        QVERIFY(!QFile::exists(runFolder + "/untouched.xlsx")); // only files that change
        QCOMPARE(tipOf(w, 0), x + " 【右键双击】可打开\n成功: 更改了 2 个单元格，备份: " + runFolder + "/e2e.xlsx");
        QCOMPARE(tipOf(w, 2), plain + " 【右键双击】可打开\n成功: 更改了 0 个单元格");

        // the record of that run: the same table, no start button
        tool(w, "action_ChangeLog")->trigger();
        PreviewWindow *record = changeWindow(w, "ChangeLogWindow");
        QVERIFY(record);
        QCOMPARE(record->model()->rowCount(), 4);
        QVERIFY(!record->findChild<QPushButton *>("pushButton_start")->isVisible());
        record->close();

        // undo: the run is offered with its files and cells; a file edited
        // since is refused and left alone, the other comes back byte for byte
        QFile::remove(s);
        QVERIFY(QFile::copy(plain, s));
        const QByteArray sEdited = bytes(s);
        w.person->runAnswer = 0;
        tool(w, "action_Undo")->trigger();
        QCOMPARE(w.person->offeredRuns.size(), 1);
        QCOMPARE(w.person->offeredRuns.first().files, 2);
        QCOMPARE(w.person->offeredRuns.first().cells, qint64(4));
        QTRY_COMPARE(w.status(), QString("文件替换处理全部完成!"));
        QCOMPARE(bytes(x), xBefore);
        QCOMPARE(bytes(s), sEdited);
        QCOMPARE(WindowProbe::label(*w, "successLabel"), QString(" 成功(1)"));
        QCOMPARE(WindowProbe::label(*w, "failureLabel"), QString(" <font color='red'>失败(1)</font>"));
        QCOMPARE(w.ui()->tableWidget_list1->item(1, 0)->background().color(), QColor(Qt::red));
        QVERIFY2(tipOf(w, 0).endsWith("成功: 已恢复 2 个单元格，备份: " + runFolder + "/e2e.xlsx"), qPrintable(tipOf(w, 0)));
        QVERIFY2(tipOf(w, 1).contains("changed since the run; not restored"), qPrintable(tipOf(w, 1)));
    }

    // A backup folder that cannot be used stops the run before any file
    // changes, with a box that says why.
    void unusableBackupFolderStopsTheRun()
    {
        KORRIN_REQUIRE_PYTHON("openpyxl", "xlwt");
        ScriptedWindow w;
        const QString notAFolder = tmp.filePath("plain-file");
        QFile f(notAFolder);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        writeSetting(WindowProbe::configPath(*w), "backup", "folder", notAFolder + "/sub");
        const QString x = book("refused.xlsx");
        const QByteArray before = bytes(x);
        w.person->answerFiles({x});
        w.ui()->action_Add->trigger();
        w.ui()->plainTextEdit_s1->setPlainText("apple");
        w.ui()->pushButton_replace->click();
        QCOMPARE(w.status(), QString("文件替换处理被取消!"));
        QCOMPARE(w.person->boxes.size(), 1);
        QVERIFY2(w.person->boxes.first().text.startsWith("备份文件夹不能使用"), qPrintable(w.person->boxes.first().text));
        QVERIFY(w.ui()->pushButton_replace->isEnabled());
        QCOMPARE(bytes(x), before);
    }

    // A million rows: the window opens and scrolls to the end at once, and
    // the filter runs beside the window, not in it.
    void millionRows()
    {
        auto record = std::make_shared<ChangeRecord>();
        QString error;
        QVERIFY2(record->open(&error), qPrintable(error));
        const int rows = 1000000;
        for (int file = 0; file < 4; ++file) {
            std::unique_ptr<ChangeRecord::Writer> writer = record->writer();
            for (int r = 1; r <= rows / 4; ++r)
                QVERIFY(writer->cellChanged("Sheet1", r, 1 + file, QString("before %1").arg(r),
                                            r % 1000 == 0 ? QString("NEEDLE %1").arg(r) : QString("after"), &error));
            QVERIFY2(writer->finish(&error), qPrintable(error));
            record->keep(file, tmp.filePath(QString("big-%1.xlsx").arg(file)), std::move(writer));
        }
        ScriptedInteraction person;
        QElapsedTimer clock;
        clock.start();
        PreviewWindow window(PreviewWindow::Record, record, {}, &person);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const qint64 opened = clock.restart();
        window.table()->scrollToBottom();
        QApplication::processEvents();
        window.table()->verticalScrollBar()->setValue(window.table()->verticalScrollBar()->maximum() / 2);
        QApplication::processEvents();
        const qint64 scrolled = clock.restart();
        qInfo("1,000,000 rows: opened in %lld ms, scrolled in %lld ms", opened, scrolled);
        QCOMPARE(window.model()->rowCount(), rows);
        QCOMPARE(window.model()->index(rows - 1, 2).data().toString(), QString("D250000"));
        QCOMPARE(window.model()->index(rows - 1, 4).data().toString(), QString("NEEDLE 250000"));

        window.model()->setFilter("needle");
        QVERIFY(window.model()->filtering()); // handed to a worker, not done in the window
        QTRY_VERIFY_WITH_TIMEOUT(!window.model()->filtering(), 30000);
        qInfo("filtered in %lld ms", clock.restart());
        QCOMPARE(window.model()->rowCount(), rows / 1000);
        QCOMPARE(window.model()->index(0, 4).data().toString(), QString("NEEDLE 1000"));
        window.model()->setFilter(QString());
        QCOMPARE(window.model()->rowCount(), rows);
    }
};

KORRIN_WINDOW_TEST_MAIN(TestSafetyNet)
#include "tst_safetynet.moc"
