#pragma once

// A pull tokenizer over UTF-8 XML held in memory, made for splicing: every
// token carries the exact byte offsets it came from, nothing is copied, and
// the document is checked as it is read. Elements and attributes are
// matched by namespace (resolved to a small id) and local name.
//
// Refused, with a reason and the offset: any DTD (so no entity can be
// declared or expanded), references other than the five predefined
// entities and character references, malformed markup, bytes that are not
// UTF-8 or not allowed in XML, undeclared prefixes, encodings other than
// UTF-8 (a UTF-16 part is refused, not converted), and nesting deeper than
// MaxXmlDepth.

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace Excel {
namespace Xlsx {

enum XmlNamespace : int {
    NsNone = 0, // no namespace
    NsXml,      // the xml: prefix
    NsXmlns,    // namespace declarations themselves
    NsMainTransitional,
    NsMainStrict,
    NsRelationshipsTransitional, // r:id and friends
    NsRelationshipsStrict,
    NsPackageRelationships,      // the .rels parts
    NsContentTypes,
    NsMarkupCompatibility,
    NsExcel2006Main,             // macro sheets' root
    NsOther                      // first id handed to any other URI
};

constexpr int MaxXmlDepth = 256;
constexpr int MaxXmlAttributes = 1024;
constexpr int MaxXmlBindings = 128;

// The namespace bindings in scope at some point of a document, to go on
// tokenizing a piece of it later.
struct XmlScope
{
    std::vector<std::pair<std::string, int>> bindings; // prefix ("" = default) and namespace id
};

// What a byte may be in a name, looked up: names are the most common thing
// the tokenizer reads, and what reads names as it does must agree with it.
struct XmlNameBytes
{
    enum : unsigned char { Start = 1, Inside = 2 };
    unsigned char kind[256] = {};
    constexpr XmlNameBytes()
    {
        for (int c = 0; c < 256; ++c) {
            const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
            const bool inside = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
            kind[c] = (start ? Start : 0) | (inside ? Inside : 0);
        }
    }
};
inline constexpr XmlNameBytes xmlNameBytes;

inline bool isXmlNameStart(unsigned char c)
{
    return xmlNameBytes.kind[c] & XmlNameBytes::Start;
}

inline bool isXmlNameChar(unsigned char c)
{
    return xmlNameBytes.kind[c] & XmlNameBytes::Inside;
}

struct XmlAttribute
{
    std::string_view qualifiedName;
    std::string_view prefix;
    std::string_view localName;
    int ns = NsNone;
    std::string_view rawValue; // between the quotes, references unresolved
    qint64 valueBegin = 0;     // offsets of rawValue in the data
    qint64 begin = 0;          // offsets of the whole name="value"
    qint64 end = 0;

    bool is(int n, std::string_view local) const { return ns == n && localName == local; }
};

class XmlTokenizer
{
public:
    enum Token { StartElement, EndElement, Characters, CData, Comment, ProcessingInstruction, EndOfDocument, Invalid };

    // Document: a whole part (prolog, one root). Fragment: a piece of
    // element content such as one <c> element, tokenized in scope, whose
    // bytes were already checked as part of their document.
    enum Mode { Document, Fragment };

    XmlTokenizer(const char *data, qint64 size, Mode mode = Document, const XmlScope *scope = nullptr);
    explicit XmlTokenizer(const QByteArray &data, Mode mode = Document, const XmlScope *scope = nullptr)
        : XmlTokenizer(data.constData(), data.size(), mode, scope)
    {
    }

    // Whether the bytes are UTF-8 with no character XML forbids, the check
    // a document gets before it is tokenized, on its own.
    static bool hasValidCharacters(const char *data, qint64 size)
    {
        XmlTokenizer t(data, size);
        return t.validateCharacters();
    }

    // The length of the UTF-8 sequence at p, whose lead byte is not ASCII,
    // when it is well formed and encodes a character XML allows; else 0.
    static int allowedCharacterLength(const char *p, const char *end)
    {
        quint32 cp;
        const int len = decodeUtf8(reinterpret_cast<const unsigned char *>(p),
                                   reinterpret_cast<const unsigned char *>(end), &cp);
        return len > 0 && isAllowedCharacter(cp, len) ? len : 0;
    }

    Token next();
    Token token() const { return m_token; }
    bool atEnd() const { return m_token == EndOfDocument || m_token == Invalid; }

    qint64 tokenBegin() const { return m_begin; }
    qint64 tokenEnd() const { return m_end; }

    // The element of a StartElement or EndElement token.
    int namespaceId() const { return m_elementNs; }
    std::string_view localName() const { return m_elementLocal; }
    std::string_view qualifiedName() const { return m_elementQName; }
    std::string_view prefix() const { return m_elementPrefix; }
    bool is(int ns, std::string_view local) const { return m_elementNs == ns && m_elementLocal == local; }
    // The start tag ended with "/>"; its EndElement follows with an empty
    // range at the tag's end.
    bool isSelfClosing() const { return m_selfClosing; }
    // Depth of the current element, the root being 1.
    int depth() const { return int(m_stack.size()) + (m_token == EndElement ? 1 : 0); }

    const std::vector<XmlAttribute> &attributes() const { return m_attributes; }
    const XmlAttribute *attribute(int ns, std::string_view local) const;
    // An unprefixed attribute by name.
    const XmlAttribute *attribute(std::string_view local) const { return attribute(NsNone, local); }

    // Characters: the raw bytes (references unresolved); CData: the content.
    std::string_view text() const { return m_text; }

    QString errorString() const { return m_error; }

    XmlScope scope() const;
    // Changes whenever the bindings in scope change.
    quint32 scopeVersion() const { return m_scopeVersion; }

    // The namespace id of a URI, as this tokenizer would give it.
    static int knownNamespace(std::string_view uri);

    // For a reader that reads a whole element itself, in forms it checks as
    // strictly as next() would: where the next token starts, when the last
    // one left nothing pending (-1 otherwise); the namespace unprefixed
    // names are in there; and going on past the element, at end. The
    // element must declare no namespace.
    qint64 nextTokenAt() const { return m_token == Invalid || m_pendingEnd || !m_started ? -1 : m_pos; }
    int defaultNamespace() { return lookupPrefix(std::string_view()); }
    // The namespace a prefix stands for here; -1 when it is not declared.
    int prefixNamespace(std::string_view prefix) { return lookupPrefix(prefix); }
    int openElements() const { return int(m_stack.size()); }
    void skipElement(qint64 end) { m_pos = end; }

private:
    struct Open
    {
        std::string_view qname;
        std::string_view prefix;
        std::string_view local;
        int ns;
        int bindingsBefore;
    };
    struct Binding
    {
        std::string_view prefix;
        int ns;
    };

    Token fail(const QString &why, qint64 at);
    Token startTag();
    Token endTag();
    Token markup();
    bool processingInstruction(Token *out);
    // A name from *pos on; *colon: where its colon is, -1 for none, -2 for more than one.
    bool parseName(qint64 *pos, std::string_view *name, qint64 *colon = nullptr) const;
    bool checkReferences(const char *from, const char *to, qint64 base);
    bool validateCharacters();
    // The UTF-8 sequence at p (lead byte 0x80 or above): its length with its
    // code point in *cp, or 0 when it is not well formed.
    static int decodeUtf8(const unsigned char *p, const unsigned char *end, quint32 *cp);
    static bool isAllowedCharacter(quint32 cp, int len);
    static bool splitName(std::string_view qname, qint64 colon, std::string_view *prefix, std::string_view *local);
    int lookupPrefix(std::string_view prefix);
    int internUri(std::string_view rawUri);
    bool checkDuplicateAttributes();

    const char *m_data;
    qint64 m_size;
    qint64 m_pos = 0;
    Mode m_mode;

    Token m_token = Invalid;
    qint64 m_begin = 0;
    qint64 m_end = 0;
    int m_elementNs = NsNone;
    std::string_view m_elementQName, m_elementPrefix, m_elementLocal;
    bool m_selfClosing = false;
    bool m_pendingEnd = false;
    bool m_seenRoot = false;
    bool m_rootClosed = false;
    bool m_started = false;
    std::vector<XmlAttribute> m_attributes;
    std::string_view m_text;

    std::vector<Open> m_stack;
    std::vector<Binding> m_bindings;
    quint32 m_scopeVersion = 0;
    std::string_view m_cachedPrefix;
    int m_cachedNs = -1;
    quint32 m_cachedVersion = ~0u;
    const XmlScope *m_initialScope = nullptr; // bindings in scope before the data
    std::vector<std::string> m_otherUris;
    int m_otherBase = NsOther; // id of the first URI this tokenizer interns

    QString m_error;
};

} // namespace Xlsx
} // namespace Excel
