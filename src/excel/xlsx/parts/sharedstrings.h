#pragma once

// The shared-string table. Other cells may use an entry, so a changed
// string becomes a new entry at the end (an equal new plain string is
// reused), and saving splices the new entries and the two counts into the
// part. Only a save that knows every cell naming an entry now names the
// same new one may put the new text in the entry's place.

#include "xlsx/package/opcpackage.h"
#include "xlsx/cells/richtext.h"
#include "xlsx/zip/zipwriter.h"

#include <vector>

namespace Excel {
namespace Xlsx {

class SharedStrings
{
public:
    // entryScan: plain entries are read straight from their bytes (off: all
    // tokenized, the same result).
    bool parse(QByteArray data, const QString &partName, Conformance family, QString *error, bool entryScan = true);

    const QString &partName() const { return m_partName; }
    // The part as it was read (new entries are kept apart).
    const QByteArray &originalXml() const { return m_xml; }
    quint32 size() const { return quint32(m_items.size() + m_added.size()); }

    // The text of entry i without phonetic runs; false for a damaged entry.
    bool text(quint32 i, QString *text, QString *error) const;
    // The whole entry, runs and all.
    bool richText(quint32 i, RichText *text, QString *error) const;
    // Whether the entry has more than one plain text (runs or phonetics).
    bool isComplex(quint32 i) const;

    // The raw character data of an entry of the part that is one plain
    // <t>; false otherwise.
    bool plainRaw(quint32 i, const char **data, size_t *size) const;

    // The text of entry i in UTF-8 when its stored bytes are just that
    // (readsAsItself), read without decoding; false otherwise.
    bool utf8Text(quint32 i, std::string_view *utf8) const;

    quint32 appendPlain(const QString &text);
    quint32 append(const RichText &text);

    // Cells that use the table: one more (+1) or one fewer (-1).
    void countReference(int delta) { m_referenceDelta += delta; }

    bool isChanged() const { return !m_added.empty() || m_referenceDelta != 0; }

    // What was added and counted so far, to go back to after work that is
    // to be done again another way.
    struct Mark
    {
        size_t added = 0;
        int referenceDelta = 0;
    };
    Mark mark() const { return {m_added.size(), m_referenceDelta}; }
    void backTo(const Mark &mark);
    int referenceDelta() const { return m_referenceDelta; }
    void setReferenceDelta(int delta) { m_referenceDelta = delta; }

    // While set, every entry that appendPlain or append hands out (new or
    // found again) is noted in *log, in order.
    void setProductionLog(std::vector<quint32> *log) { m_log = log; }
    // Gives the new entries from position `from` of the added ones on the
    // order `order` (order[i]: the position, counted from `from`, of the
    // entry that comes i-th).
    void reorderAdded(size_t from, const std::vector<quint32> &order);
    quint32 sizeAsRead() const { return quint32(m_items.size()); }

    // Entries of the part that take the text of a new entry (from, to),
    // ascending; and whether the new entries are left out (no cell names
    // one any more).
    struct InPlace
    {
        std::vector<std::pair<quint32, quint32>> entries;
        bool dropAdded = false;
    };
    bool write(ByteSink *sink, QString *error, const InPlace &inPlace) const;
    bool write(ByteSink *sink, QString *error) const { return write(sink, error, InPlace()); }

private:
    struct Item
    {
        quint32 begin, end;         // the <si> element
        quint32 textBegin, textEnd; // the raw text of a plain entry
        bool complex;
    };

    bool scanPlainEntry(XmlTokenizer &t, qint64 at);

    QString m_partName;
    QByteArray m_xml;
    int m_ns = NsMainTransitional;
    QByteArray m_prefix;
    XmlScope m_scope;
    std::vector<Item> m_items;
    qint64 m_rootEnd = 0;        // where new entries go (before </sst>)
    bool m_rootSelfClosing = false;
    qint64 m_countBegin = -1, m_countEnd = -1;
    qint64 m_uniqueBegin = -1, m_uniqueEnd = -1;
    qint64 m_count = 0, m_unique = 0;

    // New entries, compactly: their <si> elements one after another in
    // m_addedXml; a plain one is read again from its bytes, and only one
    // with runs or phonetic properties keeps its RichText.
    struct Added
    {
        quint32 begin, end;         // the <si> element in m_addedXml
        quint32 textBegin, textEnd; // the raw text of a plain entry
        qint32 rich;                // into m_addedRich; -1 for a plain entry
        uint hash;                  // of the text, for entries appendPlain made
        bool byText;                // appendPlain made it: it is found by text
    };
    QString addedText(const Added &a) const;
    quint32 addAdded(const QByteArray &si, quint32 textBegin, quint32 textEnd, qint32 rich);
    // Entries appendPlain made, by text: open addressing over positions in
    // m_added (+1; 0 is an empty slot).
    qint64 findByText(const QString &text, uint hash) const;
    void insertByText(quint32 position);
    void placeByText(quint32 position);
    void rebuildByText(size_t slotCount, qint64 upTo);

    QByteArray m_addedXml;
    std::vector<Added> m_added;
    std::vector<RichText> m_addedRich;
    std::vector<quint32> m_byText;
    size_t m_byTextCount = 0;
    int m_referenceDelta = 0;
    std::vector<quint32> *m_log = nullptr;
};

} // namespace Xlsx
} // namespace Excel
