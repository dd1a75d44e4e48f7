// The two file lists: the Mode 1 list of workbooks and the Mode 2 table with
// a column per workbook. The decisions live in lists/; these slots apply
// them to the tables and report through the state codes.

#include "mainwindow.h"

#include "excelfilescan.h"
#include "listedit.h"
#include "settings.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QFileInfo>
#include <QSet>
#include <QTableWidgetItem>

#include <algorithm>

namespace {

const QString checkGroup = QStringLiteral("check");

QSet<int> selectedRows(const QTableWidget *table)
{
    QSet<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    return rows;
}

QSet<int> selectedColumns(const QTableWidget *table)
{
    QSet<int> columns;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        columns.insert(index.column());
    return columns;
}

// A file's hover tip, with what the last run did to it (outcomeRole of its
// entry) on a line of its own.
QString withOutcome(const QString &tip, const QTableWidgetItem *entry, int role)
{
    const QString outcome = entry ? entry->data(role).toString() : QString();
    return tip.isEmpty() || outcome.isEmpty() ? tip : tip + QLatin1Char('\n') + outcome;
}

QList<int> highestFirst(const QSet<int> &set)
{
    QList<int> list = set.values();
    std::sort(list.begin(), list.end(), std::greater<int>());
    return list;
}

} // namespace

bool MainWindow::isListed(const QStringList &list, const QString &path)
{
    if (!list.contains(path))
        return false;
    emit stateChangedSignals(13);
    return true;
}

void MainWindow::collectExcelFiles(const QString &dirPath, QStringList &list, bool recurse)
{
    ExcelFileScan(recurse, [&](const QString &path) {
        if (!isListed(list, path))
            list.append(path);
    }).scan(dirPath);
}

void MainWindow::addDirectoryList1(const QString &dirPath)
{
    collectExcelFiles(dirPath, fileList1, readSetting(configPath, checkGroup, QStringLiteral("c1"), QString()).toInt() != 0);
}

void MainWindow::addDirectoryList2(const QString &dirPath)
{
    collectExcelFiles(dirPath, fileList2, readSetting(configPath, checkGroup, QStringLiteral("c2"), QString()).toInt() != 0);
}

// The add-folder dialog of either tab; an accepted dialog stores its check
// box state even when no folder was picked.
bool MainWindow::chooseFolders(const QString &title, const QString &checkKey, QStringList *folders)
{
    bool includeSubfolders = readSetting(configPath, checkGroup, checkKey, QString()).toInt() != 0;
    if (!interaction->chooseFolders(this, title, QStringLiteral("."), &includeSubfolders, folders))
        return false;
    writeSetting(configPath, checkGroup, checkKey, includeSubfolders ? QStringLiteral("1") : QStringLiteral("0"));
    return true;
}

bool MainWindow::chooseWorkbooks(QStringList *files)
{
    return interaction->chooseFiles(this, tr("选择Excel文档:"), QStringLiteral("."), tr("Excel文件(*.xls *.xlsx)"),
                                    files);
}

void MainWindow::refreshList1()
{
    QTableWidget *table = ui->tableWidget_list1;
    table->setRowCount(fileList1.size());
    for (int i = 0; i < fileList1.size(); ++i)
        table->setItem(i, 0, new QTableWidgetItem(QFileInfo(fileList1.at(i)).fileName()));
    emit stateChangedSignals(2);
    emit fileNumChangedSignals();
}

void MainWindow::refreshList2()
{
    QTableWidget *table = ui->tableWidget_list2;
    table->setColumnCount(fileList2.size() + 1);
    QStringList labels{tr("关键字或位置")};
    for (const QString &path : qAsConst(fileList2))
        labels << QFileInfo(path).fileName();
    table->setHorizontalHeaderLabels(labels);
    emit stateChangedSignals(2);
    emit fileNumChangedSignals();
}

// Adds the workbooks the user picks to the list of mode (0 or 1).
void MainWindow::addChosenFiles(int mode)
{
    emit stateChangedSignals(9);
    QStringList files;
    if (!chooseWorkbooks(&files)) {
        emit stateChangedSignals(11);
        return;
    }
    QStringList &list = mode == 0 ? fileList1 : fileList2;
    for (const QString &path : qAsConst(files))
        if (!isListed(list, path))
            list.append(path);
    mode == 0 ? refreshList1() : refreshList2();
    emit stateChangedSignals(10);
    emit fileNumChangedSignals();
}

// Adds the workbooks of the folders the user picks to the list of mode.
void MainWindow::addChosenFolders(int mode)
{
    emit stateChangedSignals(1);
    QStringList folders;
    const bool chosen = mode == 0 ? chooseFolders(tr("选择文本文档所在目录:"), QStringLiteral("c1"), &folders)
                                  : chooseFolders(tr("选择Excel文档所在目录:"), QStringLiteral("c2"), &folders);
    if (!chosen) {
        emit stateChangedSignals(3);
        return;
    }
    for (const QString &folder : qAsConst(folders))
        mode == 0 ? addDirectoryList1(folder) : addDirectoryList2(folder);
    if (!folders.isEmpty())
        mode == 0 ? refreshList1() : refreshList2();
}

void MainWindow::on_pushButton_list1_Add_clicked()
{
    addChosenFiles(0);
}

void MainWindow::on_pushButton_list1_Adds_clicked()
{
    addChosenFolders(0);
}

void MainWindow::on_pushButton_list1_Remove_clicked()
{
    emit stateChangedSignals(17);
    removeListEntries(&fileList1, selectedRows(ui->tableWidget_list1));
    ui->tableWidget_list1->clearSelection();
    refreshList1();
    emit stateChangedSignals(18);
    emit fileNumChangedSignals();
}

void MainWindow::on_pushButton_list1_Clear_clicked()
{
    ui->tableWidget_list1->setRowCount(0);
    fileList1.clear();
    resetCounters();
    emit stateChangedSignals(41);
    emit fileNumChangedSignals();
}

void MainWindow::on_tableWidget_list1_cellEntered(int row, int /*column*/)
{
    const QTableWidgetItem *entry = ui->tableWidget_list1->item(row, 0);
    const QString tip = withOutcome(fileTip(fileList1, row), entry, outcomeRole);
    if (!tip.isEmpty())
        interaction->showToolTip(tip);
}

void MainWindow::on_tableWidget_list2_itemChanged(QTableWidgetItem *item)
{
    QTableWidget *table = ui->tableWidget_list2;
    const int row = item->row();
    const QTableWidgetItem *above = row > 0 ? table->item(row - 1, 0) : nullptr;
    switch (judgeCellEntry(item->text(), row, table->rowCount(), above ? above->text() : QString())) {
    case CellEntry::Ignore:
    case CellEntry::Accept:
        break;
    case CellEntry::Refuse:
        interaction->warning(this, tr("警告"), tr("上一条[被替换关键字]为空,请补充!"));
        item->setText(QString());
        break;
    case CellEntry::AcceptAndGrow: {
        const int newRow = table->rowCount();
        table->insertRow(newRow);
        for (int c = 0; c < table->columnCount(); ++c)
            table->setItem(newRow, c, new QTableWidgetItem);
        break;
    }
    }
}

void MainWindow::on_pushButton_list2_Add_clicked()
{
    addChosenFiles(1);
}

void MainWindow::on_pushButton_list2_Adds_clicked()
{
    addChosenFolders(1);
}

void MainWindow::on_pushButton_list2_RemoveRow_clicked()
{
    emit stateChangedSignals(17);
    QTableWidget *table = ui->tableWidget_list2;
    for (int row : highestFirst(selectedRows(table)))
        if (row < table->rowCount() - 1) // the input row stays
            table->removeRow(row);
    table->clearSelection();
    emit stateChangedSignals(18);
    emit fileNumChangedSignals();
}

void MainWindow::on_pushButton_list2_RemoveColumn_clicked()
{
    emit stateChangedSignals(17);
    QTableWidget *table = ui->tableWidget_list2;
    for (int column : highestFirst(selectedColumns(table))) {
        if (column >= 1 && column <= fileList2.size()) { // the keyword column stays
            table->removeColumn(column);
            fileList2.removeAt(column - 1);
        }
    }
    table->clearSelection();
    refreshList2();
    emit stateChangedSignals(18);
    emit fileNumChangedSignals();
}

void MainWindow::on_pushButton_list2_Clear_clicked()
{
    QTableWidget *table = ui->tableWidget_list2;
    table->setRowCount(1);
    table->setColumnCount(1);
    table->setItem(0, 0, new QTableWidgetItem);
    fileList2.clear();
    resetCounters();
    emit stateChangedSignals(41);
    emit fileNumChangedSignals();
}

void MainWindow::on_tableWidget_list2_cellEntered(int /*row*/, int column)
{
    if (column < 1)
        return;
    const QTableWidgetItem *entry = ui->tableWidget_list2->horizontalHeaderItem(column);
    const QString tip = withOutcome(fileTip(fileList2, column - 1), entry, outcomeRole);
    if (!tip.isEmpty())
        interaction->showToolTip(tip);
}
