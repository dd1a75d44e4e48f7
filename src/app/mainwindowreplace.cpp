// A run: the launch checks, one job per file on the global thread pool, and
// the reports that come back, counted, marked and shown in the status bar.

#include "mainwindow.h"

#include "launchchecks.h"
#include "rep.h"
#include "codeeditor.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QDebug>
#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

void MainWindow::on_pushButton_keyClear_clicked()
{
    ui->plainTextEdit_s1->clear();
    ui->plainTextEdit_s2->clear();
    emit stateChangedSignals(41);
}

void MainWindow::on_pushButton_replace_clicked()
{
    emit stateChangedSignals(49);
    resetCounters();
    setControlsEnabled(false);
    const QString separator = ui->lineEdit_Separator->text();
    runMode = ui->tabWidget_1->currentIndex();
    if (runMode == 0)
        startMode1Run(separator);
    else if (runMode == 1)
        startMode2Run(separator);
    else
        setControlsEnabled(true);
}

void MainWindow::startMode1Run(const QString &separator)
{
    const QStringList keywords = ui->plainTextEdit_s1->lines();
    const QStringList replacements = ui->plainTextEdit_s2->lines();
    LaunchStop stop;
    if (!checkMode1Input(fileList1.size(), keywords, replacements.size(), &stop))
        return stopRun(stop);
    runTotal = fileList1.size();
    if (!checkMode1Lines(keywords, &stop))
        return stopRun(stop);

    RepPar par;
    par.pairs = mode1Pairs(keywords, replacements, separator);
    fillOptions(&par);
    const QStringList files = fileList1;
    runPending = files.size();
    for (int k = 0; k < files.size(); ++k)
        launchFile(k, files.at(k), par);
}

void MainWindow::startMode2Run(const QString &separator)
{
    LaunchStop stop;
    if (!checkMode2Files(fileList2.size(), &stop)) {
        // The caption has no mnemonic and so clears the shortcut;
        // setControlsEnabled puts it back.
        ui->pushButton_replace->setText(tr("开始替换(CTRL+SHIFT+H)"));
        return stopRun(stop);
    }
    runTotal = fileList2.size();
    const QTableWidget *table = ui->tableWidget_list2;
    QStringList keywords;
    for (int r = 0; r + 1 < table->rowCount(); ++r)
        keywords << cellText(table, r, 0);
    if (!checkMode2Keywords(keywords, &stop))
        return stopRun(stop);

    const QStringList files = fileList2;
    runPending = files.size();
    for (int k = 0; k < files.size(); ++k) {
        QStringList replacements;
        for (int r = 0; r < keywords.size(); ++r)
            replacements << cellText(table, r, k + 1);
        RepPar par;
        par.pairs = mode2Pairs(keywords, replacements, separator);
        fillOptions(&par);
        qDebug() << "ui->comboBox->currentText():" << ui->comboBox->currentText();
        qDebug() << "par.sheetIndex:" << par.sheetIndex;
        launchFile(k, files.at(k), par);
    }
}

void MainWindow::stopRun(const LaunchStop &stop)
{
    emit stateChangedSignals(stop.stateCode);
    if (!stop.boxText.isEmpty())
        interaction->warning(this, stop.boxTitle, stop.boxText);
    setControlsEnabled(true);
}

void MainWindow::fillOptions(RepPar *par) const
{
    par->byKey = ui->radioButton_key->isChecked();
    if (par->byKey) {
        par->matchCase = ui->checkBox_matchCase->isChecked();
        par->lookAt = ui->checkBox_lookAt->isChecked() ? 1 : 2;
        par->searchOrder = ui->comboBox_searchOrder->currentIndex() + 1;
    }
    par->sheetIndex = ui->comboBox->currentText();
}

void MainWindow::launchFile(int k, const QString &path, const RepPar &par)
{
    if (!QFileInfo(path).isFile()) {
        onRepDone(nullptr, MISSING, k);
        return;
    }
    Rep *rep = new Rep(path, par, k);
    connect(rep, &Rep::done, this, &MainWindow::onRepDone);
    QtConcurrent::run(QThreadPool::globalInstance(), rep, &Rep::run);
}

void MainWindow::onRepDone(Rep *rep, STATE state, int index)
{
    ++doneCount;
    switch (state) {
    case SUCCESS:
        ++successCount;
        successLabel->setText(QStringLiteral(" 成功(%1)").arg(successCount));
        break;
    case FAILURE:
        ++failureCount;
        failureLabel->setText(QStringLiteral(" <font color='red'>失败(%1)</font>").arg(failureCount));
        markFile(index, Qt::red);
        break;
    case MISSING:
        ++missingCount;
        missingLabel->setText(QStringLiteral(" <font color='blue'>丢失(%1)</font>").arg(missingCount));
        markFile(index, Qt::blue);
        break;
    }
    if (runPending > 0)
        --runPending;
    if (runPending > 0) {
        stateLabel->setText(QStringLiteral("文件替换处理中...已完成[%1/%2]").arg(doneCount).arg(runTotal));
    } else {
        stateLabel->setText(tr("文件替换处理全部完成!"));
        setControlsEnabled(true);
    }
    delete rep;
}

// Marks go to the list of the run's tab, at the position the file had at
// launch; a row or column that is gone by now gets none. In Mode 2 the
// file's column header carries the mark.
void MainWindow::markFile(int index, const QColor &colour)
{
    if (runMode == 0) {
        if (QTableWidgetItem *item = ui->tableWidget_list1->item(index, 0)) {
            item->setBackground(colour);
            item->setForeground(Qt::white); // black text is hard to read on blue
        }
    } else if (runMode == 1) {
        if (index + 1 < ui->tableWidget_list2->columnCount()) {
            if (QTableWidgetItem *header = ui->tableWidget_list2->horizontalHeaderItem(index + 1)) {
                header->setBackground(colour);
                header->setForeground(Qt::white);
            }
        }
    }
}

void MainWindow::setControlsEnabled(bool enable)
{
    if (enable)
        ui->pushButton_replace->setShortcut(QKeySequence(QStringLiteral("CTRL+SHIFT+H")));
    ui->radioButton_position->setEnabled(enable);
    ui->radioButton_key->setEnabled(enable);
    ui->checkBox_lookAt->setEnabled(enable);
    ui->checkBox_matchCase->setEnabled(enable);
    ui->comboBox_searchOrder->setEnabled(enable);
    ui->pushButton_replace->setEnabled(enable);
    ui->pushButton_ClearAll->setEnabled(enable);
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
