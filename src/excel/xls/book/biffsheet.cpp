#include "xls/book/biffsheet.h"

#include "xls/book/biffbook.h"
#include "littleendian.h"

#include <algorithm>

#include <QCoreApplication>

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

} // namespace

QString Sheet::where(int row, int col) const
{
    return QCoreApplication::translate("Xls", "sheet '%1': cell %2").arg(m_name, cellName(row + 1, col + 1));
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
    m_tableBlocks = int(m_blocks.size());
    bool anyCell = false;
    for (const Item &it : m_items)
        if (holdsCells(it)) {
            anyCell = true;
            break;
        }
    m_hasCells = m_kind == SheetKind::Worksheet || anyCell;
    return true;
}

void Sheet::buildLookups()
{
    m_lookupsBuilt = true;
    m_shadowsKnown = true;
    // Lookup tables, sized to what they hold: a sheet may have millions of
    // cells. A row's cells mostly come one after another, and only the
    // first block a row's cells are found in is kept.
    size_t cells = 0;
    for (const Item &it : m_items)
        if (holdsCells(it))
            cells += size_t(lastColOf(it) - it.col + 1);
    m_lookup.reserve(cells);
    int block = 0;
    for (int i = 0; i < int(m_items.size()); ++i) {
        const Item &it = m_items[size_t(i)];
        while (block + 1 < m_tableBlocks && m_blocks[size_t(block + 1)].firstItem <= i)
            ++block;
        if (holdsCells(it)) {
            for (int c = it.col, last = lastColOf(it); c <= last; ++c)
                m_lookup.emplace_back(keyOf(it.row, c), i);
            if (m_rowCellBlock.empty() || m_rowCellBlock.back().first != it.row)
                m_rowCellBlock.emplace_back(it.row, block);
        } else if (it.kind == RowItem) {
            m_rowItems.emplace_back(it.row, i);
        }
    }
    // A cell stored twice is what its later record says, as readers take
    // it; the earlier record stays in the file as it is, unsearched.
    std::sort(m_lookup.begin(), m_lookup.end());
    size_t kept = 0;
    for (size_t i = 0; i < m_lookup.size(); ++i) {
        if (kept > 0 && m_lookup[kept - 1].first == m_lookup[i].first) {
            m_items[size_t(m_lookup[kept - 1].second)].shadowed = true;
            m_lookup[kept - 1] = m_lookup[i];
            continue;
        }
        m_lookup[kept++] = m_lookup[i];
    }
    m_lookup.resize(kept);
    const auto byFirst = [](const auto &a, const auto &b) { return a.first < b.first; };
    const auto sameFirst = [](const auto &a, const auto &b) { return a.first == b.first; };
    std::stable_sort(m_rowItems.begin(), m_rowItems.end(), byFirst);
    m_rowItems.erase(std::unique(m_rowItems.begin(), m_rowItems.end(), sameFirst), m_rowItems.end());
    std::stable_sort(m_rowCellBlock.begin(), m_rowCellBlock.end(), byFirst);
    m_rowCellBlock.erase(std::unique(m_rowCellBlock.begin(), m_rowCellBlock.end(), sameFirst), m_rowCellBlock.end());
}

bool Sheet::parseTable(int first, int end, QString *error)
{
    const StreamIndex &index = m_book->index();
    bool needBlock = true;
    bool blockHasCells = false;
    // At most an item a record: grown at once rather than doubled.
    m_items.reserve(m_items.size() + size_t(end - first));
    for (int r = first; r < end;) {
        const Record &rec = index.records[size_t(r)];
        Item it;
        it.rec = quint32(r);
        if (index.depth[size_t(r)] != 1) {
            it.kind = OtherItem;
            ++r;
        } else if (rec.type == Rt::Row) {
            if (rec.size < 16) {
                *error = QCoreApplication::translate("Xls", "sheet '%1': ROW record at offset %2 is too short").arg(m_name).arg(rec.offset);
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
        ++b.itemCount;
        if (it.kind == RowItem || it.kind == CellItem || it.kind == MultiItem) {
            b.minRow = b.minRow < 0 ? it.row : std::min<int>(b.minRow, it.row);
            b.maxRow = std::max<int>(b.maxRow, it.row);
        }
        if (it.kind == RowItem)
            ++b.rowRecords;
        if (holdsCells(it)) {
            blockHasCells = true;
            noteCell(it.row, it.col);
            noteCell(it.row, lastColOf(it));
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
        *error = QCoreApplication::translate("Xls", "sheet '%1': cell record 0x%2 at offset %3 is malformed")
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
    it.kind = CellItem;
    switch (rec.type) {
    case Rt::LabelSst: {
        if (size < 10)
            return malformed();
        const quint32 isst = qFromLittleEndian<quint32>(d + 6);
        if (isst >= quint32(m_book->strings().count())) {
            *error = where(it.row, col)
                + QCoreApplication::translate("Xls", " refers to shared string %1, but the table holds %2")
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
        break;
    }
    default:
        break;
    }
    ++r;
    if (rec.type == Rt::Formula) {
        while (r < end && index.depth[size_t(r)] == 1 && isFormulaFollower(index.records[size_t(r)].type)) {
            if (it.recCount == MaxItemRecords) {
                *error = QCoreApplication::translate("Xls", "sheet '%1': the formula at offset %2 is followed by more than %3 records")
                             .arg(m_name).arg(rec.offset).arg(MaxItemRecords - 1);
                return false;
            }
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

namespace {

// Empties a vector and gives back its memory, which clear() and = {} keep.
template <class Vector>
void freeAll(Vector &v)
{
    Vector().swap(v);
}

} // namespace

void Sheet::releaseLookups()
{
    freeAll(m_lookup);
    freeAll(m_rowItems);
    freeAll(m_rowCellBlock);
    m_lookupsBuilt = m_shadowsKnown = true; // and not made again
    m_changedCells.clear();
    m_unreadFormulas.clear();
}

void Sheet::releaseCells()
{
    releaseLookups();
    freeAll(m_items);
    freeAll(m_editCells);
    m_editBytes.clear();
    freeAll(m_blocks);
    freeAll(m_blockOrder);
    freeAll(m_colInfo);
    m_newCells.clear();
    m_newRows.clear();
    m_dirty = false;
}

CellArea Sheet::usedArea() const
{
    if (!m_hasBounds)
        return CellArea{1, 1, 1, 1};
    return CellArea{m_minRow + 1, m_minCol + 1, m_maxRow + 1, m_maxCol + 1};
}

// With the cells in ascending order, the item that holds a key is found by
// a binary search over the items themselves, stepping over the rows and
// other records between cells. A long stretch of such records (never seen
// in files that writers make) sends the search to the lookup table.
bool Sheet::findAscending(quint32 key, int *item) const
{
    constexpr int MaxStep = 64;
    const int n = int(m_items.size());
    // The first item from i on that holds cells, n if none; -1 when that
    // takes too long.
    const auto nextCells = [&](int i) {
        for (int k = 0; i < n; ++i, ++k) {
            if (k == MaxStep)
                return -1;
            if (holdsCells(m_items[size_t(i)]))
                return i;
        }
        return n;
    };
    // The first position whose next cell item ends at key or after.
    int lo = 0, hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = nextCells(mid);
        if (c < 0)
            return false;
        if (c == n || keyOf(m_items[size_t(c)].row, lastColOf(m_items[size_t(c)])) >= key)
            hi = mid;
        else
            lo = c + 1;
    }
    const int c = nextCells(lo);
    if (c < 0)
        return false;
    *item = c < n && keyOf(m_items[size_t(c)].row, m_items[size_t(c)].col) <= key ? c : -1;
    return true;
}

int Sheet::storedCells() const
{
    knowShadows();
    if (m_lookupsBuilt)
        return int(m_lookup.size());
    size_t cells = 0;
    for (const Item &it : m_items)
        if (holdsCells(it))
            cells += size_t(lastColOf(it) - it.col + 1);
    return int(cells);
}

bool Sheet::findSlot(int row, int col, Slot *slot) const
{
    const quint32 key = keyOf(row, col);
    knowShadows();
    int found = -1;
    if (m_lookupsBuilt || !findAscending(key, &found)) {
        lookups();
        const auto it = std::lower_bound(m_lookup.begin(), m_lookup.end(), std::make_pair(key, 0));
        found = it != m_lookup.end() && it->first == key ? it->second : -1;
    }
    if (found >= 0) {
        slot->item = found;
        slot->col = col - m_items[size_t(found)].col;
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

quint16 Sheet::typeOf(const Item &it) const
{
    return m_book->index().records[size_t(it.rec)].type;
}

int Sheet::lastColOf(const Item &it) const
{
    if (it.kind != MultiItem)
        return it.col;
    // The parse made sure the record ends with this column.
    const Record &r = m_book->index().records[size_t(it.rec)];
    return it.col + (r.size - 6) / (r.type == Rt::MulRk ? 6 : 2) - 1;
}

int Sheet::blockOf(int item) const
{
    const auto end = m_blocks.begin() + m_tableBlocks;
    const auto after = std::upper_bound(m_blocks.begin(), end, item,
                                        [](int i, const Block &b) { return i < b.firstItem; });
    return int(after - m_blocks.begin()) - 1;
}

void Sheet::findShadows()
{
    quint32 last = 0;
    bool any = false;
    for (const Item &it : m_items) {
        if (!holdsCells(it))
            continue;
        if (any && keyOf(it.row, it.col) <= last) {
            buildLookups(); // a cell may come twice: the lookups tell
            return;
        }
        any = true;
        last = keyOf(it.row, lastColOf(it));
    }
    m_shadowsKnown = true;
}

bool Sheet::isLive(int item, int col) const
{
    knowShadows();
    if (!m_items[size_t(item)].shadowed)
        return true;
    Slot s;
    return findSlot(m_items[size_t(item)].row, col, &s) && s.item == item;
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
    if (const EditedRecord *e = editOf(it, slot.col); e && e->type != 0) {
        v.type = e->type;
        v.data = e->data;
        v.size = e->size;
        return v;
    }
    return recordView(it, slot);
}

Sheet::EditedRecord Sheet::keep(quint16 type, const char *data, int size, const QByteArray &tail)
{
    EditedRecord e;
    e.type = type;
    e.size = quint16(size);
    e.tailSize = quint32(tail.size());
    e.data = m_editBytes.copy(data, size_t(size), tail.constData(), size_t(tail.size()));
    return e;
}

Sheet::EditedRecord &Sheet::editAt(Item &it, int col)
{
    if (it.edit < 0) {
        it.edit = int(m_editCells.size());
        m_editCells.resize(m_editCells.size() + size_t(lastColOf(it) - it.col + 1));
    }
    return m_editCells[size_t(it.edit + col)];
}

Sheet::CellView Sheet::recordView(const Item &it, const Slot &slot) const
{
    CellView v;
    const char *d = recData(it.rec);
    if (it.kind == CellItem) {
        v.type = typeOf(it);
        v.data = d;
        v.size = m_book->index().records[size_t(it.rec)].size;
        return v;
    }
    // One column of a MULRK or MULBLANK, seen as an RK or BLANK record.
    qToLittleEndian<quint16>(it.row, v.buf);
    qToLittleEndian<quint16>(quint16(it.col + slot.col), v.buf + 2);
    if (typeOf(it) == Rt::MulRk) {
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

} // namespace Biff
} // namespace Excel
