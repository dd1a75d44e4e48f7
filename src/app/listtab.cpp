#include "listtab.h"

#include "dropkind.h"
#include "excelfilescan.h"
#include "folderpath.h"
#include "listedit.h"
#include "settings.h"
#include "statecodes.h"
#include "userinteraction.h"

#include <QCoreApplication>
#include <QTableWidget>
#include <QUrl>

namespace {

const QString checkGroup = QStringLiteral("check");
const QString listFilter = QStringLiteral("XLS表格(*.xlsx)");

// A file's hover tip, with what the last run did to it (outcomeRole of its
// entry) on a line of its own.
QString withOutcome(const QString &tip, const QTableWidgetItem *entry)
{
    const QString outcome = entry ? entry->data(outcomeRole).toString() : QString();
    return tip.isEmpty() || outcome.isEmpty() ? tip : tip + QLatin1Char('\n') + outcome;
}

} // namespace

ListTab::ListTab(QStringList *files, QTableWidget *table, QWidget *window, const QString &configPath,
                 const QString &subfolderKey, const QString &folderTitle)
    : QObject(window),
      m_files(files),
      m_table(table),
      m_window(window),
      m_configPath(configPath),
      m_subfolderKey(subfolderKey),
      m_folderTitle(folderTitle)
{
}

bool ListTab::isListed(const QString &path)
{
    if (!m_files->contains(path))
        return false;
    emit stateChanged(StateCode::AlreadyListed);
    return true;
}

void ListTab::collectExcelFiles(const QString &dirPath, bool recurse)
{
    ExcelFileScan scan(recurse, [&](const QString &path) {
        if (!isListed(path))
            m_files->append(path);
    });
    scan.scan(dirPath);
    m_scanSkips.add(scan.skips());
}

void ListTab::reportScanSkips()
{
    if (m_scanSkips.total() > 0)
        emit stateCause(Excel::Reason(QCoreApplication::translate("Lists", "not scanned: %1").arg(m_scanSkips.counts())));
    m_scanSkips = ScanSkips();
}

void ListTab::addFolder(const QString &dirPath)
{
    collectExcelFiles(dirPath, readSetting(m_configPath, checkGroup, m_subfolderKey, QString()).toInt() != 0);
}

// An accepted dialog stores its check box state even when no folder was
// picked.
bool ListTab::chooseFolders(QStringList *folders)
{
    bool includeSubfolders = readSetting(m_configPath, checkGroup, m_subfolderKey, QString()).toInt() != 0;
    if (!m_interaction->chooseFolders(m_window, m_folderTitle, QStringLiteral("."), &includeSubfolders, folders))
        return false;
    writeSetting(m_configPath, checkGroup, m_subfolderKey,
                 includeSubfolders ? QStringLiteral("1") : QStringLiteral("0"));
    return true;
}

void ListTab::addChosenFiles()
{
    emit stateChanged(StateCode::AddingFiles);
    QStringList files;
    if (!m_interaction->chooseFiles(m_window, windowText("选择Excel文档:"), QStringLiteral("."),
                                    windowText("Excel文件(*.xls *.xlsx)"), &files)) {
        emit stateChanged(StateCode::FilesCancelled);
        return;
    }
    for (const QString &path : qAsConst(files))
        if (!isListed(path))
            m_files->append(path);
    refresh();
    emit stateChanged(StateCode::FilesAdded);
    emit fileCountChanged();
}

void ListTab::addChosenFolders()
{
    emit stateChanged(StateCode::AddingFolder);
    QStringList folders;
    if (!chooseFolders(&folders)) {
        emit stateChanged(StateCode::FolderCancelled);
        return;
    }
    for (const QString &folder : qAsConst(folders))
        addFolder(folder);
    if (!folders.isEmpty()) {
        refresh();
        reportScanSkips();
    }
}

// A list file among other dropped paths is taken as a workbook.
void ListTab::addDroppedPaths(const QStringList &paths)
{
    for (const QString &path : paths) {
        switch (dropKind(path)) {
        case DropKind::Unsupported:
            emit stateChanged(StateCode::DropUnsupported);
            break;
        case DropKind::Directory:
            addFolder(path);
            break;
        case DropKind::Workbook:
        case DropKind::Mode1ListFile:
        case DropKind::Mode2ListFile:
            if (!isListed(path)) {
                m_files->append(path);
                emit stateChanged(StateCode::FilesAdded);
            }
            break;
        }
    }
    refresh();
    reportScanSkips();
}

// A cancelled dialog gives an empty name, which the import reports as
// "no list file".
void ListTab::importChosenList()
{
    emit stateChanged(StateCode::Importing);
    importList(m_interaction->chooseOpenFile(m_window, windowText("选择文件列表Tarvo文件:"), QStringLiteral("."),
                                             listFilter));
    emit fileCountChanged();
}

QSet<int> ListTab::selectedRows() const
{
    QSet<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    return rows;
}

QSet<int> ListTab::selectedColumns() const
{
    QSet<int> columns;
    for (const QModelIndex &index : m_table->selectionModel()->selectedIndexes())
        columns.insert(index.column());
    return columns;
}

QString ListTab::chooseExportFile(const QString &proposed)
{
    emit stateChanged(StateCode::Exporting);
    const QString path =
        m_interaction->chooseSaveFile(m_window, windowText("选择保存目录:"), proposed, listFilter);
    if (path.isEmpty())
        emit stateChanged(StateCode::ExportCancelled);
    return path;
}

void ListTab::openCurrentFolder()
{
    const int index = currentFile();
    if (index < 0 || index >= m_files->size())
        return;
    const QString folder = folderOfListedFile(m_files->at(index));
    if (folder.isEmpty())
        return;
    m_interaction->openUrl(QUrl::fromLocalFile(folder));
}

QString ListTab::fileTipText(int position) const
{
    return withOutcome(fileTip(*m_files, position), fileEntry(position));
}

void ListTab::showFileTip(int position)
{
    const QString tip = fileTipText(position);
    if (!tip.isEmpty())
        m_interaction->showToolTip(tip);
}

void ListTab::markFile(int index, const QColor &colour)
{
    if (QTableWidgetItem *entry = fileEntry(index)) {
        entry->setBackground(colour);
        entry->setForeground(Qt::white); // black text is hard to read on blue
    }
}

// It stays with the entry until the list is rebuilt.
void ListTab::noteOutcome(int index, const QString &text)
{
    if (QTableWidgetItem *entry = fileEntry(index)) {
        entry->setData(outcomeRole, text);
        outcomeNoted(index);
    }
}

void ListTab::reportListFailure(int stateCode, const Excel::Reason &why)
{
    emit stateChanged(stateCode);
    if (stateCode != StateCode::NoListFile) // no name: the dialog was cancelled
        emit stateCause(why);
}
