#include "xlsx/parts/sharedstrings.h"

#include "xlsx/package/splicewriter.h"
#include "xlsx/xml/bytescan.h"
#include "xlsx/xml/plaintextbytes.h"
#include "xlsx/xml/xmltext.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QHash>

namespace Excel {
namespace Xlsx {

// Most entries are <si><t>text</t></si>, perhaps with xml:space="…" on the
// <t>. One in that form, with no '&' in its text and nothing between its
// tags, is read here without the tokenizer and recorded as the token path
// records it; anything else is left to the tokenizer as ever.
bool SharedStrings::scanPlainEntry(XmlTokenizer &t, qint64 at)
{
    const char *data = m_xml.constData(), *end = data + m_xml.size();
    const char *p = data + at;
    auto literal = [&](std::string_view s) {
        if (size_t(end - p) < s.size() || std::memcmp(p, s.data(), s.size()) != 0)
            return false;
        p += s.size();
        return true;
    };
    if (!literal("<si><t"))
        return false;
    if (literal(" xml:space=\"")) {
        p = findAnyOf(p, end, '"', '<', '&');
        if (!literal("\""))
            return false;
    }
    if (!literal(">"))
        return false;
    const char *text = p;
    p = findEitherOf(p, end, '<', '&');
    const char *textEnd = p;
    if (!literal("</t></si>"))
        return false;
    m_items.push_back(Item{quint32(at), quint32(p - data), quint32(text - data), quint32(textEnd - data), false});
    t.skipElement(p - data);
    return true;
}

bool SharedStrings::parse(QByteArray data, const QString &partName, Conformance family, QString *error, bool entryScan)
{
    m_partName = partName;
    m_xml = std::move(data);
    m_ns = mainNamespace(family);
    if (m_xml.size() >= 0x7FFFFFFF) {
        *error = partError(partName, QCoreApplication::translate("Xlsx", "too large"));
        return false;
    }
    XmlTokenizer t(m_xml);
    Item item{};
    int texts = 0;
    bool plainText = false; // inside the bare <t> of an entry
    bool inItem = false;
    for (;;) {
        if (entryScan && t.openElements() == 1 && t.defaultNamespace() == m_ns) {
            qint64 at;
            while ((at = t.nextTokenAt()) >= 0 && scanPlainEntry(t, at)) {
            }
        }
        if (t.next() == XmlTokenizer::EndOfDocument)
            break;
        const int depth = t.depth();
        switch (t.token()) {
        case XmlTokenizer::Invalid:
            *error = partError(partName, t.errorString());
            return false;
        case XmlTokenizer::StartElement:
            if (depth == 1) {
                if (!t.is(m_ns, "sst")) {
                    *error = partError(partName, t.namespaceId() == NsMainStrict || t.namespaceId() == NsMainTransitional
                                                     ? QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces")
                                                     : QCoreApplication::translate("Xlsx", "not a shared-strings part"));
                    return false;
                }
                m_prefix = QByteArray(t.prefix().data(), int(t.prefix().size()));
                if (!m_prefix.isEmpty())
                    m_prefix += ':';
                m_scope = t.scope();
                if (const XmlAttribute *a = t.attribute("count")) {
                    m_countBegin = a->valueBegin;
                    m_countEnd = a->valueBegin + qint64(a->rawValue.size());
                    m_count = attributeText(a).toLongLong();
                }
                if (const XmlAttribute *a = t.attribute("uniqueCount")) {
                    m_uniqueBegin = a->valueBegin;
                    m_uniqueEnd = a->valueBegin + qint64(a->rawValue.size());
                    m_unique = attributeText(a).toLongLong();
                }
                m_rootSelfClosing = t.isSelfClosing();
                m_rootEnd = t.tokenEnd();
            } else if (depth == 2) {
                // Anything but an entry (an extension list) is left alone.
                inItem = t.is(m_ns, "si");
                item = Item{quint32(t.tokenBegin()), 0, 0, 0, false};
                texts = 0;
            } else if (!inItem) {
                break;
            } else if (depth == 3) {
                ++texts;
                if (t.is(m_ns, "t") && !t.isSelfClosing()) {
                    plainText = true;
                    item.textBegin = item.textEnd = quint32(t.tokenEnd());
                } else if (!t.is(m_ns, "t")) {
                    item.complex = true;
                }
            } else if (depth > 3 || t.namespaceId() != m_ns) {
                item.complex = true;
            }
            break;
        case XmlTokenizer::Characters:
            break;
        case XmlTokenizer::CData:
        case XmlTokenizer::Comment:
        case XmlTokenizer::ProcessingInstruction:
            if (depth >= 2 && inItem)
                item.complex = true;
            break;
        case XmlTokenizer::EndElement:
            if (depth == 3 && plainText) {
                item.textEnd = quint32(t.tokenBegin());
                plainText = false;
            } else if (depth == 2 && inItem) {
                item.end = quint32(t.tokenEnd());
                if (texts != 1)
                    item.complex = true;
                m_items.push_back(item);
                inItem = false;
            } else if (depth == 1) {
                m_rootEnd = t.tokenBegin();
            }
            break;
        default:
            break;
        }
    }
    return true;
}

bool SharedStrings::isComplex(quint32 i) const
{
    if (i >= m_items.size()) {
        const Added &a = m_added[i - m_items.size()];
        return a.rich >= 0 && !m_addedRich[size_t(a.rich)].isPlain();
    }
    return m_items[i].complex;
}

bool SharedStrings::plainRaw(quint32 i, const char **data, size_t *size) const
{
    if (i >= m_items.size() || m_items[i].complex)
        return false;
    *data = m_xml.constData() + m_items[i].textBegin;
    *size = m_items[i].textEnd - m_items[i].textBegin;
    return true;
}

bool SharedStrings::utf8Text(quint32 i, std::string_view *utf8) const
{
    const char *raw;
    size_t rawSize;
    if (i < m_items.size()) {
        if (!plainRaw(i, &raw, &rawSize))
            return false;
        *utf8 = std::string_view(raw, rawSize);
    } else if (i < size()) {
        const Added &a = m_added[i - m_items.size()];
        if (a.rich >= 0)
            return false;
        *utf8 = std::string_view(m_addedXml.constData() + a.textBegin, a.textEnd - a.textBegin);
    } else {
        return false;
    }
    return readsAsItself(*utf8);
}

bool SharedStrings::text(quint32 i, QString *text, QString *error) const
{
    if (i < m_items.size() && !m_items[i].complex) {
        const Item &it = m_items[i];
        *text = decodeExcelEscapes(decodeCharacters(std::string_view(m_xml.constData() + it.textBegin, it.textEnd - it.textBegin)));
        return true;
    }
    if (i >= m_items.size() && i < size()) {
        *text = addedText(m_added[i - m_items.size()]);
        return true;
    }
    RichText r;
    if (!richText(i, &r, error))
        return false;
    *text = r.plainText();
    return true;
}

bool SharedStrings::richText(quint32 i, RichText *text, QString *error) const
{
    if (i >= size()) {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "no shared string %1").arg(i));
        return false;
    }
    if (i >= m_items.size()) {
        const Added &a = m_added[i - m_items.size()];
        *text = a.rich >= 0 ? m_addedRich[size_t(a.rich)] : RichText::fromPlain(addedText(a));
        return true;
    }
    const Item &it = m_items[i];
    if (!parseRichText(m_xml.constData() + it.begin, it.end - it.begin, &m_scope, m_ns, text, error)) {
        *error = partError(m_partName, *error);
        return false;
    }
    return true;
}

QString SharedStrings::addedText(const Added &a) const
{
    if (a.rich >= 0)
        return m_addedRich[size_t(a.rich)].plainText();
    return decodeExcelEscapes(decodeCharacters(std::string_view(m_addedXml.constData() + a.textBegin, a.textEnd - a.textBegin)));
}

namespace {

// Printable ASCII that XML text takes as it stands: no markup, no entity,
// no line end to normalise, and no '_' that could start an escape.
bool isPrintableAscii(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u > 0x7E || u == '&' || u == '<' || u == '>' || u == '_')
            return false;
    }
    return true;
}

} // namespace

quint32 SharedStrings::addAdded(const QByteArray &si, quint32 textBegin, quint32 textEnd, qint32 rich)
{
    const quint32 begin = quint32(m_addedXml.size());
    m_addedXml += si;
    m_added.push_back(Added{begin, quint32(m_addedXml.size()), begin + textBegin, begin + textEnd, rich, 0, false});
    const quint32 index = quint32(m_items.size() + m_added.size() - 1);
    if (m_log)
        m_log->push_back(index);
    return index;
}

quint32 SharedStrings::appendPlain(const QString &text)
{
    const uint hash = qHash(text);
    const qint64 found = findByText(text, hash);
    if (found >= 0) {
        const quint32 index = quint32(m_items.size() + size_t(found));
        if (m_log)
            m_log->push_back(index);
        return index;
    }
    quint32 index;
    if (isPrintableAscii(text)) {
        // What writeRichText writes for such a text, without the objects:
        // nothing in it is escaped, and it reads back as it stands.
        QByteArray si;
        si.reserve(int(m_prefix.size()) * 4 + text.size() + 40);
        si.append('<').append(m_prefix).append("si><").append(m_prefix).append('t');
        if (needsSpacePreserve(text))
            si.append(" xml:space=\"preserve\"");
        si.append('>');
        const quint32 textBegin = quint32(si.size());
        si.append(text.toLatin1());
        const quint32 textEnd = quint32(si.size());
        si.append("</").append(m_prefix).append("t></").append(m_prefix).append("si>");
        index = addAdded(si, textBegin, textEnd, -1);
        m_added.back().hash = hash;
        m_added.back().byText = true;
        insertByText(quint32(m_added.size() - 1));
        return index;
    }
    const RichText plain = RichText::fromPlain(text);
    QByteArray si;
    writeRichText(&si, plain, m_prefix, "si");
    // <si><t …>text</t></si>: the text is read again from these bytes, so
    // they must give it back exactly; any that would not keep the object.
    const int open = si.indexOf('>', int(m_prefix.size()) * 2 + 6);
    const int close = si.size() - (int(m_prefix.size()) * 2 + 9);
    const bool readsBack = open >= 0 && open < close
        && decodeExcelEscapes(decodeCharacters(std::string_view(si.constData() + open + 1, size_t(close - open - 1)))) == text;
    if (readsBack) {
        index = addAdded(si, quint32(open + 1), quint32(close), -1);
    } else {
        m_addedRich.push_back(plain);
        index = addAdded(si, 0, 0, qint32(m_addedRich.size() - 1));
    }
    m_added.back().hash = hash;
    m_added.back().byText = true;
    insertByText(quint32(m_added.size() - 1));
    return index;
}

quint32 SharedStrings::append(const RichText &text)
{
    QByteArray si;
    writeRichText(&si, text, m_prefix, "si");
    m_addedRich.push_back(text);
    return addAdded(si, 0, 0, qint32(m_addedRich.size() - 1));
}

qint64 SharedStrings::findByText(const QString &text, uint hash) const
{
    if (m_byText.empty())
        return -1;
    const size_t mask = m_byText.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint32 held = m_byText[slot];
        if (held == 0)
            return -1;
        const Added &a = m_added[held - 1];
        if (a.hash == hash && addedText(a) == text)
            return qint64(held - 1);
    }
}

void SharedStrings::insertByText(quint32 position)
{
    if ((m_byTextCount + 1) * 2 > m_byText.size()) {
        rebuildByText(std::max<size_t>(64, m_byText.size() * 2), position);
        return;
    }
    placeByText(position);
}

void SharedStrings::placeByText(quint32 position)
{
    const size_t mask = m_byText.size() - 1;
    size_t slot = m_added[position].hash & mask;
    while (m_byText[slot] != 0)
        slot = (slot + 1) & mask;
    m_byText[slot] = position + 1;
    ++m_byTextCount;
}

void SharedStrings::rebuildByText(size_t slotCount, qint64 upTo)
{
    // Every entry appendPlain made, up to and including position upTo (all
    // when negative).
    const size_t end = upTo < 0 ? m_added.size() : size_t(upTo) + 1;
    size_t count = 0;
    for (size_t p = 0; p < end; ++p)
        count += m_added[p].byText;
    while (count * 2 > slotCount)
        slotCount *= 2;
    m_byText.assign(count ? slotCount : 0, 0);
    m_byTextCount = 0;
    for (size_t p = 0; p < end; ++p)
        if (m_added[p].byText)
            placeByText(quint32(p));
}

void SharedStrings::reorderAdded(size_t from, const std::vector<quint32> &order)
{
    if (order.empty())
        return;
    // The entries from `from` on are laid out again in their new order.
    const quint32 base = m_added[from].begin;
    QByteArray xml = m_addedXml.left(int(base));
    xml.reserve(m_addedXml.size());
    std::vector<Added> moved(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        Added a = m_added[from + order[i]];
        const quint32 at = quint32(xml.size());
        xml.append(m_addedXml.constData() + a.begin, int(a.end - a.begin));
        a.textBegin = at + (a.textBegin - a.begin);
        a.textEnd = at + (a.textEnd - a.begin);
        a.end = at + (a.end - a.begin);
        a.begin = at;
        moved[i] = a;
    }
    std::copy(moved.begin(), moved.end(), m_added.begin() + qptrdiff(from));
    m_addedXml = std::move(xml);
    rebuildByText(64, -1);
}

void SharedStrings::backTo(const Mark &mark)
{
    if (mark.added < m_added.size()) {
        m_addedXml.truncate(int(m_added[mark.added].begin));
        m_added.resize(mark.added);
        qint32 rich = -1;
        for (const Added &a : m_added)
            rich = std::max(rich, a.rich);
        m_addedRich.resize(size_t(rich + 1));
        rebuildByText(64, -1);
    }
    m_referenceDelta = mark.referenceDelta;
}

bool SharedStrings::write(ByteSink *sink, QString *error, const InPlace &inPlace) const
{
    // Splices: the count, the unique count, entries in place, the new entries.
    std::vector<Splice> splices;
    if (m_countBegin >= 0)
        splices.push_back({m_countBegin, m_countEnd, QByteArray::number(qMax<qint64>(0, m_count + m_referenceDelta))});
    const qint64 added = inPlace.dropAdded ? 0 : qint64(m_added.size());
    if (m_uniqueBegin >= 0)
        splices.push_back({m_uniqueBegin, m_uniqueEnd, QByteArray::number(m_unique + added)});
    const quint32 original = sizeAsRead();
    for (const auto &[from, to] : inPlace.entries) {
        if (from >= original || to < original || to - original >= m_added.size()) {
            *error = partError(m_partName, QCoreApplication::translate("Xlsx", "no entry %1 to take the place of %2").arg(to).arg(from));
            return false;
        }
        const Item &item = m_items[from];
        const Added &a = m_added[to - original];
        // The bytes stay in m_addedXml while they are written: not copied.
        splices.push_back({item.begin, item.end, QByteArray::fromRawData(m_addedXml.constData() + a.begin, int(a.end - a.begin))});
    }
    const QByteArray entries = inPlace.dropAdded ? QByteArray() : m_addedXml;
    if (m_rootSelfClosing && !entries.isEmpty()) {
        // <sst .../> opens to hold the entries.
        splices.push_back({m_rootEnd - 2, m_rootEnd, ">" + entries + "</" + m_prefix + "sst>"});
    } else if (!entries.isEmpty()) {
        splices.push_back({m_rootEnd, m_rootEnd, entries});
    }
    return writeSpliced(m_xml, std::move(splices), m_partName, sink, error);
}

} // namespace Xlsx
} // namespace Excel
