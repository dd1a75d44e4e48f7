// The Tools menu: a preview of a run (a dry run with the table of the cells
// it would change), the record of the last run, backups of the workbooks a
// run changes, and undo of a run from its backups.

#include "mainwindow.h"

#include "backuprun.h"
#include "changerecord.h"
#include "launchchecks.h"
#include "listtab.h"
#include "previewwindow.h"
#include "run.h"
#include "settings.h"
#include "statecodes.h"
#include "ui_mainwindow.h"
#include "undo.h"
#include "userinteraction.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace {

const QString backupGroup = QStringLiteral("backup");
const QString backupOnKey = QStringLiteral("enabled");
const QString backupFolderKey = QStringLiteral("folder");

// Runs whose backups are kept; older ones are deleted after a run.
constexpr int keptBackupRuns = 20;

QAction *addTool(QMenu *menu, const char *name, const char *text, const QKeySequence &keys)
{
    QAction *action = menu->addAction(windowText(text));
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    return action;
}

LaunchStop backupStop(const QString &why)
{
    return LaunchStop{StateCode::ReplaceCancelled, windowText("警告"),
                      windowText("备份文件夹不能使用，替换未开始: %1\n可在“工具 → 备份文件夹…”中另选，"
                                 "或关闭“替换前备份”。")
                          .arg(why)};
}

} // namespace

// The menu goes between File and Help. Its keys are function keys, which
// neither the panes nor the tables use for editing.
void MainWindow::setUpTools()
{
    toolsMenu = new QMenu(windowText("工具(&T)"), this);
    toolsMenu->setObjectName(QStringLiteral("menu_T"));
    menuBar()->insertMenu(ui->menu_H->menuAction(), toolsMenu);

    previewAction = addTool(toolsMenu, "action_Preview", "预览替换(&V)", QKeySequence(Qt::Key_F5));
    changeLogAction = addTool(toolsMenu, "action_ChangeLog", "更改记录(&R)", QKeySequence(Qt::Key_F6));
    undoAction = addTool(toolsMenu, "action_Undo", "撤销上次替换(&U)", QKeySequence(Qt::Key_F8));
    toolsMenu->addSeparator();
    backupAction = addTool(toolsMenu, "action_Backup", "替换前备份(&B)", QKeySequence());
    backupAction->setCheckable(true);
    backupAction->setChecked(readSetting(configPath, backupGroup, backupOnKey, QStringLiteral("1")).toInt() != 0);
    backupFolderAction = addTool(toolsMenu, "action_BackupFolder", "备份文件夹(&D)…", QKeySequence());

    connect(previewAction, &QAction::triggered, this, &MainWindow::previewReplace);
    connect(changeLogAction, &QAction::triggered, this, &MainWindow::showChangeLog);
    connect(undoAction, &QAction::triggered, this, &MainWindow::undoLastRun);
    connect(backupAction, &QAction::toggled, this, [this](bool on) {
        writeSetting(configPath, backupGroup, backupOnKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(backupFolderAction, &QAction::triggered, this, &MainWindow::chooseBackupFolder);
}

QString MainWindow::backupRoot() const
{
    const QString folder = readSetting(configPath, backupGroup, backupFolderKey, QString());
    return folder.isEmpty() ? defaultBackupRoot() : folder;
}

void MainWindow::chooseBackupFolder()
{
    const QString current = backupRoot();
    const QString folder = interaction->chooseFolder(this, windowText("选择备份文件夹"),
                                                     QDir(current).exists() ? current : QDir::homePath());
    if (folder.isEmpty())
        return;
    QString why;
    if (!BackupRun::check(folder, &why)) {
        interaction->warning(this, windowText("警告"), windowText("这个文件夹不能存放备份: ") + why);
        return;
    }
    writeSetting(configPath, backupGroup, backupFolderKey, QDir(folder).absolutePath());
}

// The plan of the panes, checked as the start button checks it, run with
// every step but the saves.
void MainWindow::previewReplace()
{
    nextRunKind = RunKind::Preview;
    on_pushButton_replace_clicked();
    nextRunKind = RunKind::Replace;
}

// A run changes the workbooks only with a record of its changes, and with
// backups when they are on; either that cannot be made stops it before it
// starts.
bool MainWindow::equipRun(RunPlan *plan)
{
    runOutcomes = QVector<FileOutcome>(plan->files.size());
    runRecord.reset();
    runBackups.reset();
    plan->job.dryRun = runKind == RunKind::Preview;
    if (runKind == RunKind::Undo)
        return true;
    QString why;
    auto record = std::make_shared<ChangeRecord>();
    if (!record->open(&why)) {
        stopRun(LaunchStop{StateCode::ReplaceCancelled, windowText("警告"),
                           windowText("无法记录更改，替换未开始: ") + why});
        return false;
    }
    plan->job.changes = record;
    runRecord = record;
    // A preview refuses a backup folder the real run would refuse, and
    // makes none.
    if (runKind == RunKind::Preview && backupAction->isChecked() && !BackupRun::check(backupRoot(), &why)) {
        stopRun(backupStop(why));
        return false;
    }
    if (runKind == RunKind::Replace && backupAction->isChecked()) {
        runBackups = BackupRun::start(backupRoot(), &why);
        if (!runBackups) {
            stopRun(backupStop(why));
            return false;
        }
        plan->job.backups = runBackups;
    }
    return true;
}

// The launch of a plan already checked: a previewed one, or an undo.
void MainWindow::launchPlan(RunPlan plan, RunKind kind, int mode)
{
    runKind = kind;
    emit stateChangedSignals(StateCode::Replacing);
    resetCounters();
    setControlsEnabled(false);
    runMode = mode;
    runTotal = plan.files.size();
    startRun(std::move(plan));
}

// The list position of the file a report is for: where it was at launch,
// unless the list changed since (then where it is now, if still listed).
int MainWindow::listPosition(int index) const
{
    const QStringList *list = runMode == 0 ? &fileList1 : runMode == 1 ? &fileList2 : nullptr;
    if (!list || !currentRun)
        return -1;
    const QString &path = currentRun->plan().files.at(index);
    if (list->value(index) == path)
        return index;
    if (runKind == RunKind::Undo) {
        // An undo names files by their absolute path.
        for (int k = 0; k < list->size(); ++k)
            if (QFileInfo(list->at(k)).absoluteFilePath() == path)
                return k;
    }
    return list->indexOf(path);
}

QString MainWindow::successText(const FileReport &report) const
{
    QString text;
    switch (runKind) {
    case RunKind::Preview:
        text = windowText("预览: 将更改 %1 个单元格").arg(report.cells);
        break;
    case RunKind::Undo:
        text = windowText("成功: 已恢复 %1 个单元格，备份: %2").arg(report.cells).arg(report.backupPath);
        break;
    case RunKind::Replace:
        text = windowText("成功: 更改了 %1 个单元格").arg(report.cells);
        if (!report.backupPath.isEmpty())
            text += windowText("，备份: %1").arg(report.backupPath);
        break;
    }
    if (!report.reason.isEmpty())
        text += QStringLiteral(" (%1)").arg(report.reason.text());
    return text;
}

void MainWindow::onRunFinished()
{
    Run *run = currentRun;
    if (!run)
        return;
    QStringList problems;
    QString why;
    if (runBackups) {
        if (!runBackups->finish(&why))
            problems << why;
        else if (!pruneBackupRuns(backupRoot(), keptBackupRuns, &why))
            problems << why;
    }
    if (runKind == RunKind::Undo && !run->plan().job.dryRun && run->summary().success == run->plan().files.size()
        && !markUndone(undoFolder, &why))
        problems << why;
    if (runKind == RunKind::Replace && runRecord) {
        lastRecord = runRecord;
        lastOutcomes = runOutcomes;
    }
    // An empty plan has no report to end it.
    if (run->plan().files.isEmpty()) {
        stateLabel->setText(tr("文件替换处理全部完成!"));
        setControlsEnabled(true);
    }
    if (runKind == RunKind::Preview)
        stateLabel->setText(stateLabel->text() + windowText(" (预览: 文件均未改动)"));
    if (!problems.isEmpty())
        showStateCause(Excel::Reason(problems.join(QStringLiteral("; "))));
    if (runKind == RunKind::Preview && runRecord) {
        previewPlan = run->plan();
        previewPlan.job.dryRun = false;
        previewPlan.job.changes.reset();
        previewPlan.job.backups.reset();
        previewPlan.job.shared.reset();
        previewMode = runMode;
        openChangeWindow(PreviewWindow::Preview, runRecord, runOutcomes);
    }
    runBackups.reset();
    runRecord.reset();
}

void MainWindow::openChangeWindow(int kind, std::shared_ptr<const ChangeRecord> record,
                                  const QVector<FileOutcome> &files)
{
    if (changeWindow)
        changeWindow->close();
    auto *window = new PreviewWindow(PreviewWindow::Kind(kind), std::move(record), files, interaction.get(), this);
    changeWindow = window;
    connect(window, &PreviewWindow::startRequested, this, [this] {
        if (ui->pushButton_replace->isEnabled())
            launchPlan(previewPlan, RunKind::Replace, previewMode);
    });
    window->show();
}

void MainWindow::showChangeLog()
{
    if (!lastRecord) {
        interaction->information(this, windowText("更改记录"), windowText("本次启动以来还没有替换过文件。"));
        return;
    }
    openChangeWindow(PreviewWindow::Record, lastRecord, lastOutcomes);
}

void MainWindow::undoLastRun()
{
    const QString root = backupRoot();
    const QVector<BackupRunInfo> runs = listBackupRuns(root);
    if (runs.isEmpty()) {
        interaction->information(this, windowText("撤销上次替换"),
                                 windowText("备份文件夹 %1 中没有可撤销的替换。").arg(root));
        return;
    }
    const int chosen = interaction->chooseBackupRun(this, runs);
    if (chosen < 0 || chosen >= runs.size())
        return;
    RunPlan plan;
    QString why;
    if (!planUndo(runs[chosen].folder, JobOptions(), &plan, &why)) {
        interaction->warning(this, windowText("警告"), windowText("无法撤销: ") + why);
        return;
    }
    undoFolder = runs[chosen].folder;
    const int mode = ui->tabWidget_1->currentIndex();
    launchPlan(std::move(plan), RunKind::Undo, mode == 1 ? 1 : 0);
}

void MainWindow::setToolsEnabled(bool enable)
{
    if (!previewAction)
        return;
    previewAction->setEnabled(enable);
    undoAction->setEnabled(enable);
}
