#include "xlsx/parts/sharedstringfold.h"

#include <algorithm>
#include <unordered_map>

namespace Excel {
namespace Xlsx {

void GatheredMoves::add(const std::vector<SharedMove> &windowMoves, quint32 windowOthers, bool windowOthersShared)
{
    for (const SharedMove &m : windowMoves) {
        Target &t = byEntry[m.from];
        if (t.cells == Mixed)
            continue;
        if (t.cells && t.to != m.to) {
            t.cells = Mixed;
            continue;
        }
        t.to = m.to;
        ++t.cells;
    }
    moves += windowMoves.size();
    others += windowOthers;
    othersShared |= windowOthersShared;
}

bool SharedStringFold::folds(quint32 from) const
{
    const auto it = std::lower_bound(table.entries.begin(), table.entries.end(), std::make_pair(from, quint32(0)));
    return it != table.entries.end() && it->first == from;
}

SharedStringFold foldSharedStrings(const std::vector<const WorksheetPart *> &parts, const BookContext &book,
                                   const std::vector<const GatheredMoves *> &gathered)
{
    SharedStringFold fold;
    fold.cellsAsRead.resize(parts.size());
    fold.partAsRead.assign(parts.size(), false);
    fold.gatheredAsRead.assign(gathered.size(), false);
    if (!book.sharedStrings || book.sharedReferencesUnknown)
        return fold;
    const quint32 original = book.sharedStrings->sizeAsRead();
    constexpr quint32 Mixed = GatheredMoves::Mixed;
    using Target = GatheredMoves::Target;
    std::unordered_map<quint32, Target> targets;
    std::vector<std::vector<SharedMove>> moves(parts.size());
    std::vector<quint32> others(parts.size());
    bool keepAdded = false;
    for (size_t k = 0; k < parts.size(); ++k) {
        bool othersShared;
        parts[k]->sharedMoves(&moves[k], &others[k], &othersShared);
        keepAdded |= othersShared; // a cell changed otherwise may name a new entry
        for (const SharedMove &m : moves[k]) {
            Target &t = targets[m.from];
            if (m.to < original || (t.cells && t.to != m.to))
                t.cells = Mixed;
            if (t.cells != Mixed) {
                t.to = m.to;
                ++t.cells;
            }
        }
    }
    for (const GatheredMoves *g : gathered) {
        keepAdded |= g->othersShared;
        for (const auto &[from, m] : g->byEntry) {
            Target &t = targets[from];
            if (m.cells == Mixed || m.to < original || (t.cells && t.to != m.to))
                t.cells = Mixed;
            if (t.cells != Mixed) {
                t.to = m.to;
                t.cells += m.cells;
            }
        }
    }
    auto folds = [&](quint32 from) {
        const auto it = targets.find(from);
        return it != targets.end() && it->second.cells != Mixed && from < book.sharedReferences.size()
            && book.sharedReferences[from] == it->second.cells;
    };
    for (const auto &[from, t] : targets)
        if (folds(from))
            fold.table.entries.emplace_back(from, t.to);
    std::sort(fold.table.entries.begin(), fold.table.entries.end());
    for (size_t k = 0; k < parts.size(); ++k) {
        std::vector<quint32> &cells = fold.cellsAsRead[k];
        for (const SharedMove &m : moves[k]) {
            if (folds(m.from))
                cells.push_back(m.cell);
            else
                keepAdded = true; // this cell still names its new entry
        }
        std::sort(cells.begin(), cells.end());
        fold.partAsRead[k] = others[k] == 0 && cells.size() == moves[k].size();
    }
    for (size_t k = 0; k < gathered.size(); ++k) {
        quint64 asRead = 0;
        for (const auto &[from, m] : gathered[k]->byEntry) {
            if (folds(from))
                asRead += m.cells;
            else
                keepAdded = true;
        }
        fold.gatheredAsRead[k] = gathered[k]->others == 0 && asRead == gathered[k]->moves;
    }
    fold.table.dropAdded = !keepAdded;
    return fold;
}

} // namespace Xlsx
} // namespace Excel
