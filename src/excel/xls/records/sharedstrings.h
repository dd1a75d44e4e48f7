#pragma once

// The shared string table (SST record and its CONTINUE records): reading
// with the split rules of BIFF8, and writing it again split the same way,
// together with the EXTSST lookup index that points into it.

#include "xls/records/biffrecords.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

namespace Excel {
namespace Biff {

struct FormatRun
{
    quint16 ich = 0;  // first character the font applies to
    quint16 ifnt = 0; // font index
};

struct SstEntry
{
    QString text;
    QVector<FormatRun> runs;
    QByteArray extRst;     // phonetic data, kept as stored
    bool hasExtRst = false;
    bool highByte = false; // stored with 2-byte characters
};

// Reads one XLUnicodeRichExtendedString-style character block: cch
// characters starting with flag byte semantics already decoded.
QString decodeCharacters(const char *data, int cch, bool highByte);

class SharedStrings
{
public:
    // Reads the SST record at index sstRecord and the CONTINUE records that
    // directly follow it.
    bool parse(const QByteArray &stream, const StreamIndex &index, int sstRecord, QString *error);

    int count() const { return m_entries.size(); }
    const SstEntry &at(int i) const { return m_entries.at(i); }
    // Number of CONTINUE records read after the SST record.
    int continueRecords() const { return m_continueRecords; }
    quint32 declaredTotal() const { return m_cstTotal; }
    bool isChanged() const { return m_changed; }

    // The index of a plain (no runs, no phonetic data) entry with this
    // text, or -1.
    int findPlain(const QString &text);
    int append(const SstEntry &entry);
    // Changes the text and runs of entry i; its phonetic data is dropped.
    void setEntry(int i, const QString &text, const QVector<FormatRun> &runs);
    // From now on setEntry keeps what an entry held before its first change,
    // for entryAsRead().
    void keepEntriesAsRead() { m_keepAsRead = true; }
    // Entry i as it was before setEntry changed it (kept only since
    // keepEntriesAsRead()), else as it is.
    const SstEntry &entryAsRead(int i) const
    {
        const auto kept = m_asRead.constFind(i);
        return kept != m_asRead.constEnd() ? kept.value() : m_entries.at(i);
    }

    // The SST record with its CONTINUE records, as they go into the stream
    // at offset base, for cstTotal references. When extSst is given it
    // receives the data of a matching EXTSST record.
    QByteArray serialize(quint32 base, quint32 cstTotal, QByteArray *extSst) const;

private:
    bool isPlain(const SstEntry &e) const { return e.runs.isEmpty() && !e.hasExtRst; }
    // The slot that holds entry index for text (found), or the first free
    // slot of its probe sequence.
    size_t probe(const QString &text, uint hash, bool *found) const;
    // Makes entry i the plain entry for its text, unless one already is.
    void addPlain(int i);
    void removePlain(int i);
    void rehashPlain(size_t capacity);

    QVector<SstEntry> m_entries;
    // The first plain entry of each text, in an open-addressing table of
    // entry numbers and text hashes, so that a table of 100,000 strings
    // costs 2 MB and not a node per string. Linear probing; a removed entry
    // leaves a tombstone until the next rehash.
    struct PlainSlot
    {
        int entry = -1; // -1 empty, -2 removed
        uint hash = 0;
    };
    std::vector<PlainSlot> m_plain;
    size_t m_plainUsed = 0; // slots that are not empty, tombstones included
    bool m_plainBuilt = false;
    int m_continueRecords = 0;
    quint32 m_cstTotal = 0;
    bool m_changed = false;
    bool m_keepAsRead = false;
    QHash<int, SstEntry> m_asRead;
};

} // namespace Biff
} // namespace Excel

Q_DECLARE_TYPEINFO(Excel::Biff::SstEntry, Q_MOVABLE_TYPE);
