#include "dropkind.h"

#include "excelfilescan.h"

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
    // .xls (and .xlt), .xlsm, .xltx, .xltm
    for (const char *workbook : {"application/vnd.ms-excel", "application/vnd.ms-excel.sheet.macroEnabled.12",
                                 "application/vnd.openxmlformats-officedocument.spreadsheetml.template",
                                 "application/vnd.ms-excel.template.macroEnabled.12"})
        if (mime == QLatin1String(workbook))
            return DropKind::Workbook;
    if (mime == QLatin1String("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")) {
        const QString base = QFileInfo(path).baseName();
        if (base == mode1ListBaseName())
            return DropKind::Mode1ListFile;
        if (base == mode2ListBaseName())
            return DropKind::Mode2ListFile;
        return DropKind::Workbook;
    }
    // A mime database that lacks one of the types still knows the file by
    // the name the folder scan goes by.
    if (ExcelFileScan::isExcelFileName(path) && QFileInfo(path).isFile())
        return DropKind::Workbook;
    return DropKind::Unsupported;
}
