#pragma once

// A1-style positions as Worksheet.Range accepts them.

#include <QString>
#include <QVector>

namespace Excel {

struct GridLimits
{
    int rows;
    int columns;
};

constexpr GridLimits OoxmlGrid{1048576, 16384};
constexpr GridLimits BiffGrid{65536, 256};

// A rectangle of cells, 1-based and inclusive.
struct CellArea
{
    int firstRow = 0;
    int firstColumn = 0;
    int lastRow = 0;
    int lastColumn = 0;

    qint64 cellCount() const
    {
        return qint64(lastRow - firstRow + 1) * (lastColumn - firstColumn + 1);
    }
    bool contains(int row, int column) const
    {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
};

// Most cells one position may name; a larger one is refused so that a typo
// cannot fill a sheet.
constexpr qint64 MaxRangeCells = 1000000;

// Parses "A1", "$B$2", "a1:c3", "A:C", "2:5" and unions of these joined by
// "," (blanks around the parts allowed). False for anything else, for a
// position outside the grid and for more than MaxRangeCells cells in all.
bool parseRangeAddress(const QString &text, GridLimits grid, QVector<CellArea> *areas);

// Column letters to number (A = 1) and back; 0 / empty when invalid.
int columnNumber(const QString &letters);
QString columnLetters(int column);

// "B3" for row 3, column 2.
QString cellName(int row, int column);

// Parses a plain cell reference without "$" such as "AB12", as files store
// it; false when it is not one. Upper-case letters only.
bool parseCellName(const char *data, int length, int *row, int *column);

} // namespace Excel
