#pragma once

// A record of what a job changed, cell by cell: a workbook tells a sink each
// cell whose text changed since it was opened, with the text before and after
// as the formula bar shows it (a formula with its "=", a number in the
// formula bar's notation, TRUE/FALSE, a shared or rich text as its plain
// characters). An engine works this out only when it is asked, from what it
// keeps anyway, so that a run without a record pays nothing for it.

#include <QString>

namespace Excel {

class CellChangeSink
{
public:
    virtual ~CellChangeSink() = default;

    // One changed cell: its sheet's name, its 1-based row and column, its
    // text before and after. False, with the reason, stops the report.
    virtual bool cellChanged(const QString &sheet, int row, int column, const QString &before,
                             const QString &after, QString *error) = 0;
};

} // namespace Excel
