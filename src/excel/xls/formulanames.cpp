#include "formulanames.h"

#include "littleendian.h"
#include "sharedstrings.h"

namespace Excel {
namespace Biff {

namespace {

constexpr quint16 SupBookRecord = 0x01AE;
constexpr quint16 ExternNameRecord = 0x0023;
constexpr quint16 ExternSheetRecord = 0x0017;
constexpr quint16 NameRecord = 0x0018;

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
    // A new entry must fit the EXTERNSHEET record as it is (no CONTINUE).
    if (selfBook < 0 || externSheetRecord < 0 || 2 + 6 * (sheetRanges.size() + 1) > size_t(MaxRecordData)
        || sheetRanges.size() >= 0xFFFF)
        return -1;
    sheetRanges.push_back(SheetRange{selfBook, first, last});
    return int(sheetRanges.size()) - 1;
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
    for (int i = g.firstRecord + 1; i < end; ++i) {
        if (index.depth[size_t(i)] != 1)
            continue;
        const Record &r = index.records[size_t(i)];
        const char *d = stream.constData() + r.dataOffset();
        const char *dEnd = d + r.size;
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
            break;
        }
        default:
            break;
        }
    }
}

} // namespace Biff
} // namespace Excel
