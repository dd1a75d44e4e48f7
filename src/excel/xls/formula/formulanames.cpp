#include "xls/formula/formulanames.h"

#include "littleendian.h"
#include "xls/records/sharedstrings.h"

namespace Excel {
namespace Biff {

namespace {

constexpr quint16 SupBookRecord = 0x01AE;
constexpr quint16 ExternNameRecord = 0x0023;
constexpr quint16 ExternSheetRecord = 0x0017;
constexpr quint16 NameRecord = 0x0018;
constexpr quint16 CrnRecord = 0x005A, XctRecord = 0x0059;
constexpr quint16 AddInMarker = 0x3A01, SelfMarker = 0x0401;
constexpr quint16 WholeBook = 0xFFFE; // the sheet numbers of an add-in entry

// Records that belong to the record before them: its CONTINUE, and a
// NAME's comment, function group and publishing records.
bool followsName(quint16 t)
{
    return t == Rt::Continue || t == 0x0894 || t == 0x0898 || t == 0x0893;
}

// Records that come after the names in the globals: where tables and names
// go in a workbook that has none.
bool followsNames(quint16 t)
{
    switch (t) {
    case 0x01C1: // RECALCID
    case 0x0866: // HFPICTURE
    case Rt::MsoDrawingGroup:
    case Rt::Sst:
    case Rt::ExtSst:
    case 0x0801: // WEBPUB
    case 0x080B: // WOPT
    case 0x0865: // CRERR
    case 0x0863: // BOOKEXT
    case 0x0867: // FEATHDR
    case 0x0876: // DCONN
    case 0x0896: // THEME
    case 0x089B: // COMPRESSPICTURES
    case 0x088C: // COMPAT12
    case 0x0897: // GUIDTYPELIB
    case Rt::Eof:
        return true;
    default:
        return false;
    }
}

// The characters of a string after its length: a flag byte, then one byte
// a character when each fits, else two.
void appendChars(QByteArray &out, const QString &s)
{
    bool wide = false;
    for (const QChar c : s)
        wide = wide || c.unicode() > 0xFF;
    out.append(char(wide ? 1 : 0));
    for (const QChar c : s) {
        if (wide)
            appendU16(out, c.unicode());
        else
            out.append(char(c.unicode()));
    }
}

QByteArray nameRecord(const FormulaNames::DefinedName &n)
{
    // A newer function's name is hidden and calls a function, and stands for
    // #NAME? where it is read as a value, as Excel writes it; a name the
    // workbook does not define has no definition at all.
    QByteArray d;
    appendU16(d, n.function ? 0x038B : 0x0000);
    d.append('\0');
    d.append(char(n.text.size()));
    appendU16(d, n.function ? 2 : 0);
    appendU16(d, 0);
    appendU16(d, 0); // a workbook name
    d.append(4, '\0');
    appendChars(d, n.text);
    if (n.function)
        d.append("\x1C\x1D", 2);
    QByteArray out;
    appendRecord(out, NameRecord, d);
    return out;
}

QByteArray externNameRecord(const QString &name)
{
    // Excel stores #REF! as the definition of an add-in function's name.
    QByteArray d;
    appendU16(d, 0);
    d.append(4, '\0');
    d.append(char(name.size()));
    appendChars(d, name);
    appendU16(d, 2);
    d.append("\x1C\x17", 2);
    QByteArray out;
    appendRecord(out, ExternNameRecord, d);
    return out;
}

QByteArray supBookRecord(const FormulaNames::SupBook &b, int sheets)
{
    QByteArray d;
    appendU16(d, quint16(b.kind == FormulaNames::BookKind::AddIn ? 1 : sheets));
    appendU16(d, b.kind == FormulaNames::BookKind::AddIn ? AddInMarker : SelfMarker);
    QByteArray out;
    appendRecord(out, SupBookRecord, d);
    return out;
}

// Names of the built-in defined names, by their one-character code.
const char *const BuiltinNames[] = {"Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database",
                                    "Criteria", "Print_Area", "Print_Titles", "Recorder", "Data_Form",
                                    "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase"};

// A string of cch characters with its flag byte at p; false when it runs
// past end.
bool readChars(const char *p, const char *end, int cch, QString *out)
{
    if (p >= end)
        return false;
    const bool high = *p & 0x01;
    if (end - p - 1 < qint64(cch) * (high ? 2 : 1))
        return false;
    *out = decodeCharacters(p + 1, cch, high);
    return true;
}

} // namespace

int FormulaNames::sheetRangeFor(int first, int last)
{
    for (size_t i = 0; i < sheetRanges.size(); ++i) {
        const SheetRange &r = sheetRanges[i];
        if (r.supBook == selfBook && r.first == first && r.last == last)
            return int(i);
    }
    // A workbook without a table gets one; one that is not understood (its
    // entries go on in a CONTINUE) is left alone.
    if (externSheetRecord < 0 && !tableCreated) {
        if (places.externSheetSeen || !supBooks.empty() || !sheetRanges.empty())
            return -1;
        tableCreated = true;
    }
    if (selfBook < 0) {
        if (!tableCreated)
            return -1;
        SupBook self;
        self.kind = BookKind::Self;
        supBooks.push_back(self);
        selfBook = int(supBooks.size()) - 1;
    }
    // A new entry must fit the EXTERNSHEET record (no CONTINUE).
    if (2 + 6 * (sheetRanges.size() + 1) > size_t(MaxRecordData) || sheetRanges.size() >= 0xFFFF)
        return -1;
    sheetRanges.push_back(SheetRange{selfBook, first, last});
    return int(sheetRanges.size()) - 1;
}

int FormulaNames::addName(const QString &text, bool newerFunction)
{
    if (text.isEmpty() || text.size() > 255 || names.size() >= 0xFFFF)
        return -1;
    DefinedName n;
    n.text = text;
    n.hidden = newerFunction;
    n.function = newerFunction;
    names.push_back(n);
    return int(names.size());
}

int FormulaNames::addInFunction(const QString &name, int *ixti)
{
    if (name.isEmpty() || name.size() > 255)
        return -1;
    int book = -1;
    for (size_t b = 0; b < supBooks.size() && book < 0; ++b)
        if (supBooks[b].kind == BookKind::AddIn)
            book = int(b);
    // Its entry in the table: the add-in book as a whole.
    int entry = -1;
    for (size_t r = 0; book >= 0 && r < sheetRanges.size() && entry < 0; ++r)
        if (sheetRanges[r].supBook == book)
            entry = int(r);
    if (entry < 0) {
        if (externSheetRecord < 0 && !tableCreated) {
            if (places.externSheetSeen || !supBooks.empty() || !sheetRanges.empty())
                return -1;
            // A new table starts with this workbook's SUPBOOK, as Excel's do.
            tableCreated = true;
            SupBook self;
            self.kind = BookKind::Self;
            supBooks.push_back(self);
            selfBook = int(supBooks.size()) - 1;
        }
        if (2 + 6 * (sheetRanges.size() + 1) > size_t(MaxRecordData) || sheetRanges.size() >= 0xFFFF)
            return -1;
        if (book < 0) {
            SupBook addIn;
            addIn.kind = BookKind::AddIn;
            supBooks.push_back(addIn);
            book = int(supBooks.size()) - 1;
        }
        sheetRanges.push_back(SheetRange{book, qint16(WholeBook), qint16(WholeBook)});
        entry = int(sheetRanges.size()) - 1;
    }
    QStringList &ext = supBooks[size_t(book)].externNames;
    if (ext.size() >= 0xFFFF)
        return -1;
    ext.append(name);
    *ixti = entry;
    return ext.size();
}

FormulaNames::Mark FormulaNames::mark() const
{
    Mark m;
    m.names = names.size();
    m.supBooks = supBooks.size();
    m.sheetRanges = sheetRanges.size();
    for (const SupBook &b : supBooks)
        m.externNames.push_back(b.externNames.size());
    m.selfBook = selfBook;
    m.tableCreated = tableCreated;
    return m;
}

void FormulaNames::rollBack(const Mark &m)
{
    names.resize(m.names);
    supBooks.resize(m.supBooks);
    sheetRanges.resize(m.sheetRanges);
    for (size_t b = 0; b < supBooks.size(); ++b)
        while (supBooks[b].externNames.size() > m.externNames[b])
            supBooks[b].externNames.removeLast();
    selfBook = m.selfBook;
    tableCreated = m.tableCreated;
}

std::vector<std::pair<int, QByteArray>> FormulaNames::addedRecords() const
{
    std::vector<std::pair<int, QByteArray>> out;
    // Names added to a SUPBOOK go after its own.
    for (size_t b = 0; b < originalSupBooks && b < supBooks.size(); ++b) {
        QByteArray records;
        for (int i = originalExternNames[b]; i < supBooks[b].externNames.size(); ++i)
            records += externNameRecord(supBooks[b].externNames[i]);
        if (!records.isEmpty())
            out.emplace_back(places.supBookEnd[b] + 1, records);
    }
    // New SUPBOOKs after the others, and a new EXTERNSHEET after them.
    const int tablesAt = originalSupBooks > 0 ? places.supBookEnd.back() + 1 : places.tableStart;
    QByteArray tables;
    for (size_t b = originalSupBooks; b < supBooks.size(); ++b) {
        tables += supBookRecord(supBooks[b], sheets.size());
        for (const QString &e : supBooks[b].externNames)
            tables += externNameRecord(e);
    }
    if (tableCreated)
        appendRecord(tables, ExternSheetRecord, externSheetData());
    if (!tables.isEmpty())
        out.emplace_back(tablesAt, tables);
    QByteArray added;
    for (size_t i = originalNames; i < names.size(); ++i)
        added += nameRecord(names[i]);
    if (!added.isEmpty()) {
        const int namesAt = places.nameEnd >= 0 ? places.nameEnd + 1
            : places.externSheetEnd >= 0 ? places.externSheetEnd + 1 : tablesAt;
        out.emplace_back(namesAt, added);
    }
    // In stream order; where two groups go before the same record, in the
    // order made above.
    std::stable_sort(out.begin(), out.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    return out;
}

QByteArray FormulaNames::externSheetData() const
{
    QByteArray d;
    appendU16(d, quint16(sheetRanges.size()));
    for (const SheetRange &r : sheetRanges) {
        appendU16(d, quint16(r.supBook));
        appendU16(d, quint16(qint16(r.first)));
        appendU16(d, quint16(qint16(r.last)));
    }
    return d;
}

void readFormulaNames(const QByteArray &stream, const StreamIndex &index, const QStringList &sheets,
                      FormulaNames *names)
{
    names->sheets = sheets;
    const Substream &g = index.substreams.front();
    const int end = g.firstRecord + g.recordCount;
    FormulaNames::Places &places = names->places;
    int *group = nullptr; // the last record of the group the records now read belong to
    for (int i = g.firstRecord + 1; i < end; ++i) {
        if (index.depth[size_t(i)] != 1)
            continue;
        const Record &r = index.records[size_t(i)];
        const char *d = stream.constData() + r.dataOffset();
        const char *dEnd = d + r.size;
        if (group && (r.type == Rt::Continue || (group == &places.nameEnd && followsName(r.type))
                      || (!places.supBookEnd.empty() && group == &places.supBookEnd.back()
                          && (r.type == ExternNameRecord || r.type == CrnRecord || r.type == XctRecord))))
            *group = i;
        else
            group = nullptr;
        if (places.tableStart < 0 && (r.type == NameRecord || followsNames(r.type)))
            places.tableStart = i;
        switch (r.type) {
        case SupBookRecord: {
            FormulaNames::SupBook b;
            if (r.size >= 4 && qFromLittleEndian<quint16>(d + 2) == 0x0401) {
                b.kind = FormulaNames::BookKind::Self;
                if (names->selfBook < 0)
                    names->selfBook = int(names->supBooks.size());
            } else if (r.size >= 4 && qFromLittleEndian<quint16>(d + 2) == 0x3A01) {
                b.kind = FormulaNames::BookKind::AddIn;
            }
            names->supBooks.push_back(b);
            places.supBookEnd.push_back(i);
            group = &places.supBookEnd.back();
            break;
        }
        case ExternNameRecord: {
            if (names->supBooks.empty())
                break;
            QString text;
            if (r.size >= 7 && readChars(d + 7, dEnd, quint8(d[6]), &text))
                names->supBooks.back().externNames.append(text);
            else
                names->supBooks.back().externNames.append(QString()); // keeps the numbering
            break;
        }
        case ExternSheetRecord: {
            places.externSheetSeen = true;
            places.externSheetEnd = i;
            group = &places.externSheetEnd;
            if (names->externSheetRecord >= 0 || r.size < 2)
                break;
            const int n = qFromLittleEndian<quint16>(d);
            if (2 + 6 * n > r.size) // entries in a CONTINUE: not understood
                break;
            names->externSheetRecord = i;
            for (int k = 0; k < n; ++k) {
                const char *e = d + 2 + 6 * k;
                names->sheetRanges.push_back({qFromLittleEndian<quint16>(e), qint16(qFromLittleEndian<quint16>(e + 2)), qint16(qFromLittleEndian<quint16>(e + 4))});
            }
            names->originalRangeCount = n;
            break;
        }
        case NameRecord: {
            FormulaNames::DefinedName n;
            if (r.size >= 15) {
                const quint16 flags = qFromLittleEndian<quint16>(d);
                const int cch = quint8(d[3]);
                n.sheet = qFromLittleEndian<quint16>(d + 8);
                n.hidden = flags & 0x0001;
                QString text;
                if (readChars(d + 14, dEnd, cch, &text)) {
                    if ((flags & 0x0020) && text.size() == 1 && text[0].unicode() < 14)
                        text = QLatin1String(BuiltinNames[text[0].unicode()]);
                    n.text = text;
                }
            }
            names->names.push_back(n);
            places.nameEnd = i;
            group = &places.nameEnd;
            break;
        }
        default:
            break;
        }
    }
    if (places.tableStart < 0)
        places.tableStart = end - 1;
    names->originalNames = names->names.size();
    names->originalSupBooks = names->supBooks.size();
    for (const FormulaNames::SupBook &b : names->supBooks)
        names->originalExternNames.push_back(b.externNames.size());
}

} // namespace Biff
} // namespace Excel
