#include "folderpath.h"

QString folderOfListedFile(const QString &path)
{
    QString folder = path;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    folder.truncate(slash + 1);
    return folder;
}
