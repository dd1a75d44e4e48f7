#pragma once

#include <QString>

// What a dropped path is, by the name of its mime type as the system's mime
// database sees it (by name, in any case, and content), or else by the
// names the folder scan takes for workbooks.
enum class DropKind {
    Unsupported,
    Directory,
    Workbook,      // .xls, .xlsx, .xlsm, .xltx, .xltm (and .xlt)
    Mode1ListFile, // an .xlsx named like the Mode 1 list export
    Mode2ListFile, // an .xlsx named like the Mode 2 list export
};

DropKind dropKind(const QString &path);

// The default names of the two list exports, without folder and suffix.
QString mode1ListBaseName();
QString mode2ListBaseName();
