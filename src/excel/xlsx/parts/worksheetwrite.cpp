// Writing a worksheet part back: its bytes as read, with the changed cells,
// the new cells and rows, and the widened row spans spliced in.

#include "xlsx/parts/worksheetpart.h"

#include "xlsx/package/splicewriter.h"
#include "xlsx/xml/xmltext.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

namespace {

// A row's spans attribute widened to hold a column, or empty when it is to
// be dropped (a list of several spans).
QByteArray widenedSpans(std::string_view spans, int firstNew, int lastNew, bool *changed)
{
    *changed = false;
    const size_t colon = spans.find(':');
    quint32 a = 0, b = 0;
    if (spans.find(' ') != std::string_view::npos || colon == std::string_view::npos
        || !readNumber(spans.substr(0, colon), 16384, &a) || !readNumber(spans.substr(colon + 1), 16384, &b)) {
        *changed = true;
        return QByteArray();
    }
    const quint32 na = qMin(a, quint32(firstNew)), nb = qMax(b, quint32(lastNew));
    if (na == a && nb == b)
        return QByteArray(spans.data(), int(spans.size()));
    *changed = true;
    return QByteArray::number(na) + ':' + QByteArray::number(nb);
}

} // namespace

bool WorksheetPart::write(ByteSink *sink, QString *error, const std::vector<quint32> &asRead) const
{
    if (m_xml.isEmpty()) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "the part is not loaded"));
        return false;
    }
    std::vector<Splice> splices;
    auto fragment = [this](const CellRecord &c) {
        const Edit &e = m_edits[c.edit - 1];
        return QByteArray::fromRawData(m_arena.constData() + e.begin, int(e.length));
    };
    // Changed cells in place; of a cell that moved to another shared
    // string only the digits of its value, which are kept in one buffer
    // (reserved, so that the views into it stay valid).
    QByteArray digits;
    size_t moved = 0;
    for (quint32 i = 0; i < m_originalCells; ++i)
        moved += m_cells[i].edit && m_edits[m_cells[i].edit - 1].length == MovedElement;
    digits.reserve(int(std::min<size_t>(moved * 10, 0x7FFFFFF0)));
    auto keep = asRead.begin();
    for (quint32 i = 0; i < m_originalCells; ++i) {
        const CellRecord &c = m_cells[i];
        while (keep != asRead.end() && *keep < i)
            ++keep;
        if (!c.edit || (keep != asRead.end() && *keep == i))
            continue;
        const Edit &e = m_edits[c.edit - 1];
        if (e.length == MovedElement) {
            const MoveRecord &m = m_moves[e.begin];
            char text[16];
            const auto end = std::to_chars(text, text + sizeof text, m.move.to).ptr;
            const int at = digits.size();
            digits.append(text, int(end - text));
            splices.push_back({m.valueBegin, m.valueEnd, QByteArray::fromRawData(digits.constData() + at, int(end - text))});
        } else {
            splices.push_back({c.begin, c.end, fragment(c)});
        }
    }
    // New cells, by position; the sheet's rows are in order (setValue
    // refuses to add cells otherwise).
    std::vector<quint32> added;
    added.reserve(m_cells.size() - m_originalCells);
    for (quint32 i = m_originalCells; i < m_cells.size(); ++i)
        added.push_back(i);
    std::sort(added.begin(), added.end(), [this](quint32 a, quint32 b) {
        return key(m_cells[a].row, m_cells[a].column) < key(m_cells[b].row, m_cells[b].column);
    });
    CellArea bounds{};
    size_t k = 0;
    QByteArray newRows;       // rows still to insert before the next existing row
    size_t nextRow = 0;       // the existing row the pending new rows go before
    auto flushNewRows = [&](qint64 at) {
        if (!newRows.isEmpty())
            splices.push_back({at, at, newRows});
        newRows.clear();
    };
    while (k < added.size()) {
        const quint32 rowNumber = m_cells[added[k]].row;
        size_t stop = k;
        while (stop < added.size() && m_cells[added[stop]].row == rowNumber)
            ++stop;
        const int firstCol = m_cells[added[k]].column, lastCol = m_cells[added[stop - 1]].column;
        if (k == 0)
            bounds = {int(rowNumber), firstCol, int(rowNumber), lastCol};
        bounds.firstRow = qMin(bounds.firstRow, int(rowNumber));
        bounds.lastRow = qMax(bounds.lastRow, int(rowNumber));
        bounds.firstColumn = qMin(bounds.firstColumn, firstCol);
        bounds.lastColumn = qMax(bounds.lastColumn, lastCol);

        while (nextRow < m_rows.size() && m_rows[nextRow].row < rowNumber) {
            flushNewRows(m_rows[nextRow].begin);
            ++nextRow;
        }
        const int r = nextRow < m_rows.size() && m_rows[nextRow].row == rowNumber ? int(nextRow) : -1;
        if (r < 0) {
            // A new row.
            newRows += "<" + m_sheetDataPrefix + "row r=\"" + QByteArray::number(rowNumber) + "\">";
            for (size_t j = k; j < stop; ++j)
                newRows += fragment(m_cells[added[j]]);
            newRows += "</" + m_sheetDataPrefix + "row>";
            k = stop;
            continue;
        }
        flushNewRows(m_rows[size_t(r)].begin);
        const RowRecord &row = m_rows[size_t(r)];
        // The spans hint must cover the new cells.
        QByteArray spans;
        bool spansChanged = false;
        if (row.spansBegin)
            spans = widenedSpans(std::string_view(m_xml.constData() + row.spansBegin, row.spansEnd - row.spansBegin),
                                 firstCol, lastCol, &spansChanged);
        if (row.selfClosing) {
            // <row .../> opens to hold its cells.
            QByteArray tag = m_xml.mid(int(row.begin), int(row.startTagEnd - row.begin));
            if (spansChanged) {
                const int from = int(row.spansBegin - row.begin), len = int(row.spansEnd - row.spansBegin);
                if (spans.isEmpty()) {
                    // Drop spans="…" with the white space before it (there
                    // always is some between attributes).
                    const int attr = int(row.spansAttributeBegin - row.begin);
                    tag.remove(attr - 1, int(row.spansAttributeEnd - row.spansAttributeBegin) + 1);
                } else {
                    tag.replace(from, len, spans);
                }
            }
            tag.chop(2);
            while (tag.endsWith(' '))
                tag.chop(1);
            tag += '>';
            for (size_t j = k; j < stop; ++j)
                tag += fragment(m_cells[added[j]]);
            tag += "</" + m_sheetDataPrefix + "row>";
            splices.push_back({row.begin, row.end, tag});
        } else {
            if (spansChanged) {
                if (spans.isEmpty())
                    splices.push_back({qint64(row.spansAttributeBegin) - 1, row.spansAttributeEnd, QByteArray()});
                else
                    splices.push_back({row.spansBegin, row.spansEnd, spans});
            }
            // Each new cell goes before the first cell of a greater column.
            quint32 c = row.firstCell;
            const quint32 last = row.firstCell + row.cellCount;
            for (size_t j = k; j < stop; ++j) {
                const CellRecord &nc = m_cells[added[j]];
                while (c < last && m_cells[c].column < nc.column)
                    ++c;
                const qint64 at = c < last ? m_cells[c].begin : row.endTagBegin;
                splices.push_back({at, at, fragment(nc)});
            }
        }
        ++nextRow;
        k = stop;
    }
    if (!newRows.isEmpty()) {
        if (nextRow < m_rows.size()) {
            flushNewRows(m_rows[nextRow].begin);
        } else if (m_sheetDataSelfClosing) {
            QByteArray tag = m_xml.mid(int(m_sheetDataBegin), int(m_sheetDataStartTagEnd - m_sheetDataBegin));
            tag.chop(2);
            while (tag.endsWith(' '))
                tag.chop(1);
            splices.push_back({m_sheetDataBegin, m_sheetDataStartTagEnd,
                               tag + ">" + newRows + "</" + m_sheetDataPrefix + "sheetData>"});
            newRows.clear();
        } else if (m_sheetDataEndTagBegin >= 0) {
            flushNewRows(m_sheetDataEndTagBegin);
        } else {
            *error = partError(m_partName, QCoreApplication::translate("Xlsx", "the sheet has no sheetData for new cells"));
            return false;
        }
    }
    // The dimension covers the new cells too.
    if (!added.empty() && m_dimensionBegin >= 0) {
        CellArea d = bounds;
        if (m_dimensionValid && m_originalCells > 0) {
            d.firstRow = qMin(d.firstRow, m_dimension.firstRow);
            d.firstColumn = qMin(d.firstColumn, m_dimension.firstColumn);
            d.lastRow = qMax(d.lastRow, m_dimension.lastRow);
            d.lastColumn = qMax(d.lastColumn, m_dimension.lastColumn);
        }
        QString ref = cellName(d.firstRow, d.firstColumn);
        if (d.lastRow != d.firstRow || d.lastColumn != d.firstColumn)
            ref += QLatin1Char(':') + cellName(d.lastRow, d.lastColumn);
        splices.push_back({m_dimensionBegin, m_dimensionEnd, ref.toLatin1()});
    }
    return writeSpliced(m_xml, std::move(splices), m_partName, sink, error);
}

} // namespace Xlsx
} // namespace Excel
