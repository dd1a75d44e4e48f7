#pragma once

// The formula decompiler and compiler on arbitrary input. The first byte
// chooses the kind of formula and the cell; the rest is tokens (an
// expression and array data split at the second byte) or text. Text that
// compiles must decompile again, to text that compiles once more; tokens
// that decompile give text that compiles or fails, never crashes.

#include "xls/formula/formulatokens.h"

#include <cstdint>
#include <cstdlib>

using namespace Excel::Biff;

namespace FormulaFuzz {

inline FormulaNames names()
{
    FormulaNames n;
    n.sheets = QStringList{"Sheet1", "My Sheet", "Data"};
    n.supBooks.resize(2);
    n.supBooks[0].kind = FormulaNames::BookKind::Self;
    n.supBooks[1].kind = FormulaNames::BookKind::AddIn;
    n.supBooks[1].externNames = QStringList{"_xlfn.IFERROR", "EOMONTH"};
    n.selfBook = 0;
    n.externSheetRecord = 1;
    n.sheetRanges = {{0, 0, 0}, {0, 1, 2}, {1, -2, -2}};
    n.originalRangeCount = 3;
    n.names = {{"Total", 0, false}, {"Local", 1, false}, {"Print_Area", 1, false}};
    return n;
}

} // namespace FormulaFuzz

inline int exerciseFormula(const uint8_t *data, size_t size, bool fromText)
{
    if (size < 2)
        return 0;
    static const FormulaKind kinds[] = {FormulaKind::Cell, FormulaKind::Shared, FormulaKind::Array, FormulaKind::Name};
    FormulaPlace place;
    place.kind = kinds[data[0] & 3];
    place.row = (data[0] >> 3) * 997;
    place.col = data[0] >> 2;
    FormulaNames n = FormulaFuzz::names();
    QString text, why;
    if (fromText) {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), int(size - 1));
        FormulaTokens t;
        if (!compileFormula(text, place, n, &t, &why))
            return 0;
        QString again;
        if (!decompileFormula(t, place, n, &again, &why))
            std::abort(); // what we write we must read
        FormulaTokens t2;
        if (!compileFormula(again, place, n, &t2, &why))
            std::abort();
        return 0;
    }
    const size_t split = 2 + (data[1] % (size - 1));
    FormulaTokens t;
    t.rgce = QByteArray(reinterpret_cast<const char *>(data + 2), int(std::min(split, size) - 2));
    if (split < size)
        t.extra = QByteArray(reinterpret_cast<const char *>(data + split), int(size - split));
    if (decompileFormula(t, place, n, &text, &why)) {
        FormulaTokens back;
        compileFormula(text, place, n, &back, &why); // may fail (a sheet range reversed, say), never crash
    }
    return 0;
}
