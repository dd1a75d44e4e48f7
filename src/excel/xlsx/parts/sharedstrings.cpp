#include "xlsx/parts/sharedstrings.h"

#include "xlsx/package/splicewriter.h"
#include "xlsx/xml/xmltext.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>

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
        while (p < end && *p != '"' && *p != '<' && *p != '&')
            ++p;
        if (!literal("\""))
            return false;
    }
    if (!literal(">"))
        return false;
    const char *text = p;
    while (p < end && *p != '<' && *p != '&')
        ++p;
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
    if (i >= m_items.size())
        return !m_addedText[i - m_items.size()].isPlain();
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

bool SharedStrings::text(quint32 i, QString *text, QString *error) const
{
    if (i < m_items.size() && !m_items[i].complex) {
        const Item &it = m_items[i];
        *text = decodeExcelEscapes(decodeCharacters(std::string_view(m_xml.constData() + it.textBegin, it.textEnd - it.textBegin)));
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
        *text = m_addedText[i - m_items.size()];
        return true;
    }
    const Item &it = m_items[i];
    if (!parseRichText(m_xml.constData() + it.begin, it.end - it.begin, &m_scope, m_ns, text, error)) {
        *error = partError(m_partName, *error);
        return false;
    }
    return true;
}

quint32 SharedStrings::appendPlain(const QString &text)
{
    auto it = m_addedPlain.constFind(text);
    if (it != m_addedPlain.constEnd()) {
        if (m_log)
            m_log->push_back(it.value());
        return it.value();
    }
    const quint32 index = append(RichText::fromPlain(text));
    m_addedPlain.insert(text, index);
    return index;
}

void SharedStrings::reorderAdded(size_t from, const std::vector<quint32> &order)
{
    const quint32 base = quint32(m_items.size() + from);
    std::vector<quint32> newPosition(order.size());
    std::vector<QByteArray> added(order.size());
    std::vector<RichText> texts(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = quint32(i);
        added[i] = std::move(m_added[from + order[i]]);
        texts[i] = std::move(m_addedText[from + order[i]]);
    }
    std::move(added.begin(), added.end(), m_added.begin() + qptrdiff(from));
    std::move(texts.begin(), texts.end(), m_addedText.begin() + qptrdiff(from));
    for (auto it = m_addedPlain.begin(); it != m_addedPlain.end(); ++it)
        if (it.value() >= base)
            it.value() = base + newPosition[it.value() - base];
}

void SharedStrings::backTo(const Mark &mark)
{
    if (mark.added < m_added.size()) {
        m_added.resize(mark.added);
        m_addedText.resize(mark.added);
        const quint32 end = quint32(m_items.size() + mark.added);
        for (auto it = m_addedPlain.begin(); it != m_addedPlain.end();)
            it = it.value() >= end ? m_addedPlain.erase(it) : it + 1;
    }
    m_referenceDelta = mark.referenceDelta;
}

quint32 SharedStrings::append(const RichText &text)
{
    QByteArray si;
    writeRichText(&si, text, m_prefix, "si");
    m_added.push_back(si);
    m_addedText.push_back(text);
    const quint32 index = quint32(m_items.size() + m_added.size() - 1);
    if (m_log)
        m_log->push_back(index);
    return index;
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
        splices.push_back({item.begin, item.end, m_added[to - original]});
    }
    QByteArray entries;
    if (!inPlace.dropAdded)
        for (const QByteArray &si : m_added)
            entries += si;
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
