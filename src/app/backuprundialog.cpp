#include "backuprundialog.h"

#include "listtab.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

BackupRunDialog::BackupRunDialog(const QVector<BackupRunInfo> &runs, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("BackupRunDialog"));
    setWindowTitle(windowText("撤销替换"));
    resize(640, 360);

    m_table = new QTableWidget(runs.size(), 4);
    m_table->setObjectName(QStringLiteral("tableWidget_runs"));
    m_table->setHorizontalHeaderLabels(
        {windowText("日期"), windowText("文件数"), windowText("单元格数"), windowText("状态")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    int first = -1;
    for (int i = 0; i < runs.size(); ++i) {
        const BackupRunInfo &run = runs[i];
        auto *date = new QTableWidgetItem(run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        date->setToolTip(run.folder);
        m_table->setItem(i, 0, date);
        m_table->setItem(i, 1, new QTableWidgetItem(QString::number(run.files)));
        m_table->setItem(i, 2, new QTableWidgetItem(QString::number(run.cells)));
        QString state;
        if (run.undone.isValid())
            state = windowText("已撤销 (%1)").arg(run.undone.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        else if (!run.complete)
            state = windowText("未完成的替换");
        else if (first < 0)
            first = i;
        m_table->setItem(i, 3, new QTableWidgetItem(state));
    }
    m_table->selectRow(first >= 0 ? first : 0);

    auto *buttons = new QDialogButtonBox;
    QPushButton *undo = buttons->addButton(windowText("撤销所选替换"), QDialogButtonBox::AcceptRole);
    undo->setObjectName(QStringLiteral("pushButton_undo"));
    buttons->addButton(windowText("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(windowText("选择要撤销的替换：文件恢复为替换前的备份；替换之后又被改动过的文件不会被恢复。")));
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
}

int BackupRunDialog::chosen() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_table->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}
