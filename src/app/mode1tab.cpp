#include "mode1tab.h"

#include "codeeditor.h"
#include "listedit.h"
#include "listfiles.h"
#include "statecodes.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

Mode1Tab::Mode1Tab(QStringList *files, QTableWidget *table, CodeEditor *keywords, CodeEditor *replacements,
                   QWidget *window, const QString &configPath)
    : ListTab(files, table, window, configPath, QStringLiteral("c1"), windowText("选择文本文档所在目录:")),
      m_keywords(keywords),
      m_replacements(replacements)
{
}

void Mode1Tab::setUpTable()
{
    m_table->setRowCount(0);
    m_table->setColumnCount(1);
    m_table->setHorizontalHeaderLabels(QStringList{windowText("文件名")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void Mode1Tab::refresh()
{
    m_table->setRowCount(m_files->size());
    for (int i = 0; i < m_files->size(); ++i)
        m_table->setItem(i, 0, new QTableWidgetItem(QFileInfo(m_files->at(i)).fileName()));
    emit stateChanged(StateCode::FolderAdded);
    emit fileCountChanged();
}

void Mode1Tab::removeSelected()
{
    emit stateChanged(StateCode::Removing);
    removeListEntries(m_files, selectedRows());
    m_table->clearSelection();
    refresh();
    emit stateChanged(StateCode::Removed);
    emit fileCountChanged();
}

void Mode1Tab::clear()
{
    m_table->setRowCount(0);
    m_files->clear();
    emit countersCleared();
    emit stateChanged(StateCode::Cleared);
    emit fileCountChanged();
}

void Mode1Tab::clearKeywords()
{
    m_keywords->clear();
    m_replacements->clear();
    emit stateChanged(StateCode::Cleared);
}

// Only the Mode 1 data are replaced, whichever tab is current; the table
// gets exactly one row per imported file.
bool Mode1Tab::importList(const QString &path)
{
    Mode1List list;
    Excel::Reason why;
    if (const int failure = readMode1List(path, &list, &why)) {
        reportListFailure(failure, why);
        return false;
    }
    clear();
    clearKeywords();
    *m_files = list.files;
    m_table->setRowCount(m_files->size());
    for (int i = 0; i < m_files->size(); ++i)
        m_table->setItem(i, 0, new QTableWidgetItem(QFileInfo(m_files->at(i)).fileName()));
    for (int j = 0; j < list.keywordLines.size(); ++j) {
        m_keywords->appendPlainText(list.keywordLines.at(j));
        m_replacements->appendPlainText(list.replacementLines.value(j));
    }
    emit stateChanged(StateCode::Imported);
    return true;
}

void Mode1Tab::exportList()
{
    const QString path = chooseExportFile(QStringLiteral("./Tarvo方式一文件列表.xlsx"));
    if (path.isEmpty())
        return;
    Mode1List list;
    list.files = *m_files;
    list.keywordLines = keywordLines();
    list.replacementLines = replacementLines();
    QString error;
    if (writeMode1List(path, list, &error))
        emit stateChanged(StateCode::Exported);
    else
        reportListFailure(StateCode::ExportFailed, Excel::Reason(error));
}

QStringList Mode1Tab::keywordLines() const
{
    return m_keywords->lines();
}

QStringList Mode1Tab::replacementLines() const
{
    return m_replacements->lines();
}

int Mode1Tab::currentFile() const
{
    return m_table->currentRow();
}

QTableWidgetItem *Mode1Tab::fileEntry(int index) const
{
    return m_table->item(index, 0);
}
