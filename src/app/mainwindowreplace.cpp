#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::on_pushButton_keyClear_clicked()
{
    ui->plainTextEdit_s1->clear();
    ui->plainTextEdit_s2->clear();
    emit stateChangedSignals(41);
}

void MainWindow::on_pushButton_replace_clicked()
{
}

// Whole match, match case and search order mean something only when
// replacing by keyword.
void MainWindow::on_radioButton_key_toggled(bool checked)
{
    ui->checkBox_lookAt->setEnabled(checked);
    ui->checkBox_matchCase->setEnabled(checked);
    ui->comboBox_searchOrder->setEnabled(checked);
}

// Only the "指定表" item takes a typed list of sheet numbers.
void MainWindow::on_comboBox_currentIndexChanged(const QString &arg1)
{
    ui->comboBox->setEditable(arg1 == QStringLiteral("指定表"));
}
