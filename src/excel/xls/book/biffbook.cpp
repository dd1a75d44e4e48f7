#include "xls/book/biffbook.h"

#include "littleendian.h"
#include "cellrules/numberformat.h"

#include <QCoreApplication>
#include <QHash>

#include <functional>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string_view>

namespace Excel {
namespace Biff {

namespace {

constexpr quint16 RecalcId = 0x01C1;

// Memory freed in many small blocks, or in blocks the allocator took from
// the middle of its heap, stays with the process unless given back; a save
// frees the old book's so that the new one can reuse its pages. That takes
// system calls, worth them only for a large table of strings or of cells.
constexpr int ManyStrings = 65536;
constexpr size_t ManyRecords = 65536;
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Globals records that come after the SST; a new SST goes before the first.
bool followsSst(quint16 type)
{
    switch (type) {
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

} // namespace

bool Book::openFile(QByteArray file, QString *error)
{
    const bool read = readCompoundFile(file, &m_root, error);
    file = QByteArray(); // every stream is held in the tree now
    if (!read)
        return false;
    if (m_root.findStream("EncryptionInfo") || m_root.findStream("EncryptedPackage")) {
        *error = QCoreApplication::translate("Xls", "encrypted workbook (the file is protected with a password)");
        return false;
    }
    // Excel 5/95 names its stream Book, but so do some writers of Excel 97
    // files: the version is the one its first record, the BOF, gives.
    CfbNode *wb = m_root.findStream("Workbook");
    if (!wb) {
        wb = m_root.findStream("Book");
        if (!wb) {
            *error = QCoreApplication::translate("Xls", "no Workbook stream in the compound file");
            return false;
        }
        const QByteArray &d = wb->data;
        if (d.size() < 8 || qFromLittleEndian<quint16>(d.constData()) != Rt::Bof) {
            *error = QCoreApplication::translate("Xls", "the Book stream does not start with a BOF record");
            return false;
        }
        if (qFromLittleEndian<quint16>(d.constData() + 4) != 0x0600) {
            *error = QCoreApplication::translate("Xls", "Excel 5/95 workbook (only Excel 97 and later .xls files are supported)");
            return false;
        }
    }
    m_streamName = wb->name;
    QByteArray stream = wb->data;
    wb->data.clear(); // the Workbook stream lives in m_stream from here on
    return openStream(stream, error);
}

bool Book::openStream(const QByteArray &stream, QString *error)
{
    // Cell items number their records in 28 bits: a stream below 1 GiB has
    // fewer records than that.
    if (stream.size() >= 1 << 30) {
        *error = QCoreApplication::translate("Xls", "the file is larger than 1 GiB");
        return false;
    }
    m_stream = stream;
    if (!indexStream(m_stream, &m_index, error))
        return false;
    return parseGlobals(error);
}

bool Book::parseXf(const Record &r, QString *)
{
    XfInfo xf;
    if (r.size >= 6) {
        const char *d = m_stream.constData() + r.dataOffset();
        xf.locked = qFromLittleEndian<quint16>(d + 4) & 0x0001;
    }
    m_xfs.append(xf);
    return true;
}

bool Book::parseGlobals(QString *error)
{
    const Substream &g = m_index.substreams.front();
    if (g.bofVersion != 0x0600 || g.bofType != 0x0005) {
        if (g.bofVersion == 0x0500)
            *error = QCoreApplication::translate("Xls", "Excel 5/95 workbook (only Excel 97 and later .xls files are supported)");
        else
            *error = QCoreApplication::translate("Xls", "Workbook stream: not a BIFF8 workbook (BOF version 0x%1, type 0x%2)")
                         .arg(g.bofVersion, 4, 16, QLatin1Char('0')).arg(g.bofType, 4, 16, QLatin1Char('0'));
        return false;
    }
    struct BoundSheet
    {
        int rec;
        quint32 pos;
        QString name;
    };
    std::vector<BoundSheet> bound;
    std::vector<quint16> xfFormats;
    QHash<int, QString> formats;
    int itabCur = -1;
    const int end = g.firstRecord + g.recordCount;
    for (int i = g.firstRecord + 1; i < end; ++i) {
        if (m_index.depth[size_t(i)] != 1)
            continue;
        const Record &r = m_index.records[size_t(i)];
        const char *d = m_stream.constData() + r.dataOffset();
        switch (r.type) {
        case Rt::FilePass:
            *error = QCoreApplication::translate("Xls", "encrypted workbook (the file is protected with a password)");
            return false;
        case Rt::BoundSheet8: {
            if (r.size < 8) {
                *error = QCoreApplication::translate("Xls", "Workbook stream: BOUNDSHEET record at offset %1 is too short").arg(r.offset);
                return false;
            }
            const int cch = quint8(d[6]);
            const bool high = d[7] & 0x01;
            if (8 + cch * (high ? 2 : 1) > r.size) {
                *error = QCoreApplication::translate("Xls", "Workbook stream: sheet name at offset %1 runs past its record").arg(r.offset);
                return false;
            }
            bound.push_back({i, qFromLittleEndian<quint32>(d), decodeCharacters(d + 8, cch, high)});
            break;
        }
        case Rt::Window1:
            if (itabCur < 0 && r.size >= 12)
                itabCur = qFromLittleEndian<quint16>(d + 10);
            break;
        case Rt::Xf:
            xfFormats.push_back(r.size >= 4 ? qFromLittleEndian<quint16>(d + 2) : 0);
            parseXf(r, error);
            break;
        case Rt::Format: {
            if (r.size < 5)
                break;
            const int cch = qFromLittleEndian<quint16>(d + 2);
            const bool high = d[4] & 0x01;
            if (5 + qint64(cch) * (high ? 2 : 1) <= r.size)
                formats.insert(qFromLittleEndian<quint16>(d), decodeCharacters(d + 5, cch, high));
            break;
        }
        case Rt::Sst:
            if (m_sstRecord < 0)
                m_sstRecord = i;
            break;
        case Rt::ExtSst:
            if (m_extSstRecord < 0)
                m_extSstRecord = i;
            break;
        default:
            break;
        }
        if (m_newSstBefore < 0 && followsSst(r.type))
            m_newSstBefore = i;
    }
    if (m_newSstBefore < 0)
        m_newSstBefore = end - 1;
    for (int i = 0; i < m_xfs.size(); ++i) {
        const int id = xfFormats[size_t(i)];
        quint8 cls = 0;
        const auto f = formats.constFind(id);
        if (f != formats.constEnd()) {
            if (formatCodeIsText(*f))
                cls = 2;
            else if (formatCodeShowsDateTimeOrPercent(*f))
                cls = 1;
        } else if (builtinFormatIsText(id)) {
            cls = 2;
        } else if (builtinFormatShowsDateTimeOrPercent(id)) {
            cls = 1;
        }
        m_xfs[i].numberClass = cls;
    }
    if (m_sstRecord >= 0 && !m_sst.parse(m_stream, m_index, m_sstRecord, error))
        return false;
    m_sstRefs = QVector<quint32>(m_sst.count(), 0);
    for (size_t i = 0; i < m_index.records.size(); ++i) {
        const Record &r = m_index.records[i];
        if (r.type != Rt::LabelSst || r.size < 10)
            continue;
        ++m_labelSstCount;
        const quint32 isst = qFromLittleEndian<quint32>(m_stream.constData() + r.dataOffset() + 6);
        if (isst < quint32(m_sstRefs.size()))
            ++m_sstRefs[int(isst)];
    }
    m_originalLabelSstCount = m_labelSstCount;

    QStringList sheetNames;
    for (const BoundSheet &b : bound)
        sheetNames.append(b.name);
    readFormulaNames(m_stream, m_index, sheetNames, &m_formulaNames);

    if (bound.empty()) {
        *error = QCoreApplication::translate("Xls", "Workbook stream: the workbook lists no sheets");
        return false;
    }
    for (const BoundSheet &b : bound) {
        int sub = -1;
        for (size_t s = 1; s < m_index.substreams.size(); ++s)
            if (m_index.substreams[s].start == b.pos)
                sub = int(s);
        if (sub < 0) {
            *error = QCoreApplication::translate("Xls", "sheet '%1': its offset %2 points to no sheet in the Workbook stream")
                         .arg(b.name).arg(b.pos);
            return false;
        }
        for (const auto &other : m_sheets)
            if (other->substream() == sub) {
                *error = QCoreApplication::translate("Xls", "sheet '%1': it shares its data with sheet '%2'").arg(b.name, other->name());
                return false;
            }
        auto sheet = std::make_unique<Sheet>(this, b.name, b.rec);
        if (!sheet->parse(sub, error))
            return false;
        m_sheets.push_back(std::move(sheet));
    }
    m_activeSheet = itabCur >= 0 && itabCur < int(m_sheets.size()) ? itabCur : 0;
    return true;
}

bool Book::xfIsLocked(int xf) const
{
    return xf < 0 || xf >= m_xfs.size() || m_xfs[xf].locked;
}

bool Book::xfHidesNumber(int xf) const
{
    return xf >= 0 && xf < m_xfs.size() && m_xfs[xf].numberClass == 1;
}

bool Book::xfIsText(int xf) const
{
    return xf >= 0 && xf < m_xfs.size() && m_xfs[xf].numberClass == 2;
}

void Book::addStringRef(int i, int delta)
{
    if (i >= m_sstRefs.size())
        m_sstRefs.resize(i + 1);
    m_sstRefs[i] = quint32(qint64(m_sstRefs[i]) + delta);
    m_labelSstCount += delta;
}

bool Book::isChanged() const
{
    if (m_sst.isChanged() || m_labelSstCount != m_originalLabelSstCount)
        return true;
    for (const auto &s : m_sheets)
        if (s->isDirty())
            return true;
    return false;
}

QByteArray Book::buildStream(bool releasing)
{
    if (releasing)
        for (auto &sheet : m_sheets)
            sheet->releaseLookups();
    QByteArray out;
    out.reserve(m_stream.size() + m_stream.size() / 8 + 65536);
    const bool rewriteSst = m_sst.isChanged();
    const quint32 cstTotal = quint32(m_labelSstCount);
    const Substream &g = m_index.substreams.front();
    QHash<int, int> boundSheetAt; // record -> position in out
    QByteArray extSst;
    const int end = g.firstRecord + g.recordCount;
    // Names and tables that formulas needed, and how far the SST kept as it
    // was moved (its EXTSST points into it by stream offset).
    const std::vector<std::pair<int, QByteArray>> added = m_formulaNames.addedRecords();
    auto nextAdded = added.begin();
    qint64 sstMoved = 0;
    for (int i = g.firstRecord; i < end; ++i) {
        const Record &r = m_index.records[size_t(i)];
        for (; nextAdded != added.end() && nextAdded->first <= i; ++nextAdded)
            out.append(nextAdded->second);
        if (i == m_sstRecord)
            sstMoved = qint64(out.size()) - qint64(r.offset);
        if (i == m_newSstBefore && m_sstRecord < 0 && rewriteSst) {
            out.append(m_sst.serialize(quint32(out.size()), cstTotal, &extSst));
            appendRecord(out, Rt::ExtSst, extSst);
        }
        if (i == m_sstRecord && (rewriteSst || m_labelSstCount != m_originalLabelSstCount)) {
            const int last = i + m_sst.continueRecords();
            if (rewriteSst) {
                out.append(m_sst.serialize(quint32(out.size()), cstTotal, &extSst));
            } else {
                const int at = out.size();
                const Record &lr = m_index.records[size_t(last)];
                out.append(m_stream.constData() + r.offset, int(lr.end() - r.offset));
                qToLittleEndian<quint32>(cstTotal, out.data() + at + 4);
            }
            i = last;
            continue;
        }
        if (i == m_extSstRecord && rewriteSst && m_sstRecord >= 0) {
            appendRecord(out, Rt::ExtSst, extSst);
            continue;
        }
        if (i == m_extSstRecord && !rewriteSst && sstMoved != 0) {
            // The SST as it was, at another offset: its buckets follow it.
            QByteArray moved(m_stream.constData() + r.dataOffset(), r.size);
            for (int k = 2; k + 8 <= moved.size(); k += 8)
                qToLittleEndian<quint32>(quint32(qFromLittleEndian<quint32>(moved.constData() + k) + sstMoved), moved.data() + k);
            appendRecord(out, r.type, moved);
            continue;
        }
        if (r.type == Rt::BoundSheet8)
            boundSheetAt.insert(i, out.size());
        if (i == m_formulaNames.externSheetRecord && m_formulaNames.rangesAdded()) {
            appendRecord(out, r.type, m_formulaNames.externSheetData());
            continue;
        }
        out.append(m_stream.constData() + r.offset, 4 + r.size);
        if (r.type == RecalcId && m_formulaChanged && r.size >= 8)
            qToLittleEndian<quint32>(0, out.data() + out.size() - 4); // an old engine's file: recalculated on opening
    }
    if (releasing) {
        // The sheets' records refer to strings by number only. The strings
        // are many small blocks, given back so that the rest of the stream
        // can take their place.
        const bool many = m_sst.count() >= ManyStrings;
        m_sst = SharedStrings();
        m_sstRefs = QVector<quint32>();
        if (many)
            giveBackFreedMemory();
    }
    std::vector<quint32> newStart(m_index.substreams.size(), 0);
    std::vector<Sheet *> bySubstream(m_index.substreams.size(), nullptr);
    for (const auto &s : m_sheets)
        bySubstream[size_t(s->substream())] = s.get();
    for (size_t s = 1; s < m_index.substreams.size(); ++s) {
        newStart[s] = quint32(out.size());
        if (Sheet *sheet = bySubstream[s]) {
            sheet->layOut(out);
            if (releasing) {
                const bool many = sheet->itemCount() >= ManyRecords;
                sheet->releaseCells();
                if (many)
                    giveBackFreedMemory();
            }
        } else {
            const Substream &sub = m_index.substreams[s];
            out.append(m_stream.constData() + sub.start, int(sub.end - sub.start));
        }
    }
    out.append(m_stream.constData() + m_index.usedEnd, m_stream.size() - int(m_index.usedEnd));
    for (const auto &s : m_sheets) {
        const int at = boundSheetAt.value(s->boundSheetRecord(), -1);
        if (at >= 0)
            qToLittleEndian<quint32>(newStart[size_t(s->substream())], out.data() + at + 4);
    }
    return out;
}

namespace {

size_t streamHash(const QByteArray &stream)
{
    return std::hash<std::string_view>()(std::string_view(stream.constData(), size_t(stream.size())));
}

} // namespace

bool Book::buildFile(QByteArray *file, WrittenFile *written, QString *error)
{
    written->tree = m_root;
    written->streamName = m_streamName;
    CfbNode *wb = written->tree.findStream(m_streamName.constData());
    if (!wb) {
        releaseCells();
        *error = QCoreApplication::translate("Xls", "save: the workbook has no container to write into");
        return false;
    }
    wb->data = buildStream(true);
    releaseCells();
    written->streamSize = wb->data.size();
    written->streamHash = streamHash(wb->data);
    const bool ok = writeCompoundFile(written->tree, file, error);
    wb->data = QByteArray(); // the file holds it now
    return ok;
}

bool Book::matches(const WrittenFile &written, QString *difference) const
{
    // The stream the book read is held apart from its tree, as in written.
    if (m_streamName != written.streamName || m_stream.size() != written.streamSize
        || streamHash(m_stream) != written.streamHash) {
        *difference = QCoreApplication::translate("Xls", "content of %1 differs").arg(QString::fromUtf8(written.streamName));
        return false;
    }
    return sameTree(written.tree, m_root, difference);
}

void Book::releaseCells()
{
    m_released = true;
    const bool many = m_index.records.size() >= ManyRecords;
    m_stream = QByteArray();
    m_index = StreamIndex();
    m_sst = SharedStrings();
    m_sstRefs = QVector<quint32>();
    for (auto &s : m_sheets)
        s->releaseCells();
    if (many)
        giveBackFreedMemory();
}

} // namespace Biff
} // namespace Excel
