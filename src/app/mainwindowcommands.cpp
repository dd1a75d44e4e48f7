#include "mainwindow.h"

#include "abouttext.h"
#include "folderpath.h"
#include "manualplaces.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include <cstdlib>

// The File menu acts on the list of the current tab.

void MainWindow::on_action_Adds_triggered()
{
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        on_pushButton_list1_Adds_clicked();
        break;
    case 1:
        on_pushButton_list2_Adds_clicked();
        break;
    }
}

void MainWindow::on_action_Add_triggered()
{
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        on_pushButton_list1_Add_clicked();
        break;
    case 1:
        on_pushButton_list2_Add_clicked();
        break;
    }
}

void MainWindow::on_action_Save_triggered()
{
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        on_pushButton_list1_Save_clicked();
        break;
    case 1:
        on_pushButton_list2_Save_clicked();
        break;
    }
}

void MainWindow::on_action_Import_triggered()
{
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        on_pushButton_list1_Import_clicked();
        break;
    case 1:
        on_pushButton_list2_Import_clicked();
        break;
    }
}

void MainWindow::on_action_Clear_triggered()
{
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        on_pushButton_list1_Clear_clicked();
        break;
    case 1:
        on_pushButton_list2_Clear_clicked();
        break;
    }
}

// Ends the process at once: the window is not destroyed, so the options
// keep the values of the last normal exit.
void MainWindow::on_action_Quit_triggered()
{
    std::exit(0);
}

void MainWindow::on_action_P_triggered()
{
    interaction->information(this, tr("关于Tarvo"), aboutText(appVersion));
}

// F1: the first manual that exists and that the desktop opens; when none
// does, the user is told what was tried instead of nothing happening.
void MainWindow::on_action_triggered()
{
    const QStringList places = manualPlaces(QDir::currentPath(), QCoreApplication::applicationDirPath());
    const QString failure = openFirstManual(
        places, [this](const QString &place) { return interaction->openUrl(QUrl::fromLocalFile(place)); });
    if (!failure.isEmpty())
        interaction->warning(this, tr("警告"), failure);
}

void MainWindow::on_pushButton_ClearAll_clicked()
{
    resetCounters();
    if (ui->tabWidget_1->currentIndex() != 0) {
        on_pushButton_list2_Clear_clicked();
    } else {
        on_pushButton_list1_Clear_clicked();
        on_pushButton_keyClear_clicked();
    }
}

void MainWindow::on_tabWidget_1_currentChanged(int /*index*/)
{
    emit fileNumChangedSignals();
}

void MainWindow::openFolderOfList1Current()
{
    const int row = ui->tableWidget_list1->currentRow();
    if (row < 0 || row >= fileList1.size())
        return;
    openFolderOf(fileList1.at(row));
}

// Column 0 holds the keywords; file column c belongs to entry c - 1.
void MainWindow::openFolderOfList2Current()
{
    const int column = ui->tableWidget_list2->currentColumn();
    if (column <= 0 || column > fileList2.size())
        return;
    openFolderOf(fileList2.at(column - 1));
}

void MainWindow::openFolderOf(const QString &listedPath)
{
    const QString folder = folderOfListedFile(listedPath);
    if (folder.isEmpty())
        return;
    interaction->openUrl(QUrl::fromLocalFile(folder));
}
