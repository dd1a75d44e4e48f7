#include "excelfilescan.h"

#include <QDir>
#include <QFileInfo>

ExcelFileScan::ExcelFileScan(bool recurse, Found found)
    : m_recurse(recurse)
    , m_found(std::move(found))
{
}

bool ExcelFileScan::isExcelFileName(const QString &path)
{
    return path.endsWith(QLatin1String(".xlsx")) || path.endsWith(QLatin1String(".xls"));
}

void ExcelFileScan::scan(const QString &dirPath)
{
    m_visited.clear();
    walk(dirPath);
}

void ExcelFileScan::walk(const QString &dirPath)
{
    const QString canonical = QFileInfo(dirPath).canonicalFilePath();
    if (!canonical.isEmpty()) {
        if (m_visited.contains(canonical))
            return;
        m_visited.insert(canonical);
    }
    const QDir dir(dirPath);
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo &entry : entries) {
        if (entry.isFile()) {
            const QString path = dirPath.endsWith(QLatin1Char('/')) ? dirPath + entry.fileName()
                                                                    : dirPath + QLatin1Char('/') + entry.fileName();
            if (isExcelFileName(path))
                m_found(path);
        } else if (m_recurse) {
            const QString name = entry.fileName();
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            if (entry.isDir())
                walk(entry.absoluteFilePath());
        }
    }
}
