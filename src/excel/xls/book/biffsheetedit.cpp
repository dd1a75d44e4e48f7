#include "xls/book/biffsheet.h"

#include "xls/book/biffbook.h"
#include "littleendian.h"
#include "cellrules/richruns.h"
#include "xls/records/rknumber.h"

#include <algorithm>

#include <QCoreApplication>

namespace Excel {
namespace Biff {

namespace {

// An edit after a save let go of the cells; the engine goes on from the
// book it read back, so only a save that failed leaves one like this.
bool refuseReleased(QString *error)
{
    *error = QCoreApplication::translate("Xls", "the workbook's cells are no longer held after a failed save");
    return false;
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

} // namespace

bool Sheet::canEdit(quint16 xf) const
{
    return !m_protected || !m_book->xfIsLocked(xf);
}

int Sheet::defaultXf(int row, int col) const
{
    lookups();
    const auto r = std::lower_bound(m_rowItems.begin(), m_rowItems.end(), std::make_pair(quint16(row), 0),
                                    [](const auto &a, const auto &b) { return a.first < b.first; });
    if (r != m_rowItems.end() && r->first == row) {
        const Item &it = m_items[size_t(r->second)];
        const EditedRecord *e = editOf(it, 0);
        const char *d = e && e->type ? e->data : recData(it.rec);
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
    const auto anchorError = [&]() {
        *error = where(row, col) + QCoreApplication::translate("Xls", " holds the formula that an array formula or data table is "
                                                  "stored with; it cannot be overwritten in an .xls file");
        return true;
    };
    // Cells this session added or rewrote hold formulas of their own, except
    // the anchor of an array formula whose tokens changed: it keeps its ARRAY
    // record in the tail.
    if (slot.item < 0)
        return false;
    const Item &it = m_items[size_t(slot.item)];
    if (const EditedRecord *e = editOf(it, slot.col); e && e->type != 0)
        return e->tailSize >= 4 && qFromLittleEndian<quint16>(e->tail()) == Rt::Array && anchorError();
    if (it.kind != CellItem || typeOf(it) != Rt::Formula)
        return false;
    const auto anchors = [&](const Item &f) {
        for (int k = 1; k < f.recCount; ++k) {
            const quint16 t = m_book->index().records[size_t(f.rec + k)].type;
            if (t == Rt::Array || t == Rt::Table)
                return true;
        }
        return false;
    };
    if (anchors(it))
        return anchorError();
    const char *d = recData(it.rec);
    const Record &rec = m_book->index().records[size_t(it.rec)];
    if (rec.size >= 27 && qFromLittleEndian<quint16>(d + 20) == 5 && quint8(d[22]) == 0x01) {
        Slot anchor;
        if (findSlot(qFromLittleEndian<quint16>(d + 23), qFromLittleEndian<quint16>(d + 25), &anchor) && anchor.item >= 0 && anchor.item != slot.item
            && typeOf(m_items[size_t(anchor.item)]) == Rt::Formula && anchors(m_items[size_t(anchor.item)])) {
            *error = where(row, col) + QCoreApplication::translate("Xls", " is part of an array formula or data table");
            return true;
        }
    }
    return false;
}

void Sheet::widenRow(char *d, int col)
{
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
    lookups();
    const auto r = std::lower_bound(m_rowItems.begin(), m_rowItems.end(), std::make_pair(quint16(row), 0),
                                    [](const auto &a, const auto &b) { return a.first < b.first; });
    const auto rc = std::lower_bound(m_rowCellBlock.begin(), m_rowCellBlock.end(), std::make_pair(quint16(row), 0),
                                     [](const auto &a, const auto &b) { return a.first < b.first; });
    const auto nr = m_newRows.find(quint16(row));
    if (r != m_rowItems.end() && r->first == row) {
        Item &it = m_items[size_t(r->second)];
        block = blockOf(r->second);
        EditedRecord &rec = editAt(it, 0);
        if (rec.type == 0)
            rec = keep(Rt::Row, recData(it.rec), 16);
        widenRow(rec.data, col);
    } else if (nr != m_newRows.end()) {
        block = nr->second.block;
        widenRow(nr->second.rec.data.data(), col);
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
    if (old.type == rec.type && old.size == rec.data.size() && rec.tail.isEmpty()
        && std::memcmp(old.data, rec.data.constData(), size_t(old.size)) == 0)
        return false;
    if (old.type == Rt::LabelSst)
        m_book->addStringRef(int(qFromLittleEndian<quint32>(old.data + 6)), -1);
    if (rec.type == Rt::LabelSst)
        m_book->addStringRef(int(qFromLittleEndian<quint32>(rec.data.constData() + 6)), +1);
    if (slot.item >= 0) {
        Item &it = m_items[size_t(slot.item)];
        editAt(it, slot.col) = keep(rec.type, rec.data.constData(), rec.data.size(), rec.tail);
        m_blocks[size_t(blockOf(slot.item))].dirty = true;
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
    if (result.value.kind == ValueKind::Formula)
        return writeFormula(slot, row, col, current, result.value.text, error);
    if (!canEdit(quint16(xf))) {
        *error = where(row, col) + QCoreApplication::translate("Xls", " is locked on a protected sheet");
        return false;
    }
    if (!dissolveIfMaster(row, col, current, error))
        return false;
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
    if (m_book->cellsReleased())
        return refuseReleased(error);
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
        case Rt::Formula: {
            FormulaTokens tokens;
            FormulaPlace place;
            const FormulaRole role = formulaOf(v, row, col, &tokens, &place);
            if (role == FormulaRole::ArrayMember || role == FormulaRole::Table)
                return true;
            QString body, why;
            if (role == FormulaRole::Broken
                || !decompileFormula(tokens, place, m_book->formulaNames(), &body, &why)) {
                m_unreadFormulas.insert(keyOf(row, col));
                return true;
            }
            text = QLatin1Char('=') + body;
            kind = role == FormulaRole::ArrayAnchor ? 4 : 3;
            break;
        }
        default:
            return true;
        }
        QString out;
        QVector<TextSpan> spans;
        // A replacement that gives back the same text changes nothing: the
        // cell keeps its record (a number is not re-read from its 15 digits).
        if (!pattern.replace(text, replacement, &out, &spans) || out == text) {
            if (v.type == Rt::LabelSst && isst < sstWithoutMatch.size())
                sstWithoutMatch[isst] = true;
            return true;
        }
        const RetypeResult r = kind == 0 ? retypeText(out) : kind == 1 ? retypeNumber(out)
            : kind == 2 ? retypeBoolean(out) : retypeFormula(out);
        if (r.ok && kind == 4 && r.value.kind != ValueKind::Formula) {
            *error = where(row, col) + QCoreApplication::translate("Xls", ": an array formula cannot become a value");
            return false;
        }
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
    bool byArea = false;
    if (!areas.isEmpty())
        byArea = areaCells < qint64(storedCells()) + qint64(m_newCells.size());
    if (byArea) {
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
        if (!holdsCells(it))
            continue;
        for (int c = it.col, last = lastColOf(it); c <= last; ++c) {
            if (!inAreas(it.row, c) || !isLive(i, c))
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
    if (m_book->cellsReleased())
        return refuseReleased(error);
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
                    if (canEdit(quint16(xf)))
                        s = createCell(row, col);
                }
                if (!editCell(s, row, col, v, r, nullptr, error))
                    return false;
            }
        }
    }
    return true;
}

} // namespace Biff
} // namespace Excel
