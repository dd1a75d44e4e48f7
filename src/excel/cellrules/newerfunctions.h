#pragma once

// Worksheet functions that Excel 97-2003 had no number for, and how each
// file format stores a call of one: the Analysis ToolPak functions, which
// .xls files call as add-in functions; those of Excel 2007 (written in an
// .xls file as a hidden name "_xlfn.NAME"); and the later ones, which an
// .xlsx file too stores with the prefix "_xlfn." (or "_xlfn._xlws.") so
// that an older Excel shows them as unknown rather than misreading them.
// The formula bar shows every one of them without its prefix.

#include <QString>
#include <QStringView>

namespace Excel {

struct NewerFunction
{
    enum Kind { AddIn, Excel2007, Later };
    const char *name; // upper case, as Excel stores it
    Kind kind;
    const char *xlsxPrefix; // what an .xlsx file writes before the name; empty for none
};

// The function of this name (any letter case, without a prefix), or null.
const NewerFunction *newerFunction(QStringView name);

} // namespace Excel
