#pragma once

// Formula-bar text into an expression tree, with Excel's precedence:
// reference operators (":", intersection " ", union "," inside
// parentheses), negation, "%", "^", "*" "/", "+" "-", "&", comparisons.
// Whitespace is kept with the part it comes before, so that the tokens can
// store it as Excel does.

#include <QString>
#include <QVector>

#include <memory>
#include <vector>

namespace Excel {
namespace Biff {

struct FormulaNode
{
    enum Type { Number, String, Boolean, Error, Missing, Cell, Area, RefError, Name, Array, Unary, Binary, Percent, Paren, Call };
    Type type = Missing;
    QString text;      // String: the text; Name, Call: the name; Unary, Binary: the operator
    double number = 0; // Number; Boolean and Error: the value
    // Cell and Area: first (and for an area last) corner, 0-based; an area
    // of whole columns or rows spans the grid, its rows (or columns) absolute
    // as Excel stores them, so that the area stays whole where it is copied.
    int row1 = 0, col1 = 0, row2 = 0, col2 = 0;
    bool rowRel1 = true, colRel1 = true, rowRel2 = true, colRel2 = true;
    QString sheet1, sheet2; // the 3-D prefix, empty for none
    bool hasSheet = false;
    // Array: values row by row (Number, String, Boolean or Error nodes).
    int arrayRows = 0, arrayCols = 0;
    QString space, spaceOpen, spaceClose; // whitespace before the part, before "(" and before ")"
    std::vector<std::unique_ptr<FormulaNode>> args;
};

// Null, with why, when the text is not a formula.
std::unique_ptr<FormulaNode> parseFormula(const QString &text, QString *why);

} // namespace Biff
} // namespace Excel
