// Searching the cells of a worksheet part and replacing text in them; a
// changed cell is stored by worksheetstore.cpp.

#include "xlsx/parts/worksheetpart.h"
#include "utf8text.h"

#include "xlsx/formula/formulatext.h"
#include "xlsx/formula/formulatranslate.h"
#include "xlsx/cells/partprescan.h"
#include "xlsx/xml/xmltext.h"

#include "cellrules/cellvalue.h"
#include "cellrules/richruns.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

namespace {

bool inAreas(const QVector<CellArea> &areas, int row, int column)
{
    for (const CellArea &a : areas)
        if (a.contains(row, column))
            return true;
    return false;
}

bool parseStoredNumber(const char *begin, const char *end, double *value)
{
    while (begin < end && (*begin == ' ' || *begin == '\t' || *begin == '\n' || *begin == '\r'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n' || end[-1] == '\r'))
        --end;
    if (begin < end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, *value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(*value);
}

bool parseIndex(const char *begin, const char *end, quint32 *value)
{
    while (begin < end && (*begin == ' ' || *begin == '\n' || *begin == '\r' || *begin == '\t'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\n' || end[-1] == '\r' || end[-1] == '\t'))
        --end;
    const auto r = std::from_chars(begin, end, *value);
    return r.ec == std::errc() && r.ptr == end && begin < end;
}

// Results of a replace in one shared string, cached for the cells that
// share it.
constexpr qint32 NotSeen = WorksheetPart::UnseenEntry;
constexpr qint32 Unchanged = -1;
constexpr qint32 BecomesEmpty = -3;

} // namespace

QString WorksheetPart::sharedMasterText(quint32 si, QString *error) const
{
    auto cached = m_sharedText.constFind(si);
    if (cached != m_sharedText.constEnd())
        return cached.value();
    auto master = m_sharedMasters.constFind(si);
    if (master == m_sharedMasters.constEnd())
        return QString();
    CellContent m;
    if (!cellContent(int(master.value()), &m, error) || !m.isSharedMaster())
        return QString();
    m_sharedText.insert(si, m.formula.text);
    return m.formula.text;
}

bool WorksheetPart::sharedMemberText(int index, const CellContent &c, QString *text, QString *error) const
{
    bool ok = false;
    const quint32 si = c.formula.sharedIndex.toUInt(&ok);
    auto master = ok ? m_sharedMasters.constFind(si) : m_sharedMasters.constEnd();
    const QString masterText = master == m_sharedMasters.constEnd() || int(master.value()) == index
                                   ? QString()
                                   : sharedMasterText(si, error);
    if (!error->isEmpty())
        return false;
    if (masterText.isEmpty()) {
        *text = c.formula.text; // a member without its master keeps what it says
        return true;
    }
    const CellRecord &r = m_cells[size_t(index)], &mr = m_cells[master.value()];
    *text = translateFormula(masterText, int(r.row) - int(mr.row), int(r.column) - int(mr.column));
    return true;
}

bool WorksheetPart::quickSubject(int index, QString *text, QString *error) const
{
    const CellRecord &r = m_cells[size_t(index)];
    auto raw = [this](quint32 from, quint32 to) {
        return decodeExcelEscapes(decodeCharacters(std::string_view(m_xml.constData() + from, to - from)));
    };
    if (r.formula != FormulaKind::None) {
        if (r.formula == FormulaKind::DataTable) {
            text->clear();
            return true;
        }
        if (r.flags & FormulaText) {
            const quint32 from = r.begin + r.formulaOffset;
            *text = QLatin1Char('=') + shownFormula(raw(from, from + r.formulaLength));
            return true;
        }
        if (r.flags & MemberIndex) {
            const quint32 si = (quint32(r.formulaOffset) << 16) | r.formulaLength;
            auto master = m_sharedMasters.constFind(si);
            if (master == m_sharedMasters.constEnd())
                return false;
            const QString masterText = sharedMasterText(si, error);
            if (masterText.isEmpty())
                return false;
            const CellRecord &mr = m_cells[master.value()];
            *text = QLatin1Char('=') + shownFormula(translateFormula(masterText, int(r.row) - int(mr.row), int(r.column) - int(mr.column)));
            return true;
        }
        return false;
    }
    if (r.type == CellType::InlineString && (r.flags & PlainInline)) {
        *text = raw(r.valueBegin, r.valueEnd);
        return true;
    }
    if (r.type == CellType::FormulaString && (r.flags & PlainValue)) {
        *text = raw(r.valueBegin, r.valueEnd);
        return true;
    }
    return false;
}

WorksheetPart::Subject WorksheetPart::subjectOf(int index, const CellContent &c, QString *text, QString *error) const
{
    const CellRecord &r = m_cells[size_t(index)];
    if (r.flags & InArrayRange)
        return Subject::None;
    if (c.hasFormula) {
        if (c.formula.kind == FormulaKind::DataTable)
            return Subject::None;
        QString f;
        if (c.isSharedMember()) {
            if (!sharedMemberText(index, c, &f, error))
                return Subject::None;
        } else {
            f = c.formula.text;
        }
        if (f.isEmpty())
            return Subject::None;
        *text = QLatin1Char('=') + shownFormula(f);
        return Subject::Formula;
    }
    switch (c.type) {
    case CellType::SharedString:
        return Subject::SharedText; // the caller looks the string up
    case CellType::InlineString:
        if (!c.hasInline)
            return Subject::None;
        *text = c.inlineText.plainText();
        return Subject::InlineText;
    case CellType::FormulaString:
        if (!c.hasValue)
            return Subject::None;
        *text = c.value;
        return Subject::ConstantText;
    case CellType::Number: {
        if (!c.hasValue || c.value.trimmed().isEmpty() || m_book->styles->hidesNumberText(c.style))
            return Subject::None;
        const QByteArray raw = c.value.toLatin1();
        double d;
        if (!parseStoredNumber(raw.constData(), raw.constData() + raw.size(), &d))
            return Subject::None;
        *text = formulaBarNumber(d);
        return Subject::Number;
    }
    case CellType::Boolean:
        if (!c.hasValue || (c.value != QLatin1String("0") && c.value != QLatin1String("1")))
            return Subject::None;
        *text = booleanText(c.value == QLatin1String("1"));
        return Subject::Boolean;
    default:
        return Subject::None;
    }
}

bool WorksheetPart::replace(const QVector<CellArea> &areas, const SearchPattern &pattern, const QString &replacement,
                            bool *changed, QString *error, std::vector<qint32> *cache)
{
    *changed = false;
    error->clear();
    std::vector<qint32> ownCache;
    std::vector<qint32> &sstCache = cache ? *cache : ownCache;
    if (m_book->sharedStrings && sstCache.size() < m_book->sharedStrings->size())
        sstCache.resize(m_book->sharedStrings->size(), NotSeen);
    const bool numbers = pattern.canMatchWithin(formulaBarNumberAlphabet());
    const bool booleans = pattern.canMatchWithin(booleanTextAlphabet());
    const StylesPart &styles = *m_book->styles;
    const PartPrescan scan(pattern);
    ByteJob job = byteJob(replacement);
    job.scan = &scan;
    const size_t count = m_cells.size();
    for (size_t i = 0; i < count; ++i) {
        const CellRecord &r = m_cells[i];
        if ((r.flags & InArrayRange) || !inAreas(areas, int(r.row), r.column))
            continue;
        if (!r.edit) {
            if (r.formula == FormulaKind::None && !(r.flags & (HasValue | HasInline)))
                continue; // no value at all
            if (r.formula == FormulaKind::None && (r.flags & PlainValue)) {
                // The common cells, straight from the part's bytes.
                const char *v = m_xml.constData() + r.valueBegin, *vEnd = m_xml.constData() + r.valueEnd;
                switch (r.type) {
                case CellType::SharedString: {
                    quint32 index;
                    if (!parseIndex(v, vEnd, &index)) {
                        *error = where(r) + QCoreApplication::translate("Xlsx", "bad shared string index");
                        return false;
                    }
                    if (!replaceSharedString(int(i), index, pattern, scan, replacement, job, &sstCache, changed, error))
                        return false;
                    continue;
                }
                case CellType::Number: {
                    double d;
                    if (!numbers || styles.hidesNumberText(r.style) || !parseStoredNumber(v, vEnd, &d))
                        continue;
                    if (pattern.matches(formulaBarNumber(d)).isEmpty())
                        continue;
                    break;
                }
                case CellType::Boolean:
                    if (!booleans)
                        continue;
                    break;
                case CellType::InlineString:
                case CellType::FormulaString:
                    break;
                default:
                    continue; // errors, dates: not searched
                }
            }
        }
        if (!r.edit && r.formula == FormulaKind::None
            && ((r.type == CellType::InlineString && (r.flags & PlainInline))
                || (r.type == CellType::FormulaString && (r.flags & PlainValue)))
            && !scan.mayHold(m_xml.constData() + r.valueBegin, r.valueEnd - r.valueBegin))
            continue; // its raw text, as it is, lacks what every match holds
        if (replaceTextBytes(int(i), pattern, job, changed) == ByteEdit::Done)
            continue;
        if (!r.edit) {
            // Most cells do not match: tell from the record where possible.
            QString quick;
            if (quickSubject(int(i), &quick, error)) {
                if (quick.isEmpty() || pattern.matches(quick).isEmpty())
                    continue;
            } else if (!error->isEmpty()) {
                return false;
            }
        }
        CellContent c;
        if (!cellContent(int(i), &c, error))
            return false;
        if (!c.hasFormula && c.type == CellType::SharedString) {
            if (!c.hasValue)
                continue;
            const QByteArray raw = c.value.toLatin1();
            quint32 index;
            if (!parseIndex(raw.constData(), raw.constData() + raw.size(), &index)) {
                *error = where(r) + QCoreApplication::translate("Xlsx", "bad shared string index");
                return false;
            }
            if (!replaceSharedString(int(i), index, pattern, scan, replacement, job, &sstCache, changed, error))
                return false;
            continue;
        }
        QString text;
        const Subject subject = subjectOf(int(i), c, &text, error);
        if (!error->isEmpty())
            return false;
        if (subject == Subject::None || (subject == Subject::Number && !numbers)
            || (subject == Subject::Boolean && !booleans))
            continue;
        if (!replaceInCell(int(i), c, subject, text, pattern, replacement, changed, error))
            return false;
    }
    return true;
}

void WorksheetPart::countSharedReferences()
{
    std::vector<quint32> &counts = m_book->sharedReferences;
    // Entries as read: a cell of the file that names a later one is not
    // counted as naming one added since.
    const quint32 entries = m_book->sharedStrings ? m_book->sharedStrings->sizeAsRead() : 0;
    for (quint32 i = 0; i < m_originalCells; ++i) {
        const CellRecord &r = m_cells[i];
        if (r.type != CellType::SharedString || !(r.flags & (HasValue | HasInline)))
            continue;
        quint32 entry;
        if (!(r.flags & PlainValue) || (r.flags & HasInline) || r.formula != FormulaKind::None
            || !parseIndex(m_xml.constData() + r.valueBegin, m_xml.constData() + r.valueEnd, &entry)
            || entry >= entries) {
            m_book->sharedReferencesUnknown = true;
            return;
        }
        if (counts.size() < entries)
            counts.resize(entries, 0);
        ++counts[entry];
    }
}

bool WorksheetPart::replaceSharedString(int index, quint32 sst, const SearchPattern &pattern, const PartPrescan &scan,
                                        const QString &replacement, const ByteJob &job, std::vector<qint32> *cache,
                                        bool *changed, QString *error)
{
    SharedStrings *table = m_book->sharedStrings;
    const CellRecord &r = m_cells[size_t(index)];
    if (!table || sst >= table->size()) {
        *error = where(r) + QCoreApplication::translate("Xlsx", "shared string %1 does not exist").arg(sst);
        return false;
    }
    if (sst >= cache->size())
        cache->resize(table->size(), NotSeen);
    qint32 &result = (*cache)[sst];
    const char *raw;
    size_t rawSize;
    bool differs;
    const bool plain = result == NotSeen && table->plainRaw(sst, &raw, &rawSize);
    if (plain && !scan.mayHold(raw, rawSize))
        result = Unchanged; // its raw text, as it is, lacks what every match holds
    if (result == NotSeen && plain && job.enabled && replaceBytes({}, raw, rawSize, pattern, job, &differs)) {
        // A plain entry searched as bytes; it stays plain.
        result = Unchanged;
        if (differs)
            result = m_byteResult.empty()
                         ? BecomesEmpty
                         : qint32(table->appendPlain(utf8Decode(m_byteResult.data(), int(m_byteResult.size()))));
    }
    if (result == NotSeen) {
        result = Unchanged;
        QString text;
        if (!table->text(sst, &text, error))
            return false;
        QString out;
        QVector<TextSpan> spans;
        // A replacement that gives back the same text changes nothing.
        if (pattern.replace(text, replacement, &out, &spans) && out != text) {
            const RetypeResult typed = retypeText(out);
            if (!typed.ok) {
                *error = where(r) + typed.error;
                return false;
            }
            if (typed.value.kind == ValueKind::Empty) {
                result = BecomesEmpty;
            } else if (table->isComplex(sst)) {
                RichText rich;
                if (!table->richText(sst, &rich, error))
                    return false;
                QVector<int> lengths;
                for (const TextRun &run : rich.runs)
                    lengths.append(run.text.size());
                const QVector<QString> texts = replaceInRuns(text, lengths, spans, replacement);
                for (int k = 0; k < rich.runs.size(); ++k)
                    rich.runs[k].text = texts[k];
                rich.hadPhoneticRuns = false; // their positions no longer fit
                result = qint32(rich.isPlain() && rich.phoneticProperties.isEmpty() ? table->appendPlain(out)
                                                                                     : table->append(rich));
            } else {
                result = qint32(table->appendPlain(out));
            }
        }
    }
    if (result == Unchanged)
        return true;
    if (rewriteSharedCell(index, sst, result == BecomesEmpty, quint32(result))) {
        *changed = true;
        return true;
    }
    CellContent c;
    if (!cellContent(index, &c, error))
        return false;
    CellContent after = c;
    after.dropValueMetadata = true;
    if (result == BecomesEmpty) {
        after.hasValue = false;
        after.value.clear();
        after.type = CellType::Number;
    } else {
        after.value = QString::number(result);
    }
    *changed = true;
    return commit(index, c, after, true, error);
}

bool WorksheetPart::replaceInCell(int index, CellContent &c, Subject subject, const QString &text,
                                  const SearchPattern &pattern, const QString &replacement, bool *changed,
                                  QString *error)
{
    QString out;
    QVector<TextSpan> spans;
    // A replacement that gives back the same text leaves the cell exactly as
    // it was: rewriting a number from its 15-digit text would lose digits.
    if (!pattern.replace(text, replacement, &out, &spans) || out == text)
        return true;
    RetypeResult typed;
    RichText rich;
    const RichText *runs = nullptr;
    switch (subject) {
    case Subject::InlineText: {
        typed = retypeText(out);
        rich = c.inlineText;
        QVector<int> lengths;
        for (const TextRun &run : rich.runs)
            lengths.append(run.text.size());
        const QVector<QString> texts = replaceInRuns(text, lengths, spans, replacement);
        for (int k = 0; k < rich.runs.size(); ++k)
            rich.runs[k].text = texts[k];
        rich.hadPhoneticRuns = false;
        runs = &rich;
        break;
    }
    case Subject::ConstantText:
        typed = retypeText(out);
        break;
    case Subject::Number:
        typed = retypeNumber(out);
        break;
    case Subject::Boolean:
        typed = retypeBoolean(out);
        break;
    case Subject::Formula:
        typed = retypeFormula(out);
        break;
    default:
        return true;
    }
    if (!typed.ok) {
        *error = where(m_cells[size_t(index)]) + typed.error;
        return false;
    }
    // The rest of the range holds the array's results, which a value in
    // its first cell would leave behind as constants.
    if (subject == Subject::Formula && c.formula.kind == FormulaKind::Array && typed.value.kind != ValueKind::Formula) {
        *error = where(m_cells[size_t(index)]) + QCoreApplication::translate("Xlsx", "an array formula cannot become a value");
        return false;
    }
    *changed = true;
    return applyValue(index, c, typed.value, runs, error);
}

} // namespace Xlsx
} // namespace Excel
