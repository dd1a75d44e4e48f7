#include "biffsheet.h"

#include "biffbook.h"
#include "littleendian.h"
#include "cellrules/richruns.h"
#include "rknumber.h"

#include <algorithm>
#include <cmath>

namespace Excel {
namespace Biff {

namespace {

bool isCellType(quint16 t)
{
    switch (t) {
    case Rt::LabelSst:
    case Rt::Label:
    case Rt::RString:
    case Rt::Number:
    case Rt::Rk:
    case Rt::BoolErr:
    case Rt::Blank:
    case Rt::Formula:
    case Rt::MulRk:
    case Rt::MulBlank:
        return true;
    default:
        return false;
    }
}

bool isTableType(quint16 t)
{
    return t == Rt::Row || t == Rt::DbCell || isCellType(t);
}

// Records that belong to the FORMULA before them.
bool isFormulaFollower(quint16 t)
{
    return t == Rt::String || t == Rt::ShrFmla || t == Rt::Array || t == Rt::Table || t == Rt::Continue;
}

CellRecord cellRecord(quint16 type, int row, int col, int xf)
{
    CellRecord r;
    r.type = type;
    appendU16(r.data, quint16(row));
    appendU16(r.data, quint16(col));
    appendU16(r.data, quint16(xf));
    return r;
}

void appendRecord(QByteArray &out, quint16 type, const char *data, int size)
{
    appendU16(out, type);
    appendU16(out, quint16(size));
    out.append(data, size);
}

} // namespace

QString Sheet::where(int row, int col) const
{
    return QStringLiteral("sheet '%1': cell %2").arg(m_name, cellName(row + 1, col + 1));
}

const char *Sheet::recData(int rec) const
{
    return m_book->stream().constData() + m_book->index().records[size_t(rec)].dataOffset();
}

bool Sheet::parse(int substream, QString *error)
{
    m_substream = substream;
    const StreamIndex &index = m_book->index();
    const Substream &s = index.substreams[size_t(substream)];
    switch (s.bofType) {
    case 0x0010: m_kind = SheetKind::Worksheet; break;
    case 0x0040: m_kind = SheetKind::MacroSheet; break;
    case 0x0020: m_kind = SheetKind::Chart; break;
    default: m_kind = SheetKind::Other; break;
    }
    if (m_kind == SheetKind::Chart || m_kind == SheetKind::Other)
        return true;
    const int first = s.firstRecord + 1;
    const int last = s.firstRecord + s.recordCount - 1; // its EOF
    int tFirst = -1, tLast = -1, window2 = -1, dbcells = 0;
    for (int r = first; r < last; ++r) {
        if (index.depth[size_t(r)] != 1)
            continue;
        const Record &rec = index.records[size_t(r)];
        const char *d = recData(r);
        switch (rec.type) {
        case Rt::Index:
            if (m_indexRec < 0)
                m_indexRec = r;
            break;
        case 0x0200: // DIMENSIONS
            if (m_dimensionsRec < 0)
                m_dimensionsRec = r;
            break;
        case Rt::DefColWidth:
            if (m_defColWidthRec < 0)
                m_defColWidthRec = r;
            break;
        case Rt::Protect:
            if (rec.size >= 2 && qFromLittleEndian<quint16>(d) != 0)
                m_protected = true;
            break;
        case Rt::ColInfo:
            if (rec.size >= 8)
                m_colInfo.push_back({qFromLittleEndian<quint16>(d), qFromLittleEndian<quint16>(d + 2), qFromLittleEndian<quint16>(d + 6)});
            break;
        case Rt::WsBool:
            if (rec.size >= 2 && (qFromLittleEndian<quint16>(d) & 0x0010))
                m_kind = SheetKind::DialogSheet;
            break;
        case 0x023E: // WINDOW2
            if (window2 < 0)
                window2 = r;
            break;
        default:
            break;
        }
        if (rec.type == Rt::DbCell)
            ++dbcells;
        if (isTableType(rec.type)) {
            if (tFirst < 0)
                tFirst = r;
            tLast = r;
        }
    }
    m_usesDbCells = dbcells > 0;
    if (m_indexRec >= 0) {
        const Record &ir = index.records[size_t(m_indexRec)];
        m_indexKept = ir.size >= 16 && (ir.size - 16) % 4 == 0 && (ir.size - 16) / 4 == dbcells;
    }
    if (tFirst < 0) {
        m_tableStart = m_dimensionsRec >= 0 ? m_dimensionsRec + 1 : (window2 >= 0 ? window2 : last);
        m_tableEnd = m_tableStart;
    } else {
        int end = tLast + 1;
        while (end < last && index.depth[size_t(end)] == 1 && isFormulaFollower(index.records[size_t(end)].type))
            ++end;
        m_tableStart = tFirst;
        m_tableEnd = end;
        if (!parseTable(tFirst, end, error))
            return false;
    }
    bool anyCell = false;
    for (const Item &it : m_items)
        if (it.kind == CellItem || it.kind == MultiItem) {
            anyCell = true;
            break;
        }
    m_hasCells = m_kind == SheetKind::Worksheet || anyCell;

    // Lookup tables.
    m_lookup.reserve(m_items.size());
    for (int i = 0; i < int(m_items.size()); ++i) {
        const Item &it = m_items[size_t(i)];
        if (it.kind == CellItem || it.kind == MultiItem) {
            for (int c = it.col; c <= it.lastCol; ++c)
                m_lookup.emplace_back(keyOf(it.row, c), i);
            m_rowCellBlock.emplace_back(it.row, it.block);
        } else if (it.kind == RowItem) {
            m_rowItems.emplace_back(it.row, i);
        }
    }
    std::sort(m_lookup.begin(), m_lookup.end());
    for (size_t i = 1; i < m_lookup.size(); ++i)
        if (m_lookup[i].first == m_lookup[i - 1].first) {
            const quint32 k = m_lookup[i].first;
            *error = where(int(k >> 8), int(k & 0xFF)) + QStringLiteral(" is stored twice");
            return false;
        }
    const auto byFirst = [](const auto &a, const auto &b) { return a.first < b.first; };
    const auto sameFirst = [](const auto &a, const auto &b) { return a.first == b.first; };
    std::stable_sort(m_rowItems.begin(), m_rowItems.end(), byFirst);
    m_rowItems.erase(std::unique(m_rowItems.begin(), m_rowItems.end(), sameFirst), m_rowItems.end());
    std::stable_sort(m_rowCellBlock.begin(), m_rowCellBlock.end(), byFirst);
    m_rowCellBlock.erase(std::unique(m_rowCellBlock.begin(), m_rowCellBlock.end(), sameFirst), m_rowCellBlock.end());
    return true;
}

bool Sheet::parseTable(int first, int end, QString *error)
{
    const StreamIndex &index = m_book->index();
    bool needBlock = true;
    bool blockHasCells = false;
    for (int r = first; r < end;) {
        const Record &rec = index.records[size_t(r)];
        Item it;
        it.rec = r;
        it.type = rec.type;
        if (index.depth[size_t(r)] != 1) {
            it.kind = OtherItem;
            ++r;
        } else if (rec.type == Rt::Row) {
            if (rec.size < 16) {
                *error = QStringLiteral("sheet '%1': ROW record at offset %2 is too short").arg(m_name).arg(rec.offset);
                return false;
            }
            it.kind = RowItem;
            it.row = qFromLittleEndian<quint16>(recData(r));
            ++r;
        } else if (rec.type == Rt::DbCell) {
            it.kind = DbCellItem;
            ++r;
        } else if (isCellType(rec.type)) {
            if (!addCellItem(r, end, it, error))
                return false;
        } else {
            it.kind = OtherItem;
            ++r;
        }
        if (needBlock || (it.kind == RowItem && blockHasCells)) {
            Block b;
            b.firstItem = int(m_items.size());
            m_blocks.push_back(b);
            m_blockOrder.push_back(int(m_blocks.size()) - 1);
            needBlock = false;
            blockHasCells = false;
        }
        Block &b = m_blocks.back();
        it.block = int(m_blocks.size()) - 1;
        ++b.itemCount;
        if (it.kind == RowItem || it.kind == CellItem || it.kind == MultiItem) {
            b.minRow = b.minRow < 0 ? it.row : std::min<int>(b.minRow, it.row);
            b.maxRow = std::max<int>(b.maxRow, it.row);
        }
        if (it.kind == RowItem)
            ++b.rowRecords;
        if (it.kind == CellItem || it.kind == MultiItem) {
            blockHasCells = true;
            noteCell(it.row, it.col);
            noteCell(it.row, it.lastCol);
        }
        if (it.kind == DbCellItem) {
            b.hasDbCell = true;
            needBlock = true;
        }
        m_items.push_back(it);
    }
    return true;
}

bool Sheet::addCellItem(int &r, int end, Item &it, QString *error)
{
    const StreamIndex &index = m_book->index();
    const Record &rec = index.records[size_t(r)];
    const char *d = recData(r);
    const int size = rec.size;
    const auto malformed = [&]() {
        *error = QStringLiteral("sheet '%1': cell record 0x%2 at offset %3 is malformed")
                     .arg(m_name).arg(rec.type, 4, 16, QLatin1Char('0')).arg(rec.offset);
        return false;
    };
    if (size < 6)
        return malformed();
    it.row = qFromLittleEndian<quint16>(d);
    const int col = qFromLittleEndian<quint16>(d + 2);
    if (col > 255)
        return malformed();
    it.col = quint8(col);
    it.lastCol = quint8(col);
    it.kind = CellItem;
    switch (rec.type) {
    case Rt::LabelSst: {
        if (size < 10)
            return malformed();
        const quint32 isst = qFromLittleEndian<quint32>(d + 6);
        if (isst >= quint32(m_book->strings().count())) {
            *error = where(it.row, col)
                + QStringLiteral(" refers to shared string %1, but the table holds %2")
                      .arg(isst).arg(m_book->strings().count());
            return false;
        }
        break;
    }
    case Rt::Number:
        if (size < 14)
            return malformed();
        break;
    case Rt::Rk:
        if (size < 10)
            return malformed();
        break;
    case Rt::BoolErr:
        if (size < 8)
            return malformed();
        break;
    case Rt::Formula:
        if (size < 22)
            return malformed();
        break;
    case Rt::Label:
    case Rt::RString: {
        if (size < 9)
            return malformed();
        const int cch = qFromLittleEndian<quint16>(d + 6);
        const int bytes = cch * ((d[8] & 0x01) ? 2 : 1);
        if (9 + bytes > size)
            return malformed();
        if (rec.type == Rt::RString) {
            if (9 + bytes + 2 > size || 9 + bytes + 2 + 4 * qFromLittleEndian<quint16>(d + 9 + bytes) > size)
                return malformed();
        }
        break;
    }
    case Rt::MulRk:
    case Rt::MulBlank: {
        const int entry = rec.type == Rt::MulRk ? 6 : 2;
        if (size < 6 + entry || (size - 6) % entry != 0)
            return malformed();
        const int n = (size - 6) / entry;
        const int lastCol = qFromLittleEndian<quint16>(d + size - 2);
        if (lastCol != col + n - 1 || lastCol > 255)
            return malformed();
        it.kind = MultiItem;
        it.lastCol = quint8(lastCol);
        break;
    }
    default:
        break;
    }
    ++r;
    if (rec.type == Rt::Formula) {
        while (r < end && index.depth[size_t(r)] == 1 && isFormulaFollower(index.records[size_t(r)].type)) {
            ++r;
            ++it.recCount;
        }
    }
    return true;
}

void Sheet::noteCell(int row, int col)
{
    if (!m_hasBounds) {
        m_minRow = m_maxRow = row;
        m_minCol = m_maxCol = col;
        m_hasBounds = true;
        return;
    }
    m_minRow = std::min(m_minRow, row);
    m_maxRow = std::max(m_maxRow, row);
    m_minCol = std::min(m_minCol, col);
    m_maxCol = std::max(m_maxCol, col);
}

CellArea Sheet::usedArea() const
{
    if (!m_hasBounds)
        return CellArea{1, 1, 1, 1};
    return CellArea{m_minRow + 1, m_minCol + 1, m_maxRow + 1, m_maxCol + 1};
}

bool Sheet::findSlot(int row, int col, Slot *slot) const
{
    const quint32 key = keyOf(row, col);
    const auto it = std::lower_bound(m_lookup.begin(), m_lookup.end(), std::make_pair(key, 0));
    if (it != m_lookup.end() && it->first == key) {
        slot->item = it->second;
        slot->col = col - m_items[size_t(it->second)].col;
        slot->key = key;
        return true;
    }
    const auto n = m_newCells.find(key);
    if (n != m_newCells.end() && n->second.rec.type != 0) {
        slot->item = -1;
        slot->col = 0;
        slot->key = key;
        return true;
    }
    return false;
}

Sheet::CellView Sheet::view(const Slot &slot) const
{
    CellView v;
    if (slot.item < 0) {
        const auto n = m_newCells.find(slot.key);
        if (n != m_newCells.end() && n->second.rec.type != 0) {
            v.type = n->second.rec.type;
            v.data = n->second.rec.data.constData();
            v.size = n->second.rec.data.size();
        }
        return v;
    }
    const Item &it = m_items[size_t(slot.item)];
    if (it.edit >= 0) {
        const CellRecord &e = m_edits[size_t(it.edit)].cells[size_t(slot.col)];
        if (e.type != 0) {
            v.type = e.type;
            v.data = e.data.constData();
            v.size = e.data.size();
            return v;
        }
    }
    const char *d = recData(it.rec);
    if (it.kind == CellItem) {
        v.type = it.type;
        v.data = d;
        v.size = m_book->index().records[size_t(it.rec)].size;
        return v;
    }
    // One column of a MULRK or MULBLANK, seen as an RK or BLANK record.
    qToLittleEndian<quint16>(it.row, v.buf);
    qToLittleEndian<quint16>(quint16(it.col + slot.col), v.buf + 2);
    if (it.type == Rt::MulRk) {
        std::memcpy(v.buf + 4, d + 4 + 6 * slot.col, 6);
        v.type = Rt::Rk;
        v.size = 10;
    } else {
        std::memcpy(v.buf + 4, d + 4 + 2 * slot.col, 2);
        v.type = Rt::Blank;
        v.size = 6;
    }
    v.data = v.buf;
    return v;
}

quint16 Sheet::xfOf(const CellView &v) const
{
    return qFromLittleEndian<quint16>(v.data + 4);
}

bool Sheet::canEdit(quint16 xf) const
{
    return !m_protected || !m_book->xfIsLocked(xf);
}

int Sheet::defaultXf(int row, int col) const
{
    const auto r = std::lower_bound(m_rowItems.begin(), m_rowItems.end(), std::make_pair(quint16(row), 0),
                                    [](const auto &a, const auto &b) { return a.first < b.first; });
    if (r != m_rowItems.end() && r->first == row) {
        const Item &it = m_items[size_t(r->second)];
        const char *d = it.edit >= 0 && m_edits[size_t(it.edit)].cells[0].type
            ? m_edits[size_t(it.edit)].cells[0].data.constData() : recData(it.rec);
        const quint32 flags = qFromLittleEndian<quint32>(d + 12);
        if (flags & 0x80) // the row has a format of its own
            return int((flags >> 16) & 0x0FFF);
    }
    for (const ColInfo &ci : m_colInfo)
        if (col >= ci.first && col <= ci.last)
            return ci.xf;
    return 15;
}

bool Sheet::formulaBlocksWrite(const Slot &slot, int row, int col, QString *error) const
{
    const Item &it = m_items[size_t(slot.item)];
    const auto anchors = [&](const Item &f, bool sharedToo) {
        for (int k = 1; k < f.recCount; ++k) {
            const quint16 t = m_book->index().records[size_t(f.rec + k)].type;
            if (t == Rt::Array || t == Rt::Table || (sharedToo && t == Rt::ShrFmla))
                return true;
        }
        return false;
    };
    if (anchors(it, true)) {
        *error = where(row, col) + QStringLiteral(" holds the formula that a shared formula, array formula or "
                                                  "data table is stored with; it cannot be overwritten in an .xls file");
        return true;
    }
    const char *d = recData(it.rec);
    const Record &rec = m_book->index().records[size_t(it.rec)];
    if (rec.size >= 27 && qFromLittleEndian<quint16>(d + 20) == 5 && quint8(d[22]) == 0x01) {
        Slot anchor;
        if (findSlot(qFromLittleEndian<quint16>(d + 23), qFromLittleEndian<quint16>(d + 25), &anchor) && anchor.item >= 0 && anchor.item != slot.item
            && m_items[size_t(anchor.item)].type == Rt::Formula && anchors(m_items[size_t(anchor.item)], false)) {
            *error = where(row, col) + QStringLiteral(" is part of an array formula or data table");
            return true;
        }
    }
    return false;
}

void Sheet::widenRow(CellRecord &rowRec, int col)
{
    char *d = rowRec.data.data();
    const int mic = qFromLittleEndian<quint16>(d + 2), mac = qFromLittleEndian<quint16>(d + 4);
    if (mic >= mac) {
        qToLittleEndian<quint16>(quint16(col), d + 2);
        qToLittleEndian<quint16>(quint16(col + 1), d + 4);
    } else {
        qToLittleEndian<quint16>(quint16(std::min(mic, col)), d + 2);
        qToLittleEndian<quint16>(quint16(std::max(mac, col + 1)), d + 4);
    }
}

int Sheet::blockForNewRow(int row)
{
    int before = -1; // position in m_blockOrder of the last block above row
    for (int i = 0; i < int(m_blockOrder.size()); ++i) {
        const Block &b = m_blocks[size_t(m_blockOrder[size_t(i)])];
        if (b.minRow < 0)
            continue;
        if (row >= b.minRow && row <= b.maxRow)
            return m_blockOrder[size_t(i)];
        if (b.maxRow < row)
            before = i;
    }
    if (before >= 0) {
        Block &p = m_blocks[size_t(m_blockOrder[size_t(before)])];
        const Block *next = nullptr;
        for (int i = before + 1; i < int(m_blockOrder.size()) && !next; ++i)
            if (m_blocks[size_t(m_blockOrder[size_t(i)])].minRow >= 0)
                next = &m_blocks[size_t(m_blockOrder[size_t(i)])];
        if (row < p.minRow + 32 && p.rowRecords < 32 && (!next || row < next->minRow))
            return m_blockOrder[size_t(before)];
    }
    Block nb;
    nb.hasDbCell = m_usesDbCells;
    nb.dirty = true;
    m_blocks.push_back(nb);
    const int id = int(m_blocks.size()) - 1;
    m_blockOrder.insert(m_blockOrder.begin() + (before + 1), id);
    return id;
}

Sheet::Slot Sheet::createCell(int row, int col)
{
    int block;
    const auto r = std::lower_bound(m_rowItems.begin(), m_rowItems.end(), std::make_pair(quint16(row), 0),
                                    [](const auto &a, const auto &b) { return a.first < b.first; });
    const auto rc = std::lower_bound(m_rowCellBlock.begin(), m_rowCellBlock.end(), std::make_pair(quint16(row), 0),
                                     [](const auto &a, const auto &b) { return a.first < b.first; });
    const auto nr = m_newRows.find(quint16(row));
    if (r != m_rowItems.end() && r->first == row) {
        Item &it = m_items[size_t(r->second)];
        block = it.block;
        if (it.edit < 0) {
            m_edits.push_back(Edit{std::vector<CellRecord>(1)});
            it.edit = int(m_edits.size()) - 1;
        }
        CellRecord &rec = m_edits[size_t(it.edit)].cells[0];
        if (rec.type == 0) {
            rec.type = Rt::Row;
            rec.data = QByteArray(recData(it.rec), 16);
        }
        widenRow(rec, col);
    } else if (nr != m_newRows.end()) {
        block = nr->second.block;
        widenRow(nr->second.rec, col);
    } else if (rc != m_rowCellBlock.end() && rc->first == row) {
        block = rc->second;
    } else {
        block = blockForNewRow(row);
        NewRow n;
        n.block = block;
        n.rec.type = Rt::Row;
        appendU16(n.rec.data, quint16(row));
        appendU16(n.rec.data, quint16(col));
        appendU16(n.rec.data, quint16(col + 1));
        appendU16(n.rec.data, 0x00FF);
        appendU16(n.rec.data, 0);
        appendU16(n.rec.data, 0);
        appendU32(n.rec.data, 0x000F0100);
        m_newRows.emplace(quint16(row), n);
        Block &b = m_blocks[size_t(block)];
        b.minRow = b.minRow < 0 ? row : std::min(b.minRow, row);
        b.maxRow = std::max(b.maxRow, row);
        ++b.rowRecords;
    }
    m_blocks[size_t(block)].dirty = true;
    m_dirty = true;
    NewCell cell;
    cell.block = block;
    const quint32 key = keyOf(row, col);
    m_newCells[key] = cell;
    noteCell(row, col);
    Slot s;
    s.key = key;
    return s;
}

bool Sheet::store(const Slot &slot, CellRecord rec)
{
    const CellView old = view(slot);
    if (old.type == rec.type && old.size == rec.data.size()
        && std::memcmp(old.data, rec.data.constData(), size_t(old.size)) == 0)
        return false;
    if (old.type == Rt::LabelSst)
        m_book->addStringRef(int(qFromLittleEndian<quint32>(old.data + 6)), -1);
    if (rec.type == Rt::LabelSst)
        m_book->addStringRef(int(qFromLittleEndian<quint32>(rec.data.constData() + 6)), +1);
    if (slot.item >= 0) {
        Item &it = m_items[size_t(slot.item)];
        if (it.edit < 0) {
            m_edits.push_back(Edit{std::vector<CellRecord>(size_t(it.lastCol - it.col + 1))});
            it.edit = int(m_edits.size()) - 1;
        }
        m_edits[size_t(it.edit)].cells[size_t(slot.col)] = std::move(rec);
        m_blocks[size_t(it.block)].dirty = true;
    } else {
        m_newCells[slot.key].rec = std::move(rec);
    }
    m_dirty = true;
    return true;
}

bool Sheet::editCell(const Slot &slot, int row, int col, const CellView &current, const RetypeResult &result,
                     const QVector<FormatRun> *runs, QString *error)
{
    const int xf = current.type ? xfOf(current) : defaultXf(row, col);
    if (result.value.kind == ValueKind::Formula) {
        *error = where(row, col) + QStringLiteral(": formulas cannot be written into .xls files (=%1)")
                                       .arg(result.value.text.left(80));
        return false;
    }
    if (!canEdit(quint16(xf))) {
        *error = where(row, col) + QStringLiteral(" is locked on a protected sheet");
        return false;
    }
    CellRecord rec;
    bool entryChanged = false; // the cell's own string changed, its record stays
    switch (result.value.kind) {
    case ValueKind::Empty:
        rec = cellRecord(Rt::Blank, row, col, xf);
        break;
    case ValueKind::Text: {
        SharedStrings &sst = m_book->strings();
        const bool rich = runs && !runs->isEmpty();
        int isst = rich ? -1 : sst.findPlain(result.value.text);
        if (isst < 0 && current.type == Rt::LabelSst) {
            // The cell's own string, used by no other cell, is changed in place.
            const int old = int(qFromLittleEndian<quint32>(current.data + 6));
            if (m_book->stringRefs(old) == 1) {
                sst.setEntry(old, result.value.text, rich ? *runs : QVector<FormatRun>());
                isst = old;
                entryChanged = true;
            }
        }
        if (isst < 0) {
            SstEntry e;
            e.text = result.value.text;
            if (rich)
                e.runs = *runs;
            isst = sst.append(e);
        }
        rec = cellRecord(Rt::LabelSst, row, col, xf);
        appendU32(rec.data, quint32(isst));
        break;
    }
    case ValueKind::Number: {
        quint32 rk;
        if (encodeRk(result.value.number, &rk)) {
            rec = cellRecord(Rt::Rk, row, col, xf);
            appendU32(rec.data, rk);
        } else {
            rec = cellRecord(Rt::Number, row, col, xf);
            appendDouble(rec.data, result.value.number);
        }
        break;
    }
    case ValueKind::Boolean:
        rec = cellRecord(Rt::BoolErr, row, col, xf);
        rec.data.append(char(result.value.boolean ? 1 : 0));
        rec.data.append('\0');
        break;
    case ValueKind::Formula:
        return false;
    }
    if (store(slot, std::move(rec)) || entryChanged)
        m_changedCells.insert(keyOf(row, col));
    return true;
}

namespace {

// The text and rich runs of a string cell; false for other cells.
bool textOf(const char *d, quint16 type, Book *book, QString *text, QVector<FormatRun> *runs)
{
    switch (type) {
    case Rt::LabelSst: {
        const SstEntry &e = book->strings().at(int(qFromLittleEndian<quint32>(d + 6)));
        *text = e.text;
        *runs = e.runs;
        return true;
    }
    case Rt::Label:
    case Rt::RString: {
        const int cch = qFromLittleEndian<quint16>(d + 6);
        const bool high = d[8] & 0x01;
        *text = decodeCharacters(d + 9, cch, high);
        runs->clear();
        if (type == Rt::RString) {
            const char *p = d + 9 + cch * (high ? 2 : 1);
            const int n = qFromLittleEndian<quint16>(p);
            for (int k = 0; k < n; ++k)
                runs->append(FormatRun{qFromLittleEndian<quint16>(p + 2 + 4 * k), qFromLittleEndian<quint16>(p + 4 + 4 * k)});
        }
        return true;
    }
    default:
        return false;
    }
}

// Replaces inside rich text: the runs keep their fonts outside the matches.
QVector<FormatRun> replaceRuns(const QString &text, QVector<FormatRun> runs, const QVector<TextSpan> &spans,
                               const QString &replacement)
{
    std::stable_sort(runs.begin(), runs.end(), [](const FormatRun &a, const FormatRun &b) { return a.ich < b.ich; });
    QVector<int> starts{0};
    QVector<int> fonts{-1}; // -1: the cell's own font, before the first run
    for (const FormatRun &r : runs) {
        if (r.ich >= text.size())
            continue;
        if (r.ich == starts.last())
            fonts.last() = r.ifnt;
        else {
            starts.append(r.ich);
            fonts.append(r.ifnt);
        }
    }
    QVector<int> lengths;
    for (int i = 0; i < starts.size(); ++i)
        lengths.append((i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]);
    const QVector<QString> parts = replaceInRuns(text, lengths, spans, replacement);
    QVector<FormatRun> out;
    int pos = 0;
    int lastFont = -1;
    for (int i = 0; i < parts.size(); ++i) {
        if (parts[i].isEmpty())
            continue;
        if (fonts[i] != lastFont && fonts[i] >= 0)
            out.append(FormatRun{quint16(pos), quint16(fonts[i])});
        lastFont = fonts[i];
        pos += parts[i].size();
    }
    return out;
}

} // namespace

bool Sheet::replace(const QVector<CellArea> &areas, const SearchPattern &pattern, const QString &replacement,
                    bool *changed, QString *error)
{
    if (!m_hasCells)
        return true;
    const bool numbers = pattern.canMatchWithin(formulaBarNumberAlphabet());
    const bool booleans = pattern.canMatchWithin(booleanTextAlphabet());
    // Shared strings already found to hold no match: many cells use one.
    std::vector<bool> sstWithoutMatch(size_t(m_book->strings().count()), false);
    const auto visit = [&](const Slot &slot, int row, int col) -> bool {
        const CellView v = view(slot);
        QString text;
        QVector<FormatRun> runs;
        int kind;
        quint32 isst = 0;
        switch (v.type) {
        case Rt::LabelSst:
            isst = qFromLittleEndian<quint32>(v.data + 6);
            if (isst < sstWithoutMatch.size() && sstWithoutMatch[isst])
                return true;
            textOf(v.data, v.type, m_book, &text, &runs);
            kind = 0;
            break;
        case Rt::Label:
        case Rt::RString:
            textOf(v.data, v.type, m_book, &text, &runs);
            kind = 0;
            break;
        case Rt::Number:
        case Rt::Rk:
            if (!numbers || m_book->xfHidesNumber(xfOf(v)))
                return true;
            text = formulaBarNumber(v.type == Rt::Number ? qFromLittleEndian<double>(v.data + 6) : decodeRk(qFromLittleEndian<quint32>(v.data + 6)));
            kind = 1;
            break;
        case Rt::BoolErr:
            if (!booleans || v.data[7] != 0) // v.data[7]: an error value
                return true;
            text = booleanText(v.data[6] != 0);
            kind = 2;
            break;
        default:
            return true;
        }
        QString out;
        QVector<TextSpan> spans;
        if (!pattern.replace(text, replacement, &out, &spans)) {
            if (v.type == Rt::LabelSst && isst < sstWithoutMatch.size())
                sstWithoutMatch[isst] = true;
            return true;
        }
        const RetypeResult r = kind == 0 ? retypeText(out) : kind == 1 ? retypeNumber(out) : retypeBoolean(out);
        if (!r.ok) {
            *error = where(row, col) + QStringLiteral(": ") + r.error;
            return false;
        }
        QVector<FormatRun> newRuns;
        if (!runs.isEmpty() && r.value.kind == ValueKind::Text)
            newRuns = replaceRuns(text, runs, spans, replacement);
        if (!editCell(slot, row, col, v, r, &newRuns, error))
            return false;
        *changed = true;
        return true;
    };
    qint64 areaCells = 0;
    for (const CellArea &a : areas)
        areaCells += a.cellCount();
    if (!areas.isEmpty() && areaCells < qint64(m_lookup.size() + m_newCells.size())) {
        for (const CellArea &a : areas)
            for (int row = a.firstRow - 1; row < a.lastRow; ++row)
                for (int col = a.firstColumn - 1; col < a.lastColumn; ++col) {
                    Slot s;
                    if (findSlot(row, col, &s) && !visit(s, row, col))
                        return false;
                }
        return true;
    }
    const auto inAreas = [&](int row, int col) {
        if (areas.isEmpty())
            return true;
        for (const CellArea &a : areas)
            if (a.contains(row + 1, col + 1))
                return true;
        return false;
    };
    for (int i = 0; i < int(m_items.size()); ++i) {
        const Item &it = m_items[size_t(i)];
        if (it.kind != CellItem && it.kind != MultiItem)
            continue;
        for (int c = it.col; c <= it.lastCol; ++c) {
            if (!inAreas(it.row, c))
                continue;
            Slot s;
            s.item = i;
            s.col = c - it.col;
            s.key = keyOf(it.row, c);
            if (!visit(s, it.row, c))
                return false;
        }
    }
    std::vector<quint32> added;
    for (const auto &n : m_newCells)
        if (n.second.rec.type != 0)
            added.push_back(n.first);
    for (quint32 key : added) {
        const int row = int(key >> 8), col = int(key & 0xFF);
        if (!inAreas(row, col))
            continue;
        Slot s;
        s.key = key;
        if (!visit(s, row, col))
            return false;
    }
    return true;
}

bool Sheet::setValue(const QVector<CellArea> &areas, const QString &text, QString *error)
{
    const RetypeResult asTyped = typedInput(text, false);
    const RetypeResult asText = typedInput(text, true);
    for (const CellArea &a : areas) {
        for (int row = a.firstRow - 1; row < a.lastRow; ++row) {
            for (int col = a.firstColumn - 1; col < a.lastColumn; ++col) {
                Slot s;
                const bool exists = findSlot(row, col, &s);
                CellView v;
                int xf;
                if (exists) {
                    v = view(s);
                    if (v.type == Rt::Formula && formulaBlocksWrite(s, row, col, error))
                        return false;
                    xf = xfOf(v);
                } else {
                    xf = defaultXf(row, col);
                }
                const RetypeResult &r = m_book->xfIsText(xf) ? asText : asTyped;
                if (!r.ok) {
                    *error = where(row, col) + QStringLiteral(": ") + r.error;
                    return false;
                }
                if (!exists) {
                    if (r.value.kind == ValueKind::Empty)
                        continue;
                    // A write that is not allowed fails in editCell before
                    // anything is stored, so no cell is made for it.
                    if (r.value.kind != ValueKind::Formula && canEdit(quint16(xf)))
                        s = createCell(row, col);
                }
                if (!editCell(s, row, col, v, r, nullptr, error))
                    return false;
            }
        }
    }
    return true;
}

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
        const Edit *edit = it.edit >= 0 ? &m_edits[size_t(it.edit)] : nullptr;
        switch (it.kind) {
        case RowItem:
            flushRows(it.row);
            if (edit && edit->cells[0].type)
                putRow(edit->cells[0].data.constData(), edit->cells[0].data.size());
            else
                putRow(d, rec.size);
            break;
        case CellItem:
            flushRows(65536);
            flushCells(keyOf(it.row, it.col));
            if (edit && edit->cells[0].type) {
                putCell(edit->cells[0].type, edit->cells[0].data.constData(), edit->cells[0].data.size());
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
                putCell(it.type, d, rec.size);
                break;
            }
            const int n = it.lastCol - it.col + 1;
            const bool rk = it.type == Rt::MulRk;
            const int entry = rk ? 6 : 2;
            for (int k = 0; k < n;) {
                if (edit->cells[size_t(k)].type) {
                    putCell(edit->cells[size_t(k)].type, edit->cells[size_t(k)].data.constData(),
                            edit->cells[size_t(k)].data.size());
                    ++k;
                    continue;
                }
                int j = k;
                while (j < n && !edit->cells[size_t(j)].type)
                    ++j;
                QByteArray data;
                appendU16(data, it.row);
                appendU16(data, quint16(it.col + k));
                data.append(d + 4 + entry * k, entry * (j - k));
                if (j - k == 1) {
                    putCell(rk ? Rt::Rk : Rt::Blank, data.constData(), data.size());
                } else {
                    appendU16(data, quint16(it.col + j - 1));
                    putCell(it.type, data.constData(), data.size());
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
