#include "abouttext.h"
#include "korrinversion.h"
#include "mainwindow.h"
#include "helpwindow.h"
#include "manualplaces.h"
#include "qtablewidgetex.h"
#include "settings.h"
#include "scriptedinteraction.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    ScriptedInteraction *recorder = nullptr;

    static QString settingsFile()
    {
        return qEnvironmentVariable("XDG_DATA_HOME") + "/dovKa_" KORRIN_VERSION "/dovKa";
    }
    static void store(const QString &key, const QString &value) { writeSetting(settingsFile(), "set", key, value); }
    static QString stored(const QString &key) { return readSetting(settingsFile(), "set", key, "<absent>"); }

    void start()
    {
        window.reset(new MainWindow);
        auto r = std::make_unique<ScriptedInteraction>();
        recorder = r.get();
        window->setUserInteraction(std::move(r));
    }
    template<typename T> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }

private slots:
    void init() { QFile::remove(settingsFile()); }
    void cleanup() { window.reset(); }

    void firstStartWithoutSettingsFile()
    {
        start();
        QCOMPARE(window->windowTitle(), QString("Korrin V" KORRIN_VERSION));
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        QCOMPARE(child<QTabWidget>("tabWidget_1")->currentIndex(), 0);
        QCOMPARE(child<QLineEdit>("lineEdit_Separator")->text(), QString("|"));
        QVERIFY(child<QRadioButton>("radioButton_key")->isChecked());
        QVERIFY(!child<QRadioButton>("radioButton_position")->isChecked());
        QVERIFY(!child<QCheckBox>("checkBox_matchCase")->isChecked());
        QVERIFY(!child<QCheckBox>("checkBox_lookAt")->isChecked());
        QCOMPARE(child<QComboBox>("comboBox_searchOrder")->currentText(), QString("按行"));
        QCOMPARE(child<QComboBox>("comboBox")->currentText(), QString("默认页"));
        QVERIFY(!child<QComboBox>("comboBox")->isEditable());
        QCOMPARE(child<QPushButton>("pushButton_replace")->toolTip(), QString("替换(CTRL_SHIFT+H)"));
        QCOMPARE(child<QPushButton>("pushButton_list2_Clear")->toolTip(), QString("Ctrl+Del"));

        auto *list1 = child<QTableWidget>("tableWidget_list1");
        QCOMPARE(list1->rowCount(), 0);
        QCOMPARE(list1->horizontalHeaderItem(0)->text(), QString("文件名"));
        QCOMPARE(list1->editTriggers(), QAbstractItemView::NoEditTriggers);
        auto *list2 = child<QTableWidget>("tableWidget_list2");
        QCOMPARE(list2->rowCount(), 1);
        QCOMPARE(list2->columnCount(), 1);
        QCOMPARE(list2->horizontalHeaderItem(0)->text(), QString("关键字或位置"));
        // Hover tips need cell-entered signals while no button is pressed.
        QVERIFY(list1->viewport()->hasMouseTracking() && list2->viewport()->hasMouseTracking());

        // The five labels, left to right, with their start texts.
        const char *names[] = {"fileNumLabel", "successLabel", "failureLabel", "missingLabel", "stateLabel"};
        const QStringList texts{" 文件(0)", " 成功(0)", " 失败(0)", " 丢失(0)", " 就绪★★★处理之前请自行对文件进行备份★★★"};
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(label(names[i]), texts[i]);
            QCOMPARE(child<QLabel>(names[i])->parentWidget(), window->statusBar());
            if (i > 0)
                QVERIFY(child<QLabel>(names[i - 1])->x() < child<QLabel>(names[i])->x());
        }
        QVERIFY(!QFile::exists(settingsFile()));
    }

    // "key": 0 is position mode and leaves the keyword options alone; a
    // value other than 0 or 1 leaves the radio buttons as the form set them.
    void restoreSearchMode_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("optionsApplied");
        QTest::newRow("position") << "0" << false << false;
        QTest::newRow("keyword") << "1" << true << true;
        QTest::newRow("seven") << "7" << true << true;
        QTest::newRow("no number") << "x" << false << false;
    }
    void restoreSearchMode()
    {
        QFETCH(QString, key);
        QFETCH(bool, byKey);
        QFETCH(bool, optionsApplied);
        store("key", key);
        store("matchCase", "1");
        store("lookAt", "1");
        store("searchOrder", "1");
        start();
        QCOMPARE(child<QRadioButton>("radioButton_key")->isChecked(), byKey);
        QCOMPARE(child<QRadioButton>("radioButton_position")->isChecked(), !byKey);
        QCOMPARE(child<QCheckBox>("checkBox_matchCase")->isChecked(), optionsApplied);
        QCOMPARE(child<QCheckBox>("checkBox_lookAt")->isChecked(), optionsApplied);
        QCOMPARE(child<QComboBox>("comboBox_searchOrder")->currentIndex(), optionsApplied ? 1 : 0);
    }

    void restoreNumbersOutOfRange_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("searchOrder");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("order");
        QTest::newRow("second tab, by columns") << "1" << "1" << 1 << 1;
        QTest::newRow("five and seven") << "5" << "7" << 0 << 0;
        QTest::newRow("negative") << "-1" << "-1" << 0 << 0;
        QTest::newRow("no numbers") << "abc" << "1x" << 0 << 0;
    }
    void restoreNumbersOutOfRange()
    {
        QFETCH(QString, way);
        QFETCH(QString, searchOrder);
        store("way", way);
        store("searchOrder", searchOrder);
        start();
        QTEST(child<QTabWidget>("tabWidget_1")->currentIndex(), "tab");
        QTEST(child<QComboBox>("comboBox_searchOrder")->currentIndex(), "order");
    }

    void restoreSheetChoice_data()
    {
        QTest::addColumn<QString>("comIndex");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Default") << "Default" << 0 << false << "默认页";
        QTest::newRow("Last") << "Last" << 2 << false << "尾表";
        QTest::newRow("lower case is a typed text") << "first" << 0 << true << "first";
        QTest::newRow("typed list") << "1,3" << 0 << true << "1,3";
        QTest::newRow("named item") << "指定表" << 0 << true << "指定表";
    }
    void restoreSheetChoice()
    {
        QFETCH(QString, comIndex);
        store("comIndex", comIndex);
        start();
        auto *box = child<QComboBox>("comboBox");
        QTEST(box->currentIndex(), "index");
        QTEST(box->isEditable(), "editable");
        QTEST(box->currentText(), "shown");
    }

    // The box stores what it shows: a restored list sits on item 0 with its
    // text in the edit field and is stored as that text; a list typed on the
    // "指定表" item as typed, the bare item as its own text.
    void sheetChoiceStoredAtExit()
    {
        store("comIndex", "1,3");
        start();
        window.reset();
        QCOMPARE(stored("comIndex"), QString("1,3"));

        start();
        auto *box = child<QComboBox>("comboBox");
        box->setCurrentIndex(4);
        QVERIFY(box->isEditable());
        box->setEditText("2,4");
        window.reset();
        QCOMPARE(stored("comIndex"), QString("2,4"));
        start();
        QCOMPARE(child<QComboBox>("comboBox")->currentText(), QString("2,4"));

        child<QComboBox>("comboBox")->setCurrentIndex(4);
        window.reset();
        QCOMPARE(stored("comIndex"), QString("指定表"));

        start();
        child<QComboBox>("comboBox")->setCurrentIndex(2);
        QVERIFY(!child<QComboBox>("comboBox")->isEditable());
        window.reset();
        QCOMPARE(stored("comIndex"), QString("Last"));
    }

    void normalCloseStoresEveryOption()
    {
        start();
        child<QTabWidget>("tabWidget_1")->setCurrentIndex(1);
        child<QLineEdit>("lineEdit_Separator")->setText("a,b;c");
        child<QComboBox>("comboBox")->setCurrentIndex(1);
        child<QCheckBox>("checkBox_matchCase")->setChecked(true);
        child<QComboBox>("comboBox_searchOrder")->setCurrentIndex(1);
        child<QRadioButton>("radioButton_position")->setChecked(true);
        window.reset();

        QCOMPARE(stored("way"), QString("1"));
        QCOMPARE(stored("separator"), QString("a,b;c"));
        QCOMPARE(stored("comIndex"), QString("First"));
        QCOMPARE(stored("key"), QString("0"));
        QCOMPARE(stored("matchCase"), QString("1"));
        QCOMPARE(stored("searchOrder"), QString("1"));
        QCOMPARE(stored("lookAt"), QString("0"));

        start();
        QCOMPARE(child<QTabWidget>("tabWidget_1")->currentIndex(), 1);
        QCOMPARE(child<QLineEdit>("lineEdit_Separator")->text(), QString("a,b;c"));
        QCOMPARE(child<QComboBox>("comboBox")->currentIndex(), 1);
        QVERIFY(child<QRadioButton>("radioButton_position")->isChecked());
        // Position mode: the stored keyword options are not applied.
        QVERIFY(!child<QCheckBox>("checkBox_matchCase")->isChecked());
        QCOMPARE(child<QComboBox>("comboBox_searchOrder")->currentIndex(), 0);
    }

    void quitEndsWithoutSaving()
    {
        store("separator", "#");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--quit-child"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("quitting"));
        QCOMPARE(stored("separator"), QString("#"));
        QCOMPARE(stored("way"), QString("<absent>"));
    }

    void stateMessages_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("58") << 58 << "拖入文件类型不受支持!";
        QTest::newRow("37") << 37 << "没有在列表043文件中找到对应的清单!";
        QTest::newRow("12 has no message") << 12 << "12 咦?这是神马操作?";
        QTest::newRow("0") << 0 << "0 咦?这是神马操作?";
        QTest::newRow("negative") << -5 << "-5 咦?这是神马操作?";
    }
    void stateMessages()
    {
        QFETCH(int, code);
        start();
        emit window->stateChangedSignals(code);
        QTEST(label("stateLabel"), "text");
    }

    void fileCountFollowsTab()
    {
        start();
        window->fileList1 = QStringList{"/a/1.xlsx", "/a/2.xlsx", "/a/3.xls"};
        emit window->fileNumChangedSignals();
        QCOMPARE(label("fileNumLabel"), QString(" 文件(3)"));
        child<QTabWidget>("tabWidget_1")->setCurrentIndex(1);
        QCOMPARE(label("fileNumLabel"), QString(" 文件(0)"));
        child<QTabWidget>("tabWidget_1")->setCurrentIndex(0);
        QCOMPARE(label("fileNumLabel"), QString(" 文件(3)"));
    }

    void clearAllResetsCountersOnly()
    {
        start();
        window->successCount = 4;
        window->doneCount = 4;
        window->runTotal = 9;
        window->successLabel->setText(" 成功(4)");
        window->failureLabel->setText(" <font color='red'>失败(2)</font>");
        emit window->stateChangedSignals(49);
        QTest::keyClick(child<QPushButton>("pushButton_ClearAll"), Qt::Key_Space);
        QCOMPARE(window->successCount, 0);
        QCOMPARE(window->doneCount, 0);
        QCOMPARE(window->runTotal, 9);
        QCOMPARE(label("successLabel"), QString(" 成功(0)"));
        QCOMPARE(label("failureLabel"), QString(" 失败(0)"));
        QCOMPARE(label("stateLabel"), QString("列表被清空!"));
    }

    void doubleClickOpensFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("backslashes") << "C:\\data\\book.xlsx" << "C:/data/";
        QTest::newRow("slashes") << "/home/u/x/b.xls" << "/home/u/x/";
        QTest::newRow("root") << "/b.xls" << "/";
        QTest::newRow("no folder part") << "book.xlsx" << "";
    }
    void doubleClickOpensFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        start();
        auto *list1 = child<QTableWidget>("tableWidget_list1");
        window->fileList1 = QStringList{path};
        list1->setRowCount(2); // the second row has no entry behind it
        list1->setItem(0, 0, new QTableWidgetItem("a"));
        list1->setItem(1, 0, new QTableWidgetItem("b"));
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        auto doubleClick = [list1](int row, Qt::MouseButton button) {
            const QPoint at = list1->visualItemRect(list1->item(row, 0)).center();
            QTest::mouseClick(list1->viewport(), button, {}, at);
            QTest::mouseDClick(list1->viewport(), button, {}, at);
        };
        doubleClick(0, Qt::RightButton);
        QVERIFY(recorder->opened.isEmpty());
        doubleClick(0, Qt::LeftButton);
        if (folder.isEmpty())
            QVERIFY(recorder->opened.isEmpty());
        else
            QCOMPARE(recorder->opened, QList<QUrl>{QUrl::fromLocalFile(folder)});

        recorder->opened.clear();
        doubleClick(1, Qt::LeftButton);
        QVERIFY(recorder->opened.isEmpty());
    }

    void doubleClickInTableTwo()
    {
        start();
        auto *list2 = child<QTableWidget>("tableWidget_list2");
        window->fileList2 = QStringList{"/w/one.xlsx"};
        list2->setColumnCount(3); // column 2 has no file behind it
        auto open = [&](int column) {
            list2->setCurrentCell(0, column);
            emit static_cast<QTableWidgetEx *>(list2)->mouseLeftDoubled();
        };
        open(0);
        open(2);
        QVERIFY(recorder->opened.isEmpty());
        open(1);
        QCOMPARE(recorder->opened.size(), 1);
        QCOMPARE(recorder->opened.first().toLocalFile(), QString("/w/"));
    }

    // F1 opens help.chm from the working directory when there is one and
    // the desktop takes it, otherwise the manual (for a program in this
    // build tree, the source tree's) in the help window, with or without a
    // browser; its button hands the page to the browser.
    void helpOpensChmOrTheHelpWindow()
    {
        QTemporaryDir work;
        const QString previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        const auto restoreDir = qScopeGuard([&] { QDir::setCurrent(previousDir); });
        const QUrl chm = QUrl::fromLocalFile(work.filePath("help.chm"));
        const QUrl manual = QUrl::fromLocalFile(KORRIN_SOURCE_MANUAL);
        start();
        QAction *help = child<QAction>("action");
        recorder->unopenable = {manual}; // no browser

        help->trigger();
        QVERIFY(recorder->opened.isEmpty());
        QVERIFY(recorder->boxes.isEmpty());
        auto *helpWindow = window->findChild<HelpWindow *>();
        QVERIFY(helpWindow && helpWindow->isVisible());
        QCOMPARE(helpWindow->browser()->source(), manual);
        QVERIFY(helpWindow->browser()->toPlainText().contains("korrin-batch"));
        // the pictures load, the contents list the headings
        const QVariant picture = helpWindow->browser()->document()->resource(
            QTextDocument::ImageResource, QUrl("images/start.png"));
        QVERIFY(!picture.value<QImage>().isNull() || !picture.value<QPixmap>().isNull());
        QVERIFY(helpWindow->contents()->count() >= 13);
        // links inside the manual are followed there, and back returns
        emit helpWindow->browser()->anchorClicked(QUrl("#mode2"));
        QCOMPARE(helpWindow->browser()->source().fragment(), QString("mode2"));
        QVERIFY(helpWindow->findChild<QPushButton *>("helpBack")->isEnabled());
        helpWindow->findChild<QPushButton *>("helpBack")->click();
        QCOMPARE(helpWindow->browser()->source(), manual);
        QVERIFY(recorder->opened.isEmpty());
        QVERIFY(helpWindow->findNext("korrin-batch"));
        QVERIFY(!helpWindow->findNext("no such text in the manual"));
        helpWindow->openInBrowser();
        QCOMPARE(recorder->opened, QList<QUrl>{manual});
        QVERIFY(!helpWindow->findChild<QLabel *>("helpMessage")->text().isEmpty()); // said it failed

        // a second F1 raises the same window
        help->trigger();
        QCOMPARE(window->findChildren<HelpWindow *>().size(), 1);

        QFile file(work.filePath("help.chm"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        recorder->opened.clear();
        help->trigger();
        QCOMPARE(recorder->opened, QList<QUrl>{chm});

        recorder->unopenable = {chm};
        recorder->opened.clear();
        helpWindow->close();
        QTRY_VERIFY(!window->findChild<HelpWindow *>());
        help->trigger();
        QCOMPARE(recorder->opened, QList<QUrl>{chm});
        QVERIFY(window->findChild<HelpWindow *>());
        QVERIFY(recorder->boxes.isEmpty());
    }

    // With no manual anywhere, a box says what was tried.
    void helpWithoutManualSaysWhatWasTried()
    {
        QTemporaryDir work;
        const QStringList places{work.filePath("help.chm"), work.filePath("manual/index.html")};
        QWidget parent;
        const QString failure = showManual(&parent, places, [](const QUrl &) { return true; });
        QVERIFY(failure.contains(places.at(0)));
        QVERIFY(failure.contains(places.at(1)));
        QVERIFY(!parent.findChild<HelpWindow *>());
    }

    // An installed program finds the manual beside it, whatever the prefix.
    void installedManualFollowsTheProgram()
    {
        QTemporaryDir prefix;
        const QStringList places = manualPlaces("/work", prefix.filePath("bin"));
        QCOMPARE(places, (QStringList{"/work/help.chm", prefix.filePath("share/korrin/manual/index.html")}));
    }

    // The About box shows the version, Korrin's licence and the licence of
    // every library that either program links.
    void aboutNamesEveryLinkedLibrary()
    {
        start();
        child<QAction>("action_P")->trigger();
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.first().title, QString("关于Tarvo"));
        const QString text = recorder->boxes.first().text;
        QVERIFY2(text.contains("Korrin V" KORRIN_VERSION) && text.contains(KORRIN_LICENSE), qPrintable(text));
        // Loaded only for .xls files, and named all the same.
        QVERIFY2(text.contains("libgsf：") && text.contains("GLib："), qPrintable(text));

        const QRegularExpression runtime("^(libc|libm|libstdc\\+\\+|libgcc_s|ld-linux.*)\\.so");
        for (const char *program : {KORRIN_GUI_PROGRAM, KORRIN_BATCH_PROGRAM}) {
            QProcess readelf;
            readelf.start("readelf", {"-d", program});
            QVERIFY(readelf.waitForFinished(30000) && readelf.exitCode() == 0);
            const QRegularExpression needed("\\(NEEDED\\)\\s+Shared library: \\[([^\\]]+)\\]");
            auto it = needed.globalMatch(QString::fromLocal8Bit(readelf.readAllStandardOutput()));
            int count = 0;
            while (it.hasNext()) {
                const QString object = it.next().captured(1);
                ++count;
                if (runtime.match(object).hasMatch())
                    continue;
                const QVector<LibraryLicence> entries = librariesInUse({object});
                QVERIFY2(entries.size() == 1, qPrintable(object + " has no licence entry"));
                QVERIFY2(text.contains(entries.first().name + "：" + entries.first().licence),
                         qPrintable(object + " missing from: " + text));
            }
            QVERIFY(count > 3);
        }
    }
};

// Run by quitEndsWithoutSaving in a process of its own: changes an option,
// then presses Ctrl+Q, which must end the process before main returns.
static int runQuitChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(KORRIN_VERSION);
    MainWindow window;
    window.findChild<QLineEdit *>("lineEdit_Separator")->setText("changed");
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 2;
    std::printf("quitting\n");
    std::fflush(stdout);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    return 3;
}

int main(int argc, char **argv)
{
    // Settings live under a temporary data location, set before the
    // application object exists; the child inherits it.
    std::unique_ptr<QTemporaryDir> dataHome;
    if (argc > 1 && qstrcmp(argv[1], "--quit-child") == 0)
        return runQuitChild(argc, argv);
    dataHome.reset(new QTemporaryDir);
    qputenv("XDG_DATA_HOME", dataHome->path().toLocal8Bit());

    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(KORRIN_VERSION);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
