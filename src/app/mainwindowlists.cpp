#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::on_pushButton_list1_Add_clicked()
{
}

void MainWindow::on_pushButton_list1_Adds_clicked()
{
}

void MainWindow::on_pushButton_list1_Remove_clicked()
{
}

void MainWindow::on_pushButton_list1_Save_clicked()
{
}

void MainWindow::on_pushButton_list1_Import_clicked()
{
}

void MainWindow::on_pushButton_list1_Clear_clicked()
{
}

void MainWindow::on_tableWidget_list1_cellEntered(int /*row*/, int /*column*/)
{
}

void MainWindow::on_tableWidget_list2_itemChanged(QTableWidgetItem * /*item*/)
{
}

void MainWindow::on_pushButton_list2_Add_clicked()
{
}

void MainWindow::on_pushButton_list2_Adds_clicked()
{
}

void MainWindow::on_pushButton_list2_RemoveRow_clicked()
{
}

void MainWindow::on_pushButton_list2_RemoveColumn_clicked()
{
}

void MainWindow::on_pushButton_list2_Save_clicked()
{
}

void MainWindow::on_pushButton_list2_Import_clicked()
{
}

void MainWindow::on_pushButton_list2_Clear_clicked()
{
}

void MainWindow::on_tableWidget_list2_cellEntered(int /*row*/, int /*column*/)
{
}
