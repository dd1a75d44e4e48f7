#include "xls/book/biffsheet.h"

#include "xls/book/biffbook.h"
#include "littleendian.h"

#include <algorithm>

namespace Excel {
namespace Biff {

void Sheet::copyRecords(QByteArray &out, int first, int count) const
{
    if (count <= 0)
        return;
    const auto &recs = m_book->index().records;
    const quint32 from = recs[size_t(first)].offset;
    const quint32 to = recs[size_t(first + count - 1)].end();
    out.append(m_book->stream().constData() + from, int(to - from));
}

void Sheet::patchIndex(QByteArray &out, quint32 indexPos, quint32 defColWidthPos,
                       const std::vector<quint32> &dbcells) const
{
    const int size = qFromLittleEndian<quint16>(out.constData() + indexPos + 2);
    if (size < 16)
        return;
    char *d = out.data() + indexPos + 4;
    if (qFromLittleEndian<quint32>(d + 12) != 0 && defColWidthPos != 0)
        qToLittleEndian<quint32>(defColWidthPos, d + 12);
    if (m_indexKept && size_t((size - 16) / 4) == dbcells.size() && (size - 16) % 4 == 0)
        for (size_t i = 0; i < dbcells.size(); ++i)
            qToLittleEndian<quint32>(dbcells[i], d + 16 + 4 * i);
}

void Sheet::layOut(QByteArray &out) const
{
    const StreamIndex &index = m_book->index();
    const Substream &s = index.substreams[size_t(m_substream)];
    const quint32 start = quint32(out.size());
    if (!m_dirty) {
        out.append(m_book->stream().constData() + s.start, int(s.end - s.start));
        if (start != s.start && m_indexRec >= 0) {
            const auto moved = [&](int rec) { return start + (index.records[size_t(rec)].offset - s.start); };
            std::vector<quint32> dbcells;
            for (int r = s.firstRecord; r < s.firstRecord + s.recordCount; ++r)
                if (index.depth[size_t(r)] == 1 && index.records[size_t(r)].type == Rt::DbCell)
                    dbcells.push_back(moved(r));
            patchIndex(out, moved(m_indexRec), m_defColWidthRec >= 0 ? moved(m_defColWidthRec) : 0, dbcells);
        }
        return;
    }

    // Bounds of the cells added, for DIMENSIONS and INDEX.
    bool added = false;
    int aMinRow = 0, aMaxRow = 0, aMinCol = 0, aMaxCol = 0;
    for (const auto &n : m_newCells) {
        if (n.second.rec.type == 0)
            continue;
        const int row = int(n.first >> 8), col = int(n.first & 0xFF);
        if (!added) {
            aMinRow = aMaxRow = row;
            aMinCol = aMaxCol = col;
            added = true;
        }
        aMinRow = std::min(aMinRow, row);
        aMaxRow = std::max(aMaxRow, row);
        aMinCol = std::min(aMinCol, col);
        aMaxCol = std::max(aMaxCol, col);
    }
    int newDbBlocks = 0;
    for (const Block &b : m_blocks)
        if (b.firstItem < 0 && b.hasDbCell)
            ++newDbBlocks;

    quint32 indexPos = 0, defColPos = 0;
    const int end = s.firstRecord + s.recordCount;
    const auto emitOther = [&](int r) {
        const Record &rec = index.records[size_t(r)];
        const char *d = m_book->stream().constData() + rec.dataOffset();
        if (r == m_indexRec) {
            indexPos = quint32(out.size());
            QByteArray data(d, rec.size);
            if (m_indexKept && rec.size + 4 * newDbBlocks <= MaxRecordData)
                data.append(4 * newDbBlocks, '\0');
            if (added && data.size() >= 16) {
                const quint32 mic = qFromLittleEndian<quint32>(data.constData() + 4), mac = qFromLittleEndian<quint32>(data.constData() + 8);
                const bool empty = mac <= mic;
                qToLittleEndian<quint32>(empty ? quint32(aMinRow) : std::min(mic, quint32(aMinRow)), data.data() + 4);
                qToLittleEndian<quint32>(empty ? quint32(aMaxRow + 1) : std::max(mac, quint32(aMaxRow + 1)), data.data() + 8);
            }
            appendRecord(out, rec.type, data.constData(), data.size());
            return;
        }
        if (r == m_dimensionsRec && added && rec.size >= 12) {
            QByteArray data(d, rec.size);
            const quint32 rMic = qFromLittleEndian<quint32>(d), rMac = qFromLittleEndian<quint32>(d + 4);
            const quint16 cMic = qFromLittleEndian<quint16>(d + 8), cMac = qFromLittleEndian<quint16>(d + 10);
            const bool empty = rMac <= rMic || cMac <= cMic;
            qToLittleEndian<quint32>(empty ? quint32(aMinRow) : std::min(rMic, quint32(aMinRow)), data.data());
            qToLittleEndian<quint32>(empty ? quint32(aMaxRow + 1) : std::max(rMac, quint32(aMaxRow + 1)), data.data() + 4);
            qToLittleEndian<quint16>(empty ? quint16(aMinCol) : std::min(cMic, quint16(aMinCol)), data.data() + 8);
            qToLittleEndian<quint16>(empty ? quint16(aMaxCol + 1) : std::max(cMac, quint16(aMaxCol + 1)), data.data() + 10);
            appendRecord(out, rec.type, data.constData(), data.size());
            return;
        }
        if (r == m_defColWidthRec)
            defColPos = quint32(out.size());
        out.append(d - 4, 4 + rec.size);
    };
    for (int r = s.firstRecord; r < m_tableStart; ++r)
        emitOther(r);
    // New rows and cells by block, each list in order.
    std::vector<NewRecords> rowsByBlock(m_blocks.size()), cellsByBlock(m_blocks.size());
    for (const auto &n : m_newRows)
        rowsByBlock[size_t(n.second.block)].emplace_back(n.first, &n.second.rec);
    for (const auto &n : m_newCells)
        if (n.second.rec.type != 0)
            cellsByBlock[size_t(n.second.block)].emplace_back(n.first, &n.second.rec);
    std::vector<quint32> dbcells;
    for (int b : m_blockOrder)
        emitBlock(out, b, rowsByBlock[size_t(b)], cellsByBlock[size_t(b)], dbcells);
    for (int r = m_tableEnd; r < end; ++r)
        emitOther(r);
    if (m_indexRec >= 0)
        patchIndex(out, indexPos, defColPos, dbcells);
}

void Sheet::emitBlock(QByteArray &out, int b, const NewRecords &rows, const NewRecords &cells,
                      std::vector<quint32> &dbcells) const
{
    const Block &bl = m_blocks[size_t(b)];
    const StreamIndex &index = m_book->index();
    if (!bl.dirty && bl.firstItem >= 0) {
        const Item &firstItem = m_items[size_t(bl.firstItem)];
        const Item &lastItem = m_items[size_t(bl.firstItem + bl.itemCount - 1)];
        const quint32 base = quint32(out.size());
        const quint32 origin = index.records[size_t(firstItem.rec)].offset;
        copyRecords(out, firstItem.rec, lastItem.rec + lastItem.recCount - firstItem.rec);
        for (int i = bl.firstItem; i < bl.firstItem + bl.itemCount; ++i)
            if (m_items[size_t(i)].kind == DbCellItem)
                dbcells.push_back(base + index.records[size_t(m_items[size_t(i)].rec)].offset - origin);
        return;
    }

    size_t nextRow = 0, nextCell = 0;

    const quint32 blockStart = quint32(out.size());
    qint64 firstRowPos = -1;
    int rowRecords = 0;
    int lastCellRow = -1;
    std::vector<quint32> firstCells;
    const auto putRow = [&](const char *d, int size) {
        if (firstRowPos < 0)
            firstRowPos = out.size();
        ++rowRecords;
        appendRecord(out, Rt::Row, d, size);
    };
    const auto putCell = [&](quint16 type, const char *d, int size) {
        const int row = qFromLittleEndian<quint16>(d);
        if (row != lastCellRow) {
            firstCells.push_back(quint32(out.size()));
            lastCellRow = row;
        }
        appendRecord(out, type, d, size);
    };
    const auto flushRows = [&](int below) {
        while (nextRow < rows.size() && int(rows[nextRow].first) < below) {
            putRow(rows[nextRow].second->data.constData(), rows[nextRow].second->data.size());
            ++nextRow;
        }
    };
    const auto flushCells = [&](quint32 below) {
        while (nextCell < cells.size() && cells[nextCell].first < below) {
            putCell(cells[nextCell].second->type, cells[nextCell].second->data.constData(),
                    cells[nextCell].second->data.size());
            out.append(cells[nextCell].second->tail);
            ++nextCell;
        }
    };
    const auto putDbCell = [&]() {
        const quint32 pos = quint32(out.size());
        dbcells.push_back(pos);
        QByteArray data;
        const quint32 rowBase = firstRowPos >= 0 ? quint32(firstRowPos) : blockStart;
        appendU32(data, pos - rowBase);
        for (size_t i = 0; i < firstCells.size() && data.size() + 2 <= MaxRecordData; ++i) {
            const qint64 from = i == 0 ? (firstRowPos >= 0 ? firstRowPos + 20 : qint64(blockStart)) : qint64(firstCells[i - 1]);
            const qint64 dist = qint64(firstCells[i]) - from;
            appendU16(data, dist >= 0 && dist <= 0xFFFF ? quint16(dist) : 0);
        }
        for (int i = int(firstCells.size()); i < rowRecords && data.size() + 2 <= MaxRecordData; ++i)
            appendU16(data, 0);
        appendRecord(out, Rt::DbCell, data.constData(), data.size());
    };

    bool dbDone = false;
    for (int i = bl.firstItem; bl.firstItem >= 0 && i < bl.firstItem + bl.itemCount; ++i) {
        const Item &it = m_items[size_t(i)];
        const Record &rec = index.records[size_t(it.rec)];
        const char *d = recData(it.rec);
        const EditedRecord *edit = editOf(it, 0); // and the columns after it
        switch (it.kind) {
        case RowItem:
            flushRows(it.row);
            if (edit && edit[0].type)
                putRow(edit[0].data, edit[0].size);
            else
                putRow(d, rec.size);
            break;
        case CellItem:
            flushRows(65536);
            flushCells(keyOf(it.row, it.col));
            if (edit && edit[0].type) {
                putCell(edit[0].type, edit[0].data, edit[0].size);
                out.append(edit[0].tail(), int(edit[0].tailSize));
            } else {
                if (it.row != lastCellRow) {
                    firstCells.push_back(quint32(out.size()));
                    lastCellRow = it.row;
                }
                copyRecords(out, it.rec, it.recCount);
            }
            break;
        case MultiItem: {
            flushRows(65536);
            flushCells(keyOf(it.row, it.col));
            if (!edit) {
                putCell(rec.type, d, rec.size);
                break;
            }
            const int n = lastColOf(it) - it.col + 1;
            const bool rk = rec.type == Rt::MulRk;
            const int entry = rk ? 6 : 2;
            for (int k = 0; k < n;) {
                if (edit[k].type) {
                    putCell(edit[k].type, edit[k].data, edit[k].size);
                    ++k;
                    continue;
                }
                int j = k;
                while (j < n && !edit[j].type)
                    ++j;
                QByteArray data;
                appendU16(data, it.row);
                appendU16(data, quint16(it.col + k));
                data.append(d + 4 + entry * k, entry * (j - k));
                if (j - k == 1) {
                    putCell(rk ? Rt::Rk : Rt::Blank, data.constData(), data.size());
                } else {
                    appendU16(data, quint16(it.col + j - 1));
                    putCell(rec.type, data.constData(), data.size());
                }
                k = j;
            }
            break;
        }
        case DbCellItem:
            flushRows(65536);
            flushCells(0xFFFFFFFFu);
            putDbCell();
            dbDone = true;
            break;
        case OtherItem:
            copyRecords(out, it.rec, it.recCount);
            break;
        }
    }
    flushRows(65536);
    flushCells(0xFFFFFFFFu);
    if (!dbDone && bl.firstItem < 0 && bl.hasDbCell)
        putDbCell();
}

} // namespace Biff
} // namespace Excel
