#include "xls/records/sharedstrings.h"

#include "littleendian.h"

#include <algorithm>
#include <cstdint>

#include <QCoreApplication>

namespace Excel {
namespace Biff {

QString decodeCharacters(const char *data, int cch, bool highByte)
{
    if (!highByte)
        return QString::fromLatin1(data, cch);
    QString s(cch, Qt::Uninitialized);
    QChar *d = s.data();
    for (int i = 0; i < cch; ++i)
        d[i] = QChar(qFromLittleEndian<quint16>(data + 2 * i));
    return s;
}

namespace {

// Walks the data of the SST record and its CONTINUE records as one
// sequence, with the record boundaries still visible.
class ChainReader
{
public:
    ChainReader(const QByteArray &stream, const std::vector<const Record *> &records)
        : m_stream(stream), m_records(records)
    {
        if (!m_records.empty())
            enter(0);
    }

    int available() const { return int(m_end - m_pos); }
    bool atEnd() const { return m_pos == m_end && m_rec + 1 >= int(m_records.size()); }
    bool nextRecord()
    {
        if (m_rec + 1 >= int(m_records.size()))
            return false;
        enter(m_rec + 1);
        return true;
    }
    const char *take(int n)
    {
        const char *p = m_stream.constData() + m_pos;
        m_pos += quint32(n);
        return p;
    }
    // Reads n bytes that may continue straight on in the next records.
    bool readRaw(int n, QByteArray *out)
    {
        while (n > 0) {
            if (available() == 0 && !nextRecord())
                return false;
            const int k = std::min(n, available());
            if (out)
                out->append(take(k), k);
            n -= k;
        }
        return true;
    }

private:
    void enter(int r)
    {
        m_rec = r;
        m_pos = m_records[size_t(r)]->dataOffset();
        m_end = m_records[size_t(r)]->end();
    }

    const QByteArray &m_stream;
    const std::vector<const Record *> &m_records;
    int m_rec = 0;
    quint32 m_pos = 0;
    quint32 m_end = 0;
};

} // namespace

bool SharedStrings::parse(const QByteArray &stream, const StreamIndex &index, int sstRecord, QString *error)
{
    m_entries.clear();
    m_plain.clear();
    m_plainUsed = 0;
    m_plainBuilt = false;
    m_changed = false;
    std::vector<const Record *> chain;
    chain.push_back(&index.records[size_t(sstRecord)]);
    for (size_t r = size_t(sstRecord) + 1; r < index.records.size() && index.records[r].type == Rt::Continue; ++r)
        chain.push_back(&index.records[r]);
    m_continueRecords = int(chain.size()) - 1;
    const Record &sst = *chain.front();
    if (sst.size < 8) {
        *error = QCoreApplication::translate("Xls", "Workbook stream: SST record is too short");
        return false;
    }
    m_cstTotal = qFromLittleEndian<quint32>(stream.constData() + sst.dataOffset());
    const quint32 declared = qFromLittleEndian<quint32>(stream.constData() + sst.dataOffset() + 4);
    ChainReader in(stream, chain);
    in.take(8);
    quint64 chainBytes = 0;
    for (const Record *r : chain)
        chainBytes += r->size;
    m_entries.reserve(int(std::min<quint64>(declared, chainBytes / 3 + 1)));
    for (quint32 i = 0; i < declared; ++i) {
        if (in.available() == 0 && !in.nextRecord())
            break; // fewer strings than declared: readers accept that, so do we
        const auto fail = [&](const QString &what) {
            *error = QCoreApplication::translate("Xls", "Workbook stream: SST string %1 %2").arg(i).arg(what);
            return false;
        };
        if (in.available() < 3)
            return fail(QCoreApplication::translate("Xls", "has its header split across records"));
        const char *h = in.take(3);
        // Longer texts than a cell may hold (32767 characters) are read and
        // kept as they are; they only fail where an edit would write one.
        const int cch = qFromLittleEndian<quint16>(h);
        const quint8 flags = quint8(h[2]);
        SstEntry e;
        e.highByte = flags & 0x01;
        const bool rich = flags & 0x08;
        e.hasExtRst = flags & 0x04;
        int cRun = 0;
        quint32 cbExtRst = 0;
        if (rich) {
            if (in.available() < 2)
                return fail(QCoreApplication::translate("Xls", "has its header split across records"));
            cRun = qFromLittleEndian<quint16>(in.take(2));
        }
        if (e.hasExtRst) {
            if (in.available() < 4)
                return fail(QCoreApplication::translate("Xls", "has its header split across records"));
            cbExtRst = qFromLittleEndian<quint32>(in.take(4));
        }
        // Characters; each CONTINUE that carries some of them starts with a
        // flag byte that may switch the width for the rest.
        bool high = e.highByte;
        int remaining = cch;
        QString text;
        text.reserve(cch);
        while (remaining > 0) {
            if (in.available() == 0) {
                if (!in.nextRecord())
                    return fail(QCoreApplication::translate("Xls", "runs past its record"));
                high = quint8(*in.take(1)) & 0x01;
                continue;
            }
            const int avail = in.available();
            int n = high ? std::min(remaining, avail / 2) : std::min(remaining, avail);
            if (n == 0)
                return fail(QCoreApplication::translate("Xls", "splits a character across records"));
            text += decodeCharacters(in.take(high ? 2 * n : n), n, high);
            remaining -= n;
        }
        e.text = text;
        if (cRun > 0) {
            QByteArray raw;
            if (!in.readRaw(4 * cRun, &raw))
                return fail(QCoreApplication::translate("Xls", "runs past its record"));
            e.runs.resize(cRun);
            for (int k = 0; k < cRun; ++k)
                e.runs[k] = FormatRun{qFromLittleEndian<quint16>(raw.constData() + 4 * k), qFromLittleEndian<quint16>(raw.constData() + 4 * k + 2)};
        }
        if (cbExtRst > 0) {
            if (cbExtRst > chainBytes)
                return fail(QCoreApplication::translate("Xls", "runs past its record"));
            if (!in.readRaw(int(cbExtRst), &e.extRst))
                return fail(QCoreApplication::translate("Xls", "runs past its record"));
        }
        m_entries.append(e);
    }
    return true;
}

size_t SharedStrings::probe(const QString &text, uint hash, bool *found) const
{
    const size_t mask = m_plain.size() - 1;
    size_t free = SIZE_MAX;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        const PlainSlot &slot = m_plain[s];
        if (slot.entry == -1) {
            *found = false;
            return free != SIZE_MAX ? free : s;
        }
        if (slot.entry == -2) {
            if (free == SIZE_MAX)
                free = s;
        } else if (slot.hash == hash && m_entries.at(slot.entry).text == text) {
            *found = true;
            return s;
        }
    }
}

void SharedStrings::rehashPlain(size_t capacity)
{
    std::vector<PlainSlot> old;
    old.swap(m_plain);
    m_plain.assign(capacity, PlainSlot());
    m_plainUsed = 0;
    for (const PlainSlot &slot : old) {
        if (slot.entry < 0)
            continue;
        bool found;
        m_plain[probe(m_entries.at(slot.entry).text, slot.hash, &found)] = slot;
        ++m_plainUsed;
    }
}

void SharedStrings::addPlain(int i)
{
    // At most three quarters of the slots are in use, so a probe ends.
    if (4 * (m_plainUsed + 1) > 3 * m_plain.size())
        rehashPlain(std::max<size_t>(64, m_plain.size() * 2));
    const QString &text = m_entries.at(i).text;
    const uint hash = qHash(text);
    bool found;
    const size_t s = probe(text, hash, &found);
    if (found)
        return;
    if (m_plain[s].entry == -1)
        ++m_plainUsed;
    m_plain[s] = PlainSlot{i, hash};
}

void SharedStrings::removePlain(int i)
{
    bool found;
    const QString &text = m_entries.at(i).text;
    const size_t s = probe(text, qHash(text), &found);
    if (found && m_plain[s].entry == i)
        m_plain[s].entry = -2;
}

int SharedStrings::findPlain(const QString &text)
{
    if (!m_plainBuilt) {
        size_t capacity = 64;
        while (4 * size_t(m_entries.size()) > 3 * capacity)
            capacity *= 2;
        m_plain.assign(capacity, PlainSlot());
        m_plainUsed = 0;
        for (int i = 0; i < m_entries.size(); ++i)
            if (isPlain(m_entries.at(i)))
                addPlain(i);
        m_plainBuilt = true;
    }
    bool found;
    const size_t s = probe(text, qHash(text), &found);
    return found ? m_plain[s].entry : -1;
}

int SharedStrings::append(const SstEntry &entry)
{
    m_entries.append(entry);
    const int i = m_entries.size() - 1;
    if (m_plainBuilt && isPlain(entry))
        addPlain(i);
    m_changed = true;
    return i;
}

void SharedStrings::setEntry(int i, const QString &text, const QVector<FormatRun> &runs)
{
    SstEntry &e = m_entries[i];
    if (m_keepAsRead && !m_asRead.contains(i))
        m_asRead.insert(i, e);
    if (m_plainBuilt)
        removePlain(i);
    e.text = text;
    e.runs = runs;
    e.extRst.clear();
    e.hasExtRst = false;
    e.highByte = false;
    if (m_plainBuilt && runs.isEmpty())
        addPlain(i);
    m_changed = true;
}

namespace {

// Writes record data, starting a CONTINUE record whenever the current
// record is full.
class ChainWriter
{
public:
    explicit ChainWriter(quint16 type) { begin(type); }

    int room() const { return MaxRecordData - m_len; }
    int offsetInRecord() const { return m_out.size() - m_recStart; }
    int position() const { return m_out.size(); }
    void put(const char *p, int n)
    {
        m_out.append(p, n);
        m_len += n;
    }
    void putByte(quint8 b)
    {
        const char c = char(b);
        put(&c, 1);
    }
    void putU16(quint16 v)
    {
        char b[2];
        qToLittleEndian<quint16>(v, b);
        put(b, 2);
    }
    void putU32(quint32 v)
    {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        put(b, 4);
    }
    void newContinue()
    {
        finish();
        begin(Rt::Continue);
    }
    QByteArray take()
    {
        finish();
        return m_out;
    }

private:
    void begin(quint16 type)
    {
        m_recStart = m_out.size();
        m_type = type;
        m_out.append(4, '\0');
        m_len = 0;
    }
    void finish()
    {
        qToLittleEndian<quint16>(m_type, m_out.data() + m_recStart);
        qToLittleEndian<quint16>(quint16(m_len), m_out.data() + m_recStart + 2);
    }

    QByteArray m_out;
    int m_recStart = 0;
    int m_len = 0;
    quint16 m_type = 0;
};

bool needsHighByte(const QString &s)
{
    for (const QChar c : s)
        if (c.unicode() > 0xFF)
            return true;
    return false;
}

} // namespace

QByteArray SharedStrings::serialize(quint32 base, quint32 cstTotal, QByteArray *extSst) const
{
    const int n = m_entries.size();
    const int dsst = std::max(n / 128 + 1, 8);
    ChainWriter w(Rt::Sst);
    w.putU32(cstTotal);
    w.putU32(quint32(n));
    QByteArray buckets;
    for (int i = 0; i < n; ++i) {
        const SstEntry &e = m_entries.at(i);
        const int cch = e.text.size();
        // An untouched 2-byte string keeps its width even when it would fit
        // in one byte per character.
        const bool high = e.highByte || needsHighByte(e.text);
        const bool rich = !e.runs.isEmpty();
        const int header = 3 + (rich ? 2 : 0) + (e.hasExtRst ? 4 : 0);
        const int firstChar = cch > 0 ? (high ? 2 : 1) : 0;
        // The header and the first character stay in one record.
        if (w.room() < header + firstChar)
            w.newContinue();
        if (i % dsst == 0) {
            appendU32(buckets, base + quint32(w.position()));
            appendU16(buckets, quint16(w.offsetInRecord()));
            appendU16(buckets, 0);
        }
        w.putU16(quint16(cch));
        w.putByte(quint8((high ? 0x01 : 0) | (e.hasExtRst ? 0x04 : 0) | (rich ? 0x08 : 0)));
        if (rich)
            w.putU16(quint16(e.runs.size()));
        if (e.hasExtRst)
            w.putU32(quint32(e.extRst.size()));
        const ushort *units = e.text.utf16();
        int done = 0;
        QByteArray chunk;
        while (done < cch) {
            int k = high ? w.room() / 2 : w.room();
            k = std::min(k, cch - done);
            if (k == 0) {
                // Character data goes on in a CONTINUE that starts with the
                // flag byte of the rest of the string.
                w.newContinue();
                w.putByte(high ? 0x01 : 0x00);
                continue;
            }
            chunk.resize(high ? 2 * k : k);
            for (int j = 0; j < k; ++j) {
                if (high)
                    qToLittleEndian<quint16>(units[done + j], chunk.data() + 2 * j);
                else
                    chunk[j] = char(units[done + j]);
            }
            w.put(chunk.constData(), chunk.size());
            done += k;
        }
        for (const FormatRun &r : e.runs) {
            if (w.room() < 4)
                w.newContinue();
            w.putU16(r.ich);
            w.putU16(r.ifnt);
        }
        int ext = 0;
        while (ext < e.extRst.size()) {
            if (w.room() == 0)
                w.newContinue();
            const int k = std::min(w.room(), e.extRst.size() - ext);
            w.put(e.extRst.constData() + ext, k);
            ext += k;
        }
    }
    if (extSst) {
        extSst->clear();
        appendU16(*extSst, quint16(dsst));
        extSst->append(buckets);
    }
    return w.take();
}

} // namespace Biff
} // namespace Excel
