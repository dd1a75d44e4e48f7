#pragma once

#include <QString>

// Copies the workbook open at sourceFd (read from its start) into folder,
// under fileName or, when that name is taken, "NAME (1).EXT", "NAME (2).EXT"
// and so on: never over an existing file. The copy has the original's
// permissions and is complete and flushed to disk, with the folder, before
// it gets its name; a failed copy leaves nothing behind. *copyPath names it.
bool backUpWorkbook(int sourceFd, const QString &fileName, const QString &folder, QString *copyPath,
                    QString *error);

// The name of the n-th backup of fileName: fileName itself for 0, else
// "NAME (n).EXT" (the extension is what follows the last dot).
QString numberedName(const QString &fileName, int n);
