#pragma once

class QFileDialog;

// Makes dialog (a file dialog with its name filter set) match file names as
// the folder scan does: Qt's own dialog, whose filter ignores letter case
// (REPORT.XLSX, Old.XLS), where the platform's may not. With
// everyWorkbookName, the dialog shows every name a workbook goes by (.xlsm,
// .xltx, .xltm too) while its filter keeps the text it was given.
void matchNamesAsTheScanDoes(QFileDialog *dialog, bool everyWorkbookName);
