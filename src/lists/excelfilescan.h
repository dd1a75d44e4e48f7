#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// Walks a folder the way the add-folder command lists it: QDir's default
// filter and order (files and folders, no hidden or system entries, by name
// with case ignored), depth first, calling found() for every file whose path
// ends in ".xlsx" or ".xls" (case-sensitive: "B.XLS" and "d.xlsm" are not
// workbooks here). With recurse on it descends into every sub-folder, but
// never twice into the same folder, so a symbolic link back to a parent
// cannot make it loop. A folder that cannot be read yields nothing.
class ExcelFileScan
{
public:
    using Found = std::function<void(const QString &path)>;

    ExcelFileScan(bool recurse, Found found);

    void scan(const QString &dirPath);

    static bool isExcelFileName(const QString &path);

private:
    void walk(const QString &dirPath);

    bool m_recurse;
    Found m_found;
    QSet<QString> m_visited;
};
