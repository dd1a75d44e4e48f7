#pragma once

// The two list-file layouts: what an export writes and what an import reads
// back. Shared by the window and the command-line runner.

#include "reason.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct Mode1List
{
    QStringList files;
    QStringList keywordLines;
    QStringList replacementLines;
};

struct Mode2List
{
    QStringList files;
    // One entry row per table row: the keyword, then one cell per file.
    QVector<QStringList> rows;
};

QString mode1FileSheetName();
QString mode1KeywordSheetName();
QString mode2SheetName();

// Write the list file; false with a reason when it could not be written
// (an existing file is then left as it was).
bool writeMode1List(const QString &path, const Mode1List &list, QString *error);
bool writeMode2List(const QString &path, const Mode2List &list, QString *error);

// Read a list file. 0 on success, else the state code of the failure:
// 35 no file name, 36 not a readable workbook or too few sheets, 37 a sheet
// of the layout is missing; *why (when given) then tells the cause. Paths
// come back with "/" separators. A file list ends at its first empty cell,
// and so does the keyword list (an empty replacement is kept). A sheet of
// the layout whose cells cannot be read is a failure (36), not a short list.
int readMode1List(const QString &path, Mode1List *list, Excel::Reason *why = nullptr);
int readMode2List(const QString &path, Mode2List *list, Excel::Reason *why = nullptr);

// Which layout a workbook has, by its sheet names: 1, 2, or 0 for neither.
int listFileMode(const QString &path);

// Reads a list file of either layout, told apart by its sheet names, and
// opens it once: *mode becomes 1 or 2 and the list of that layout is
// filled. 0 on success, else a state code as above (37 also for a workbook
// of neither layout).
int readListFile(const QString &path, int *mode, Mode1List *list1, Mode2List *list2,
                 Excel::Reason *why = nullptr);
