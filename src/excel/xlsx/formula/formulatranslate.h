#pragma once

// Moves the relative references of a formula by a row and column offset,
// as the members of a shared formula take their master's text: "$" parts
// stay, a reference pushed off the grid becomes #REF!. Strings, quoted
// sheet names, function names (LOG10), numbers (1E5), defined names and
// structured references ([@Col]) are left as they are.

#include "cellrules/celladdress.h"

#include <QString>

namespace Excel {
namespace Xlsx {

QString translateFormula(const QString &formula, int rowOffset, int columnOffset, GridLimits grid = OoxmlGrid);

} // namespace Xlsx
} // namespace Excel
