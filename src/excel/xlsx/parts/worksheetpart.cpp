#include "xlsx/parts/worksheetpart.h"
#include "utf8text.h"

#include "xlsx/package/splicewriter.h"
#include "xlsx/xml/xmltext.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

const QVector<CellArea> &everyCell()
{
    static const QVector<CellArea> areas{CellArea{1, 1, OoxmlGrid.rows, OoxmlGrid.columns}};
    return areas;
}

bool readNumber(std::string_view raw, quint64 limit, quint32 *value)
{
    if (raw.empty())
        return false;
    quint64 v = 0;
    for (char c : raw) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + quint64(c - '0');
        if (v > limit)
            return false;
    }
    *value = quint32(v);
    return true;
}

namespace {

bool isTrue(const XmlAttribute *a)
{
    return a && (a->rawValue == "1" || a->rawValue == "true");
}

// "A1:C3" or "B2" as a dimension or range reference stores it.
bool parseRef(std::string_view raw, CellArea *area)
{
    const size_t colon = raw.find(':');
    int r1, c1, r2, c2;
    const std::string_view a = raw.substr(0, colon);
    if (!parseCellName(a.data(), int(a.size()), &r1, &c1))
        return false;
    if (colon == std::string_view::npos) {
        r2 = r1;
        c2 = c1;
    } else {
        const std::string_view b = raw.substr(colon + 1);
        if (!parseCellName(b.data(), int(b.size()), &r2, &c2))
            return false;
    }
    if (r1 > OoxmlGrid.rows || r2 > OoxmlGrid.rows || c1 > OoxmlGrid.columns || c2 > OoxmlGrid.columns)
        return false;
    *area = {qMin(r1, r2), qMin(c1, c2), qMax(r1, r2), qMax(c1, c2)};
    return true;
}

QString viewText(std::string_view v)
{
    return utf8Decode(v.data(), int(v.size()));
}

} // namespace

WorksheetPart::WorksheetPart(BookContext *book, const QString &partName)
    : m_book(book)
    , m_partName(partName)
    , m_ns(mainNamespace(book->family))
{
}

bool WorksheetPart::load(QString *error)
{
    if (!m_xml.isEmpty())
        return true;
    QByteArray data;
    if (!m_book->package->readPart(m_partName, &data, error))
        return false;
    return parseData(std::move(data), error);
}

bool WorksheetPart::parseData(QByteArray data, QString *error)
{
    if (data.size() >= 0x7FFFFFFF) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "the part is too large"));
        return false;
    }
    m_xml = std::move(data);
    if (m_parsed)
        return true;
    if (!parse(error)) {
        m_xml.clear();
        m_cells.clear();
        m_rows.clear();
        return false;
    }
    m_parsed = true;
    if (m_countsReferences)
        countSharedReferences();
    return true;
}

bool WorksheetPart::editsLocally() const
{
    if (m_protected || !m_rowsOrdered || !m_cellsOrdered || !m_arrays.empty() || !m_sharedMasters.empty()
        || !m_newCells.isEmpty())
        return false;
    for (const CellRecord &r : m_cells)
        if (r.formula != FormulaKind::None)
            return false;
    return true;
}

bool WorksheetPart::rowSpan(quint32 *first, quint32 *last) const
{
    if (m_rows.empty())
        return false;
    *first = m_rows[0].row;
    *last = m_rows[m_rows.size() - 1].row;
    return true;
}

void WorksheetPart::releaseXml()
{
    if (m_parsed)
        m_xml = QByteArray();
}

quint16 WorksheetPart::scopeFor(const XmlTokenizer &t)
{
    if (t.scopeVersion() == m_lastScopeVersion && !m_scopes.empty())
        return quint16(m_scopes.size() - 1);
    m_lastScopeVersion = t.scopeVersion();
    XmlScope s = t.scope();
    if (!m_scopes.empty() && m_scopes.back().bindings == s.bindings)
        return quint16(m_scopes.size() - 1);
    if (m_scopes.size() >= 0xFFFF)
        return 0xFFFF; // caller refuses
    m_scopes.push_back(std::move(s));
    return quint16(m_scopes.size() - 1);
}

bool WorksheetPart::readRowAttributes(const XmlAttribute *r, const XmlAttribute *spans, const XmlAttribute *customFormat,
                                      const XmlAttribute *s, quint32 prevRow, RowRecord *row, QString *why)
{
    row->row = prevRow + 1;
    if (r && (!readNumber(r->rawValue, quint64(OoxmlGrid.rows), &row->row) || row->row == 0)) {
        *why = QCoreApplication::translate("Xlsx", "bad row number %1").arg(viewText(r->rawValue));
        return false;
    }
    if (row->row > quint32(OoxmlGrid.rows)) {
        *why = QCoreApplication::translate("Xlsx", "row beyond the last row of a sheet");
        return false;
    }
    if (spans) {
        row->spansBegin = quint32(spans->valueBegin);
        row->spansEnd = quint32(spans->valueBegin + qint64(spans->rawValue.size()));
        row->spansAttributeBegin = quint32(spans->begin);
        row->spansAttributeEnd = quint32(spans->end);
    }
    if (isTrue(customFormat) && s)
        readNumber(s->rawValue, 0xFFFFFFFFu, &row->style);
    return true;
}

QString WorksheetPart::where(const CellRecord &r) const
{
    return partError(m_partName, cellName(int(r.row), r.column) + QStringLiteral(": "));
}

bool WorksheetPart::parse(QString *error)
{
    XmlTokenizer t(m_xml);
    const int ns = m_ns;
    bool inSheetData = false, inCols = false, inRow = false, inCell = false;
    enum { NoChild, FormulaChild, ValueChild, InlineChild, OtherChild } child = NoChild;
    // Where the plain text of an inline string or a formula lies.
    qint64 textBegin = -1, textEnd = -1;
    bool plainText = true;
    int inlineTexts = 0;
    CellRecord cell{};
    RowRecord row{};
    quint32 prevRow = m_rowBase;
    quint32 prevCol = 0;
    auto bad = [&](const QString &why, qint64 at) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "%1 (at byte %2)").arg(why).arg(at));
        return false;
    };
    for (;;) {
        // Plain cells right inside a row, where the main namespace is the
        // default one, are read from their bytes; the rest token by token.
        if (inRow && !inCell && m_book->cellScan && t.openElements() == 3 && t.defaultNamespace() == ns) {
            qint64 at;
            while ((at = t.nextTokenAt()) >= 0 && scanPlainCell(t, at, row, &prevCol)) {
            }
        }
        // Whole rows of such cells, right inside the sheet data, likewise.
        if (inSheetData && !inRow && m_book->cellScan && t.openElements() == 2 && t.defaultNamespace() == ns) {
            qint64 at;
            while ((at = t.nextTokenAt()) >= 0 && scanPlainRow(t, at, &prevRow)) {
            }
        }
        if (t.next() == XmlTokenizer::EndOfDocument)
            break;
        const XmlTokenizer::Token tok = t.token();
        if (tok == XmlTokenizer::Invalid) {
            *error = partError(m_partName, t.errorString());
            return false;
        }
        const int d = t.depth();
        if (tok == XmlTokenizer::StartElement) {
            if (d == 1) {
                const bool worksheet = t.is(ns, "worksheet");
                const bool macro = t.localName() == "macrosheet" && (t.namespaceId() == ns || t.namespaceId() == NsExcel2006Main);
                if (!worksheet && !macro) {
                    const int other = ns == NsMainStrict ? NsMainTransitional : NsMainStrict;
                    return bad(t.namespaceId() == other ? QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces")
                                                        : QCoreApplication::translate("Xlsx", "not a worksheet"),
                               t.tokenBegin());
                }
                continue;
            }
            if (d == 2) {
                if (t.namespaceId() != ns)
                    continue;
                if (t.localName() == "sheetData") {
                    if (m_sheetDataBegin >= 0)
                        return bad(QCoreApplication::translate("Xlsx", "two sheetData elements"), t.tokenBegin());
                    inSheetData = true;
                    m_sheetDataBegin = t.tokenBegin();
                    m_sheetDataStartTagEnd = t.tokenEnd();
                    m_sheetDataSelfClosing = t.isSelfClosing();
                    m_sheetDataPrefix = QByteArray(t.prefix().data(), int(t.prefix().size()));
                    if (!m_sheetDataPrefix.isEmpty())
                        m_sheetDataPrefix += ':';
                    m_sheetDataScope = scopeFor(t);
                } else if (t.localName() == "dimension") {
                    if (const XmlAttribute *ref = t.attribute("ref")) {
                        m_dimensionBegin = ref->valueBegin;
                        m_dimensionEnd = ref->valueBegin + qint64(ref->rawValue.size());
                        m_dimensionValid = parseRef(ref->rawValue, &m_dimension);
                    }
                } else if (t.localName() == "sheetProtection") {
                    m_protected = isTrue(t.attribute("sheet"));
                } else if (t.localName() == "cols") {
                    inCols = true;
                }
                continue;
            }
            if (inCols && d == 3 && t.is(ns, "col")) {
                quint32 first = 0, last = 0, style = 0;
                const XmlAttribute *s = t.attribute("style");
                if (s && readNumber(s->rawValue, 0xFFFFFFFFu, &style) && style != 0
                    && readNumber(t.attribute("min") ? t.attribute("min")->rawValue : std::string_view(), 16384, &first)
                    && readNumber(t.attribute("max") ? t.attribute("max")->rawValue : std::string_view(), 16384, &last)
                    && first >= 1 && first <= last)
                    m_columnStyles.push_back({int(first), int(last), style});
                continue;
            }
            if (!inSheetData)
                continue;
            if (d == 3) {
                if (!t.is(ns, "row"))
                    continue;
                inRow = true;
                row = RowRecord{};
                QString why;
                if (!readRowAttributes(t.attribute("r"), t.attribute("spans"), t.attribute("customFormat"), t.attribute("s"),
                                       prevRow, &row, &why))
                    return bad(why, t.tokenBegin());
                if (!m_rows.empty() && row.row <= prevRow)
                    m_rowsOrdered = false;
                prevRow = row.row;
                prevCol = 0;
                row.begin = quint32(t.tokenBegin());
                row.startTagEnd = quint32(t.tokenEnd());
                row.selfClosing = t.isSelfClosing();
                row.firstCell = quint32(m_cells.size());
                continue;
            }
            if (d == 4) {
                if (!inRow || !t.is(ns, "c"))
                    continue;
                inCell = true;
                child = NoChild;
                cell = CellRecord{};
                inlineTexts = 0;
                cell.row = row.row;
                quint32 col = prevCol + 1;
                if (const XmlAttribute *ra = t.attribute("r")) {
                    int rr, cc;
                    if (!parseCellName(ra->rawValue.data(), int(ra->rawValue.size()), &rr, &cc))
                        return bad(QCoreApplication::translate("Xlsx", "bad cell reference %1").arg(viewText(ra->rawValue)), t.tokenBegin());
                    if (quint32(rr) != row.row)
                        return bad(QCoreApplication::translate("Xlsx", "cell %1 lies outside its row %2").arg(viewText(ra->rawValue)).arg(row.row),
                                   t.tokenBegin());
                    col = quint32(cc);
                }
                if (col > quint32(OoxmlGrid.columns))
                    return bad(QCoreApplication::translate("Xlsx", "cell beyond the last column of a sheet"), t.tokenBegin());
                if (col <= prevCol)
                    m_cellsOrdered = false;
                prevCol = col;
                cell.column = quint16(col);
                const XmlAttribute *ta = t.attribute("t");
                cell.type = cellTypeOf(ta ? ta->rawValue : std::string_view());
                if (const XmlAttribute *s = t.attribute("s")) {
                    if (!readNumber(s->rawValue, 0xFFFFFFFFu, &cell.style))
                        return bad(QCoreApplication::translate("Xlsx", "bad style index"), t.tokenBegin());
                }
                cell.begin = quint32(t.tokenBegin());
                cell.scope = scopeFor(t);
                if (cell.scope == 0xFFFF)
                    return bad(QCoreApplication::translate("Xlsx", "too many namespace scopes"), t.tokenBegin());
                continue;
            }
            if (!inCell)
                continue;
            if (d == 5) {
                textBegin = textEnd = -1;
                plainText = true;
                // A cell holds at most one of each; a second one would be
                // read by nobody the same way.
                if ((t.is(ns, "f") && cell.formula != FormulaKind::None) || (t.is(ns, "v") && (cell.flags & HasValue))
                    || (t.is(ns, "is") && (cell.flags & HasInline)))
                    return bad(QCoreApplication::translate("Xlsx", "cell %1 has two <%2> elements")
                                   .arg(cellName(int(cell.row), cell.column), viewText(t.localName())),
                               t.tokenBegin());
                if (t.is(ns, "f")) {
                    child = FormulaChild;
                    if (!t.isSelfClosing())
                        textBegin = t.tokenEnd();
                    const XmlAttribute *ft = t.attribute("t");
                    cell.formula = formulaKindOf(ft ? ft->rawValue : std::string_view());
                    const XmlAttribute *ref = t.attribute("ref");
                    const quint32 index = quint32(m_cells.size());
                    if (cell.formula == FormulaKind::Shared) {
                        quint32 si;
                        const XmlAttribute *sia = t.attribute("si");
                        if (!sia || !readNumber(sia->rawValue, 0xFFFFFFFFu, &si))
                            return bad(QCoreApplication::translate("Xlsx", "shared formula without its index"), t.tokenBegin());
                        if (ref) {
                            if (!m_sharedMasters.contains(si))
                                m_sharedMasters.insert(si, index);
                        } else {
                            m_sharedMembers.emplace_back(si, index);
                            cell.flags |= MemberIndex;
                            cell.formulaOffset = quint16(si >> 16);
                            cell.formulaLength = quint16(si & 0xFFFF);
                        }
                    } else if ((cell.formula == FormulaKind::Array || cell.formula == FormulaKind::DataTable) && ref) {
                        CellArea area;
                        if (!parseRef(ref->rawValue, &area))
                            return bad(QCoreApplication::translate("Xlsx", "bad formula range %1").arg(viewText(ref->rawValue)), t.tokenBegin());
                        m_arrays.push_back({area, index});
                    }
                } else if (t.is(ns, "v")) {
                    child = ValueChild;
                    cell.flags |= HasValue | PlainValue;
                    cell.valueBegin = cell.valueEnd = quint32(t.tokenEnd());
                } else if (t.is(ns, "is")) {
                    child = InlineChild;
                    cell.flags |= HasInline;
                } else {
                    child = OtherChild;
                }
            } else if (child == ValueChild) {
                cell.flags &= ~PlainValue;
            } else if (child == InlineChild) {
                if (d == 6 && t.is(ns, "t") && ++inlineTexts == 1 && !t.isSelfClosing())
                    textBegin = t.tokenEnd();
                else
                    plainText = false;
            } else if (child == FormulaChild) {
                plainText = false;
            }
            continue;
        }
        if (tok == XmlTokenizer::EndElement) {
            if (d == 6 && inCell && child == InlineChild && t.is(ns, "t") && textBegin >= 0 && textEnd < 0) {
                textEnd = t.tokenBegin();
            } else if (d == 5 && inCell) {
                if (child == ValueChild) {
                    cell.valueEnd = quint32(t.tokenBegin());
                } else if (child == FormulaChild && plainText && textBegin >= 0 && !(cell.flags & MemberIndex)) {
                    const qint64 offset = textBegin - cell.begin, length = t.tokenBegin() - textBegin;
                    if (offset <= 0xFFFF && length <= 0xFFFF) {
                        cell.flags |= FormulaText;
                        cell.formulaOffset = quint16(offset);
                        cell.formulaLength = quint16(length);
                    }
                } else if (child == InlineChild && plainText && inlineTexts <= 1 && !(cell.flags & HasValue)) {
                    cell.flags |= PlainInline;
                    cell.valueBegin = quint32(textBegin < 0 ? t.tokenBegin() : textBegin);
                    cell.valueEnd = quint32(textBegin < 0 ? t.tokenBegin() : textEnd);
                }
                child = NoChild;
            } else if (d == 4 && inCell) {
                inCell = false;
                cell.end = quint32(t.tokenEnd());
                m_cells.push_back(cell);
                if (m_cells.size() >= 0x7FFFFFFF)
                    return bad(QCoreApplication::translate("Xlsx", "too many cells"), t.tokenBegin());
            } else if (d == 3 && inRow) {
                inRow = false;
                row.endTagBegin = quint32(t.tokenBegin());
                row.end = quint32(t.tokenEnd());
                row.cellCount = quint32(m_cells.size()) - row.firstCell;
                m_rows.push_back(row);
            } else if (d == 2 && inSheetData && t.is(ns, "sheetData")) {
                inSheetData = false;
                m_sheetDataEndTagBegin = t.tokenBegin();
                m_sheetDataEnd = t.tokenEnd();
            } else if (d == 2 && inCols) {
                inCols = false;
            }
            continue;
        }
        if (inCell && tok != XmlTokenizer::Characters) {
            if (child == ValueChild)
                cell.flags &= ~PlainValue;
            else
                plainText = false;
        }
    }
    m_originalCells = quint32(m_cells.size());
    if (!m_rowsOrdered)
        m_cellsOrdered = false;
    if (!m_cellsOrdered) {
        m_order.resize(m_cells.size());
        for (size_t i = 0; i < m_order.size(); ++i)
            m_order[i] = quint32(i);
        std::stable_sort(m_order.begin(), m_order.end(), [this](quint32 a, quint32 b) {
            return key(m_cells[a].row, m_cells[a].column) < key(m_cells[b].row, m_cells[b].column);
        });
    }
    return markArrayRanges(error);
}

// Flags the cells of array and data-table ranges other than the anchor.
// Ranges do not overlap in a sound file, so the work stays within the
// number of cells; a file whose ranges pile up is refused rather than
// searched for a very long time.
bool WorksheetPart::markArrayRanges(QString *error)
{
    if (m_arrays.empty())
        return true;
    quint64 budget = quint64(m_cells.size()) * 2 + m_rows.size() + 4096;
    const auto at = [this](quint32 k) -> const CellRecord & { return m_cells[m_cellsOrdered ? k : m_order[k]]; };
    const quint32 n = m_originalCells;
    for (const ArrayRange &a : m_arrays) {
        // First cell at or after (firstRow, firstColumn).
        auto lower = [&](quint32 r, quint32 c) {
            quint32 lo = 0, hi = n;
            const quint64 k = key(r, c);
            while (lo < hi) {
                const quint32 mid = lo + (hi - lo) / 2;
                if (key(at(mid).row, at(mid).column) < k)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return lo;
        };
        quint32 k = lower(quint32(a.area.firstRow), quint32(a.area.firstColumn));
        while (k < n) {
            const CellRecord &c = at(k);
            if (c.row > quint32(a.area.lastRow))
                break;
            if (budget-- == 0) {
                *error = partError(m_partName, QCoreApplication::translate("Xlsx", "array formula ranges overlap"));
                return false;
            }
            if (c.column > quint32(a.area.lastColumn)) {
                k = lower(c.row + 1, quint32(a.area.firstColumn));
                continue;
            }
            if (c.column < quint32(a.area.firstColumn)) {
                k = lower(c.row, quint32(a.area.firstColumn));
                continue;
            }
            const quint32 index = m_cellsOrdered ? k : m_order[k];
            if (index != a.anchor)
                m_cells[index].flags |= InArrayRange;
            ++k;
        }
    }
    return true;
}

int WorksheetPart::findCell(int row, int column) const
{
    const quint64 k = key(quint32(row), quint32(column));
    quint32 lo = 0, hi = m_originalCells;
    while (lo < hi) {
        const quint32 mid = lo + (hi - lo) / 2;
        const CellRecord &c = m_cells[m_cellsOrdered ? mid : m_order[mid]];
        if (key(c.row, c.column) < k)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < m_originalCells) {
        const quint32 index = m_cellsOrdered ? lo : m_order[lo];
        if (key(m_cells[index].row, m_cells[index].column) == k)
            return int(index);
    }
    auto it = m_newCells.constFind(k);
    return it == m_newCells.constEnd() ? -1 : int(it.value());
}

int WorksheetPart::rowIndexOf(quint32 row) const
{
    auto it = std::lower_bound(m_rows.begin(), m_rows.end(), row,
                               [](const RowRecord &r, quint32 v) { return r.row < v; });
    return it != m_rows.end() && it->row == row ? int(it - m_rows.begin()) : -1;
}

QByteArray WorksheetPart::editedElement(const CellRecord &r, QByteArray *buffer) const
{
    const Edit &e = m_edits[r.edit - 1];
    if (e.length != MovedElement)
        return QByteArray::fromRawData(m_arena.constData() + e.begin, int(e.length));
    const MoveRecord &m = m_moves[e.begin];
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, m.move.to).ptr;
    buffer->clear();
    buffer->append(m_xml.constData() + r.begin, int(m.valueBegin - r.begin));
    buffer->append(digits, int(end - digits));
    buffer->append(m_xml.constData() + m.valueEnd, int(r.end - m.valueEnd));
    return *buffer;
}

bool WorksheetPart::cellContent(int index, CellContent *content, QString *error) const
{
    const CellRecord &r = m_cells[size_t(index)];
    const XmlScope *scope = r.scope < m_scopes.size() ? &m_scopes[r.scope] : nullptr;
    bool ok;
    if (r.edit) {
        QByteArray buffer;
        const QByteArray element = editedElement(r, &buffer);
        ok = parseCellElement(element.constData(), quint32(element.size()), scope, m_ns, content, error);
    } else {
        ok = parseCellElement(m_xml.constData() + r.begin, r.end - r.begin, scope, m_ns, content, error);
    }
    if (!ok)
        *error = where(r) + *error;
    return ok;
}

bool WorksheetPart::usedArea(CellArea *area) const
{
    bool any = false;
    CellArea a{};
    for (const CellRecord &c : m_cells) {
        const bool used = c.style != 0 || c.formula != FormulaKind::None || (c.flags & HasInline)
                          || ((c.flags & HasValue) && c.valueEnd > c.valueBegin);
        if (!used)
            continue;
        const int r = int(c.row), col = c.column;
        if (!any) {
            a = {r, col, r, col};
            any = true;
            continue;
        }
        a.firstRow = qMin(a.firstRow, r);
        a.lastRow = qMax(a.lastRow, r);
        a.firstColumn = qMin(a.firstColumn, col);
        a.lastColumn = qMax(a.lastColumn, col);
    }
    if (any)
        *area = a;
    return any;
}

quint32 WorksheetPart::newCellStyle(int row, int column) const
{
    const int r = rowIndexOf(quint32(row));
    if (r >= 0 && m_rows[size_t(r)].style)
        return m_rows[size_t(r)].style;
    for (const ColumnStyle &c : m_columnStyles)
        if (column >= c.first && column <= c.last)
            return c.style;
    return 0;
}

} // namespace Xlsx
} // namespace Excel
