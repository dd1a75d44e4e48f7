// A run: the launch checks, one job per file on the global thread pool, and
// the reports that come back, counted, marked and shown in the status bar.

#include "mainwindow.h"

#include "launchchecks.h"
#include "mode1tab.h"
#include "mode2tab.h"
#include "rep.h"
#include "run.h"
#include "statecodes.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QColor>
#include <QDebug>

void MainWindow::on_pushButton_replace_clicked()
{
    runKind = nextRunKind;
    emit stateChangedSignals(StateCode::Replacing);
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
    const QStringList keywords = mode1Tab->keywordLines();
    const QStringList replacements = mode1Tab->replacementLines();
    LaunchStop stop;
    if (!checkMode1Input(fileList1.size(), keywords, replacements.size(), &stop))
        return stopRun(stop);
    runTotal = fileList1.size();
    if (!checkMode1Lines(keywords, &stop))
        return stopRun(stop);

    RepPar par;
    fillOptions(&par);
    startRun(RunPlan::mode1(fileList1, keywords, replacements, separator, par));
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
    const QStringList keywords = mode2Tab->keywordCells();
    if (!checkMode2Keywords(keywords, &stop))
        return stopRun(stop);

    RepPar par;
    fillOptions(&par);
    QVector<QStringList> columns;
    for (int k = 0; k < fileList2.size(); ++k) {
        columns << mode2Tab->replacementCells(k, keywords.size());
        qDebug() << "ui->comboBox->currentText():" << ui->comboBox->currentText();
        qDebug() << "par.sheetIndex:" << par.sheetIndex;
    }
    startRun(RunPlan::mode2(fileList2, keywords, columns, separator, par));
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

// The run reports a listed folder (or FIFO, device) as missing, as the
// window always has; the reason says what it is.
void MainWindow::startRun(RunPlan plan)
{
    plan.nonFilesAreMissing = true;
    if (!equipRun(&plan))
        return;
    runPending = plan.files.size();
    currentRun = new Run(std::move(plan), this);
    connect(currentRun, &Run::done, this, &MainWindow::onRepDone);
    connect(currentRun, &Run::finished, this, &MainWindow::onRunFinished);
    connect(currentRun, &Run::finished, currentRun, &QObject::deleteLater);
    currentRun->start();
}

// The run owns its jobs and deletes each after its report.
void MainWindow::onRepDone(Rep * /*rep*/, STATE state, int index)
{
    ++doneCount;
    const FileReport &report = currentRun->report(index);
    QString outcome;
    QColor mark;
    switch (state) {
    case SUCCESS:
        ++successCount;
        successLabel->setText(QStringLiteral(" 成功(%1)").arg(successCount));
        outcome = successText(report);
        break;
    case FAILURE:
        ++failureCount;
        failureLabel->setText(QStringLiteral(" <font color='red'>失败(%1)</font>").arg(failureCount));
        mark = Qt::red;
        outcome = QStringLiteral("失败: ") + report.reason.text();
        break;
    case MISSING:
        ++missingCount;
        missingLabel->setText(QStringLiteral(" <font color='blue'>丢失(%1)</font>").arg(missingCount));
        mark = Qt::blue;
        outcome = QStringLiteral("丢失: ") + report.reason.text();
        break;
    }
    if (index >= 0 && index < runOutcomes.size())
        runOutcomes[index] = FileOutcome{currentRun->plan().files.at(index), state, outcome};
    // Marks go to the list of the run's tab, at the position the file had
    // at launch, or where it is now when the list changed since (a file
    // that is no longer listed gets none); in Mode 2 the file's column
    // header carries them.
    const int position = listPosition(index);
    if (ListTab *tab = tabAt(runMode); tab && position >= 0) {
        if (mark.isValid())
            tab->markFile(position, mark);
        tab->noteOutcome(position, outcome);
    }
    if (runPending > 0)
        --runPending;
    if (runPending > 0) {
        stateLabel->setText(QStringLiteral("文件替换处理中...已完成[%1/%2]").arg(doneCount).arg(runTotal));
    } else {
        stateLabel->setText(tr("文件替换处理全部完成!"));
        setControlsEnabled(true);
    }
}

void MainWindow::setControlsEnabled(bool enable)
{
    setToolsEnabled(enable);
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
