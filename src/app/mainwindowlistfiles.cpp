// Export and import of the two tabs' data as .xlsx list files, and files,
// folders and list files dropped onto the window.

#include "mainwindow.h"

#include "dropkind.h"
#include "listfiles.h"
#include "codeeditor.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

const QString listFilter = QStringLiteral("XLS表格(*.xlsx)");

} // namespace

void MainWindow::on_pushButton_list1_Save_clicked()
{
    emit stateChangedSignals(25);
    const QString path = interaction->chooseSaveFile(this, tr("选择保存目录:"),
                                                     QStringLiteral("./Tarvo方式一文件列表.xlsx"), listFilter);
    if (path.isEmpty()) {
        emit stateChangedSignals(27);
        return;
    }
    Mode1List list;
    list.files = fileList1;
    list.keywordLines = ui->plainTextEdit_s1->lines();
    list.replacementLines = ui->plainTextEdit_s2->lines();
    QString error;
    const bool written = writeMode1List(path, list, &error);
    emit stateChangedSignals(written ? 26 : 28);
    if (!written)
        showStateCause(Excel::Reason(error));
}

void MainWindow::on_pushButton_list2_Save_clicked()
{
    emit stateChangedSignals(25);
    const QString path = interaction->chooseSaveFile(this, tr("选择保存目录:"),
                                                     QStringLiteral("./Tarvo方式二替换列表.xlsx"), listFilter);
    if (path.isEmpty()) {
        emit stateChangedSignals(27);
        return;
    }
    const QTableWidget *table = ui->tableWidget_list2;
    Mode2List list;
    list.files = fileList2;
    for (int r = 0; r + 1 < table->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            row << (item ? item->text() : QString());
        }
        list.rows << row;
    }
    QString error;
    const bool written = writeMode2List(path, list, &error);
    emit stateChangedSignals(written ? 26 : 28);
    if (!written)
        showStateCause(Excel::Reason(error));
}

void MainWindow::on_pushButton_list1_Import_clicked()
{
    emit stateChangedSignals(33);
    importList1(interaction->chooseOpenFile(this, tr("选择文件列表Tarvo文件:"), QStringLiteral("."), listFilter));
    emit fileNumChangedSignals();
}

void MainWindow::on_pushButton_list2_Import_clicked()
{
    emit stateChangedSignals(33);
    importList2(interaction->chooseOpenFile(this, tr("选择文件列表Tarvo文件:"), QStringLiteral("."), listFilter));
    emit fileNumChangedSignals();
}

// Loads a Mode 1 list file. Only the Mode 1 data are replaced, whichever
// tab is current; the table gets exactly one row per imported file.
bool MainWindow::importList1(const QString &path)
{
    Mode1List list;
    Excel::Reason why;
    if (const int failure = readMode1List(path, &list, &why)) {
        emit stateChangedSignals(failure);
        if (failure != 35) // no name: the dialog was cancelled
            showStateCause(why);
        return false;
    }
    on_pushButton_list1_Clear_clicked();
    on_pushButton_keyClear_clicked();
    fileList1 = list.files;
    QTableWidget *table = ui->tableWidget_list1;
    table->setRowCount(fileList1.size());
    for (int i = 0; i < fileList1.size(); ++i)
        table->setItem(i, 0, new QTableWidgetItem(QFileInfo(fileList1.at(i)).fileName()));
    for (int j = 0; j < list.keywordLines.size(); ++j) {
        ui->plainTextEdit_s1->appendPlainText(list.keywordLines.at(j));
        ui->plainTextEdit_s2->appendPlainText(list.replacementLines.value(j));
    }
    emit stateChangedSignals(34);
    return true;
}

// Loads a Mode 2 list file into the Mode 2 table only. The table keeps one
// more row than the list has entries: the empty input row.
bool MainWindow::importList2(const QString &path)
{
    Mode2List list;
    Excel::Reason why;
    if (const int failure = readMode2List(path, &list, &why)) {
        emit stateChangedSignals(failure);
        if (failure != 35)
            showStateCause(why);
        return false;
    }
    on_pushButton_list2_Clear_clicked();
    fileList2 = list.files;
    QTableWidget *table = ui->tableWidget_list2;
    table->setColumnCount(fileList2.size() + 1);
    refreshList2();
    for (int k = 0; k < list.rows.size(); ++k) {
        table->setRowCount(table->rowCount() + 1);
        for (int i = 0; i < table->columnCount(); ++i)
            table->setItem(k, i, new QTableWidgetItem(list.rows.at(k).value(i)));
    }
    const int input = table->rowCount() - 1;
    for (int i = 0; i < table->columnCount(); ++i)
        if (!table->item(input, i))
            table->setItem(input, i, new QTableWidgetItem);
    emit stateChangedSignals(34);
    return true;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->urls().isEmpty())
        return;
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    if (!paths.isEmpty())
        dropPaths(paths);
}

void MainWindow::dropPaths(const QStringList &paths)
{
    if (paths.size() == 1) {
        switch (dropKind(paths.first())) {
        case DropKind::Unsupported:
            emit stateChangedSignals(58);
            return;
        case DropKind::Mode1ListFile:
            if (importList1(paths.first())) {
                refreshList1();
                ui->tabWidget_1->setCurrentIndex(0);
                emit fileNumChangedSignals();
                return;
            }
            break;
        case DropKind::Mode2ListFile:
            if (importList2(paths.first())) {
                refreshList2();
                ui->tabWidget_1->setCurrentIndex(1);
                emit fileNumChangedSignals();
                return;
            }
            break;
        case DropKind::Directory:
        case DropKind::Workbook:
            break;
        }
    }
    const int tab = ui->tabWidget_1->currentIndex();
    if (tab == 0 || tab == 1) {
        QStringList &list = tab == 0 ? fileList1 : fileList2;
        for (const QString &path : paths) {
            switch (dropKind(path)) {
            case DropKind::Unsupported:
                emit stateChangedSignals(58);
                break;
            case DropKind::Directory:
                tab == 0 ? addDirectoryList1(path) : addDirectoryList2(path);
                break;
            case DropKind::Workbook:
            case DropKind::Mode1ListFile:
            case DropKind::Mode2ListFile:
                if (!isListed(list, path)) {
                    list.append(path);
                    emit stateChangedSignals(10);
                }
                break;
            }
        }
        tab == 0 ? refreshList1() : refreshList2();
    }
    emit fileNumChangedSignals();
}
