// Storing a changed cell, for the replace and for setValue: the cell's new
// value and element, the record of the edit, and a shared formula group
// dissolved when its master changes; and setValue, one value written into
// every cell of some areas.

#include "xlsx/parts/worksheetpart.h"

#include "xlsx/formula/formulatext.h"
#include "xlsx/formula/formulatranslate.h"

#include "cellrules/cellvalue.h"

#include <QCoreApplication>

#include <algorithm>

namespace Excel {
namespace Xlsx {

namespace {

bool intersects(const CellArea &a, const CellArea &b)
{
    return a.firstRow <= b.lastRow && b.firstRow <= a.lastRow && a.firstColumn <= b.lastColumn
           && b.firstColumn <= a.lastColumn;
}

void dropAttributes(QVector<RawAttribute> *attrs, std::initializer_list<const char *> names)
{
    attrs->erase(std::remove_if(attrs->begin(), attrs->end(),
                                [&](const RawAttribute &a) {
                                    for (const char *n : names)
                                        if (a.qualifiedName == n)
                                            return true;
                                    return false;
                                }),
                 attrs->end());
}

} // namespace

void WorksheetPart::setText(CellContent &c, const QString &text, const RichText *rich)
{
    // An inline string stays inline; other cells use the shared strings
    // when the package has them.
    SharedStrings *table = m_book->sharedStrings;
    if (table && c.type != CellType::InlineString) {
        const bool plain = !rich || (rich->isPlain() && rich->phoneticProperties.isEmpty());
        const quint32 index = plain ? table->appendPlain(text) : table->append(*rich);
        c.type = CellType::SharedString;
        c.hasValue = true;
        c.value = QString::number(index);
        c.hasInline = false;
        return;
    }
    c.type = CellType::InlineString;
    c.hasInline = true;
    c.inlineText = rich ? *rich : RichText::fromPlain(text);
    c.hasValue = false;
    c.value.clear();
}

bool WorksheetPart::applyValue(int index, CellContent &c, const CellValue &value, const RichText *rich, QString *error)
{
    CellContent after = c;
    after.dropValueMetadata = true;
    after.hasValue = false;
    after.value.clear();
    const bool wasInline = c.type == CellType::InlineString && c.hasInline && !c.hasFormula;
    after.hasInline = false;
    after.inlineText = RichText();
    if (value.kind != ValueKind::Formula && after.hasFormula) {
        after.hasFormula = false;
        after.formula = CellFormula();
        after.dropCellMetadata = true;
    }
    switch (value.kind) {
    case ValueKind::Empty:
        after.type = CellType::Number;
        break;
    case ValueKind::Number:
        after.type = CellType::Number;
        after.hasValue = true;
        after.value = storedNumberText(value.number);
        break;
    case ValueKind::Boolean:
        after.type = CellType::Boolean;
        after.hasValue = true;
        after.value = value.boolean ? QStringLiteral("1") : QStringLiteral("0");
        break;
    case ValueKind::Text:
        after.type = wasInline ? CellType::InlineString : CellType::Number;
        setText(after, value.text, rich);
        break;
    case ValueKind::Formula: {
        QString stored, why;
        if (!storedFormula(value.text, m_book->sheetNames, &stored, &why)) {
            *error = where(m_cells[size_t(index)]) + why;
            return false;
        }
        // The cached result goes with the old formula text.
        after.type = CellType::Number;
        if (c.hasFormula && c.formula.kind == FormulaKind::Array) {
            after.formula.text = stored; // an array anchor keeps t and ref
        } else {
            after.dropCellMetadata = true;
            after.hasFormula = true;
            after.formula.kind = FormulaKind::Normal;
            after.formula.text = stored;
            dropAttributes(&after.formula.attributes, {"t", "si", "ref"});
        }
        break;
    }
    }
    return commit(index, c, after, true, error);
}

bool WorksheetPart::commit(int index, const CellContent &before, CellContent &after, bool userChange, QString *error)
{
    CellRecord &r = m_cells[size_t(index)];
    if (userChange && m_protected && m_book->styles->isLocked(r.style)) {
        *error = where(r) + QCoreApplication::translate("Xlsx", "the cell is locked on a protected sheet");
        return false;
    }
    const bool stillMaster = after.isSharedMaster() && after.formula.text == before.formula.text;
    if (before.isSharedMaster() && !stillMaster && !dissolveSharedGroup(index, before, error))
        return false;
    auto usesTable = [](const CellContent &c) {
        return !c.hasFormula && c.type == CellType::SharedString && c.hasValue;
    };
    if (m_book->sharedStrings)
        m_book->sharedStrings->countReference(int(usesTable(after)) - int(usesTable(before)));
    if (userChange)
        m_book->valueChanged = true;
    if (after.hasFormula && (!before.hasFormula || after.formula.text != before.formula.text))
        m_book->formulaChanged = true;
    if (before.hasFormula && !after.hasFormula)
        m_book->formulaRemoved = true;

    const quint8 content = quint8((after.hasValue ? HasValue : 0) | (after.hasInline ? HasInline : 0));
    if (!storeEdit(index, writeCellElement(after), userChange, after.type,
                   after.hasFormula ? after.formula.kind : FormulaKind::None, content,
                   after.hasValue && !after.value.isEmpty())) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "too many changes"));
        return false;
    }
    return true;
}

bool WorksheetPart::storeEdit(int index, const QByteArray &element, bool userChange, CellType type,
                              FormulaKind formula, quint8 content, bool valueNotEmpty)
{
    if (qint64(m_arena.size()) + element.size() >= 0x7FFFFFFF)
        return false;
    const Edit edit{quint32(m_arena.size()), quint32(element.size())};
    m_arena += element;
    recordEdit(index, edit, userChange, type, formula, content, valueNotEmpty);
    return true;
}

void WorksheetPart::recordEdit(int index, const Edit &edit, bool userChange, CellType type, FormulaKind formula,
                               quint8 content, bool valueNotEmpty)
{
    m_edits.push_back(edit);
    ++m_book->edits;
    if (userChange) {
        if (m_counted.size() <= size_t(index))
            m_counted.resize(m_cells.size(), false);
        if (!m_counted[size_t(index)]) {
            m_counted[size_t(index)] = true;
            ++m_book->changedCells;
        }
    }
    CellRecord &r = m_cells[size_t(index)];
    r.edit = quint32(m_edits.size());
    r.type = type;
    r.formula = formula;
    r.flags &= quint8(~(HasValue | PlainValue | HasInline | PlainInline | FormulaText | MemberIndex));
    r.flags |= content;
    // The used range only asks whether the value is empty.
    r.valueBegin = 0;
    r.valueEnd = valueNotEmpty ? 1 : 0;
}

// The master of a shared formula changes: every other member gets its
// translated text as an ordinary formula, so that it keeps computing what
// it did. Their cached values stay valid.
bool WorksheetPart::dissolveSharedGroup(int masterIndex, const CellContent &master, QString *error)
{
    bool ok = false;
    const quint32 si = master.formula.sharedIndex.toUInt(&ok);
    if (!ok)
        return true;
    if (m_sharedMasters.value(si, ~0u) != quint32(masterIndex))
        return true;
    if (!m_membersSorted) {
        std::sort(m_sharedMembers.begin(), m_sharedMembers.end());
        m_membersSorted = true;
    }
    const CellRecord &mr = m_cells[size_t(masterIndex)];
    const quint32 masterRow = mr.row, masterColumn = mr.column;
    m_dissolvedMasters.insert(si, quint32(masterIndex)); // what the members said as read
    m_sharedMasters.remove(si);
    m_sharedText.remove(si);
    auto range = std::equal_range(m_sharedMembers.begin(), m_sharedMembers.end(), std::make_pair(si, 0u),
                                  [](const std::pair<quint32, quint32> &a, const std::pair<quint32, quint32> &b) {
                                      return a.first < b.first;
                                  });
    for (auto it = range.first; it != range.second; ++it) {
        const int member = int(it->second);
        CellContent c;
        if (!cellContent(member, &c, error))
            return false;
        if (!c.isSharedMember() || c.formula.sharedIndex.toUInt() != si)
            continue; // it left the group already
        CellContent after = c;
        const CellRecord &r = m_cells[size_t(member)];
        after.formula.kind = FormulaKind::Normal;
        after.formula.text = translateFormula(master.formula.text, int(r.row) - int(masterRow),
                                              int(r.column) - int(masterColumn));
        dropAttributes(&after.formula.attributes, {"t", "si", "ref"});
        if (!commit(member, c, after, false, error))
            return false;
    }
    return true;
}

bool WorksheetPart::setValue(const QVector<CellArea> &areas, const QString &text, QString *error)
{
    for (const CellArea &a : areas) {
        for (const ArrayRange &ar : m_arrays) {
            if (intersects(a, ar.area)) {
                *error = partError(m_partName, QCoreApplication::translate("Xlsx", "%1: a value cannot be written into an array or data-table formula range")
                                                   .arg(cellName(ar.area.firstRow, ar.area.firstColumn)
                                                        + QLatin1Char(':') + cellName(ar.area.lastRow, ar.area.lastColumn)));
                return false;
            }
        }
    }
    // The same text read as typed, once for text-formatted cells and once
    // for the others.
    const RetypeResult typed = typedInput(text, false);
    const RetypeResult typedAsText = typedInput(text, true);
    const StylesPart &styles = *m_book->styles;
    for (const CellArea &a : areas) {
        for (int row = a.firstRow; row <= a.lastRow; ++row) {
            for (int column = a.firstColumn; column <= a.lastColumn; ++column) {
                const int index = findCell(row, column);
                if (index >= 0) {
                    CellContent c;
                    if (!cellContent(index, &c, error))
                        return false;
                    const RetypeResult &t = styles.isTextFormat(c.style) ? typedAsText : typed;
                    if (!t.ok) {
                        *error = where(m_cells[size_t(index)]) + t.error;
                        return false;
                    }
                    if (t.value.kind == ValueKind::Empty && !c.hasFormula && !c.hasValue && !c.hasInline)
                        continue; // nothing to clear
                    if (!applyValue(index, c, t.value, nullptr, error))
                        return false;
                    continue;
                }
                if (text.isEmpty())
                    continue;
                const quint32 style = newCellStyle(row, column);
                const RetypeResult &t = styles.isTextFormat(style) ? typedAsText : typed;
                if (!t.ok) {
                    *error = partError(m_partName, cellName(row, column) + QStringLiteral(": ") + t.error);
                    return false;
                }
                if (m_sheetDataBegin < 0) {
                    *error = partError(m_partName, QCoreApplication::translate("Xlsx", "the sheet has no sheetData for new cells"));
                    return false;
                }
                if (!m_cellsOrdered) {
                    *error = partError(m_partName, QCoreApplication::translate("Xlsx", "the sheet's rows or cells are out of order; no cell can be added"));
                    return false;
                }
                if (m_cells.size() >= 0x7FFFFFFF) {
                    *error = partError(m_partName, QCoreApplication::translate("Xlsx", "too many cells"));
                    return false;
                }
                CellRecord r{};
                r.row = quint32(row);
                r.column = quint16(column);
                r.type = CellType::Number;
                r.flags = NewCell;
                r.style = style;
                r.scope = m_sheetDataScope;
                m_cells.push_back(r);
                const int created = int(m_cells.size() - 1);
                m_newCells.insert(key(quint32(row), quint32(column)), quint32(created));
                CellContent c = newCellContent(m_sheetDataPrefix, row, column, style);
                if (!applyValue(created, c, t.value, nullptr, error)) {
                    m_newCells.remove(key(quint32(row), quint32(column)));
                    m_cells.pop_back();
                    return false;
                }
            }
        }
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
