#pragma once

#include <QString>
#include <QVector>

// The 1-based sheet numbers a job processes for the sheet box text, in
// order. "默认页" gives an empty list: the workbook's active sheet, once.
// "首表" the first, "尾表" the last, "所有表" every sheet. Any other text is
// a comma-separated list of numbers: parts that are no number count as 0 and,
// like every number outside 1..count, are dropped; duplicates are kept. Such
// a text may name no sheet at all; the list is then empty and *activeOnly
// stays false.
QVector<int> chooseSheets(const QString &sheetIndex, int count, bool *activeOnly);
