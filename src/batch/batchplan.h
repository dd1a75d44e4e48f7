#pragma once

#include "batchoptions.h"
#include "runplan.h"

#include <QStringList>

// The run the options ask for: the files and pairs of the list file, or
// the files named as arguments (a folder replaced by the workbooks the
// window's folder scan finds in it) followed by those of --files-from, with
// the pairs of --pair. False with a reason when the list file or the file
// list cannot be read. Folders that hold no workbook are named in *notes.
bool planBatch(const BatchOptions &options, RunPlan *plan, QStringList *notes, QString *error);

// The paths of a --files-from list: one a line, or each ending with NUL.
// Empty entries are skipped; nothing else is changed.
QStringList splitFileList(const QByteArray &data, bool nullSeparated);
