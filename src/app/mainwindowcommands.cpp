#include "mainwindow.h"

#include "abouttext.h"
#include "helpwindow.h"
#include "manualplaces.h"
#include "mode1tab.h"
#include "mode2tab.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include <cstdlib>

// The File menu acts on the list of the current tab.

void MainWindow::on_action_Adds_triggered()
{
    if (ListTab *tab = currentTab())
        tab->addChosenFolders();
}

void MainWindow::on_action_Add_triggered()
{
    if (ListTab *tab = currentTab())
        tab->addChosenFiles();
}

void MainWindow::on_action_Save_triggered()
{
    if (ListTab *tab = currentTab())
        tab->exportList();
}

void MainWindow::on_action_Import_triggered()
{
    if (ListTab *tab = currentTab())
        tab->importChosenList();
}

void MainWindow::on_action_Clear_triggered()
{
    if (ListTab *tab = currentTab())
        tab->clear();
}

// Ends the process at once: the window is not destroyed, so the options
// keep the values of the last normal exit.
// Quitting ends the process at once; during a run it asks first, as
// closing the window does, since the files not yet saved keep their old
// content.
void MainWindow::on_action_Quit_triggered()
{
    if (runPending > 0 && !confirmLeavingRun())
        return;
    std::exit(0);
}

bool MainWindow::confirmLeavingRun()
{
    return interaction->question(this, tr("提示"), tr("替换尚未完成，确定退出？"));
}

void MainWindow::on_action_P_triggered()
{
    interaction->information(this, tr("关于Tarvo"), aboutText(appVersion));
}

// F1: help.chm from the working directory when the desktop opens it, else
// the manual in Korrin's own help window; when there is none, the user is
// told what was tried instead of nothing happening.
void MainWindow::on_action_triggered()
{
    const QStringList places = manualPlaces(QDir::currentPath(), QCoreApplication::applicationDirPath());
    const QString failure =
        showManual(this, places, [this](const QUrl &url) { return interaction->openUrl(url); });
    if (!failure.isEmpty())
        interaction->warning(this, tr("警告"), failure);
}

// Mode 1 clears the keyword panes too.
void MainWindow::on_pushButton_ClearAll_clicked()
{
    resetCounters();
    if (ui->tabWidget_1->currentIndex() != 0) {
        mode2Tab->clear();
    } else {
        mode1Tab->clear();
        mode1Tab->clearKeywords();
    }
}

void MainWindow::on_tabWidget_1_currentChanged(int /*index*/)
{
    emit fileNumChangedSignals();
}
