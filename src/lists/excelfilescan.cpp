#include "excelfilescan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isInside(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

bool holdsBackupMarker(const QString &dirPath)
{
    struct stat st;
    return ::lstat(QFile::encodeName(dirPath + QLatin1Char('/') + QLatin1String(backupFolderMarker)).constData(),
                   &st)
        == 0;
}

} // namespace

void ScanSkips::add(const ScanSkips &other)
{
    linksOutside += other.linksOutside;
    untrustedLinks += other.untrustedLinks;
    backupFolders += other.backupFolders;
}

QString ScanSkips::counts() const
{
    QStringList parts;
    const auto count = [&](int n, const char *one, const char *many) {
        if (n > 0)
            parts << QCoreApplication::translate("Lists", "%1 %2").arg(n).arg(QCoreApplication::translate("Lists", n == 1 ? one : many));
    };
    count(linksOutside.size(), QT_TRANSLATE_NOOP("Lists", "link out of its folder"),
          QT_TRANSLATE_NOOP("Lists", "links out of their folders"));
    count(untrustedLinks.size(), QT_TRANSLATE_NOOP("Lists", "link of another user"),
          QT_TRANSLATE_NOOP("Lists", "links of other users"));
    count(backupFolders.size(), QT_TRANSLATE_NOOP("Lists", "folder of backups"), QT_TRANSLATE_NOOP("Lists", "folders of backups"));
    return parts.join(QStringLiteral(", "));
}

ExcelFileScan::ExcelFileScan(bool recurse, Found found)
    : m_recurse(recurse)
    , m_found(std::move(found))
{
}

void ExcelFileScan::setExcludedFolders(const QStringList &folders)
{
    m_excluded.clear();
    for (const QString &folder : folders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty())
            m_excluded << canonical;
    }
}

QStringList ExcelFileScan::workbookSuffixes()
{
    return {QStringLiteral(".xls"), QStringLiteral(".xlsx"), QStringLiteral(".xlsm"), QStringLiteral(".xltx"),
            QStringLiteral(".xltm")};
}

bool ExcelFileScan::isExcelFileName(const QString &path)
{
    static const QStringList suffixes = workbookSuffixes();
    for (const QString &suffix : suffixes)
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    return false;
}

void ExcelFileScan::scan(const QString &dirPath)
{
    m_visited.clear();
    m_root = QFileInfo(dirPath).canonicalFilePath();
    walk(dirPath);
}

bool ExcelFileScan::isExcluded(const QString &canonical) const
{
    for (const QString &folder : m_excluded)
        if (isInside(canonical, folder))
            return true;
    return false;
}

bool ExcelFileScan::mayFollow(const QString &dirPath, const QString &linkPath)
{
    struct stat link, dir;
    if (::lstat(QFile::encodeName(linkPath).constData(), &link) != 0
        || ::stat(QFile::encodeName(dirPath).constData(), &dir) != 0)
        return false;
    const uid_t us = ::geteuid();
    if ((dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) && link.st_uid != us && link.st_uid != dir.st_uid) {
        m_skips.untrustedLinks << linkPath;
        return false;
    }
    const QString target = QFileInfo(linkPath).canonicalFilePath();
    if (!target.isEmpty() && !m_root.isEmpty() && !isInside(target, m_root)) {
        m_skips.linksOutside << linkPath;
        return false;
    }
    return true;
}

void ExcelFileScan::walk(const QString &dirPath)
{
    const QString canonical = QFileInfo(dirPath).canonicalFilePath();
    if (!canonical.isEmpty()) {
        if (m_visited.contains(canonical))
            return;
        m_visited.insert(canonical);
        if (isExcluded(canonical) || holdsBackupMarker(canonical)) {
            m_skips.backupFolders << dirPath;
            return;
        }
    }
    const QDir dir(dirPath);
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString path = dirPath.endsWith(QLatin1Char('/')) ? dirPath + name : dirPath + QLatin1Char('/') + name;
        if (entry.isFile()) {
            if (isExcelFileName(path) && (!entry.isSymLink() || mayFollow(dirPath, path)))
                m_found(path);
        } else if (m_recurse && entry.isDir()) {
            if (!entry.isSymLink() || mayFollow(dirPath, path))
                walk(entry.absoluteFilePath());
        }
    }
}
