#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::on_pushButton_keyClear_clicked()
{
}

void MainWindow::on_pushButton_replace_clicked()
{
}

void MainWindow::on_radioButton_key_toggled(bool /*checked*/)
{
}

void MainWindow::on_comboBox_currentIndexChanged(const QString & /*arg1*/)
{
}
