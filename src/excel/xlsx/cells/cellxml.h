#pragma once

// One <c> element in full: read from its bytes, changed, written back as a
// new element that keeps everything it does not change (its other
// attributes, an extension list) and the document's own prefix.

#include "xlsx/cells/richtext.h"
#include "xlsx/xml/xmltokenizer.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace Excel {
namespace Xlsx {

enum class CellType : quint8 { Number, SharedString, InlineString, FormulaString, Boolean, Error, Date, Unknown };
enum class FormulaKind : quint8 { None, Normal, Shared, Array, DataTable };

// A plain unsigned decimal attribute value; 0 when it is not one.
quint32 attributeTextToUInt(std::string_view raw);

// The t attribute's value ("" when absent) as a type.
CellType cellTypeOf(std::string_view t);
FormulaKind formulaKindOf(std::string_view t);

struct RawAttribute
{
    QByteArray qualifiedName;
    QByteArray bytes; // name="value" as written
};

struct CellFormula
{
    FormulaKind kind = FormulaKind::None;
    QString text;                       // without the "=", escapes decoded
    QVector<RawAttribute> attributes;   // every attribute, as written
    QString sharedIndex;                // si
    QString ref;
};

struct CellContent
{
    QByteArray prefix;                  // "x:" or empty
    QVector<RawAttribute> attributes;   // of <c>, as written
    CellType type = CellType::Number;
    quint32 style = 0;
    bool hasFormula = false;
    CellFormula formula;
    bool hasValue = false;
    QString value;                      // the <v> text, decoded
    bool hasInline = false;
    RichText inlineText;
    QByteArray tail;                    // children after the value (extLst), as written
    bool dropValueMetadata = false;     // leave out vm (the value changed)
    bool dropCellMetadata = false;      // leave out cm (no longer the same formula)

    bool isSharedMember() const { return hasFormula && formula.kind == FormulaKind::Shared && formula.ref.isEmpty(); }
    bool isSharedMaster() const { return hasFormula && formula.kind == FormulaKind::Shared && !formula.ref.isEmpty(); }
};

// Reads a <c> element (its bytes only, in the scope of its document).
bool parseCellElement(const char *data, qint64 size, const XmlScope *scope, int mainNs, CellContent *cell, QString *error);

// Writes the cell: t from its type, vm and cm unless dropped, the other
// attributes as they were.
QByteArray writeCellElement(const CellContent &cell);

// The <c> of a new cell.
CellContent newCellContent(const QByteArray &prefix, int row, int column, quint32 style);

} // namespace Xlsx
} // namespace Excel
