#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "excelfilescan.h"
#include "reason.h"

class QTableWidget;
class QTableWidgetItem;
class QWidget;
class UserInteraction;

// What both tabs of the window do with their file list: adding the files
// and folders the user picks or drops, the duplicate check, the hover tip,
// the folder of a listed file, and the marks a run leaves on a file's
// entry. Each tab adds its own table layout, removal, clearing and list
// files. The list itself belongs to the window; a tab works on it and keeps
// its table in step with it.
class ListTab : public QObject
{
    Q_OBJECT

public:
    // subfolderKey: the key of the stored "include sub-folders" option,
    // folderTitle: the title of the add-folder dialog.
    ListTab(QStringList *files, QTableWidget *table, QWidget *window, const QString &configPath,
            const QString &subfolderKey, const QString &folderTitle);

    void setInteraction(UserInteraction *interaction) { m_interaction = interaction; }

    // The add-files and add-folder commands.
    void addChosenFiles();
    void addChosenFolders();
    // Dropped workbooks and folders (not list files); ends with refresh().
    void addDroppedPaths(const QStringList &paths);

    // The import command: asks for a list file and loads it.
    void importChosenList();

    // Rebuilds the table's file part from the list.
    virtual void refresh() = 0;
    virtual void clear() = 0;
    virtual bool importList(const QString &path) = 0;
    virtual void exportList() = 0;

    // Shows the folder of the file at the table's current position.
    void openCurrentFolder();
    // The full-path tip of file position, with the last run's outcome.
    void showFileTip(int position);
    QString fileTipText(int position) const;

    // The marks of a run, on the entry of the file it had at launch; an
    // entry that is gone by now gets none.
    void markFile(int index, const QColor &colour);
    void noteOutcome(int index, const QString &text);

signals:
    void stateChanged(int stateCode);
    // The cause of the failure just reported, for the status text.
    void stateCause(const Excel::Reason &why);
    void fileCountChanged();
    // The tab's data were emptied: the counters of the last run no longer
    // apply to them.
    void countersCleared();

protected:
    // A failed list import or export: its state code, then its cause (none
    // for a cancelled dialog, which has nothing to explain).
    void reportListFailure(int stateCode, const Excel::Reason &why);
    // The file index of the table's current position, or -1.
    virtual int currentFile() const = 0;
    // The item that stands for file index in the table, or null.
    virtual QTableWidgetItem *fileEntry(int index) const = 0;
    // The outcome of file index was noted on its entry.
    virtual void outcomeNoted(int /*index*/) {}

    // The rows and the columns of the selected cells, each once.
    QSet<int> selectedRows() const;
    QSet<int> selectedColumns() const;

    // Asks for a list file name to save under; empty when cancelled, which
    // has then been reported.
    QString chooseExportFile(const QString &proposed);

    QStringList *m_files;
    QTableWidget *m_table;
    QWidget *m_window;
    UserInteraction *m_interaction = nullptr;

private:
    // True, with the already-listed code, when path is in the list.
    bool isListed(const QString &path);
    // Appends the workbooks the folder scan finds under dirPath.
    void collectExcelFiles(const QString &dirPath, bool recurse);
    // The scan of one folder, into sub-folders as the stored option says.
    void addFolder(const QString &dirPath);
    // After the refresh that ends adding folders: what the scans left out
    // (links out of the folder, folders of backups), after the status text.
    void reportScanSkips();

    bool chooseFolders(QStringList *folders);

    QString m_configPath;
    QString m_subfolderKey;
    QString m_folderTitle;
    ScanSkips m_scanSkips; // of the folders added since the last report
};

// A user-visible text of the window; all of them share its translation
// context.
inline QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// The item data role of a file entry's outcome, shown in its hover tip.
constexpr int outcomeRole = Qt::UserRole + 1;
