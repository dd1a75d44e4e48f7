// Reading the common cells of a sheet straight from their bytes. Most of a
// worksheet is <c> elements in a few fixed shapes; taking each of them token
// by token costs several times what the bytes do. A cell in one of these
// shapes is read here, checked as strictly as the tokenizer would, and
// recorded as the token path records it:
//
//   <c a="…" …/>   <c a="…" …>children</c>
//   children: each at most once, in any order, with nothing between them:
//     <v>text</v>
//     <f a="…" …>text</f> or <f a="…" …/>, an ordinary formula (no t, ref, si)
//     <is><t>text</t></is>, <t> perhaps with xml:space="…"
//
// and whole rows of such cells: <row a="…" …>cells</row> or <row …/>, white
// space allowed between the cells, attributes of the row perhaps prefixed.
//
// Names are unprefixed, one space goes before each attribute, values hold
// neither '<' nor '&', text holds no '&'. Anything else, including what is
// wrong, is left to the tokenizer, which reads it (or reports it) as ever.

#include "xlsx/parts/worksheetpart.h"
#include "xlsx/xml/bytescan.h"

#include <cstring>
#include <new>
#include <type_traits>

namespace Excel {
namespace Xlsx {

namespace {

// Plain pointers and sizes, so that an array of them costs nothing until
// it is filled.
struct Attribute
{
    const char *nameData;
    size_t nameSize;
    const char *valueData;
    size_t valueSize;

    std::string_view name() const { return std::string_view(nameData, nameSize); }
    std::string_view value() const { return std::string_view(valueData, valueSize); }
};

// Names as the tokenizer reads them, without a prefix.
bool isNameStart(unsigned char c)
{
    return c != ':' && isXmlNameStart(c);
}

bool isNameChar(unsigned char c)
{
    return c != ':' && isXmlNameChar(c);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class CellBytes
{
public:
    CellBytes(const char *data, qint64 size) : m_data(data), m_end(data + size) {}

    const char *at(qint64 pos) const { return m_data + pos; }
    qint64 offset(const char *p) const { return p - m_data; }

    // p at "<name"; reads the attributes of the start tag up to '>' or
    // "/>". allowXmlSpace: xml:space is the one prefixed name allowed.
    template<size_t N>
    bool startTag(const char **p, const char (&name)[N], Attribute *attrs, int *count, int max, bool *selfClosing,
                  bool allowXmlSpace = false) const
    {
        const char *q = *p;
        if (size_t(m_end - q) < N || *q != '<' || std::memcmp(q + 1, name, N - 1) != 0)
            return false;
        q += N;
        *count = 0;
        for (;;) {
            if (q >= m_end)
                return false;
            if (*q == '>') {
                *selfClosing = false;
                *p = q + 1;
                return true;
            }
            if (*q == '/') {
                if (q + 1 >= m_end || q[1] != '>')
                    return false;
                *selfClosing = true;
                *p = q + 2;
                return true;
            }
            if (*q != ' ' || *count == max)
                return false;
            ++q;
            const char *n = q;
            if (allowXmlSpace && startsWith(q, "xml:space")) {
                q += 9;
            } else {
                if (q >= m_end || !isNameStart(uchar(*q)))
                    return false;
                while (q < m_end && isNameChar(uchar(*q)))
                    ++q;
            }
            const std::string_view an(n, size_t(q - n));
            if (an.size() >= 5 && std::memcmp(n, "xmlns", 5) == 0) // declares a namespace
                return false;
            if (m_end - q < 2 || q[0] != '=' || q[1] != '"')
                return false;
            q += 2;
            const char *v = q;
            q = findAnyOf(q, m_end, '"', '<', '&');
            if (q >= m_end || *q != '"')
                return false;
            for (int i = 0; i < *count; ++i)
                if (attrs[i].name() == an)
                    return false; // the tokenizer reports it
            attrs[(*count)++] = {an.data(), an.size(), v, size_t(q - v)};
            ++q;
        }
    }

    // Character data up to the next '<': none may be '&'.
    bool text(const char **p) const
    {
        const char *q = *p;
        q = findEitherOf(q, m_end, '<', '&');
        *p = q;
        return q < m_end && *q == '<';
    }

    template<size_t N>
    bool literal(const char **p, const char (&s)[N]) const
    {
        if (!startsWith(*p, s))
            return false;
        *p += N - 1;
        return true;
    }

    template<size_t N>
    bool startsWith(const char *p, const char (&s)[N]) const
    {
        return size_t(m_end - p) >= N - 1 && std::memcmp(p, s, N - 1) == 0;
    }

private:
    const char *m_data;
    const char *m_end;
};

template<size_t N>
std::string_view valueOf(const Attribute *attrs, int count, const char (&name)[N], bool *present)
{
    for (int i = 0; i < count; ++i) {
        if (attrs[i].nameSize == N - 1 && std::memcmp(attrs[i].nameData, name, N - 1) == 0) {
            *present = true;
            return attrs[i].value();
        }
    }
    *present = false;
    return std::string_view();
}

} // namespace

bool WorksheetPart::scanPlainCell(XmlTokenizer &t, qint64 at, const RowRecord &row, quint32 *prevCol)
{
    const CellBytes b(m_xml.constData(), m_xml.size());
    const char *p = b.at(at);
    if (!b.startsWith(p, "<c ") && !b.startsWith(p, "<c>") && !b.startsWith(p, "<c/"))
        return false;
    if (m_cells.size() + 1 >= 0x7FFFFFFF)
        return false;
    constexpr int MaxAttributes = 8;
    Attribute attrs[MaxAttributes];
    int count;
    bool selfClosing;
    if (!b.startTag(&p, "c", attrs, &count, MaxAttributes, &selfClosing))
        return false;

    CellRecord cell{};
    cell.row = row.row;
    quint32 col = *prevCol + 1;
    bool present;
    const std::string_view r = valueOf(attrs, count, "r", &present);
    if (present) {
        int rr, cc;
        if (!parseCellName(r.data(), int(r.size()), &rr, &cc) || quint32(rr) != row.row)
            return false;
        col = quint32(cc);
    }
    if (col > quint32(OoxmlGrid.columns))
        return false;
    cell.column = quint16(col);
    cell.type = cellTypeOf(valueOf(attrs, count, "t", &present));
    const std::string_view s = valueOf(attrs, count, "s", &present);
    if (present && !readNumber(s, 0xFFFFFFFFu, &cell.style))
        return false;
    cell.begin = quint32(at);

    if (!selfClosing) {
        for (;;) {
            if (b.literal(&p, "</c>"))
                break;
            if (b.startsWith(p, "<v>")) {
                if (cell.flags & HasValue)
                    return false;
                p += 3;
                cell.flags |= HasValue | PlainValue;
                cell.valueBegin = quint32(b.offset(p));
                if (!b.text(&p))
                    return false;
                cell.valueEnd = quint32(b.offset(p));
                if (!b.literal(&p, "</v>"))
                    return false;
            } else if (b.startsWith(p, "<f ") || b.startsWith(p, "<f>") || b.startsWith(p, "<f/")) {
                if (cell.formula != FormulaKind::None)
                    return false;
                Attribute fattrs[MaxAttributes];
                int fcount;
                bool fclosed;
                if (!b.startTag(&p, "f", fattrs, &fcount, MaxAttributes, &fclosed))
                    return false;
                bool t1, t2, t3;
                valueOf(fattrs, fcount, "t", &t1);
                valueOf(fattrs, fcount, "ref", &t2);
                valueOf(fattrs, fcount, "si", &t3);
                if (t1 || t2 || t3)
                    return false; // shared, array and data-table formulas: the token path
                cell.formula = FormulaKind::Normal;
                if (!fclosed) {
                    const qint64 textBegin = b.offset(p);
                    if (!b.text(&p))
                        return false;
                    const qint64 offset = textBegin - at, length = b.offset(p) - textBegin;
                    if (!b.literal(&p, "</f>"))
                        return false;
                    if (offset <= 0xFFFF && length <= 0xFFFF) {
                        cell.flags |= FormulaText;
                        cell.formulaOffset = quint16(offset);
                        cell.formulaLength = quint16(length);
                    }
                }
            } else if (b.startsWith(p, "<is><t")) {
                if (cell.flags & HasInline)
                    return false;
                p += 4;
                Attribute tattrs[2];
                int tcount;
                bool tclosed;
                if (!b.startTag(&p, "t", tattrs, &tcount, 1, &tclosed, true) || tclosed)
                    return false;
                const qint64 textBegin = b.offset(p);
                if (!b.text(&p))
                    return false;
                const qint64 textEnd = b.offset(p);
                if (!b.literal(&p, "</t></is>"))
                    return false;
                cell.flags |= HasInline;
                if (!(cell.flags & HasValue)) {
                    cell.flags |= PlainInline;
                    cell.valueBegin = quint32(textBegin);
                    cell.valueEnd = quint32(textEnd);
                }
            } else {
                return false;
            }
        }
    }
    // Only now, with the whole element read, does anything change.
    cell.scope = scopeFor(t);
    if (cell.scope == 0xFFFF)
        return false;
    if (col <= *prevCol)
        m_cellsOrdered = false;
    *prevCol = col;
    cell.end = quint32(b.offset(p));
    m_cells.push_back(cell);
    t.skipElement(b.offset(p));
    return true;
}

bool WorksheetPart::scanPlainRow(XmlTokenizer &t, qint64 at, quint32 *prevRow)
{
    const char *data = m_xml.constData(), *end = data + m_xml.size();
    const CellBytes b(data, m_xml.size());
    const char *p = data + at;
    while (p < end && isSpace(*p))
        ++p;
    const char *begin = p;
    if (end - p < 5 || std::memcmp(p, "<row", 4) != 0 || (p[4] != ' ' && p[4] != '>' && p[4] != '/'))
        return false;
    p += 4;
    constexpr int MaxAttributes = 16;
    // Slots that cost nothing until an attribute is read into one.
    union Slot {
        Slot() {}
        XmlAttribute a;
    };
    static_assert(std::is_trivially_destructible<XmlAttribute>::value, "the slots are never destroyed");
    Slot slots[MaxAttributes];
    int count = 0;
    bool selfClosing;
    for (;;) {
        if (p >= end)
            return false;
        if (*p == '>') {
            ++p;
            selfClosing = false;
            break;
        }
        if (*p == '/') {
            if (p + 1 >= end || p[1] != '>')
                return false;
            p += 2;
            selfClosing = true;
            break;
        }
        if (*p != ' ' || count == MaxAttributes)
            return false;
        const char *n = ++p;
        if (p >= end || !isNameStart(uchar(*p)))
            return false;
        while (p < end && isNameChar(uchar(*p)))
            ++p;
        std::string_view prefix, local(n, size_t(p - n));
        if (p < end && *p == ':') {
            prefix = local;
            const char *l = ++p;
            if (p >= end || !isNameStart(uchar(*p)))
                return false;
            while (p < end && isNameChar(uchar(*p)))
                ++p;
            local = std::string_view(l, size_t(p - l));
        }
        if (prefix == "xmlns" || (prefix.empty() && local.substr(0, 5) == "xmlns"))
            return false; // declares a namespace
        const int ns = prefix.empty() ? int(NsNone) : t.prefixNamespace(prefix);
        if (ns < 0 || end - p < 2 || p[0] != '=' || p[1] != '"')
            return false;
        p += 2;
        const char *v = p;
        p = findAnyOf(p, end, '"', '<', '&');
        if (p >= end || *p != '"')
            return false;
        for (int i = 0; i < count; ++i)
            if (slots[i].a.ns == ns && slots[i].a.localName == local)
                return false; // the tokenizer reports it
        XmlAttribute &a = *new (&slots[count++].a) XmlAttribute;
        a.ns = ns;
        a.localName = local;
        a.rawValue = std::string_view(v, size_t(p - v));
        a.valueBegin = v - data;
        a.begin = n - data;
        a.end = p + 1 - data;
        ++p;
    }
    const auto find = [&](std::string_view name) -> const XmlAttribute * {
        for (int i = 0; i < count; ++i)
            if (slots[i].a.ns == NsNone && slots[i].a.localName == name)
                return &slots[i].a;
        return nullptr;
    };
    RowRecord row{};
    QString why; // the token path reports it
    if (!readRowAttributes(find("r"), find("spans"), find("customFormat"), find("s"), *prevRow, &row, &why))
        return false;
    const quint32 r = row.row;
    row.begin = quint32(begin - data);
    row.startTagEnd = quint32(p - data);
    row.selfClosing = selfClosing;
    row.firstCell = quint32(m_cells.size());

    if (selfClosing) {
        row.endTagBegin = row.end = row.startTagEnd;
    } else {
        const bool cellsOrdered = m_cellsOrdered;
        const auto undo = [&] {
            m_cells.resize(row.firstCell);
            m_cellsOrdered = cellsOrdered;
            t.skipElement(at);
            return false;
        };
        quint32 prevCol = 0;
        for (;;) {
            while (p < end && isSpace(*p))
                ++p;
            if (b.startsWith(p, "</row>")) {
                row.endTagBegin = quint32(p - data);
                p += 6;
                row.end = quint32(p - data);
                break;
            }
            if (!scanPlainCell(t, p - data, row, &prevCol))
                return undo();
            p = data + t.nextTokenAt();
        }
    }
    if (!m_rows.empty() && r <= *prevRow)
        m_rowsOrdered = false;
    *prevRow = r;
    row.cellCount = quint32(m_cells.size()) - row.firstCell;
    m_rows.push_back(row);
    t.skipElement(row.end);
    return true;
}

} // namespace Xlsx
} // namespace Excel
