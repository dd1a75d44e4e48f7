#include "celladdress.h"

#include <QStringList>

namespace Excel {

namespace {

struct Ref
{
    int row = 0;    // 0: absent
    int column = 0; // 0: absent
};

// One side of a range: "$A$1", "A1", "A", "$A", "1", "$1".
bool parseRef(const QString &s, GridLimits grid, Ref *ref)
{
    int i = 0;
    const int n = s.size();
    if (i < n && s[i] == QLatin1Char('$'))
        ++i;
    int col = 0;
    int letters = 0;
    while (i < n && s[i].isLetter() && s[i].unicode() < 128) {
        const int v = s[i].toUpper().unicode() - 'A' + 1;
        if (v < 1 || v > 26)
            return false;
        col = col * 26 + v;
        if (++letters > 3)
            return false;
        ++i;
    }
    if (letters > 0 && i < n && s[i] == QLatin1Char('$'))
        ++i;
    qint64 row = 0;
    int digits = 0;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
        row = row * 10 + (s[i].unicode() - '0');
        if (++digits > 8)
            return false;
        ++i;
    }
    if (i != n || (letters == 0 && digits == 0))
        return false;
    if (letters > 0 && (col < 1 || col > grid.columns))
        return false;
    if (digits > 0 && (row < 1 || row > grid.rows))
        return false;
    // A "$" is only allowed directly before letters or digits.
    if (s.endsWith(QLatin1Char('$')))
        return false;
    ref->column = letters > 0 ? col : 0;
    ref->row = digits > 0 ? int(row) : 0;
    return true;
}

bool parseArea(const QString &part, GridLimits grid, CellArea *area)
{
    const int colon = part.indexOf(QLatin1Char(':'));
    Ref a, b;
    if (colon < 0) {
        if (!parseRef(part, grid, &a) || a.row == 0 || a.column == 0)
            return false;
        *area = {a.row, a.column, a.row, a.column};
        return true;
    }
    if (part.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return false;
    if (!parseRef(part.left(colon), grid, &a) || !parseRef(part.mid(colon + 1), grid, &b))
        return false;
    const bool aCell = a.row && a.column, bCell = b.row && b.column;
    if (aCell && bCell) {
        *area = {qMin(a.row, b.row), qMin(a.column, b.column), qMax(a.row, b.row), qMax(a.column, b.column)};
    } else if (!a.row && !b.row && a.column && b.column) { // A:C
        *area = {1, qMin(a.column, b.column), grid.rows, qMax(a.column, b.column)};
    } else if (!a.column && !b.column && a.row && b.row) { // 2:5
        *area = {qMin(a.row, b.row), 1, qMax(a.row, b.row), grid.columns};
    } else {
        return false;
    }
    return true;
}

} // namespace

bool parseRangeAddress(const QString &text, GridLimits grid, QVector<CellArea> *areas)
{
    QVector<CellArea> result;
    qint64 cells = 0;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        if (part.isEmpty())
            return false;
        CellArea area;
        if (!parseArea(part, grid, &area))
            return false;
        cells += area.cellCount();
        if (cells > MaxRangeCells)
            return false;
        result.append(area);
    }
    if (result.isEmpty())
        return false;
    *areas = result;
    return true;
}

int columnNumber(const QString &letters)
{
    if (letters.isEmpty() || letters.size() > 3)
        return 0;
    int col = 0;
    for (QChar c : letters) {
        const int v = c.toUpper().unicode() - 'A' + 1;
        if (v < 1 || v > 26)
            return 0;
        col = col * 26 + v;
    }
    return col;
}

QString columnLetters(int column)
{
    QString s;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        s.prepend(QChar('A' + rem));
        column = (column - 1) / 26;
    }
    return s;
}

QString cellName(int row, int column)
{
    return columnLetters(column) + QString::number(row);
}

bool parseCellName(const char *data, int length, int *row, int *column)
{
    int i = 0;
    int col = 0;
    while (i < length && data[i] >= 'A' && data[i] <= 'Z') {
        col = col * 26 + (data[i] - 'A' + 1);
        if (++i > 3)
            return false;
    }
    if (i == 0 || i == length)
        return false;
    qint64 r = 0;
    const int digitsStart = i;
    while (i < length && data[i] >= '0' && data[i] <= '9') {
        r = r * 10 + (data[i] - '0');
        if (i - digitsStart >= 8)
            return false;
        ++i;
    }
    if (i != length || r < 1)
        return false;
    *row = int(r);
    *column = col;
    return true;
}

} // namespace Excel
