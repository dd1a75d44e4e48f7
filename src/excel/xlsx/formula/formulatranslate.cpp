#include "xlsx/formula/formulatranslate.h"

namespace Excel {
namespace Xlsx {

namespace {

inline bool isWordChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '.'
           || u == '$' || u == '\\' || u == '?' || u > 127;
}

struct Part
{
    bool absolute = false;
    int value = 0; // column or row number
};

// "$AB" or "AB" (columns) into *p; the whole of s must be it.
bool parseColumn(QStringView s, Part *p)
{
    int i = 0;
    p->absolute = false;
    if (i < s.size() && s[i] == QLatin1Char('$')) {
        p->absolute = true;
        ++i;
    }
    const int start = i;
    if (s.size() - start > 3)
        return false; // more letters than a column has
    int col = 0;
    while (i < s.size()) {
        const ushort u = s[i].toUpper().unicode();
        if (u < 'A' || u > 'Z')
            return false;
        col = col * 26 + (u - 'A' + 1);
        ++i;
    }
    if (i == start)
        return false;
    p->value = col;
    return true;
}

bool parseRow(QStringView s, Part *p)
{
    int i = 0;
    p->absolute = false;
    if (i < s.size() && s[i] == QLatin1Char('$')) {
        p->absolute = true;
        ++i;
    }
    const int start = i;
    qint64 row = 0;
    while (i < s.size()) {
        const ushort u = s[i].unicode();
        if (u < '0' || u > '9')
            return false;
        row = row * 10 + (u - '0');
        if (row > 99999999)
            return false;
        ++i;
    }
    if (i == start || row < 1)
        return false;
    p->value = int(row);
    return true;
}

// A cell reference such as "A1", "$B$2", "c3".
bool parseCell(QStringView s, Part *col, Part *row)
{
    int split = 0;
    if (split < s.size() && s[split] == QLatin1Char('$'))
        ++split;
    while (split < s.size() && s[split].isLetter() && s[split].unicode() < 128)
        ++split;
    return split < s.size() && parseColumn(s.left(split), col) && parseRow(s.mid(split), row);
}

QString columnText(const Part &p)
{
    return (p.absolute ? QStringLiteral("$") : QString()) + columnLetters(p.value);
}

QString rowText(const Part &p)
{
    return (p.absolute ? QStringLiteral("$") : QString()) + QString::number(p.value);
}

bool shift(Part *p, int offset, int limit)
{
    if (p->absolute)
        return true;
    const qint64 v = qint64(p->value) + offset;
    if (v < 1 || v > limit)
        return false;
    p->value = int(v);
    return true;
}

} // namespace

QString translateFormula(const QString &formula, int rowOffset, int columnOffset, GridLimits grid)
{
    if (rowOffset == 0 && columnOffset == 0)
        return formula;
    QString out;
    out.reserve(formula.size() + 8);
    const int n = formula.size();
    int i = 0;
    while (i < n) {
        const QChar c = formula[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // A string, or a quoted sheet name: a doubled quote stays inside.
            int j = i + 1;
            while (j < n) {
                if (formula[j] == c) {
                    if (j + 1 < n && formula[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = qMin(j + 1, n);
            out += QStringView(formula).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char('[')) {
            // A structured reference or an external book: nested brackets.
            int depth = 0, j = i;
            for (; j < n; ++j) {
                if (formula[j] == QLatin1Char('['))
                    ++depth;
                else if (formula[j] == QLatin1Char(']') && --depth == 0)
                    break;
            }
            j = qMin(j + 1, n);
            out += QStringView(formula).mid(i, j - i);
            i = j;
            continue;
        }
        if (c == QLatin1Char('#')) {
            // An error literal such as #REF! or #N/A.
            int j = i + 1;
            while (j < n && (formula[j].isLetterOrNumber() || formula[j] == QLatin1Char('/')))
                ++j;
            if (j < n && (formula[j] == QLatin1Char('!') || formula[j] == QLatin1Char('?')))
                ++j;
            out += QStringView(formula).mid(i, j - i);
            i = j;
            continue;
        }
        if (!isWordChar(c)) {
            out += c;
            ++i;
            continue;
        }
        int j = i;
        while (j < n && isWordChar(formula[j]))
            ++j;
        const QStringView word = QStringView(formula).mid(i, j - i);
        const QChar next = j < n ? formula[j] : QChar();
        // A function name or a sheet name: not a reference.
        if (next == QLatin1Char('(') || next == QLatin1Char('!') || next == QLatin1Char('[')) {
            out += word;
            i = j;
            continue;
        }
        // A number (1E5, 1.5, 3): digits first and not a row range.
        Part col1, row1, col2, row2;
        int k = j;
        QStringView word2;
        if (next == QLatin1Char(':')) {
            k = j + 1;
            while (k < n && isWordChar(formula[k]))
                ++k;
            word2 = QStringView(formula).mid(j + 1, k - j - 1);
            if (k < n && (formula[k] == QLatin1Char('(') || formula[k] == QLatin1Char('!')))
                word2 = QStringView();
        }
        if (parseCell(word, &col1, &row1)) {
            Part c2, r2;
            const bool range = !word2.isEmpty() && parseCell(word2, &c2, &r2);
            bool ok = shift(&col1, columnOffset, grid.columns) && shift(&row1, rowOffset, grid.rows);
            if (range)
                ok = ok && shift(&c2, columnOffset, grid.columns) && shift(&r2, rowOffset, grid.rows);
            if (!ok)
                out += QStringLiteral("#REF!");
            else if (range)
                out += columnText(col1) + rowText(row1) + QLatin1Char(':') + columnText(c2) + rowText(r2);
            else
                out += columnText(col1) + rowText(row1);
            i = range ? k : j;
            continue;
        }
        if (!word2.isEmpty() && parseColumn(word, &col1) && parseColumn(word2, &col2)) {
            if (shift(&col1, columnOffset, grid.columns) && shift(&col2, columnOffset, grid.columns))
                out += columnText(col1) + QLatin1Char(':') + columnText(col2);
            else
                out += QStringLiteral("#REF!");
            i = k;
            continue;
        }
        if (!word2.isEmpty() && parseRow(word, &row1) && parseRow(word2, &row2)) {
            if (shift(&row1, rowOffset, grid.rows) && shift(&row2, rowOffset, grid.rows))
                out += rowText(row1) + QLatin1Char(':') + rowText(row2);
            else
                out += QStringLiteral("#REF!");
            i = k;
            continue;
        }
        out += word;
        i = j;
    }
    return out;
}

} // namespace Xlsx
} // namespace Excel
