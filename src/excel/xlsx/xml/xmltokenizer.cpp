#include "xlsx/xml/xmltokenizer.h"

#include "xlsx/xml/bytescan.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace Excel {
namespace Xlsx {

namespace {

inline bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// The first stop or '<' from p on (end when there is none), and whether a
// '&' comes before it: one pass, sixteen bytes at a time, that stops only
// where a '&' asks for a look.
inline const char *scanText(const char *p, const char *end, char stop, bool *references)
{
    bool amp = false;
    for (;;) {
        p = findAnyOf(p, end, stop, '<', '&');
        if (p >= end || *p != '&')
            break;
        amp = true;
        ++p;
    }
    *references = amp;
    return p;
}

// The end of the name at p (p itself when none starts there); *colon:
// where its one colon is, -1 for none, -2 for more than one.
inline const char *scanName(const char *p, const char *end, qint64 *colon)
{
    const char *start = p;
    *colon = -1;
    if (p >= end || !isXmlNameStart(static_cast<unsigned char>(*p)))
        return p;
    do {
        if (*p == ':')
            *colon = *colon == -1 ? p - start : -2;
        ++p;
    } while (p < end && isXmlNameChar(static_cast<unsigned char>(*p)));
    return p;
}

struct KnownUri
{
    const char *uri;
    int ns;
};

const KnownUri knownUris[] = {
    {"http://schemas.openxmlformats.org/spreadsheetml/2006/main", NsMainTransitional},
    {"http://purl.oclc.org/ooxml/spreadsheetml/main", NsMainStrict},
    {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", NsRelationshipsTransitional},
    {"http://purl.oclc.org/ooxml/officeDocument/relationships", NsRelationshipsStrict},
    {"http://schemas.openxmlformats.org/package/2006/relationships", NsPackageRelationships},
    {"http://schemas.openxmlformats.org/package/2006/content-types", NsContentTypes},
    {"http://schemas.openxmlformats.org/markup-compatibility/2006", NsMarkupCompatibility},
    {"http://schemas.microsoft.com/office/excel/2006/main", NsExcel2006Main},
    {"http://www.w3.org/XML/1998/namespace", NsXml},
};

} // namespace

XmlTokenizer::XmlTokenizer(const char *data, qint64 size, Mode mode, const XmlScope *scope)
    : m_data(data)
    , m_size(size)
    , m_mode(mode)
    , m_initialScope(scope && !scope->bindings.empty() ? scope : nullptr)
{
    if (m_initialScope) {
        // Ids of URIs first declared inside the fragment must not collide
        // with the ids the scope already uses.
        for (const auto &b : m_initialScope->bindings)
            m_otherBase = std::max(m_otherBase, b.second + 1);
    }
}

int XmlTokenizer::knownNamespace(std::string_view uri)
{
    for (const KnownUri &k : knownUris)
        if (uri == k.uri)
            return k.ns;
    return -1;
}

XmlTokenizer::Token XmlTokenizer::fail(const QString &why, qint64 at)
{
    if (m_token != Invalid || m_error.isEmpty()) {
        m_error = QCoreApplication::translate("Xlsx", "%1 (at byte %2)").arg(why).arg(at);
    }
    m_token = Invalid;
    m_pos = m_size;
    return Invalid;
}

const XmlAttribute *XmlTokenizer::attribute(int ns, std::string_view local) const
{
    for (const XmlAttribute &a : m_attributes)
        if (a.ns == ns && a.localName == local)
            return &a;
    return nullptr;
}

XmlScope XmlTokenizer::scope() const
{
    XmlScope s;
    // Later bindings shadow earlier ones of the same prefix; keep only the
    // ones in effect.
    auto add = [&s](std::string_view prefix, int ns) {
        for (const auto &b : s.bindings)
            if (b.first == prefix)
                return;
        s.bindings.emplace_back(std::string(prefix), ns);
    };
    for (size_t i = m_bindings.size(); i-- > 0;)
        add(m_bindings[i].prefix, m_bindings[i].ns);
    if (m_initialScope)
        for (size_t i = m_initialScope->bindings.size(); i-- > 0;)
            add(m_initialScope->bindings[i].first, m_initialScope->bindings[i].second);
    std::reverse(s.bindings.begin(), s.bindings.end());
    return s;
}

bool XmlTokenizer::parseName(qint64 *pos, std::string_view *name, qint64 *colon) const
{
    const char *start = m_data + *pos, *end = m_data + m_size;
    qint64 at;
    const char *stop = scanName(start, end, &at);
    if (stop == start)
        return false;
    *name = std::string_view(start, size_t(stop - start));
    if (colon)
        *colon = at;
    *pos = stop - m_data;
    return true;
}

// The parts of a name whose colon parseName found.
bool XmlTokenizer::splitName(std::string_view qname, qint64 colon, std::string_view *prefix, std::string_view *local)
{
    if (colon == -1) {
        *prefix = std::string_view();
        *local = qname;
        return true;
    }
    if (colon <= 0 || size_t(colon) + 1 == qname.size())
        return false;
    *prefix = qname.substr(0, size_t(colon));
    *local = qname.substr(size_t(colon) + 1);
    return true;
}

int XmlTokenizer::internUri(std::string_view rawUri)
{
    std::string decoded;
    std::string_view uri = rawUri;
    if (rawUri.find('&') != std::string_view::npos) {
        // Rare: a URI spelled with references. Resolve the predefined ones.
        const QByteArray d = QString::fromUtf8(rawUri.data(), int(rawUri.size()))
                                 .replace(QLatin1String("&amp;"), QLatin1String("&"))
                                 .replace(QLatin1String("&lt;"), QLatin1String("<"))
                                 .replace(QLatin1String("&gt;"), QLatin1String(">"))
                                 .replace(QLatin1String("&quot;"), QLatin1String("\""))
                                 .replace(QLatin1String("&apos;"), QLatin1String("'"))
                                 .toUtf8();
        decoded.assign(d.constData(), size_t(d.size()));
        uri = decoded;
    }
    const int known = knownNamespace(uri);
    if (known >= 0)
        return known;
    for (size_t i = 0; i < m_otherUris.size(); ++i)
        if (m_otherUris[i] == uri)
            return m_otherBase + int(i);
    m_otherUris.emplace_back(uri);
    return m_otherBase + int(m_otherUris.size()) - 1;
}

int XmlTokenizer::lookupPrefix(std::string_view prefix)
{
    if (m_cachedVersion == m_scopeVersion && m_cachedNs >= 0 && prefix.size() == m_cachedPrefix.size()
        && (prefix.empty() || prefix == m_cachedPrefix))
        return m_cachedNs;
    int ns = -1;
    if (prefix == "xml") {
        ns = NsXml;
    } else {
        for (size_t i = m_bindings.size(); i-- > 0;) {
            if (m_bindings[i].prefix == prefix) {
                ns = m_bindings[i].ns;
                break;
            }
        }
        if (ns < 0 && m_initialScope) {
            const auto &b = m_initialScope->bindings;
            for (size_t i = b.size(); i-- > 0;) {
                if (b[i].first == prefix) {
                    ns = b[i].second;
                    break;
                }
            }
        }
        if (ns < 0 && prefix.empty())
            ns = NsNone;
    }
    if (ns >= 0) {
        m_cachedPrefix = prefix;
        m_cachedNs = ns;
        m_cachedVersion = m_scopeVersion;
    }
    return ns;
}

bool XmlTokenizer::checkDuplicateAttributes()
{
    const size_t n = m_attributes.size();
    auto same = [](const XmlAttribute &a, const XmlAttribute &b) {
        if (a.ns == NsXmlns || b.ns == NsXmlns)
            return a.qualifiedName == b.qualifiedName;
        // Names are never empty: the first byte tells most apart.
        return a.ns == b.ns && a.localName.size() == b.localName.size() && a.localName[0] == b.localName[0]
            && a.localName == b.localName;
    };
    if (n <= 12) {
        for (size_t i = 1; i < n; ++i)
            for (size_t j = 0; j < i; ++j)
                if (same(m_attributes[i], m_attributes[j]))
                    return false;
        return true;
    }
    std::vector<const XmlAttribute *> sorted;
    sorted.reserve(n);
    for (const XmlAttribute &a : m_attributes)
        sorted.push_back(&a);
    auto key = [](const XmlAttribute *a) {
        return a->ns == NsXmlns ? std::make_pair(int(NsXmlns), a->qualifiedName) : std::make_pair(a->ns, a->localName);
    };
    std::sort(sorted.begin(), sorted.end(), [&](const XmlAttribute *a, const XmlAttribute *b) { return key(a) < key(b); });
    for (size_t i = 1; i < n; ++i)
        if (key(sorted[i]) == key(sorted[i - 1]))
            return false;
    return true;
}

XmlTokenizer::Token XmlTokenizer::next()
{
    if (m_token == Invalid && m_started)
        return Invalid;
    if (!m_started) {
        m_started = true;
        if (m_mode == Document) {
            if (m_size >= 2 && ((uchar(m_data[0]) == 0xFF && uchar(m_data[1]) == 0xFE)
                                || (uchar(m_data[0]) == 0xFE && uchar(m_data[1]) == 0xFF)))
                return fail(QCoreApplication::translate("Xlsx", "UTF-16 parts are not supported"), 0);
            if (m_size >= 2 && (m_data[0] == '\0' || m_data[1] == '\0'))
                return fail(QCoreApplication::translate("Xlsx", "UTF-16 parts are not supported"), 0);
            if (m_size >= 3 && std::memcmp(m_data, "\xEF\xBB\xBF", 3) == 0)
                m_pos = 3;
            if (!validateCharacters())
                return Invalid;
        }
    }
    if (m_pendingEnd) {
        m_pendingEnd = false;
        const Open top = m_stack.back();
        m_stack.pop_back();
        if (int(m_bindings.size()) != top.bindingsBefore) {
            m_bindings.resize(size_t(top.bindingsBefore));
            ++m_scopeVersion;
        }
        m_elementNs = top.ns;
        m_elementQName = top.qname;
        m_elementPrefix = top.prefix;
        m_elementLocal = top.local;
        m_begin = m_end;
        m_selfClosing = true;
        m_attributes.clear();
        if (m_stack.empty())
            m_rootClosed = true;
        return m_token = EndElement;
    }
    for (;;) {
        if (m_pos >= m_size) {
            if (!m_stack.empty())
                return fail(QCoreApplication::translate("Xlsx", "unexpected end of the part: <%1> is not closed")
                                .arg(QString::fromUtf8(m_stack.back().qname.data(), int(m_stack.back().qname.size()))),
                            m_size);
            if (m_mode == Document && !m_seenRoot)
                return fail(QCoreApplication::translate("Xlsx", "the part has no root element"), m_size);
            m_begin = m_end = m_size;
            return m_token = EndOfDocument;
        }
        if (m_data[m_pos] != '<') {
            const char *from = m_data + m_pos;
            bool references;
            const char *to = scanText(from, m_data + m_size, '<', &references);
            const qint64 begin = m_pos;
            m_pos = to - m_data;
            if (m_stack.empty() && m_mode == Document) {
                for (const char *p = from; p < to; ++p)
                    if (!isSpace(*p))
                        return fail(QCoreApplication::translate("Xlsx", "text outside the root element"), begin + (p - from));
                continue;
            }
            if (references && !checkReferences(from, to, begin))
                return Invalid;
            m_begin = begin;
            m_end = m_pos;
            m_text = std::string_view(from, size_t(to - from));
            return m_token = Characters;
        }
        if (m_pos + 1 >= m_size)
            return fail(QCoreApplication::translate("Xlsx", "unexpected end of the part"), m_pos);
        const char c = m_data[m_pos + 1];
        if (c == '/')
            return endTag();
        if (c == '?') {
            Token t = Invalid;
            if (!processingInstruction(&t))
                continue; // the XML declaration
            return t;
        }
        if (c == '!')
            return markup();
        return startTag();
    }
}

bool XmlTokenizer::processingInstruction(Token *out)
{
    const qint64 begin = m_pos;
    qint64 p = m_pos + 2;
    std::string_view target;
    if (!parseName(&p, &target)) {
        *out = fail(QCoreApplication::translate("Xlsx", "malformed processing instruction"), begin);
        return true;
    }
    const char *close = nullptr;
    for (qint64 q = p; q + 1 < m_size; ++q) {
        if (m_data[q] == '?' && m_data[q + 1] == '>') {
            close = m_data + q;
            break;
        }
    }
    if (!close) {
        *out = fail(QCoreApplication::translate("Xlsx", "unterminated processing instruction"), begin);
        return true;
    }
    m_pos = (close - m_data) + 2;
    const bool isXml = target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm'
                       && (target[2] | 0x20) == 'l';
    if (isXml) {
        const bool atStart = m_mode == Document && (begin == 0 || (begin == 3 && uchar(m_data[0]) == 0xEF));
        if (!atStart || target != "xml") {
            *out = fail(QCoreApplication::translate("Xlsx", "misplaced XML declaration"), begin);
            return true;
        }
        // encoding="..." must name UTF-8 when it is there.
        const std::string_view decl(m_data + p, size_t(close - (m_data + p)));
        const size_t enc = decl.find("encoding");
        if (enc != std::string_view::npos) {
            size_t q = enc + 8;
            while (q < decl.size() && isSpace(decl[q]))
                ++q;
            if (q < decl.size() && decl[q] == '=')
                ++q;
            while (q < decl.size() && isSpace(decl[q]))
                ++q;
            if (q < decl.size() && (decl[q] == '"' || decl[q] == '\'')) {
                const char quote = decl[q];
                const size_t endq = decl.find(quote, q + 1);
                const std::string_view name = endq == std::string_view::npos ? std::string_view()
                                                                             : decl.substr(q + 1, endq - q - 1);
                const QString n = QString::fromLatin1(name.data(), int(name.size())).toLower();
                if (n != QLatin1String("utf-8") && n != QLatin1String("utf8")) {
                    *out = fail(n.startsWith(QLatin1String("utf-16")) ? QCoreApplication::translate("Xlsx", "UTF-16 parts are not supported")
                                                                       : QCoreApplication::translate("Xlsx", "encoding %1 is not supported").arg(n),
                                begin);
                    return true;
                }
            }
        }
        return false;
    }
    m_begin = begin;
    m_end = m_pos;
    m_text = std::string_view(m_data + begin + 2, size_t(close - (m_data + begin + 2)));
    *out = m_token = ProcessingInstruction;
    return true;
}

XmlTokenizer::Token XmlTokenizer::markup()
{
    const qint64 begin = m_pos;
    const char *from = m_data + m_pos;
    const qint64 left = m_size - m_pos;
    auto find = [&](const char *needle, qint64 skip) -> qint64 {
        const size_t n = std::strlen(needle);
        for (qint64 q = begin + skip; q + qint64(n) <= m_size; ++q) {
            const char *hit = static_cast<const char *>(std::memchr(m_data + q, needle[0], size_t(m_size - q)));
            if (!hit)
                return -1;
            q = hit - m_data;
            if (q + qint64(n) <= m_size && std::memcmp(hit, needle, n) == 0)
                return q;
        }
        return -1;
    };
    if (left >= 4 && std::memcmp(from, "<!--", 4) == 0) {
        const qint64 close = find("-->", 4);
        if (close < 0)
            return fail(QCoreApplication::translate("Xlsx", "unterminated comment"), begin);
        m_pos = close + 3;
        m_begin = begin;
        m_end = m_pos;
        m_text = std::string_view(from + 4, size_t(close - begin - 4));
        return m_token = Comment;
    }
    if (left >= 9 && std::memcmp(from, "<![CDATA[", 9) == 0) {
        if (m_stack.empty())
            return fail(QCoreApplication::translate("Xlsx", "CDATA outside the root element"), begin);
        const qint64 close = find("]]>", 9);
        if (close < 0)
            return fail(QCoreApplication::translate("Xlsx", "unterminated CDATA section"), begin);
        m_pos = close + 3;
        m_begin = begin;
        m_end = m_pos;
        m_text = std::string_view(from + 9, size_t(close - begin - 9));
        return m_token = CData;
    }
    if (left >= 9 && std::memcmp(from, "<!DOCTYPE", 9) == 0)
        return fail(QCoreApplication::translate("Xlsx", "the part has a DTD, which is not allowed"), begin);
    return fail(QCoreApplication::translate("Xlsx", "malformed markup"), begin);
}

XmlTokenizer::Token XmlTokenizer::startTag()
{
    const qint64 begin = m_pos;
    if (m_rootClosed && m_mode == Document)
        return fail(QCoreApplication::translate("Xlsx", "a second root element"), begin);
    qint64 p = m_pos + 1;
    std::string_view qname;
    qint64 qcolon;
    if (!parseName(&p, &qname, &qcolon))
        return fail(QCoreApplication::translate("Xlsx", "malformed start tag"), begin);
    m_attributes.clear();
    bool declares = false;
    bool selfClosing = false;
    for (;;) {
        const qint64 ws = p;
        while (p < m_size && isSpace(m_data[p]))
            ++p;
        if (p >= m_size)
            return fail(QCoreApplication::translate("Xlsx", "unterminated start tag"), begin);
        if (m_data[p] == '>') {
            ++p;
            break;
        }
        if (m_data[p] == '/') {
            if (p + 1 >= m_size || m_data[p + 1] != '>')
                return fail(QCoreApplication::translate("Xlsx", "malformed start tag"), begin);
            p += 2;
            selfClosing = true;
            break;
        }
        if (p == ws)
            return fail(QCoreApplication::translate("Xlsx", "attributes must be separated by white space"), p);
        XmlAttribute a;
        a.begin = p;
        qint64 colon;
        if (!parseName(&p, &a.qualifiedName, &colon))
            return fail(QCoreApplication::translate("Xlsx", "malformed attribute"), p);
        while (p < m_size && isSpace(m_data[p]))
            ++p;
        if (p >= m_size || m_data[p] != '=')
            return fail(QCoreApplication::translate("Xlsx", "attribute without a value"), p);
        ++p;
        while (p < m_size && isSpace(m_data[p]))
            ++p;
        if (p >= m_size || (m_data[p] != '"' && m_data[p] != '\''))
            return fail(QCoreApplication::translate("Xlsx", "attribute value not quoted"), p);
        const char quote = m_data[p];
        const char *vstart = m_data + p + 1, *end = m_data + m_size;
        bool references;
        const char *vend = scanText(vstart, end, quote, &references);
        if (vend < end && *vend == '<') // in the value, or past its end when it has none
            return fail(std::memchr(vend, quote, size_t(end - vend)) ? QCoreApplication::translate("Xlsx", "'<' in an attribute value")
                                                                      : QCoreApplication::translate("Xlsx", "unterminated attribute value"),
                        p);
        if (vend >= end)
            return fail(QCoreApplication::translate("Xlsx", "unterminated attribute value"), p);
        if (references && !checkReferences(vstart, vend, p + 1))
            return Invalid;
        a.valueBegin = p + 1;
        a.rawValue = std::string_view(vstart, size_t(vend - vstart));
        p = (vend - m_data) + 1;
        a.end = p;
        if (!splitName(a.qualifiedName, colon, &a.prefix, &a.localName))
            return fail(QCoreApplication::translate("Xlsx", "malformed qualified name"), a.begin);
        if (a.qualifiedName == "xmlns" || a.prefix == "xmlns") {
            a.ns = NsXmlns;
            declares = true;
        }
        if (m_attributes.size() >= size_t(MaxXmlAttributes))
            return fail(QCoreApplication::translate("Xlsx", "too many attributes"), a.begin);
        m_attributes.push_back(a);
    }

    const int bindingsBefore = int(m_bindings.size());
    if (declares) {
        for (const XmlAttribute &a : m_attributes) {
            if (a.ns != NsXmlns)
                continue;
            const std::string_view prefix = a.prefix.empty() ? std::string_view() : a.localName;
            if (a.rawValue.empty() && !prefix.empty())
                return fail(QCoreApplication::translate("Xlsx", "a namespace prefix cannot be undeclared"), a.begin);
            if (prefix == "xmlns" || (prefix == "xml" && a.rawValue != "http://www.w3.org/XML/1998/namespace"))
                return fail(QCoreApplication::translate("Xlsx", "reserved namespace prefix"), a.begin);
            if (m_bindings.size() >= size_t(MaxXmlBindings))
                return fail(QCoreApplication::translate("Xlsx", "too many namespace declarations"), a.begin);
            m_bindings.push_back({prefix, a.rawValue.empty() ? int(NsNone) : internUri(a.rawValue)});
        }
        ++m_scopeVersion;
    }
    std::string_view prefix, local;
    if (!splitName(qname, qcolon, &prefix, &local))
        return fail(QCoreApplication::translate("Xlsx", "malformed qualified name"), begin);
    const int ns = lookupPrefix(prefix);
    if (ns < 0)
        return fail(QCoreApplication::translate("Xlsx", "undeclared namespace prefix %1").arg(QString::fromUtf8(prefix.data(), int(prefix.size()))), begin);
    for (XmlAttribute &a : m_attributes) {
        if (a.ns == NsXmlns)
            continue;
        if (a.prefix.empty()) {
            a.ns = NsNone;
            continue;
        }
        a.ns = lookupPrefix(a.prefix);
        if (a.ns < 0)
            return fail(QCoreApplication::translate("Xlsx", "undeclared namespace prefix %1").arg(QString::fromUtf8(a.prefix.data(), int(a.prefix.size()))), a.begin);
    }
    if (m_attributes.size() > 1 && !checkDuplicateAttributes())
        return fail(QCoreApplication::translate("Xlsx", "an attribute appears twice"), begin);
    if (int(m_stack.size()) >= MaxXmlDepth)
        return fail(QCoreApplication::translate("Xlsx", "elements nested too deeply"), begin);

    m_stack.push_back({qname, prefix, local, ns, bindingsBefore});
    m_seenRoot = true;
    m_elementNs = ns;
    m_elementQName = qname;
    m_elementPrefix = prefix;
    m_elementLocal = local;
    m_selfClosing = selfClosing;
    m_pendingEnd = selfClosing;
    m_begin = begin;
    m_end = p;
    m_pos = p;
    return m_token = StartElement;
}

XmlTokenizer::Token XmlTokenizer::endTag()
{
    const qint64 begin = m_pos;
    qint64 p = m_pos + 2;
    std::string_view qname;
    if (!parseName(&p, &qname))
        return fail(QCoreApplication::translate("Xlsx", "malformed end tag"), begin);
    while (p < m_size && isSpace(m_data[p]))
        ++p;
    if (p >= m_size || m_data[p] != '>')
        return fail(QCoreApplication::translate("Xlsx", "malformed end tag"), begin);
    ++p;
    if (m_stack.empty())
        return fail(QCoreApplication::translate("Xlsx", "end tag without a start tag"), begin);
    const Open top = m_stack.back();
    if (top.qname != qname)
        return fail(QCoreApplication::translate("Xlsx", "</%1> does not close <%2>")
                        .arg(QString::fromUtf8(qname.data(), int(qname.size())),
                             QString::fromUtf8(top.qname.data(), int(top.qname.size()))),
                    begin);
    m_stack.pop_back();
    if (int(m_bindings.size()) != top.bindingsBefore) {
        m_bindings.resize(size_t(top.bindingsBefore));
        ++m_scopeVersion;
    }
    if (m_stack.empty())
        m_rootClosed = true;
    m_elementNs = top.ns;
    m_elementQName = top.qname;
    m_elementPrefix = top.prefix;
    m_elementLocal = top.local;
    m_selfClosing = false;
    m_attributes.clear();
    m_begin = begin;
    m_end = p;
    m_pos = p;
    return m_token = EndElement;
}

} // namespace Xlsx
} // namespace Excel
