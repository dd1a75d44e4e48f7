#pragma once

// A formula's text as an .xlsx file stores it and as the formula bar shows
// it. They differ in the functions newer than Excel 2007: the file writes
// "_xlfn." (for SORT and FILTER "_xlfn._xlws.") before their names, which
// the formula bar leaves out, and which a formula written back must have
// again, or Excel would take the function for an unknown one. Before it is
// stored, a formula is also checked for what Excel would not read as meant.

#include <QString>
#include <QStringList>

namespace Excel {
namespace Xlsx {

// The formula-bar text of a stored formula (without "="): the prefixes of
// the newer functions this engine knows are left out; others stay.
QString shownFormula(const QString &stored);

// The text to store for a formula typed or changed as shown (without "="):
// the newer functions get their prefix and their name in capitals. False,
// with why, for a formula Excel would not take as written: a text longer
// than 255 characters, or a reference to a sheet that is not among sheets
// (*missingSheet then names it), which Excel would read as a link to
// another file. References into other files ([1]Sheet!A1) are not checked.
bool storedFormula(const QString &shown, const QStringList &sheets, QString *stored, QString *why,
                   QString *missingSheet = nullptr);

} // namespace Xlsx
} // namespace Excel
