#pragma once

// BIFF8 formulas between their tokens (the parsed expression that FORMULA,
// SHRFMLA, ARRAY and NAME records store, in reverse Polish order, with the
// array constants of ptgArray after them) and the text the formula bar
// shows (A1 style, without the leading "=").

#include "xls/formula/formulanames.h"

#include <QByteArray>
#include <QString>

namespace Excel {
namespace Biff {

// Where the formula is stored: decides how references are kept (shared
// formulas keep relative ones as offsets) and which operand classes the
// tokens get.
enum class FormulaKind { Cell, Shared, Array, Name };

struct FormulaPlace
{
    FormulaKind kind = FormulaKind::Cell;
    int row = 0, col = 0; // the cell (for a shared formula: the cell it is seen from)
    int sheet = 0;        // 0-based sheet number of the cell
};

struct FormulaTokens
{
    QByteArray rgce;  // the expression
    QByteArray extra; // the data of array constants and memory areas that follow it
};

// The formula-bar text of the tokens. False, with why, for tokens this
// engine does not understand or that refer to other workbooks: such a
// formula is never shown wrong, it is left alone.
bool decompileFormula(const FormulaTokens &tokens, const FormulaPlace &place, const FormulaNames &names,
                      QString *text, QString *why);

// The tokens of a formula-bar text (without "="). A name or function the
// workbook lacks is added to names as Excel would add it. False, with why,
// when the text is no formula this engine can store: a syntax error, a
// reference to a sheet that does not exist (*missingSheet then names it).
bool compileFormula(const QString &text, const FormulaPlace &place, FormulaNames &names, FormulaTokens *tokens,
                    QString *why, QString *missingSheet = nullptr);

// Bytes of the token at pos, or -1 when it is unknown or cut off.
int formulaTokenSize(const QByteArray &rgce, int pos);
// The tokens of a shared formula as the cell at row, col sees them, for a
// cell of its own; false when a token is not understood.
bool sharedToCellTokens(const FormulaTokens &shared, int row, int col, FormulaTokens *out);

// Shared by both directions.
namespace FormulaText {
QString errorText(int code);        // "#DIV/0!"; empty for an unknown code
int errorCode(const QString &text); // -1 when not an error literal
QString sheetPrefix(const QString &first, const QString &last); // "Sheet1!", "'A b'!", "S1:S3!"
QString columnName(int col);        // 0-based: "A" .. "IV"
}

} // namespace Biff
} // namespace Excel
