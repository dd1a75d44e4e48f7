#include "mainwindow.h"

#include "closeguard.h"
#include "mode1tab.h"
#include "mode2tab.h"
#include "rep.h"
#include "ui_mainwindow.h"
#include "userinteraction.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStandardPaths>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), interaction(new DesktopInteraction)
{
    appVersion = QCoreApplication::applicationVersion();
    configDirName = QStringLiteral("dovKa_") + appVersion;
    configPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                 + QLatin1Char('/') + configDirName + QStringLiteral("/dovKa");

    runMode = 0;
    fileList1.clear();
    fileList2.clear();

    ui->setupUi(this);
    mode1Tab = new Mode1Tab(&fileList1, ui->tableWidget_list1, ui->plainTextEdit_s1, ui->plainTextEdit_s2, this,
                            configPath);
    mode2Tab = new Mode2Tab(&fileList2, ui->tableWidget_list2, this, configPath);
    connectTab(mode1Tab);
    connectTab(mode2Tab);
    showMaximized();
    setWindowTitle(QStringLiteral("Korrin V") + appVersion);

    ui->pushButton_replace->setToolTip(tr("替换(CTRL_SHIFT+H)"));
    ui->pushButton_ClearAll->setToolTip(tr("清空(CTRL_SHIFT+C)"));

    registerStateType();

    // Closing during a run asks first; jobs already saving finish after
    // the window is gone.
    new CloseGuard(
        this, [this] { return runPending > 0; }, [this] { return confirmLeavingRun(); });

    restoreOptions();

    ui->tableWidget_list1->setAttribute(Qt::WA_MouseTracking);
    ui->tableWidget_list2->setAttribute(Qt::WA_MouseTracking);

    connect(ui->tableWidget_list1, &QTableWidgetEx::mouseLeftDoubled, ui->tableWidget_list1,
            [this] { mode1Tab->openCurrentFolder(); });
    connect(ui->tableWidget_list2, &QTableWidgetEx::mouseLeftDoubled, ui->tableWidget_list2,
            [this] { mode2Tab->openCurrentFolder(); });

    // The buttons that a menu action also triggers show its shortcut.
    ui->pushButton_list1_Adds->setToolTip(QStringLiteral("Ctrl+P"));
    ui->pushButton_list2_Adds->setToolTip(QStringLiteral("Ctrl+P"));
    ui->pushButton_list1_Add->setToolTip(QStringLiteral("Ctrl+F"));
    ui->pushButton_list2_Add->setToolTip(QStringLiteral("Ctrl+F"));
    ui->pushButton_list1_Save->setToolTip(QStringLiteral("Ctrl+S"));
    ui->pushButton_list2_Save->setToolTip(QStringLiteral("Ctrl+S"));
    ui->pushButton_list1_Import->setToolTip(QStringLiteral("Ctrl+I"));
    ui->pushButton_list2_Import->setToolTip(QStringLiteral("Ctrl+I"));
    ui->pushButton_list1_Clear->setToolTip(QStringLiteral("Ctrl+Del"));
    ui->pushButton_list2_Clear->setToolTip(QStringLiteral("Ctrl+Del"));

    mode1Tab->setUpTable();
    mode2Tab->setUpTable();

    fileNumLabel = new QLabel;
    fileNumLabel->setObjectName(QStringLiteral("fileNumLabel"));
    fileNumLabel->setText(tr(" 文件(0)"));
    successLabel = new QLabel;
    successLabel->setObjectName(QStringLiteral("successLabel"));
    failureLabel = new QLabel;
    failureLabel->setObjectName(QStringLiteral("failureLabel"));
    missingLabel = new QLabel;
    missingLabel->setObjectName(QStringLiteral("missingLabel"));
    stateLabel = new QLabel;
    stateLabel->setObjectName(QStringLiteral("stateLabel"));
    stateLabel->setText(tr(" 就绪★★★处理之前请自行对文件进行备份★★★"));
    ui->statusbar->addWidget(fileNumLabel, 0);
    ui->statusbar->addWidget(successLabel, 0);
    ui->statusbar->addWidget(failureLabel, 0);
    ui->statusbar->addWidget(missingLabel, 0);
    ui->statusbar->addWidget(stateLabel, -1);

    resetCounters();

    connect(this, &MainWindow::fileNumChangedSignals, this, [this] { updateFileCount(); });
    connect(this, &MainWindow::stateChangedSignals, this, &MainWindow::showStateMessage);

    setUpTools();
}

MainWindow::~MainWindow()
{
    saveOptions();
    delete ui;
}

void MainWindow::setUserInteraction(std::unique_ptr<UserInteraction> replacement)
{
    if (replacement)
        interaction = std::move(replacement);
    else
        interaction.reset(new DesktopInteraction);
    mode1Tab->setInteraction(interaction.get());
    mode2Tab->setInteraction(interaction.get());
}

// The tab's reports become the window's.
void MainWindow::connectTab(ListTab *tab)
{
    tab->setInteraction(interaction.get());
    connect(tab, &ListTab::stateChanged, this, &MainWindow::stateChangedSignals);
    connect(tab, &ListTab::stateCause, this, &MainWindow::showStateCause);
    connect(tab, &ListTab::fileCountChanged, this, &MainWindow::fileNumChangedSignals);
    connect(tab, &ListTab::countersCleared, this, [this] { resetCounters(); });
}

ListTab *MainWindow::tabAt(int index) const
{
    switch (index) {
    case 0:
        return mode1Tab;
    case 1:
        return mode2Tab;
    default:
        return nullptr;
    }
}

ListTab *MainWindow::currentTab() const
{
    return tabAt(ui->tabWidget_1->currentIndex());
}
