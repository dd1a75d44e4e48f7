#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// The name of the file that marks a folder of Korrin's backups (the backup
// folder and each run's folder in it). A folder scan never enters a folder
// that holds a file of this name, so a run never changes the originals it
// kept.
inline constexpr char backupFolderMarker[] = ".korrin-backups";

// What a scan left out, by path in the order met, for the summary of
// whoever asked for it.
struct ScanSkips
{
    QStringList linksOutside;   // symbolic links that lead out of the scanned folder
    QStringList untrustedLinks; // links another user may have planted in a shared folder
    QStringList backupFolders;  // folders of backups (backupFolderMarker, or excluded)

    int links() const { return linksOutside.size() + untrustedLinks.size(); }
    int total() const { return links() + backupFolders.size(); }
    void add(const ScanSkips &other);
    // "2 links out of their folders, 1 folder of backups"; empty for none.
    QString counts() const;
};

// Walks a folder the way the add-folder command lists it: QDir's default
// filter and order (files and folders, no hidden or system entries, by name
// with case ignored), depth first, calling found() for every workbook by its
// name: one ending in .xls, .xlsx, .xlsm, .xltx or .xltm, in any case
// ("B.XLS" is one). With recurse on it descends into every sub-folder, but
// never twice into the same folder, so a symbolic link back to a parent
// cannot make it loop. A folder that cannot be read yields nothing.
//
// Symbolic links are followed only where they lead to a place inside the
// scanned folder, and never where someone else could have planted them: a
// link in a folder with the sticky bit that anyone may write to (such as
// /tmp or a shared folder), owned neither by the user running the scan nor
// by the folder's owner, is not followed, as the kernel's protected-symlinks
// rule has it. Folders of backups are not entered. What was left out is
// counted in skips().
class ExcelFileScan
{
public:
    using Found = std::function<void(const QString &path)>;

    ExcelFileScan(bool recurse, Found found);

    // Folders never entered, with everything below them (a backup folder
    // named on the command line, which may not hold its marker yet).
    void setExcludedFolders(const QStringList &folders);

    void scan(const QString &dirPath);

    // What the scans so far left out.
    const ScanSkips &skips() const { return m_skips; }

    static bool isExcelFileName(const QString &path);
    // The endings of those names, lower case: ".xls", ".xlsx", ...
    static QStringList workbookSuffixes();

private:
    void walk(const QString &dirPath);
    bool isExcluded(const QString &canonical) const;
    // Whether the link entry of the folder dirPath may be followed; counts
    // it when not.
    bool mayFollow(const QString &dirPath, const QString &linkPath);

    bool m_recurse;
    Found m_found;
    QSet<QString> m_visited;
    QString m_root; // the scanned folder, canonical
    QStringList m_excluded;
    ScanSkips m_skips;
};
