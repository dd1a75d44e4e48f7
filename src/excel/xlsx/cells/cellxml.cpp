#include "xlsx/cells/cellxml.h"

#include "cellrules/celladdress.h"
#include "xlsx/xml/xmltext.h"

namespace Excel {
namespace Xlsx {

CellType cellTypeOf(std::string_view t)
{
    if (t.empty() || t == "n")
        return CellType::Number;
    if (t == "s")
        return CellType::SharedString;
    if (t == "inlineStr")
        return CellType::InlineString;
    if (t == "str")
        return CellType::FormulaString;
    if (t == "b")
        return CellType::Boolean;
    if (t == "e")
        return CellType::Error;
    if (t == "d")
        return CellType::Date;
    return CellType::Unknown;
}

FormulaKind formulaKindOf(std::string_view t)
{
    if (t.empty() || t == "normal")
        return FormulaKind::Normal;
    if (t == "shared")
        return FormulaKind::Shared;
    if (t == "array")
        return FormulaKind::Array;
    if (t == "dataTable")
        return FormulaKind::DataTable;
    return FormulaKind::Normal;
}

namespace {

const char *typeAttribute(CellType t)
{
    switch (t) {
    case CellType::SharedString: return "s";
    case CellType::InlineString: return "inlineStr";
    case CellType::FormulaString: return "str";
    case CellType::Boolean: return "b";
    case CellType::Error: return "e";
    case CellType::Date: return "d";
    default: return nullptr;
    }
}

QVector<RawAttribute> rawAttributes(const XmlTokenizer &t, const char *data)
{
    QVector<RawAttribute> out;
    out.reserve(int(t.attributes().size()));
    for (const XmlAttribute &a : t.attributes())
        out.append({QByteArray(a.qualifiedName.data(), int(a.qualifiedName.size())),
                    QByteArray(data + a.begin, int(a.end - a.begin))});
    return out;
}

} // namespace

bool parseCellElement(const char *data, qint64 size, const XmlScope *scope, int ns, CellContent *cell, QString *error)
{
    *cell = CellContent();
    XmlTokenizer t(data, size, XmlTokenizer::Fragment, scope);
    enum { Outside, InFormula, InValue, InInline, InTail } where = Outside;
    qint64 childBegin = 0;
    QString text;
    while (t.next() != XmlTokenizer::EndOfDocument) {
        const int depth = t.depth();
        switch (t.token()) {
        case XmlTokenizer::Invalid:
            *error = t.errorString();
            return false;
        case XmlTokenizer::StartElement:
            if (depth == 1) {
                cell->prefix = QByteArray(t.prefix().data(), int(t.prefix().size()));
                if (!cell->prefix.isEmpty())
                    cell->prefix += ':';
                cell->attributes = rawAttributes(t, data);
                const XmlAttribute *ta = t.attribute("t");
                cell->type = cellTypeOf(ta ? ta->rawValue : std::string_view());
                if (const XmlAttribute *s = t.attribute("s"))
                    cell->style = attributeTextToUInt(s->rawValue);
            } else if (depth == 2) {
                childBegin = t.tokenBegin();
                text.clear();
                if (t.is(ns, "f") && !cell->hasFormula) {
                    where = InFormula;
                    cell->hasFormula = true;
                    const XmlAttribute *ft = t.attribute("t");
                    cell->formula.kind = formulaKindOf(ft ? ft->rawValue : std::string_view());
                    cell->formula.attributes = rawAttributes(t, data);
                    if (const XmlAttribute *si = t.attribute("si"))
                        cell->formula.sharedIndex = decodeAttribute(si->rawValue);
                    if (const XmlAttribute *ref = t.attribute("ref"))
                        cell->formula.ref = decodeAttribute(ref->rawValue);
                } else if (t.is(ns, "v") && !cell->hasValue) {
                    where = InValue;
                    cell->hasValue = true;
                } else if (t.is(ns, "is") && !cell->hasInline) {
                    where = InInline;
                    cell->hasInline = true;
                } else {
                    where = InTail;
                }
            }
            break;
        case XmlTokenizer::Characters:
            if (depth == 2 && (where == InFormula || where == InValue))
                text += decodeCharacters(t.text());
            break;
        case XmlTokenizer::CData:
            if (depth == 2 && (where == InFormula || where == InValue))
                text += decodeCData(t.text());
            break;
        case XmlTokenizer::EndElement:
            if (depth != 2)
                break;
            if (where == InFormula) {
                cell->formula.text = decodeExcelEscapes(text);
            } else if (where == InValue) {
                cell->value = decodeExcelEscapes(text);
            } else if (where == InInline) {
                if (!parseRichText(data + childBegin, t.tokenEnd() - childBegin, scope, ns, &cell->inlineText, error))
                    return false;
            } else if (where == InTail) {
                // Anything else (an extension list) is kept, after the value.
                cell->tail += QByteArray(data + childBegin, int(t.tokenEnd() - childBegin));
            }
            where = Outside;
            break;
        default:
            break;
        }
    }
    return true;
}

quint32 attributeTextToUInt(std::string_view raw)
{
    quint64 v = 0;
    for (char c : raw) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + quint64(c - '0');
        if (v > 0xFFFFFFFFu)
            return 0;
    }
    return quint32(v);
}

QByteArray writeCellElement(const CellContent &cell)
{
    QByteArray out;
    out.reserve(64);
    out += '<';
    out += cell.prefix;
    out += 'c';
    for (const RawAttribute &a : cell.attributes) {
        if (a.qualifiedName == "t")
            continue;
        if ((cell.dropValueMetadata && a.qualifiedName == "vm") || (cell.dropCellMetadata && a.qualifiedName == "cm"))
            continue;
        out += ' ';
        out += a.bytes;
    }
    if (const char *t = typeAttribute(cell.type)) {
        out += " t=\"";
        out += t;
        out += '"';
    }
    if (!cell.hasFormula && !cell.hasValue && !cell.hasInline && cell.tail.isEmpty()) {
        out += "/>";
        return out;
    }
    out += '>';
    if (cell.hasFormula) {
        out += '<';
        out += cell.prefix;
        out += 'f';
        for (const RawAttribute &a : cell.formula.attributes) {
            out += ' ';
            out += a.bytes;
        }
        if (cell.formula.text.isEmpty()) {
            out += "/>";
        } else {
            out += '>';
            appendEscapedText(&out, cell.formula.text);
            out += "</";
            out += cell.prefix;
            out += "f>";
        }
    }
    if (cell.hasInline) {
        writeRichText(&out, cell.inlineText, cell.prefix, "is");
    } else if (cell.hasValue) {
        out += '<';
        out += cell.prefix;
        out += "v>";
        appendEscapedText(&out, cell.value);
        out += "</";
        out += cell.prefix;
        out += "v>";
    }
    out += cell.tail;
    out += "</";
    out += cell.prefix;
    out += "c>";
    return out;
}

CellContent newCellContent(const QByteArray &prefix, int row, int column, quint32 style)
{
    CellContent c;
    c.prefix = prefix;
    c.attributes.append({"r", "r=\"" + cellName(row, column).toLatin1() + '"'});
    if (style)
        c.attributes.append({"s", "s=\"" + QByteArray::number(style) + '"'});
    return c;
}

} // namespace Xlsx
} // namespace Excel
