// The list commands of both tabs. Each tab's behaviour lives in its own
// class (mode1tab.h, mode2tab.h); the form's slots hand the command on.

#include "mainwindow.h"

#include "mode1tab.h"
#include "mode2tab.h"

void MainWindow::on_pushButton_list1_Add_clicked()
{
    mode1Tab->addChosenFiles();
}

void MainWindow::on_pushButton_list1_Adds_clicked()
{
    mode1Tab->addChosenFolders();
}

void MainWindow::on_pushButton_list1_Remove_clicked()
{
    mode1Tab->removeSelected();
}

void MainWindow::on_pushButton_list1_Save_clicked()
{
    mode1Tab->exportList();
}

void MainWindow::on_pushButton_list1_Import_clicked()
{
    mode1Tab->importChosenList();
}

void MainWindow::on_pushButton_list1_Clear_clicked()
{
    mode1Tab->clear();
}

void MainWindow::on_pushButton_keyClear_clicked()
{
    mode1Tab->clearKeywords();
}

void MainWindow::on_tableWidget_list1_cellEntered(int row, int /*column*/)
{
    mode1Tab->showFileTip(row);
}

void MainWindow::on_tableWidget_list2_itemChanged(QTableWidgetItem *item)
{
    mode2Tab->cellChanged(item);
}

void MainWindow::on_pushButton_list2_Add_clicked()
{
    mode2Tab->addChosenFiles();
}

void MainWindow::on_pushButton_list2_Adds_clicked()
{
    mode2Tab->addChosenFolders();
}

void MainWindow::on_pushButton_list2_RemoveRow_clicked()
{
    mode2Tab->removeSelectedRows();
}

void MainWindow::on_pushButton_list2_RemoveColumn_clicked()
{
    mode2Tab->removeSelectedColumns();
}

void MainWindow::on_pushButton_list2_Save_clicked()
{
    mode2Tab->exportList();
}

void MainWindow::on_pushButton_list2_Import_clicked()
{
    mode2Tab->importChosenList();
}

void MainWindow::on_pushButton_list2_Clear_clicked()
{
    mode2Tab->clear();
}

void MainWindow::on_tableWidget_list2_cellEntered(int /*row*/, int column)
{
    mode2Tab->showColumnTip(column);
}
