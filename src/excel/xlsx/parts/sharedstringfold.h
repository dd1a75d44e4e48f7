#pragma once

// Shared strings changed in their place. A replace gives a changed shared
// string a new entry and points each cell that used the old one there.
// When every cell of the workbook that named an entry now names the same
// new entry, and changed in nothing else, the old entry may take the new
// text instead: those cells then stay as they were read, and so does a
// sheet with no other change. What Excel shows is the same either way.

#include "xlsx/parts/sharedstrings.h"
#include "xlsx/parts/worksheetpart.h"

#include <vector>

namespace Excel {
namespace Xlsx {

struct SharedStringFold
{
    SharedStrings::InPlace table;
    std::vector<std::vector<quint32>> cellsAsRead; // by part: cells written as read, ascending
    std::vector<bool> partAsRead;                  // by part: nothing else changed in it
};

// The fold for the edits of these parts, which must be every part of the
// workbook that holds cells, each parsed once, with the references that
// book counted when they were parsed. Nothing folds when those counts
// are unknown.
SharedStringFold foldSharedStrings(const std::vector<const WorksheetPart *> &parts, const BookContext &book);

} // namespace Xlsx
} // namespace Excel
