// Formula cells of a sheet: what a search sees in them, writing a new
// formula, and dissolving a shared formula whose first cell changes.

#include "xls/book/biffsheet.h"

#include "xls/book/biffbook.h"
#include "littleendian.h"

#include <QCoreApplication>

namespace Excel {
namespace Biff {

namespace {

// The cached result of a changed formula: an empty text, which no program
// shows for long, since the formula is marked to be calculated.
const char ClearedResult[8] = {0x03, 0, 0, 0, 0, 0, char(0xFF), char(0xFF)};
constexpr quint16 AlwaysCalc = 0x0001, SharedFlag = 0x0008;

} // namespace

bool tokensAt(const char *data, int size, int cceAt, FormulaTokens *t)
{
    if (size < cceAt + 2)
        return false;
    const int cce = qFromLittleEndian<quint16>(data + cceAt);
    if (cceAt + 2 + cce > size)
        return false;
    t->rgce = QByteArray(data + cceAt + 2, cce);
    t->extra = QByteArray(data + cceAt + 2 + cce, size - cceAt - 2 - cce);
    return true;
}

int Sheet::number() const
{
    return int(m_book->formulaNames().sheets.indexOf(m_name));
}

bool Sheet::anchorRecord(int row, int col, quint16 *type, const char **data, int *size) const
{
    Slot s;
    if (!findSlot(row, col, &s) || s.item < 0)
        return false;
    const Item &it = m_items[size_t(s.item)];
    if (typeOf(it) != Rt::Formula)
        return false;
    if (const EditedRecord *e = editOf(it, 0); e && e->type != 0) {
        // An edited anchor keeps its ARRAY in the tail; a dissolved master
        // has no SHRFMLA any more.
        if (e->tailSize < 4)
            return false;
        *type = qFromLittleEndian<quint16>(e->tail());
        *data = e->tail() + 4;
        *size = qFromLittleEndian<quint16>(e->tail() + 2);
        return true;
    }
    const auto &recs = m_book->index().records;
    for (int k = 1; k < it.recCount; ++k) {
        const Record &r = recs[size_t(it.rec + k)];
        if (r.type == Rt::ShrFmla || r.type == Rt::Array || r.type == Rt::Table) {
            *type = r.type;
            *data = recData(it.rec + k);
            *size = r.size;
            return true;
        }
    }
    return false;
}

Sheet::FormulaRole Sheet::formulaOf(const CellView &v, int row, int col, FormulaTokens *tokens,
                                    FormulaPlace *place) const
{
    place->row = row;
    place->col = col;
    place->sheet = number();
    place->kind = FormulaKind::Cell;
    FormulaTokens own;
    if (!tokensAt(v.data, v.size, 20, &own) || own.rgce.isEmpty())
        return FormulaRole::Broken;
    const quint8 first = quint8(own.rgce[0]);
    if (first != 0x01 && first != 0x02) {
        *tokens = own;
        return FormulaRole::Plain;
    }
    if (own.rgce.size() < 5)
        return FormulaRole::Broken;
    const int r = qFromLittleEndian<quint16>(own.rgce.constData() + 1), c = qFromLittleEndian<quint16>(own.rgce.constData() + 3);
    quint16 type;
    const char *d;
    int size;
    if (!anchorRecord(r, c, &type, &d, &size) || size < 6)
        return FormulaRole::Broken;
    const bool inside = row >= qFromLittleEndian<quint16>(d) && row <= qFromLittleEndian<quint16>(d + 2) && col >= quint8(d[4]) && col <= quint8(d[5]);
    if (!inside)
        return FormulaRole::Broken;
    if (type == Rt::Table)
        return FormulaRole::Table;
    if (type == Rt::Array) {
        if (r != row || c != col)
            return FormulaRole::ArrayMember;
        place->kind = FormulaKind::Array;
        return tokensAt(d, size, 12, tokens) ? FormulaRole::ArrayAnchor : FormulaRole::Broken;
    }
    if (type != Rt::ShrFmla || !tokensAt(d, size, 8, tokens))
        return FormulaRole::Broken;
    place->kind = FormulaKind::Shared;
    return r == row && c == col ? FormulaRole::SharedMaster : FormulaRole::SharedMember;
}

std::vector<Sheet::FormulaCell> Sheet::formulaCells() const
{
    std::vector<FormulaCell> out;
    for (int i = 0; i < int(m_items.size()); ++i) {
        const Item &it = m_items[size_t(i)];
        if (it.kind != CellItem || typeOf(it) != Rt::Formula || !isLive(i, it.col))
            continue;
        Slot s;
        s.item = i;
        s.key = keyOf(it.row, it.col);
        FormulaCell f;
        f.row = it.row;
        f.col = it.col;
        const FormulaRole role = formulaOf(view(s), it.row, it.col, &f.tokens, &f.place);
        if (role == FormulaRole::Plain || role == FormulaRole::SharedMember || role == FormulaRole::SharedMaster
            || role == FormulaRole::ArrayAnchor)
            out.push_back(f);
    }
    return out;
}

bool Sheet::dissolveIfMaster(int row, int col, const CellView &current, QString *error)
{
    FormulaTokens shared;
    FormulaPlace place;
    if (current.type != Rt::Formula || formulaOf(current, row, col, &shared, &place) != FormulaRole::SharedMaster)
        return true;
    quint16 type;
    const char *d;
    int size;
    anchorRecord(row, col, &type, &d, &size);
    const int r1 = qFromLittleEndian<quint16>(d), r2 = qFromLittleEndian<quint16>(d + 2), c1 = quint8(d[4]), c2 = quint8(d[5]);
    // Every other cell of the group that still uses it gets its own copy.
    for (int r = r1; r <= r2; ++r) {
        for (int c = c1; c <= c2; ++c) {
            Slot s;
            if ((r == row && c == col) || !findSlot(r, c, &s))
                continue;
            const CellView v = view(s);
            FormulaTokens t;
            FormulaPlace p;
            if (v.type != Rt::Formula || formulaOf(v, r, c, &t, &p) != FormulaRole::SharedMember
                || qFromLittleEndian<quint16>(v.data + 23) != row || qFromLittleEndian<quint16>(v.data + 25) != col)
                continue;
            FormulaTokens own;
            if (!sharedToCellTokens(t, r, c, &own)) {
                *error = where(r, c) + QCoreApplication::translate("Xls", ": its shared formula holds tokens that cannot be copied");
                return false;
            }
            CellRecord rec;
            rec.type = Rt::Formula;
            rec.data = QByteArray(v.data, 20);
            qToLittleEndian<quint16>(quint16(qFromLittleEndian<quint16>(v.data + 14) & ~SharedFlag), rec.data.data() + 14);
            appendU16(rec.data, quint16(own.rgce.size()));
            rec.data.append(own.rgce);
            rec.data.append(own.extra);
            // The cached text result (STRING) stays with the cell.
            if (s.item >= 0 && m_items[size_t(s.item)].edit < 0) {
                const Item &it = m_items[size_t(s.item)];
                for (int k = 1; k < it.recCount; ++k)
                    if (m_book->index().records[size_t(it.rec + k)].type != Rt::ShrFmla)
                        rec.tail.append(recData(it.rec + k) - 4, 4 + m_book->index().records[size_t(it.rec + k)].size);
            }
            // Its formula reads as before: not a changed cell.
            store(s, std::move(rec));
        }
    }
    return true;
}

bool Sheet::writeFormula(const Slot &slot, int row, int col, const CellView &current, const QString &body,
                         QString *error)
{
    const int xf = current.type ? xfOf(current) : defaultXf(row, col);
    if (!canEdit(quint16(xf))) {
        *error = where(row, col) + QCoreApplication::translate("Xls", " is locked on a protected sheet");
        return false;
    }
    FormulaTokens old;
    FormulaPlace place;
    place.row = row;
    place.col = col;
    place.sheet = number();
    FormulaRole role = FormulaRole::Plain;
    if (current.type == Rt::Formula)
        role = formulaOf(current, row, col, &old, &place);
    if (role == FormulaRole::ArrayMember || role == FormulaRole::Table || role == FormulaRole::Broken) {
        *error = where(row, col) + QCoreApplication::translate("Xls", " is part of an array formula or data table");
        return false;
    }
    const bool array = role == FormulaRole::ArrayAnchor;
    place.kind = array ? FormulaKind::Array : FormulaKind::Cell;
    FormulaTokens tokens;
    QString why, missingSheet;
    if (!compileFormula(body, place, m_book->formulaNames(), &tokens, &why, &missingSheet)) {
        if (!missingSheet.isEmpty())
            *error = where(row, col) + QStringLiteral(": ") + missingSheetReason(body, missingSheet);
        else
            *error = where(row, col) + QCoreApplication::translate("Xls", ": =%1 cannot be stored as an .xls formula (%2)").arg(body.left(80), why);
        return false;
    }
    if (!dissolveIfMaster(row, col, current, error))
        return false;
    CellRecord rec;
    rec.type = Rt::Formula;
    appendU16(rec.data, quint16(row));
    appendU16(rec.data, quint16(col));
    appendU16(rec.data, quint16(xf));
    rec.data.append(ClearedResult, 8);
    appendU16(rec.data, AlwaysCalc);
    appendU32(rec.data, 0);
    if (array) {
        // The cell keeps pointing at its array formula, which gets the tokens.
        rec.data.append(current.data + 20, 2 + qFromLittleEndian<quint16>(current.data + 20));
        quint16 type;
        const char *d;
        int size;
        anchorRecord(row, col, &type, &d, &size);
        QByteArray a(d, 6);
        appendU16(a, AlwaysCalc);
        appendU32(a, 0);
        appendU16(a, quint16(tokens.rgce.size()));
        a.append(tokens.rgce);
        a.append(tokens.extra);
        appendU16(rec.tail, Rt::Array);
        appendU16(rec.tail, quint16(a.size()));
        rec.tail.append(a);
    } else {
        appendU16(rec.data, quint16(tokens.rgce.size()));
        rec.data.append(tokens.rgce);
        rec.data.append(tokens.extra);
    }
    store(slot, std::move(rec));
    m_changedCells.insert(keyOf(row, col));
    m_book->noteFormulaChanged();
    return true;
}

} // namespace Biff
} // namespace Excel
