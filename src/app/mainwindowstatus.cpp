#include "mainwindow.h"

#include "reason.h"
#include "statecodes.h"
#include "ui_mainwindow.h"

#include <QLabel>

void MainWindow::showStateMessage(int stateCode)
{
    stateLabel->setText(stateMessage(stateCode));
}

void MainWindow::showStateCause(const Excel::Reason &why)
{
    if (!why.isEmpty())
        stateLabel->setText(stateLabel->text() + QStringLiteral(" (%1)").arg(why.text()));
}

// Only the run's outcome counters: the status text, the file count and the
// size of the current run stay as they are.
void MainWindow::resetCounters()
{
    doneCount = 0;
    successCount = 0;
    failureCount = 0;
    missingCount = 0;
    successLabel->setText(tr(" 成功(0)"));
    failureLabel->setText(tr(" 失败(0)"));
    missingLabel->setText(tr(" 丢失(0)"));
}

void MainWindow::updateFileCount()
{
    int n;
    switch (ui->tabWidget_1->currentIndex()) {
    case 0:
        n = fileList1.size();
        break;
    case 1:
        n = fileList2.size();
        break;
    default:
        return;
    }
    fileNumLabel->setText(tr(" 文件(%1)").arg(n));
}
