#pragma once

#include "batchoptions.h"
#include "excelfilescan.h"
#include "runplan.h"

#include <QStringList>

// The run the options ask for: the files and pairs of the list file, or
// the files named as arguments (a folder replaced by the workbooks the
// window's folder scan finds in it, the backup folder and the file of
// --changes left out) followed by those of --files-from, with the pairs of
// --pair. False with a reason when the list file or the file list cannot be
// read, or the file list is too long (maxFileListEntries, maxFileListBytes,
// an entry of PATH_MAX bytes or more). Folders that hold no workbook, and
// what the folder scans left out, are named in *notes; *skips, when given,
// gets the folders and links left out.
bool planBatch(const BatchOptions &options, RunPlan *plan, QStringList *notes, QString *error,
               ScanSkips *skips = nullptr);

// The bounds of a --files-from list, entries (empty ones included) and
// bytes.
constexpr int maxFileListEntries = 1000000;
constexpr qint64 maxFileListBytes = qint64(256) << 20;

// The paths of a --files-from list: one a line, or each ending with NUL.
// Empty entries are skipped; nothing else is changed.
QStringList splitFileList(const QByteArray &data, bool nullSeparated);
