#pragma once

// A record of what a job changed, cell by cell: a workbook tells a sink each
// cell whose text changed since it was opened, with the text before and after
// as the formula bar shows it (a formula with its "=", a number in the
// formula bar's notation, TRUE/FALSE, a shared or rich text as its plain
// characters). An engine works this out only when it is asked, from what it
// keeps anyway, so that a run without a record pays nothing for it.

#include <QString>

#include <string_view>

namespace Excel {

class CellChangeSink
{
public:
    virtual ~CellChangeSink() = default;

    // One changed cell: its sheet's name, its 1-based row and column, its
    // text before and after. False, with the reason, stops the report.
    virtual bool cellChanged(const QString &sheet, int row, int column, const QString &before,
                             const QString &after, QString *error) = 0;

    // A sink that stores UTF-8 says so: an engine that has a cell's texts in
    // UTF-8 (as utf8Encode() writes them) then hands them over as they are,
    // without a round trip through UTF-16 for each cell.
    virtual bool takesUtf8() const { return false; }
    virtual bool cellChangedUtf8(const QString &sheet, int row, int column, std::string_view before,
                                 std::string_view after, QString *error)
    {
        return cellChanged(sheet, row, column, QString::fromUtf8(before.data(), int(before.size())),
                           QString::fromUtf8(after.data(), int(after.size())), error);
    }
};

} // namespace Excel
