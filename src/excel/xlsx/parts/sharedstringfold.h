#pragma once

// Shared strings changed in their place. A replace gives a changed shared
// string a new entry and points each cell that used the old one there.
// When every cell of the workbook that named an entry now names the same
// new entry, and changed in nothing else, the old entry may take the new
// text instead: those cells then stay as they were read, and so does a
// sheet with no other change. What Excel shows is the same either way.

#include "xlsx/parts/sharedstrings.h"
#include "xlsx/parts/worksheetpart.h"

#include <unordered_map>
#include <vector>

namespace Excel {
namespace Xlsx {

// The moves of a part edited one window at a time, gathered by the entry
// the cells leave (no list of cells is kept).
struct GatheredMoves
{
    static constexpr quint32 Mixed = ~0u;
    struct Target
    {
        quint32 to = 0;
        quint32 cells = 0; // Mixed: the entry's cells went to different places
    };
    std::unordered_map<quint32, Target> byEntry;
    quint64 moves = 0;
    quint64 others = 0; // other cells changed
    bool othersShared = false;

    void add(const std::vector<SharedMove> &windowMoves, quint32 windowOthers, bool windowOthersShared);
};

struct SharedStringFold
{
    SharedStrings::InPlace table;
    std::vector<std::vector<quint32>> cellsAsRead; // by part: cells written as read, ascending
    std::vector<bool> partAsRead;                  // by part: nothing else changed in it
    std::vector<bool> gatheredAsRead;              // the same, by part edited in windows

    // Whether the cells that leave the entry are written as read.
    bool folds(quint32 from) const;
};

// The fold for the edits of these parts, which must be every part of the
// workbook that holds cells, each parsed once, with the references that
// book counted when they were parsed. Nothing folds when those counts
// are unknown.
// gathered: the moves of the parts edited in windows, which count as
// parts too.
SharedStringFold foldSharedStrings(const std::vector<const WorksheetPart *> &parts, const BookContext &book,
                                   const std::vector<const GatheredMoves *> &gathered = {});

} // namespace Xlsx
} // namespace Excel
