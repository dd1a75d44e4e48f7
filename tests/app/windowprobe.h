#pragma once

// What window tests need to see behind the widgets, and the main() that runs
// them against a throw-away settings location.

#include "korrinversion.h"
#include "mainwindow.h"
#include "scriptedinteraction.h"
#include "ui_mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

struct WindowProbe
{
    static QStringList &list1(MainWindow &w) { return w.fileList1; }
    static QStringList &list2(MainWindow &w) { return w.fileList2; }
    static Ui::MainWindow *ui(MainWindow &w) { return w.ui; }
    static QString configPath(MainWindow &w) { return w.configPath; }
    static int runMode(MainWindow &w) { return w.runMode; }
    static QString label(MainWindow &w, const char *name)
    {
        return w.findChild<QLabel *>(QString::fromLatin1(name))->text();
    }

    // Every Mode 1 row shows the file name of its entry; every Mode 2 file
    // column is headed by the file name of its entry.
    static bool tablesMatchLists(MainWindow &w, QString *why)
    {
        QTableWidget *t1 = w.ui->tableWidget_list1;
        if (t1->rowCount() != w.fileList1.size()) {
            *why = QString("list 1: %1 rows for %2 files").arg(t1->rowCount()).arg(w.fileList1.size());
            return false;
        }
        for (int i = 0; i < w.fileList1.size(); ++i) {
            if (!t1->item(i, 0) || t1->item(i, 0)->text() != QFileInfo(w.fileList1[i]).fileName()) {
                *why = QString("list 1 row %1").arg(i);
                return false;
            }
        }
        QTableWidget *t2 = w.ui->tableWidget_list2;
        if (t2->columnCount() != w.fileList2.size() + 1 || t2->rowCount() < 1) {
            *why = QString("list 2: %1 columns for %2 files").arg(t2->columnCount()).arg(w.fileList2.size());
            return false;
        }
        for (int i = 0; i < w.fileList2.size(); ++i) {
            if (t2->horizontalHeaderItem(i + 1)->text() != QFileInfo(w.fileList2[i]).fileName()) {
                *why = QString("list 2 column %1").arg(i + 1);
                return false;
            }
        }
        return true;
    }
};

// A window with a scripted person in front of it.
struct ScriptedWindow
{
    std::unique_ptr<MainWindow> window;
    ScriptedInteraction *person = nullptr;

    ScriptedWindow()
    {
        window.reset(new MainWindow);
        auto p = std::make_unique<ScriptedInteraction>();
        person = p.get();
        window->setUserInteraction(std::move(p));
    }
    MainWindow &operator*() { return *window; }
    Ui::MainWindow *ui() { return WindowProbe::ui(*window); }
    QString status() { return WindowProbe::label(*window, "stateLabel"); }
    QString fileCount() { return WindowProbe::label(*window, "fileNumLabel"); }
};

#define KORRIN_CHECK_TABLES(w)                                                                                   \
    do {                                                                                                         \
        QString why_;                                                                                            \
        QVERIFY2(WindowProbe::tablesMatchLists(w, &why_), qPrintable(why_));                                     \
    } while (0)

// Settings go to a temporary data location, set before the application
// object exists.
#define KORRIN_WINDOW_TEST_MAIN(TestClass)                                                                       \
    int main(int argc, char **argv)                                                                              \
    {                                                                                                            \
        QTemporaryDir dataHome;                                                                                  \
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());                                                 \
        QApplication app(argc, argv);                                                                            \
        QCoreApplication::setApplicationVersion(KORRIN_VERSION);                                                 \
        TestClass test;                                                                                          \
        return QTest::qExec(&test, argc, argv);                                                                  \
    }
