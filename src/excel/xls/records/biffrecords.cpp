#include "xls/records/biffrecords.h"

#include "littleendian.h"

#include <QCoreApplication>

namespace Excel {
namespace Biff {

namespace {

// Reads the record header at pos; false when it does not fit in the stream.
bool readHeader(const QByteArray &stream, quint32 pos, Record *rec, QString *error)
{
    const quint32 size = quint32(stream.size());
    if (size < 4 || pos > size - 4) {
        *error = QCoreApplication::translate("Xls", "Workbook stream: record header at offset %1 runs past the end").arg(pos);
        return false;
    }
    rec->offset = pos;
    rec->type = qFromLittleEndian<quint16>(stream.constData() + pos);
    rec->size = qFromLittleEndian<quint16>(stream.constData() + pos + 2);
    if (rec->size > MaxRecordData) {
        *error = QCoreApplication::translate("Xls", "Workbook stream: record 0x%1 at offset %2 is %3 bytes long (at most %4 allowed)")
                     .arg(rec->type, 4, 16, QLatin1Char('0')).arg(pos).arg(rec->size).arg(MaxRecordData);
        return false;
    }
    if (quint64(pos) + 4 + rec->size > size) {
        *error = QCoreApplication::translate("Xls", "Workbook stream: record 0x%1 at offset %2 runs past the end")
                     .arg(rec->type, 4, 16, QLatin1Char('0')).arg(pos);
        return false;
    }
    return true;
}

// Reads one substream from its BOF at pos up to the matching EOF.
bool readSubstream(const QByteArray &stream, quint32 pos, StreamIndex *index, Substream *sub, QString *error)
{
    sub->firstRecord = int(index->records.size());
    sub->start = pos;
    int depth = 0;
    for (;;) {
        Record rec;
        if (!readHeader(stream, pos, &rec, error))
            return false;
        if (rec.type == Rt::Bof) {
            if (rec.size < 4) {
                *error = QCoreApplication::translate("Xls", "Workbook stream: BOF record at offset %1 is too short").arg(pos);
                return false;
            }
            if (depth == 0) {
                sub->bofVersion = qFromLittleEndian<quint16>(stream.constData() + rec.dataOffset());
                sub->bofType = qFromLittleEndian<quint16>(stream.constData() + rec.dataOffset() + 2);
            }
            ++depth;
            if (depth > 8) {
                *error = QCoreApplication::translate("Xls", "Workbook stream: substreams nested too deeply at offset %1").arg(pos);
                return false;
            }
        } else if (depth == 0) {
            *error = QCoreApplication::translate("Xls", "Workbook stream: no BOF record at offset %1").arg(pos);
            return false;
        }
        index->records.push_back(rec);
        index->depth.push_back(quint8(depth));
        pos = rec.end();
        if (rec.type == Rt::Eof) {
            --depth;
            if (depth == 0)
                break;
        }
    }
    sub->recordCount = int(index->records.size()) - sub->firstRecord;
    sub->end = pos;
    return true;
}

} // namespace

bool indexStream(const QByteArray &stream, StreamIndex *index, QString *error)
{
    index->records.clear();
    index->substreams.clear();
    index->depth.clear();
    // Cell records take 10 to 18 bytes; a guess too small would double the
    // index of a large stream.
    index->records.reserve(size_t(stream.size() / 13) + 8);
    index->depth.reserve(size_t(stream.size() / 13) + 8);
    quint32 pos = 0;
    Substream first;
    if (!readSubstream(stream, pos, index, &first, error))
        return false;
    index->substreams.push_back(first);
    pos = first.end;
    for (;;) {
        Record rec;
        QString ignored;
        if (!readHeader(stream, pos, &rec, &ignored) || rec.type != Rt::Bof)
            break;
        Substream sub;
        const size_t mark = index->records.size();
        if (!readSubstream(stream, pos, index, &sub, &ignored)) {
            // A cut-off substream after the last complete one: keep its
            // bytes as trailing data.
            index->records.resize(mark);
            index->depth.resize(mark);
            break;
        }
        index->substreams.push_back(sub);
        pos = sub.end;
    }
    index->usedEnd = pos;
    return true;
}

} // namespace Biff
} // namespace Excel
