#pragma once

// How cell contents look to a search and how edited or typed text becomes a
// cell value again. These rules are the same for every file format.

#include <QString>

namespace Excel {

// The kinds of constant or formula a cell can hold after an edit.
enum class ValueKind { Empty, Text, Number, Boolean, Formula };

struct CellValue
{
    ValueKind kind = ValueKind::Empty;
    QString text;       // Text: the text; Formula: the formula without "="
    double number = 0;  // Number
    bool boolean = false;

    static CellValue makeText(const QString &t) { CellValue v; v.kind = ValueKind::Text; v.text = t; return v; }
    static CellValue makeNumber(double d) { CellValue v; v.kind = ValueKind::Number; v.number = d; return v; }
    static CellValue makeBoolean(bool b) { CellValue v; v.kind = ValueKind::Boolean; v.boolean = b; return v; }
    static CellValue makeFormula(const QString &f) { CellValue v; v.kind = ValueKind::Formula; v.text = f; return v; }
};

// Longest text a cell may hold, in UTF-16 units.
constexpr int MaxCellTextLength = 32767;

// The text of a number as the formula bar shows it: at most 15 significant
// digits, "." as decimal point, no grouping; plain notation from 1E-9 up to
// below 1E15, otherwise scientific as in 1E+20 or -1.5E-10.
QString formulaBarNumber(double value);

// Every character formulaBarNumber() or booleanText() can produce: a search
// pattern that cannot match within them skips those cells at once
// (SearchPattern::canMatchWithin).
inline QString formulaBarNumberAlphabet() { return QStringLiteral("0123456789.-+E"); }
inline QString booleanTextAlphabet() { return QStringLiteral("TRUEFALS"); }

// The shortest decimal text that reads back as exactly this double; what a
// file stores for a number.
QString storedNumberText(double value);

// A plain decimal number: optional sign, digits with an optional decimal
// point, optional exponent; nothing else, no blanks. Must be finite.
bool readsAsNumber(const QString &text, double *value);

// TRUE or FALSE in any letter case.
bool readsAsBoolean(const QString &text, bool *value);

// A formula body (without its "=") is well-formed when it is not blank and
// its parentheses, braces and brackets balance and its string literals and
// quoted sheet names are closed.
bool isWellFormedFormula(const QString &body);

// Why a formula is not stored that refers to a sheet the workbook does not
// have: Excel would take the reference for a link to another file and ask
// for that file when the workbook is opened.
QString missingSheetReason(const QString &body, const QString &sheet);

// What a search sees in a number or boolean cell.
QString booleanText(bool value);

// Outcome of re-typing a cell after its searched text changed. Whatever the
// cell was, an edit that leaves no text at all leaves the cell empty.
struct RetypeResult
{
    bool ok = true;     // false: the change is not allowed (error says why)
    QString error;
    CellValue value;
};

// The cell was a text cell: it stays text.
RetypeResult retypeText(const QString &newText);
// The cell was a number: it stays a number when the text reads as one.
RetypeResult retypeNumber(const QString &newText);
// The cell was a boolean: TRUE/FALSE stay boolean, numbers become numbers.
RetypeResult retypeBoolean(const QString &newText);
// The cell was a formula, searched as "=" + formula: still starting with "="
// it stays a formula (which must be well-formed); otherwise a number when it
// reads as one, else text.
RetypeResult retypeFormula(const QString &newTextWithEquals);

// Text written through Value, read as typed input: "" clears the cell; a
// leading apostrophe forces text; a leading "=" makes a formula (which must
// be well-formed); a plain number, TRUE or FALSE become number or boolean;
// anything else (dates included) is text. A cell formatted as Text keeps
// the written text as text.
RetypeResult typedInput(const QString &text, bool cellIsTextFormatted);

} // namespace Excel
