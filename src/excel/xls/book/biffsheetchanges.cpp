// The record of a sheet's changes: every cell an edit changed, with its
// text as read and as it is now. Nothing here runs unless a record is asked
// for. What a cell held as read is its record in the stream as read (edits
// are kept beside it), and the shared strings as the table kept them.

#include "xls/book/biffsheet.h"

#include "xls/book/biffbook.h"
#include "cellchanges.h"
#include "littleendian.h"
#include "xls/records/rknumber.h"

namespace Excel {
namespace Biff {

bool Sheet::reportChanges(CellChangeSink *sink, QString *error) const
{
    for (const quint32 key : m_changedCells.keys()) {
        const int row = int(key >> 8), col = int(key & 0xFF);
        Slot slot;
        const bool exists = findSlot(row, col, &slot);
        const QString after = exists ? shownText(view(slot), row, col, false) : QString();
        // A cell made in this session held nothing.
        const QString before = exists && slot.item >= 0 ? shownText(viewAsRead(slot), row, col, true) : QString();
        if (before != after && !sink->cellChanged(m_name, row + 1, col + 1, before, after, error))
            return false;
    }
    return true;
}

Sheet::CellView Sheet::viewAsRead(const Slot &slot) const
{
    if (slot.item < 0)
        return CellView();
    return recordView(m_items[size_t(slot.item)], slot);
}

QString Sheet::shownText(const CellView &v, int row, int col, bool asRead) const
{
    switch (v.type) {
    case Rt::LabelSst: {
        const int i = int(qFromLittleEndian<quint32>(v.data + 6));
        SharedStrings &sst = m_book->strings();
        if (i < 0 || i >= sst.count())
            return QString();
        return asRead ? sst.entryAsRead(i).text : sst.at(i).text;
    }
    case Rt::Label:
    case Rt::RString:
        if (v.size < 9)
            return QString();
        return decodeCharacters(v.data + 9, qFromLittleEndian<quint16>(v.data + 6), v.data[8] & 0x01);
    case Rt::Number:
        return formulaBarNumber(qFromLittleEndian<double>(v.data + 6));
    case Rt::Rk:
        return formulaBarNumber(decodeRk(qFromLittleEndian<quint32>(v.data + 6)));
    case Rt::BoolErr:
        if (v.data[7] != 0)
            return FormulaText::errorText(quint8(v.data[6]));
        return booleanText(v.data[6] != 0);
    case Rt::Formula: {
        FormulaTokens tokens;
        FormulaPlace place;
        bool shown;
        if (asRead) {
            shown = formulaAsRead(v, row, col, &tokens, &place);
        } else {
            const FormulaRole role = formulaOf(v, row, col, &tokens, &place);
            shown = role == FormulaRole::Plain || role == FormulaRole::SharedMember
                    || role == FormulaRole::SharedMaster || role == FormulaRole::ArrayAnchor;
        }
        QString body, why;
        if (!shown || !decompileFormula(tokens, place, m_book->formulaNames(), &body, &why))
            return QString();
        return QLatin1Char('=') + body;
    }
    default: // blank
        return QString();
    }
}

// formulaOf() for the records as read: a shared or array formula's tokens
// are those of the SHRFMLA or ARRAY that followed its first cell in the
// stream, whatever became of that cell since.
bool Sheet::formulaAsRead(const CellView &v, int row, int col, FormulaTokens *tokens, FormulaPlace *place) const
{
    place->row = row;
    place->col = col;
    place->sheet = number();
    place->kind = FormulaKind::Cell;
    FormulaTokens own;
    if (!tokensAt(v.data, v.size, 20, &own) || own.rgce.isEmpty())
        return false;
    const quint8 first = quint8(own.rgce[0]);
    if (first != 0x01 && first != 0x02) {
        *tokens = own;
        return true;
    }
    if (first != 0x01 || own.rgce.size() < 5)
        return false; // a data table shows no formula of its own
    const int r = qFromLittleEndian<quint16>(own.rgce.constData() + 1);
    const int c = qFromLittleEndian<quint16>(own.rgce.constData() + 3);
    Slot anchor;
    if (!findSlot(r, c, &anchor) || anchor.item < 0)
        return false;
    const Item &it = m_items[size_t(anchor.item)];
    const auto &recs = m_book->index().records;
    for (int k = 1; k < it.recCount; ++k) {
        const Record &rec = recs[size_t(it.rec + k)];
        const char *d = recData(it.rec + k);
        if (rec.type == Rt::ShrFmla) {
            place->kind = FormulaKind::Shared;
            return tokensAt(d, rec.size, 8, tokens);
        }
        if (rec.type == Rt::Array) {
            if (r != row || c != col)
                return false; // the other cells of an array show its formula, but are never edited
            place->kind = FormulaKind::Array;
            return tokensAt(d, rec.size, 12, tokens);
        }
    }
    return false;
}

} // namespace Biff
} // namespace Excel
