#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include "previewwindow.h"
#include "runplan.h"

class BackupRun;
class ChangeRecord;
class ListTab;
class Mode1Tab;
class Mode2Tab;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QTableWidgetItem;
class Rep;
class Run;
class UserInteraction;
struct LaunchStop;
struct FileReport;
struct RepPar;
enum STATE : qint32;

namespace Ui {
class MainWindow;
}
namespace Excel {
class Reason;
}

// The main window: both replacement modes as tabs, the option row they
// share, the menus and the status bar. It owns the file lists, the run
// counters and the status-bar labels for the whole life of the program.
// Closing it saves the options; the Quit command ends the process without
// saving them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Replaces the message boxes and desktop services the window uses.
    // A null pointer puts the desktop implementation back.
    void setUserInteraction(std::unique_ptr<UserInteraction> interaction);

protected:
    // Files, folders and list files dropped onto the window.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

signals:
    // A file list changed size, or the current tab changed.
    void fileNumChangedSignals();
    // A state code (see statecodes.h) for the status text.
    void stateChangedSignals(int stateCode);

private slots:
    void on_pushButton_list1_Add_clicked();
    void on_pushButton_list1_Adds_clicked();
    void on_pushButton_list1_Remove_clicked();
    void on_pushButton_list1_Save_clicked();
    void on_pushButton_list1_Import_clicked();
    void on_pushButton_list1_Clear_clicked();
    void on_pushButton_keyClear_clicked();
    void on_tableWidget_list2_itemChanged(QTableWidgetItem *item);
    void on_pushButton_list2_Add_clicked();
    void on_pushButton_list2_Adds_clicked();
    void on_pushButton_list2_RemoveRow_clicked();
    void on_pushButton_list2_RemoveColumn_clicked();
    void on_pushButton_list2_Save_clicked();
    void on_pushButton_list2_Import_clicked();
    void on_pushButton_list2_Clear_clicked();
    void on_pushButton_ClearAll_clicked();
    void on_pushButton_replace_clicked();
    void on_radioButton_key_toggled(bool checked);
    void on_tableWidget_list1_cellEntered(int row, int column);
    void on_tableWidget_list2_cellEntered(int row, int column);
    void on_tabWidget_1_currentChanged(int index);
    void on_action_Adds_triggered();
    void on_action_Add_triggered();
    void on_action_Save_triggered();
    void on_action_Import_triggered();
    void on_action_Clear_triggered();
    void on_action_Quit_triggered();
    void on_action_P_triggered();
    void on_action_triggered();
    void on_comboBox_currentIndexChanged(const QString &arg1);

private:
    // Asks whether to leave while a run is going; true to leave.
    bool confirmLeavingRun();
    // Status bar.
    void showStateMessage(int stateCode);
    // Adds the cause of a failure to the status text just shown.
    void showStateCause(const Excel::Reason &why);
    void resetCounters();
    void updateFileCount();

    // Options in the settings file.
    void restoreOptions();
    void saveOptions();

    // The tab of index 0 or 1, or null.
    ListTab *tabAt(int index) const;
    ListTab *currentTab() const;
    void connectTab(ListTab *tab);
    void dropPaths(const QStringList &paths);

    // A run: launching the jobs, receiving their reports.
    void onRepDone(Rep *rep, STATE state, int index);
    void setControlsEnabled(bool enable);
    void stopRun(const LaunchStop &stop);
    void fillOptions(RepPar *par) const;
    void startRun(RunPlan plan);
    void startMode1Run(const QString &separator);
    void startMode2Run(const QString &separator);

    Ui::MainWindow *ui;
    QString appVersion;
    QString configDirName;
    QString configPath;
    QStringList fileList1;
    QStringList fileList2;
    int runTotal = 0;
    int doneCount = 0;
    QLabel *fileNumLabel = nullptr;
    int successCount = 0;
    QLabel *successLabel = nullptr;
    int missingCount = 0;
    QLabel *missingLabel = nullptr;
    int failureCount = 0;
    QLabel *failureLabel = nullptr;
    QLabel *stateLabel = nullptr;
    int runMode = 0;
    // Reports the current run still waits for. Kept apart from doneCount,
    // which a list clear may reset while jobs are still out.
    int runPending = 0;
    // The run under way, or the last one until it is deleted.
    QPointer<Run> currentRun;
    // The behaviour of the two tabs, on fileList1 and fileList2.
    Mode1Tab *mode1Tab = nullptr;
    Mode2Tab *mode2Tab = nullptr;

    std::unique_ptr<UserInteraction> interaction;

    // The Tools menu (mainwindowtools.cpp): preview, record of changes,
    // backups and undo.
    enum class RunKind { Replace, Preview, Undo };
    void setUpTools();
    void setToolsEnabled(bool enable);
    void previewReplace();
    void showChangeLog();
    void undoLastRun();
    void chooseBackupFolder();
    QString backupRoot() const;
    bool equipRun(RunPlan *plan);
    void launchPlan(RunPlan plan, RunKind kind, int mode);
    void onRunFinished();
    int listPosition(int index) const;
    QString successText(const FileReport &report) const;
    void openChangeWindow(int kind, std::shared_ptr<const ChangeRecord> record, const QVector<FileOutcome> &files);

    QMenu *toolsMenu = nullptr;
    QAction *previewAction = nullptr;
    QAction *changeLogAction = nullptr;
    QAction *undoAction = nullptr;
    QAction *backupAction = nullptr;
    QAction *backupFolderAction = nullptr;
    // What the click on the start button launches, and what the run under
    // way is.
    RunKind nextRunKind = RunKind::Replace;
    RunKind runKind = RunKind::Replace;
    // The run under way: its record, backups and what each file came to.
    std::shared_ptr<ChangeRecord> runRecord;
    std::shared_ptr<BackupRun> runBackups;
    QVector<FileOutcome> runOutcomes;
    // The last run that replaced, for the record of changes.
    std::shared_ptr<ChangeRecord> lastRecord;
    QVector<FileOutcome> lastOutcomes;
    // The plan of the last preview, for its start button.
    RunPlan previewPlan;
    int previewMode = 0;
    QString undoFolder;
    QPointer<PreviewWindow> changeWindow;

    friend class TestMainWindow;
    friend struct WindowProbe;
};
