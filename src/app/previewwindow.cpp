#include "previewwindow.h"

#include "changeexport.h"
#include "changetablemodel.h"
#include "listtab.h"
#include "userinteraction.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QColor stateColour(STATE state)
{
    switch (state) {
    case FAILURE:
        return Qt::red;
    case MISSING:
        return Qt::blue;
    case SUCCESS:
        break;
    }
    return QColor();
}

} // namespace

PreviewWindow::PreviewWindow(Kind kind, std::shared_ptr<const ChangeRecord> record, const QVector<FileOutcome> &files,
                             UserInteraction *interaction, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_kind(kind)
    , m_interaction(interaction)
    , m_model(new ChangeTableModel(std::move(record), this))
{
    setObjectName(kind == Preview ? QStringLiteral("PreviewWindow") : QStringLiteral("ChangeLogWindow"));
    setWindowTitle(kind == Preview ? windowText("预览替换") : windowText("更改记录"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(960, 640);

    int success = 0, failure = 0, missing = 0;
    for (const FileOutcome &f : files) {
        success += f.state == SUCCESS;
        failure += f.state == FAILURE;
        missing += f.state == MISSING;
    }
    auto *heading = new QLabel(
        (kind == Preview ? windowText("预览: 将更改 %1 个单元格（成功 %2，失败 %3，丢失 %4），文件尚未改动。")
                         : windowText("上次替换更改了 %1 个单元格（成功 %2，失败 %3，丢失 %4）。"))
            .arg(m_model->record()->rowCount())
            .arg(success)
            .arg(failure)
            .arg(missing));
    heading->setObjectName(QStringLiteral("label_heading"));

    m_files = new QTableWidget(files.size(), 2);
    m_files->setObjectName(QStringLiteral("tableWidget_files"));
    m_files->setHorizontalHeaderLabels({windowText("文件"), windowText("结果")});
    m_files->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_files->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_files->horizontalHeader()->setStretchLastSection(true);
    m_files->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_files->verticalHeader()->setDefaultSectionSize(m_files->fontMetrics().height() + 6);
    m_files->setWordWrap(false);
    m_files->setMaximumHeight(160);
    for (int k = 0; k < files.size(); ++k) {
        auto *name = new QTableWidgetItem(QFileInfo(files[k].path).fileName());
        name->setToolTip(files[k].path);
        auto *outcome = new QTableWidgetItem(files[k].text);
        outcome->setToolTip(files[k].text);
        const QColor colour = stateColour(files[k].state);
        if (colour.isValid())
            outcome->setForeground(colour);
        m_files->setItem(k, 0, name);
        m_files->setItem(k, 1, outcome);
    }

    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("lineEdit_filter"));
    m_filter->setPlaceholderText(windowText("文件、工作表、单元格或内容中含有的文字"));
    m_filter->setClearButtonEnabled(true);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("label_count"));
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(windowText("筛选:")));
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_count);

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("tableView_changes"));
    m_table->setModel(m_model);
    m_table->setWordWrap(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Fixed row heights and column widths: the view then never measures
    // the rows, however many there are.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 180);
    m_table->setColumnWidth(1, 110);
    m_table->setColumnWidth(2, 70);
    m_table->setColumnWidth(3, 260);

    m_export = new QPushButton(windowText("导出…"));
    m_export->setObjectName(QStringLiteral("pushButton_export"));
    auto *start = new QPushButton(windowText("开始替换"));
    start->setObjectName(QStringLiteral("pushButton_start"));
    start->setVisible(kind == Preview);
    auto *closeButton = new QPushButton(windowText("关闭"));
    closeButton->setObjectName(QStringLiteral("pushButton_close"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_export);
    buttons->addStretch(1);
    buttons->addWidget(start);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_files);
    layout->addLayout(filterRow);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    // Typing does not start a filter per key: it waits for a pause.
    m_filterDelay = new QTimer(this);
    m_filterDelay->setSingleShot(true);
    m_filterDelay->setInterval(300);
    connect(m_filterDelay, &QTimer::timeout, this, &PreviewWindow::applyFilter);
    connect(m_filter, &QLineEdit::textChanged, m_filterDelay, qOverload<>(&QTimer::start));
    connect(m_filter, &QLineEdit::returnPressed, this, &PreviewWindow::applyFilter);
    connect(m_model, &ChangeTableModel::filterApplied, this, &PreviewWindow::showCount);
    connect(m_model, &ChangeTableModel::readFailed, this, [this](const QString &why) {
        m_interaction->warning(this, windowText("警告"), windowText("更改记录读取失败: ") + why);
    });
    connect(m_export, &QPushButton::clicked, this, &PreviewWindow::exportRows);
    connect(start, &QPushButton::clicked, this, [this] {
        emit startRequested();
        close();
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(&m_exporting, &QFutureWatcher<QString>::finished, this, &PreviewWindow::exportDone);
    showCount();
}

// An export under way goes on without the window and puts its file in
// place all the same.
PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::applyFilter()
{
    m_filterDelay->stop();
    if (m_filter->text() == m_model->filter() && !m_model->filtering())
        return;
    m_model->setFilter(m_filter->text());
    if (m_model->filtering())
        m_count->setText(windowText("筛选中…"));
}

void PreviewWindow::showCount()
{
    const qint64 all = m_model->record()->rowCount();
    if (m_model->filter().isEmpty())
        m_count->setText(windowText("共 %1 行").arg(all));
    else
        m_count->setText(windowText("%1 / %2 行").arg(m_model->rowCount()).arg(all));
}

// The export runs on a worker thread, so that a record of millions of rows
// does not stop the window; the file is only put in place when complete.
void PreviewWindow::exportRows()
{
    if (m_exporting.isRunning())
        return;
    const QString path = m_interaction->chooseSaveFile(this, windowText("导出更改记录"),
                                                       windowText("更改记录.xlsx"),
                                                       windowText("Excel 工作簿(*.xlsx);;CSV 文件(*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    std::shared_ptr<ChangeExport> file(ChangeExport::begin(path, &error).release());
    if (!file) {
        m_interaction->warning(this, windowText("警告"), windowText("无法导出: ") + error);
        return;
    }
    ChangeLabels labels;
    labels.sheet = windowText("更改记录");
    labels.headers = QStringList{windowText("文件"), windowText("工作表"), windowText("单元格"),
                                 windowText("原内容"), windowText("替换为")};
    m_exportPath = path;
    m_export->setEnabled(false);
    std::shared_ptr<const ChangeRecord> record = m_model->record();
    m_exporting.setFuture(QtConcurrent::run([file, record, labels]() {
        QString why;
        return file->write(*record, &why, labels) ? QString() : why;
    }));
}

void PreviewWindow::exportDone()
{
    m_export->setEnabled(true);
    const QString error = m_exporting.result();
    if (error.isEmpty())
        m_interaction->information(this, windowText("导出更改记录"), windowText("已导出到 %1").arg(m_exportPath));
    else
        m_interaction->warning(this, windowText("警告"), windowText("无法导出: ") + error);
}
