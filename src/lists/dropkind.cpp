#include "dropkind.h"

#include <QFileInfo>
#include <QMimeDatabase>

QString mode1ListBaseName()
{
    return QStringLiteral("Tarvo方式一文件列表");
}

QString mode2ListBaseName()
{
    return QStringLiteral("Tarvo方式二替换列表");
}

DropKind dropKind(const QString &path)
{
    static const QMimeDatabase db;
    const QString mime = db.mimeTypeForFile(path).name();
    if (mime == QLatin1String("inode/directory"))
        return DropKind::Directory;
    if (mime == QLatin1String("application/vnd.ms-excel"))
        return DropKind::Workbook;
    if (mime == QLatin1String("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")) {
        const QString base = QFileInfo(path).baseName();
        if (base == mode1ListBaseName())
            return DropKind::Mode1ListFile;
        if (base == mode2ListBaseName())
            return DropKind::Mode2ListFile;
        return DropKind::Workbook;
    }
    return DropKind::Unsupported;
}
