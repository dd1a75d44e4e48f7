#include "mode2tab.h"

#include "listedit.h"
#include "listfiles.h"
#include "statecodes.h"
#include "userinteraction.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>

namespace {

QList<int> highestFirst(const QSet<int> &set)
{
    QList<int> list = set.values();
    std::sort(list.begin(), list.end(), std::greater<int>());
    return list;
}

} // namespace

Mode2Tab::Mode2Tab(QStringList *files, QTableWidget *table, QWidget *window, const QString &configPath)
    : ListTab(files, table, window, configPath, QStringLiteral("c2"), windowText("选择Excel文档所在目录:"))
{
}

void Mode2Tab::setUpTable()
{
    m_table->setRowCount(1);
    m_table->setColumnCount(1);
    m_table->setHorizontalHeaderLabels(QStringList{windowText("关键字或位置")});
    m_table->setShowGrid(true);
    m_table->setItem(0, 0, new QTableWidgetItem);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

// Raising the column count adds empty columns at the right; no cell is
// moved or created.
void Mode2Tab::refresh()
{
    m_table->setColumnCount(m_files->size() + 1);
    QStringList labels{windowText("关键字或位置")};
    for (const QString &path : qAsConst(*m_files))
        labels << QFileInfo(path).fileName();
    m_table->setHorizontalHeaderLabels(labels);
    for (int k = 0; k < m_files->size(); ++k)
        setHeaderTip(k);
    emit stateChanged(StateCode::FolderAdded);
    emit fileCountChanged();
}

void Mode2Tab::cellChanged(QTableWidgetItem *item)
{
    const int row = item->row();
    const QTableWidgetItem *above = row > 0 ? m_table->item(row - 1, 0) : nullptr;
    switch (judgeCellEntry(item->text(), row, m_table->rowCount(), above ? above->text() : QString())) {
    case CellEntry::Ignore:
    case CellEntry::Accept:
        break;
    case CellEntry::Refuse:
        m_interaction->warning(m_window, windowText("警告"), windowText("上一条[被替换关键字]为空,请补充!"));
        item->setText(QString());
        break;
    case CellEntry::AcceptAndGrow: {
        const int newRow = m_table->rowCount();
        m_table->insertRow(newRow);
        for (int c = 0; c < m_table->columnCount(); ++c)
            m_table->setItem(newRow, c, new QTableWidgetItem);
        break;
    }
    }
}

// The file list stays as it is.
void Mode2Tab::removeSelectedRows()
{
    emit stateChanged(StateCode::Removing);
    for (int row : highestFirst(selectedRows()))
        if (row < m_table->rowCount() - 1) // the input row stays
            m_table->removeRow(row);
    m_table->clearSelection();
    emit stateChanged(StateCode::Removed);
    emit fileCountChanged();
}

void Mode2Tab::removeSelectedColumns()
{
    emit stateChanged(StateCode::Removing);
    for (int column : highestFirst(selectedColumns())) {
        if (column >= 1 && column <= m_files->size()) { // the keyword column stays
            m_table->removeColumn(column);
            m_files->removeAt(column - 1);
        }
    }
    m_table->clearSelection();
    refresh();
    emit stateChanged(StateCode::Removed);
    emit fileCountChanged();
}

void Mode2Tab::clear()
{
    m_table->setRowCount(1);
    m_table->setColumnCount(1);
    m_table->setItem(0, 0, new QTableWidgetItem);
    m_files->clear();
    emit countersCleared();
    emit stateChanged(StateCode::Cleared);
    emit fileCountChanged();
}

// The keyword column has no tip.
void Mode2Tab::showColumnTip(int column)
{
    if (column >= 1)
        showFileTip(column - 1);
}

// The table keeps one more row than the list has entries: the empty input
// row.
bool Mode2Tab::importList(const QString &path)
{
    Mode2List list;
    Excel::Reason why;
    if (const int failure = readMode2List(path, &list, &why)) {
        reportListFailure(failure, why);
        return false;
    }
    clear();
    *m_files = list.files;
    m_table->setColumnCount(m_files->size() + 1);
    refresh();
    for (int k = 0; k < list.rows.size(); ++k) {
        m_table->setRowCount(m_table->rowCount() + 1);
        for (int i = 0; i < m_table->columnCount(); ++i)
            m_table->setItem(k, i, new QTableWidgetItem(list.rows.at(k).value(i)));
    }
    const int input = m_table->rowCount() - 1;
    for (int i = 0; i < m_table->columnCount(); ++i)
        if (!m_table->item(input, i))
            m_table->setItem(input, i, new QTableWidgetItem);
    emit stateChanged(StateCode::Imported);
    return true;
}

void Mode2Tab::exportList()
{
    const QString path = chooseExportFile(QStringLiteral("./Tarvo方式二替换列表.xlsx"));
    if (path.isEmpty())
        return;
    Mode2List list;
    list.files = *m_files;
    for (int r = 0; r + 1 < m_table->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < m_table->columnCount(); ++c)
            row << cellText(r, c);
        list.rows << row;
    }
    QString error;
    if (writeMode2List(path, list, &error))
        emit stateChanged(StateCode::Exported);
    else
        reportListFailure(StateCode::ExportFailed, Excel::Reason(error));
}

QStringList Mode2Tab::keywordCells() const
{
    QStringList cells;
    for (int r = 0; r + 1 < m_table->rowCount(); ++r)
        cells << cellText(r, 0);
    return cells;
}

QStringList Mode2Tab::replacementCells(int file, int rows) const
{
    QStringList cells;
    for (int r = 0; r < rows; ++r)
        cells << cellText(r, file + 1);
    return cells;
}

// Column 0 holds the keywords; file column c belongs to entry c - 1.
int Mode2Tab::currentFile() const
{
    const int column = m_table->currentColumn();
    return column > 0 ? column - 1 : -1;
}

// The file's column header, as long as that column still exists.
QTableWidgetItem *Mode2Tab::fileEntry(int index) const
{
    return index + 1 < m_table->columnCount() ? m_table->horizontalHeaderItem(index + 1) : nullptr;
}

void Mode2Tab::outcomeNoted(int index)
{
    setHeaderTip(index);
}

void Mode2Tab::setHeaderTip(int index)
{
    if (QTableWidgetItem *header = fileEntry(index))
        header->setToolTip(fileTipText(index));
}

QString Mode2Tab::cellText(int row, int column) const
{
    const QTableWidgetItem *item = m_table->item(row, column);
    return item ? item->text() : QString();
}
