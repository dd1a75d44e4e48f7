// The record of a sheet's changes: every cell that Replace or Value set
// changed, with its text as read and as it is now. Nothing here runs unless
// a record is asked for. What a cell held as read comes from the part's own
// bytes (its element is still there: edits live beside it) or, for a cell
// the byte path moved to another shared string, from the entry it named;
// shared strings as read never change before a save.

#include "xlsx/parts/worksheetpart.h"

#include "cellchanges.h"
#include "xlsx/formula/formulatext.h"
#include "xlsx/formula/formulatranslate.h"

#include "cellrules/cellvalue.h"
#include "utf8text.h"

#include <charconv>
#include <cmath>

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

namespace {

bool readDouble(const QString &text, double *value)
{
    const QByteArray raw = text.trimmed().toLatin1();
    const char *begin = raw.constData(), *end = begin + raw.size();
    if (begin < end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, *value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(*value);
}

// The texts of the shared strings that moved cells name, in UTF-8, each
// encoded once, side by side in one buffer: a run that moved many cells
// reads them from there rather than from a string of its own each.
struct Utf8Entries
{
    static constexpr size_t Unknown = ~size_t(0);
    struct Span
    {
        size_t offset = Unknown;
        size_t length = 0;
    };
    std::vector<Span> at; // by entry
    std::string bytes;
    QString text;

    std::string_view view(const Span &s) const { return std::string_view(bytes.data() + s.offset, s.length); }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool startsWith(const char *p, const char *end, std::string_view prefix)
{
    return size_t(end - p) >= prefix.size() && std::string_view(p, prefix.size()) == prefix;
}

// The text of a cell element that is nothing but one inline string of
// printable ASCII without references or escapes (<c r=".." t="inlineStr">
// <is><t>text</t></is></c>): its bytes, as the cell shows them, without
// parsing the element. False for anything else, which is parsed.
bool plainInlineText(const char *p, size_t size, std::string_view *text)
{
    const char *end = p + size;
    if (!startsWith(p, end, "<c") || size < 3 || !isBlank(p[2]))
        return false;
    p += 2;
    bool inlineType = false, typed = false;
    for (;;) {
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            return false;
        if (*p == '>')
            break;
        const char *name = p;
        while (p < end && *p != '=' && !isBlank(*p) && *p != '>')
            ++p;
        const std::string_view attribute(name, size_t(p - name));
        while (p < end && isBlank(*p))
            ++p;
        if (p == end || *p != '=')
            return false;
        ++p;
        while (p < end && isBlank(*p))
            ++p;
        if (p == end || (*p != '"' && *p != '\''))
            return false;
        const char quote = *p++;
        const char *value = p;
        while (p < end && *p != quote)
            ++p;
        if (p == end)
            return false;
        if (attribute == "t") {
            if (typed)
                return false;
            typed = true;
            inlineType = std::string_view(value, size_t(p - value)) == "inlineStr";
        }
        ++p;
    }
    ++p; // the start tag's '>'
    if (!inlineType)
        return false;
    if (startsWith(p, end, "<is><t>"))
        p += 7;
    else if (startsWith(p, end, "<is><t xml:space=\"preserve\">"))
        p += 28;
    else
        return false;
    const char *begin = p;
    for (; p < end && *p != '<'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if ((c < 0x20 && c != '\t' && c != '\n') || c >= 0x7F || c == '&' || c == '_')
            return false;
    }
    if (std::string_view(p, size_t(end - p)) != "</t></is></c>")
        return false;
    *text = std::string_view(begin, size_t(p - begin));
    return true;
}

} // namespace

bool WorksheetPart::reportChanges(const QString &sheet, CellChangeSink *sink, QString *error) const
{
    std::vector<quint32> cells;
    for (size_t i = 0; i < m_counted.size(); ++i)
        if (m_counted[i])
            cells.push_back(quint32(i));
    // Mostly in order already: the cells as read come by position.
    const auto byPosition = [this](quint32 a, quint32 b) {
        return key(m_cells[a].row, m_cells[a].column) < key(m_cells[b].row, m_cells[b].column);
    };
    if (!std::is_sorted(cells.begin(), cells.end(), byPosition))
        std::sort(cells.begin(), cells.end(), byPosition);
    StringCache strings; // sized when first used
    // A cell's latest move is the one that made it what it is now, found
    // from its record; only cells changed again after a move need the
    // moves looked up, by cell.
    QHash<quint32, quint32> staleMoves;
    for (size_t k = 0; k < m_moves.size(); ++k) {
        const quint32 cell = m_moves[k].move.cell;
        if (!currentMove(m_cells[cell]))
            staleMoves.insert(cell, quint32(k)); // the later move stays
    }
    const auto latestMove = [&](quint32 cell) -> const MoveRecord * {
        if (const MoveRecord *current = currentMove(m_cells[cell]))
            return current;
        const auto it = staleMoves.constFind(cell);
        return it == staleMoves.constEnd() ? nullptr : &m_moves[it.value()];
    };
    Utf8Entries utf8;
    const bool utf8Sink = sink->takesUtf8();
    const bool takesUtf8 = utf8Sink && m_book->sharedStrings;
    if (takesUtf8)
        utf8.at.resize(m_book->sharedStrings->size());
    const auto utf8Entry = [&](quint32 entry, Utf8Entries::Span *at) {
        if (entry >= utf8.at.size()) {
            *error = partError(m_partName, QCoreApplication::translate("Xlsx", "shared string %1 does not exist").arg(entry));
            return false;
        }
        Utf8Entries::Span &span = utf8.at[entry];
        if (span.offset == Utf8Entries::Unknown) {
            const size_t from = utf8.bytes.size();
            std::string_view stored;
            if (m_book->sharedStrings->utf8Text(entry, &stored)) {
                utf8.bytes.append(stored.data(), stored.size());
            } else {
                if (!m_book->sharedStrings->text(entry, &utf8.text, error))
                    return false;
                utf8.bytes.resize(from + size_t(utf8Room(utf8.text.size())));
                char *end = utf8Encode(utf8.text.constData(), utf8.text.size(), &utf8.bytes[from]);
                utf8.bytes.resize(size_t(end - utf8.bytes.data()));
            }
            span.offset = from;
            span.length = utf8.bytes.size() - from;
        }
        *at = span;
        return true;
    };
    QString before, after;
    for (const quint32 i : cells) {
        const CellRecord &r = m_cells[i];
        const QString *was = &before, *is = &after;
        const MoveRecord *move = m_moves.empty() ? nullptr : latestMove(i);
        if (move && move->edit == r.edit && takesUtf8) {
            // Moved to another shared string, and nothing else since.
            Utf8Entries::Span from, to;
            if (!utf8Entry(move->move.from, &from) || !utf8Entry(move->move.to, &to))
                return false;
            const std::string_view a = utf8.view(from), b = utf8.view(to);
            if (a == b) {
                // Equal bytes may still be two texts (two lone surrogates
                // alike): the texts decide, as for any other cell.
                if (!cachedEntry(move->move.from, &strings, &was, error)
                    || !cachedEntry(move->move.to, &strings, &is, error))
                    return false;
                if (*was == *is)
                    continue;
            }
            if (!sink->cellChangedUtf8(sheet, int(r.row), int(r.column), a, b, error))
                return false;
            continue;
        }
        if (utf8Sink && !move) {
            // A plain inline string before and after, as a job that edits
            // inline strings mostly leaves them: their bytes are their texts.
            std::string_view was8, is8;
            const bool made = i >= m_originalCells;
            const Edit *edit = r.edit ? &m_edits[r.edit - 1] : nullptr;
            if ((made || plainInlineText(m_xml.constData() + r.begin, r.end - r.begin, &was8))
                && (edit ? plainInlineText(m_arena.constData() + edit->begin, edit->length, &is8)
                         : !made && plainInlineText(m_xml.constData() + r.begin, r.end - r.begin, &is8))) {
                if (was8 == is8)
                    continue;
                if (!sink->cellChangedUtf8(sheet, int(r.row), int(r.column), was8, is8, error))
                    return false;
                continue;
            }
        }
        if (move && move->edit == r.edit) {
            // Moved to another shared string, and nothing else since.
            if (!cachedEntry(move->move.from, &strings, &was, error)
                || !cachedEntry(move->move.to, &strings, &is, error))
                return false;
        } else if (!textAsRead(i, move, &strings, &before, error) || !textNow(i, move, &strings, &after, error)) {
            return false;
        }
        if (*was == *is)
            continue;
        if (!sink->cellChanged(sheet, int(r.row), int(r.column), *was, *is, error))
            return false;
    }
    return true;
}

bool WorksheetPart::reportNeedsXml() const
{
    for (size_t i = 0; i < m_counted.size(); ++i) {
        if (!m_counted[i])
            continue;
        if (!currentMove(m_cells[i]))
            return true;
    }
    return false;
}

bool WorksheetPart::textNow(quint32 index, const MoveRecord *latest, StringCache *strings, QString *text,
                            QString *error) const
{
    if (latest && latest->edit == m_cells[index].edit)
        return sharedEntryText(latest->move.to, strings, text, error);
    CellContent c;
    return cellContent(int(index), &c, error) && shownText(index, c, false, strings, text, error);
}

bool WorksheetPart::textAsRead(quint32 index, const MoveRecord *latest, StringCache *strings, QString *text,
                               QString *error) const
{
    text->clear();
    if (index >= m_originalCells)
        return true; // a cell made by Value set
    // A moved cell's first edit was its move, so the move's entry is the
    // one the cell named as read.
    if (latest)
        return sharedEntryText(latest->move.from, strings, text, error);
    const CellRecord &r = m_cells[index];
    const XmlScope *scope = r.scope < m_scopes.size() ? &m_scopes[r.scope] : nullptr;
    CellContent c;
    if (!parseCellElement(m_xml.constData() + r.begin, r.end - r.begin, scope, m_ns, &c, error)) {
        *error = where(r) + *error;
        return false;
    }
    return shownText(index, c, true, strings, text, error);
}

bool WorksheetPart::cachedEntry(quint32 entry, StringCache *strings, const QString **text, QString *error) const
{
    const SharedStrings *table = m_book->sharedStrings;
    if (!table || entry >= table->size()) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "shared string %1 does not exist").arg(entry));
        return false;
    }
    if (strings->known.empty()) {
        // Sized once, so that texts in it stay where they are.
        strings->known.assign(table->size(), false);
        strings->texts.resize(table->size());
    }
    if (!strings->known[entry]) {
        if (!table->text(entry, &strings->texts[entry], error))
            return false;
        strings->known[entry] = true;
    }
    *text = &strings->texts[entry];
    return true;
}

bool WorksheetPart::sharedEntryText(quint32 entry, StringCache *strings, QString *text, QString *error) const
{
    const QString *cached;
    if (!cachedEntry(entry, strings, &cached, error))
        return false;
    *text = *cached;
    return true;
}

bool WorksheetPart::shownText(quint32 index, const CellContent &c, bool asRead, StringCache *strings, QString *text,
                              QString *error) const
{
    text->clear();
    if (c.hasFormula) {
        if (c.formula.kind == FormulaKind::DataTable)
            return true;
        QString formula = c.formula.text;
        bool ok = false;
        const quint32 si = c.formula.sharedIndex.toUInt(&ok);
        if (c.isSharedMember() && ok) {
            // A member says what its master says, moved to its own place.
            quint32 master = m_sharedMasters.value(si, ~0u);
            if (asRead && master == ~0u)
                master = m_dissolvedMasters.value(si, ~0u);
            if (master != ~0u && master != index) {
                QString masterText;
                if (asRead && !m_sharedMasters.contains(si)) {
                    const CellRecord &mr = m_cells[master];
                    const XmlScope *scope = mr.scope < m_scopes.size() ? &m_scopes[mr.scope] : nullptr;
                    CellContent m;
                    if (!parseCellElement(m_xml.constData() + mr.begin, mr.end - mr.begin, scope, m_ns, &m, error))
                        return false;
                    masterText = m.formula.text;
                } else {
                    masterText = sharedMasterText(si, error);
                    if (!error->isEmpty())
                        return false;
                }
                if (!masterText.isEmpty()) {
                    const CellRecord &r = m_cells[index], &mr = m_cells[master];
                    formula = translateFormula(masterText, int(r.row) - int(mr.row), int(r.column) - int(mr.column));
                }
            }
        }
        // As the formula bar shows it: newer functions without their prefix.
        if (!formula.isEmpty())
            *text = QLatin1Char('=') + shownFormula(formula);
        return true;
    }
    switch (c.type) {
    case CellType::SharedString: {
        if (!c.hasValue)
            return true;
        bool ok = false;
        const quint32 entry = c.value.trimmed().toUInt(&ok);
        if (!ok) {
            *error = where(m_cells[index]) + QCoreApplication::translate("Xlsx", "bad shared string index");
            return false;
        }
        return sharedEntryText(entry, strings, text, error);
    }
    case CellType::InlineString:
        if (c.hasInline)
            *text = c.inlineText.plainText();
        return true;
    case CellType::Number: {
        double d;
        if (c.hasValue && !c.value.trimmed().isEmpty())
            *text = readDouble(c.value, &d) ? formulaBarNumber(d) : c.value;
        return true;
    }
    case CellType::Boolean:
        if (c.hasValue)
            *text = c.value == QLatin1String("1")   ? booleanText(true)
                    : c.value == QLatin1String("0") ? booleanText(false)
                                                    : c.value;
        return true;
    default: // a text constant, an error, an ISO date: as stored
        if (c.hasValue)
            *text = c.value;
        return true;
    }
}

} // namespace Xlsx
} // namespace Excel
