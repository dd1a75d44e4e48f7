// The byte path of a replace: plain text cells (an inline string of one
// plain <t>, a t="str" constant, a shared string's cell, a formula of
// plain text) are searched and rewritten from the bytes the parse found,
// without reading the cell in full. Their new element is exactly what
// writeCellElement would write; a cell whose bytes are not in the form it
// writes takes the full path.

#include "xlsx/parts/worksheetpart.h"
#include "xlsx/cells/partprescan.h"
#include "utf8text.h"

#include "xlsx/formula/formulatext.h"
#include "xlsx/xml/plaintextbytes.h"

#include "cellrules/cellvalue.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace Excel {
namespace Xlsx {

namespace {

// A <c> start tag as writeCellElement writes it.
struct CellTag
{
    std::string_view prefix; // "x:" or empty
    quint32 typeBegin = 0;   // the space before t="…"
    quint32 end = 0;         // past '>'
};

// Attributes one space apart, t="<type>" last, no vm (which a changed value
// drops), nothing before '>'. For a formula (type null) t may be missing
// and hold anything, and there is no cm either (a new formula drops it).
bool readCellTag(const char *x, quint32 begin, quint32 limit, const char *type, CellTag *tag)
{
    const char *p = x + begin, *end = x + limit;
    if (p >= end || *p != '<')
        return false;
    const char *name = ++p;
    while (p < end && *p != ' ' && *p != '>' && *p != '/')
        ++p;
    const size_t n = size_t(p - name);
    if (n == 0 || name[n - 1] != 'c' || (n > 1 && name[n - 2] != ':'))
        return false;
    tag->prefix = std::string_view(name, n - 1);
    bool typeSeen = false;
    while (p < end) {
        if (*p == '>') {
            tag->end = quint32(p + 1 - x);
            if (!typeSeen)
                tag->typeBegin = quint32(p - x);
            return typeSeen || !type;
        }
        if (*p != ' ' || typeSeen)
            return false;
        const char *attribute = p++;
        const char *an = p;
        while (p < end && *p != '=' && *p != ' ' && *p != '>' && *p != '/' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        if (p >= end || *p != '=' || p == an)
            return false;
        const std::string_view attributeName(an, size_t(p - an));
        ++p;
        if (p >= end || (*p != '"' && *p != '\''))
            return false;
        const char quote = *p++;
        const char *v = p;
        while (p < end && *p != quote)
            ++p;
        if (p >= end)
            return false;
        const std::string_view value(v, size_t(p - v));
        ++p;
        if (attributeName == "vm" || (!type && attributeName == "cm"))
            return false;
        if (attributeName == "t") {
            if (type && (quote != '"' || value != type))
                return false;
            typeSeen = true;
            tag->typeBegin = quint32(attribute - x);
        }
    }
    return false;
}

// Reads literal pieces in sequence.
struct Cursor
{
    const char *p;
    const char *end;
    bool ok = true;

    Cursor &operator<<(std::string_view s)
    {
        if (ok && size_t(end - p) >= s.size() && std::memcmp(p, s.data(), s.size()) == 0)
            p += s.size();
        else
            ok = false;
        return *this;
    }
    bool at(const char *where) const { return ok && p == where; }
};

// The children of a plain value cell: <v> at valueBegin, and after valueEnd
// only </v></c>.
bool plainValueChildren(const char *x, const CellTag &tag, quint32 valueBegin, quint32 valueEnd, quint32 cellEnd)
{
    Cursor open{x + tag.end, x + cellEnd};
    open << "<" << tag.prefix << "v>";
    Cursor close{x + valueEnd, x + cellEnd};
    close << "</" << tag.prefix << "v></" << tag.prefix << "c>";
    return open.at(x + valueBegin) && close.at(x + cellEnd);
}

// The new element is built in one buffer that keeps its room from cell to
// cell: clear() would give it back, and the appends take it again.
void startElement(QByteArray *e)
{
    if (e->capacity() < 256)
        e->reserve(256);
    e->resize(0);
}

void appendView(QByteArray *out, std::string_view s)
{
    out->append(s.data(), int(s.size()));
}

} // namespace

WorksheetPart::ByteJob WorksheetPart::byteJob(const QString &replacement) const
{
    ByteJob job;
    job.enabled = m_book->byteEdits && !m_protected && isPlainReplacement(replacement);
    if (job.enabled)
        job.replacement = replacement.toStdString();
    return job;
}

bool WorksheetPart::replaceBytes(std::string_view lead, const char *raw, size_t size, const SearchPattern &pattern,
                                 const ByteJob &job, bool *changed)
{
    *changed = false;
    m_byteText.assign(lead.data(), lead.size());
    if (!decodePlainCharacters(raw, size, &m_byteText))
        return false;
    pattern.matchesUtf8(m_byteText.data(), int(m_byteText.size()), &m_byteSpans);
    if (m_byteSpans.empty())
        return true;
    m_byteResult.clear();
    size_t pos = 0;
    for (const TextSpan &s : m_byteSpans) {
        m_byteResult.append(m_byteText, pos, size_t(s.start) - pos);
        m_byteResult += job.replacement;
        pos = size_t(s.end);
    }
    m_byteResult.append(m_byteText, pos, std::string::npos);
    *changed = m_byteResult != m_byteText;
    // Too long a text is refused by the full path, which counts UTF-16.
    return m_byteResult.size() <= size_t(MaxCellTextLength);
}

WorksheetPart::ByteEdit WorksheetPart::replaceTextBytes(int index, const SearchPattern &pattern, const ByteJob &job,
                                                        bool *changed)
{
    const CellRecord &r = m_cells[size_t(index)];
    const bool inlineText = r.type == CellType::InlineString && (r.flags & PlainInline);
    const bool constant = r.type == CellType::FormulaString && (r.flags & PlainValue);
    if (r.formula == FormulaKind::Normal && (r.flags & FormulaText))
        return replaceFormulaBytes(index, pattern, job, changed);
    if (!job.enabled || r.edit || r.formula != FormulaKind::None || (!inlineText && !constant))
        return ByteEdit::Fallback;
    const char *x = m_xml.constData();
    bool differs;
    if (!replaceBytes({}, x + r.valueBegin, r.valueEnd - r.valueBegin, pattern, job, &differs))
        return ByteEdit::Fallback;
    if (!differs)
        return ByteEdit::Done;

    CellTag tag;
    if (!readCellTag(x, r.begin, r.end, inlineText ? "inlineStr" : "str", &tag))
        return ByteEdit::Fallback;
    if (inlineText) {
        Cursor open{x + tag.end, x + r.end};
        open << "<" << tag.prefix << "is><" << tag.prefix << "t";
        Cursor plainOpen = open, preservedOpen = open;
        plainOpen << ">";
        preservedOpen << " xml:space=\"preserve\">";
        Cursor close{x + r.valueEnd, x + r.end};
        close << "</" << tag.prefix << "t></" << tag.prefix << "is></" << tag.prefix << "c>";
        if (!(plainOpen.at(x + r.valueBegin) || preservedOpen.at(x + r.valueBegin)) || !close.at(x + r.end))
            return ByteEdit::Fallback;
    } else if (!plainValueChildren(x, tag, r.valueBegin, r.valueEnd, r.end)) {
        return ByteEdit::Fallback;
    }

    // The new element: the start tag up to t, then what the text needs.
    QByteArray &e = m_byteElement;
    startElement(&e);
    e.append(x + r.begin, int(tag.typeBegin - r.begin));
    const std::string &text = m_byteResult;
    SharedStrings *table = m_book->sharedStrings;
    CellType type = CellType::InlineString;
    if (text.empty()) {
        e.append("/>");
        type = CellType::Number;
    } else if (constant && table) {
        // A constant becomes a shared string, as a typed text would.
        const quint32 entry = table->appendPlain(utf8Decode(text.data(), int(text.size())));
        e.append(" t=\"s\"><");
        appendView(&e, tag.prefix);
        e.append("v>");
        e.append(QByteArray::number(entry));
        e.append("</");
        appendView(&e, tag.prefix);
        e.append("v></");
        appendView(&e, tag.prefix);
        e.append("c>");
        type = CellType::SharedString;
        table->countReference(1);
    } else {
        e.append(" t=\"inlineStr\"><");
        appendView(&e, tag.prefix);
        e.append("is><");
        appendView(&e, tag.prefix);
        e.append(needsSpacePreserve(text.data(), text.size()) ? "t xml:space=\"preserve\">" : "t>");
        appendEscapedPlain(&e, text.data(), text.size());
        e.append("</");
        appendView(&e, tag.prefix);
        e.append("t></");
        appendView(&e, tag.prefix);
        e.append("is></");
        appendView(&e, tag.prefix);
        e.append("c>");
    }
    if (!commitBytes(index, type, type == CellType::SharedString, type == CellType::InlineString)) {
        if (type == CellType::SharedString)
            table->countReference(-1);
        return ByteEdit::Fallback;
    }
    *changed = true;
    return ByteEdit::Done;
}

// A formula of plain text, searched as "=" + formula: still a formula, it
// is written alone (the cached value and the result's type go with the
// old text); one that stops being a formula takes the full path.
WorksheetPart::ByteEdit WorksheetPart::replaceFormulaBytes(int index, const SearchPattern &pattern,
                                                           const ByteJob &job, bool *changed)
{
    const CellRecord &r = m_cells[size_t(index)];
    if (!job.enabled || r.edit || r.formulaLength == 0 || ((r.flags & HasValue) && !(r.flags & PlainValue))
        || (r.flags & HasInline))
        return ByteEdit::Fallback;
    const char *x = m_xml.constData();
    const quint32 textBegin = r.begin + r.formulaOffset, textEnd = textBegin + r.formulaLength;
    // The formula bar does not show the prefixes of newer functions, so
    // their bytes are not the text searched.
    if (std::string_view(x + textBegin, r.formulaLength).find("_xlfn.") != std::string_view::npos)
        return ByteEdit::Fallback;
    // What every match holds has no "=": a text whose bytes lack it cannot
    // match with the "=" before it either.
    if (job.scan && !job.scan->mayHold(x + textBegin, r.formulaLength))
        return ByteEdit::Done;
    bool differs;
    if (!replaceBytes("=", x + textBegin, r.formulaLength, pattern, job, &differs))
        return ByteEdit::Fallback;
    if (!differs)
        return ByteEdit::Done;
    const std::string &out = m_byteResult;
    if (out.size() < 2 || out[0] != '=' || out.size() > 8192)
        return ByteEdit::Fallback;
    // The full path says why a formula cannot be stored, and adds what it
    // must have before it is.
    const QString body = QString::fromUtf8(out.data() + 1, int(out.size() - 1));
    QString stored, why;
    if (!isWellFormedFormula(body) || !storedFormula(body, m_book->sheetNames, &stored, &why) || stored != body)
        return ByteEdit::Fallback;

    CellTag tag;
    if (!readCellTag(x, r.begin, r.end, nullptr, &tag))
        return ByteEdit::Fallback;
    Cursor open{x + tag.end, x + r.end};
    open << "<" << tag.prefix << "f>";
    Cursor close{x + textEnd, x + r.end};
    close << "</" << tag.prefix << "f>";
    if (r.flags & HasValue) {
        Cursor value = close;
        value << "<" << tag.prefix << "v>";
        if (!value.at(x + r.valueBegin))
            return ByteEdit::Fallback;
        close.p = x + r.valueEnd;
        close << "</" << tag.prefix << "v>";
    }
    close << "</" << tag.prefix << "c>";
    if (!open.at(x + textBegin) || !close.at(x + r.end))
        return ByteEdit::Fallback;

    QByteArray &e = m_byteElement;
    startElement(&e);
    e.append(x + r.begin, int(tag.typeBegin - r.begin));
    e.append("><");
    appendView(&e, tag.prefix);
    e.append("f>");
    appendEscapedPlain(&e, out.data() + 1, out.size() - 1);
    e.append("</");
    appendView(&e, tag.prefix);
    e.append("f></");
    appendView(&e, tag.prefix);
    e.append("c>");
    if (!commitBytes(index, CellType::Number, false, false, FormulaKind::Normal))
        return ByteEdit::Fallback;
    m_book->formulaChanged = true;
    *changed = true;
    return ByteEdit::Done;
}

bool WorksheetPart::rewriteSharedCell(int index, quint32 current, bool cleared, quint32 entry)
{
    const CellRecord &r = m_cells[size_t(index)];
    if (!m_book->byteEdits || m_protected || r.formula != FormulaKind::None || r.type != CellType::SharedString)
        return false;
    // A cell moved before is rewritten from its element as read.
    const MoveRecord *moved = nullptr;
    if (r.edit) {
        moved = currentMove(r);
        if (!moved)
            return false;
    } else if (!(r.flags & PlainValue)) {
        return false;
    }
    const quint32 valueBegin = moved ? moved->valueBegin : r.valueBegin;
    const quint32 valueEnd = moved ? moved->valueEnd : r.valueEnd;
    const quint32 from = moved ? moved->move.from : current;
    const char *x = m_xml.constData();
    CellTag tag;
    if (!readCellTag(x, r.begin, r.end, "s", &tag) || !plainValueChildren(x, tag, valueBegin, valueEnd, r.end))
        return false;
    if (!cleared && quint32(index) < m_originalCells) {
        // Its element is the one as read with other digits: made again from
        // the move when it is written.
        recordEdit(index, {quint32(m_moves.size()), MovedElement}, true, CellType::SharedString, FormulaKind::None,
                   HasValue, true);
        m_book->valueChanged = true;
        ++m_book->byteEdited;
        m_moves.push_back({{quint32(index), from, entry}, r.edit, valueBegin, valueEnd});
        return true;
    }
    QByteArray &e = m_byteElement;
    startElement(&e);
    if (cleared) {
        e.append(x + r.begin, int(tag.typeBegin - r.begin));
        e.append("/>");
    } else {
        e.append(x + r.begin, int(valueBegin - r.begin));
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, entry).ptr;
        e.append(digits, int(end - digits));
        e.append(x + valueEnd, int(r.end - valueEnd));
    }
    if (!commitBytes(index, cleared ? CellType::Number : CellType::SharedString, !cleared, false))
        return false;
    if (cleared && m_book->sharedStrings)
        m_book->sharedStrings->countReference(-1);
    return true;
}

void WorksheetPart::sharedMoves(std::vector<SharedMove> *moves, quint32 *others, bool *othersShared) const
{
    quint32 live = 0;
    moves->reserve(moves->size() + m_moves.size());
    for (const MoveRecord &m : m_moves) {
        if (m_cells[m.move.cell].edit == m.edit) { // not changed again since
            moves->push_back(m.move);
            ++live;
        }
    }
    quint32 edited = 0, editedShared = 0;
    for (const CellRecord &r : m_cells) {
        if (r.edit) {
            ++edited;
            if (r.type == CellType::SharedString)
                ++editedShared;
        }
    }
    *others = edited - live;
    *othersShared = editedShared > live; // every move is a shared-string cell
}

// What commit does for a changed text cell, from the element in
// m_byteElement.
bool WorksheetPart::commitBytes(int index, CellType type, bool hasValue, bool hasInline, FormulaKind formula)
{
    const quint8 content = quint8((hasValue ? HasValue : 0) | (hasInline ? HasInline : 0));
    if (!storeEdit(index, m_byteElement, true, type, formula, content, hasValue))
        return false; // the full path reports it
    m_book->valueChanged = true;
    ++m_book->byteEdited;
    return true;
}

} // namespace Xlsx
} // namespace Excel
