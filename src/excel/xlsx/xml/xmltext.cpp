#include "xlsx/xml/xmltext.h"
#include "utf8text.h"

#include <cstring>
#include <string>

namespace Excel {
namespace Xlsx {

namespace {

inline int hexValue(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string *out, uint cp)
{
    if (cp < 0x80) {
        out->push_back(char(cp));
    } else if (cp < 0x800) {
        out->push_back(char(0xC0 | (cp >> 6)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(char(0xE0 | (cp >> 12)));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (cp >> 18)));
        out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Resolves one reference starting at raw[i] == '&'; returns the index past
// it. The tokenizer has checked every reference already.
size_t resolveReference(std::string_view raw, size_t i, std::string *out)
{
    const size_t semi = raw.find(';', i);
    if (semi == std::string_view::npos) {
        out->push_back('&');
        return i + 1;
    }
    const std::string_view ref = raw.substr(i + 1, semi - i - 1);
    if (ref == "lt")
        out->push_back('<');
    else if (ref == "gt")
        out->push_back('>');
    else if (ref == "amp")
        out->push_back('&');
    else if (ref == "quot")
        out->push_back('"');
    else if (ref == "apos")
        out->push_back('\'');
    else if (ref.size() >= 2 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        uint cp = 0;
        for (size_t k = hex ? 2 : 1; k < ref.size(); ++k) {
            const int v = hex ? hexValue(ushort(uchar(ref[k]))) : (ref[k] >= '0' && ref[k] <= '9' ? ref[k] - '0' : -1);
            if (v < 0 || cp > 0x10FFFF)
                break;
            cp = cp * (hex ? 16 : 10) + uint(v);
        }
        appendUtf8(out, cp > 0x10FFFF ? 0xFFFD : cp);
    } else {
        out->append(raw.substr(i, semi - i + 1));
    }
    return semi + 1;
}

QString fromUtf8(std::string_view s)
{
    return utf8Decode(s.data(), int(s.size()));
}

inline bool isEscapePattern(const QChar *p, int left)
{
    // "_xHHHH_" starting at p
    return left >= 7 && p[0] == QLatin1Char('_') && p[1] == QLatin1Char('x') && hexValue(p[2].unicode()) >= 0
           && hexValue(p[3].unicode()) >= 0 && hexValue(p[4].unicode()) >= 0 && hexValue(p[5].unicode()) >= 0
           && p[6] == QLatin1Char('_');
}

const char hexDigits[] = "0123456789ABCDEF";

void appendEscape(QByteArray *out, ushort u)
{
    char buf[7] = {'_', 'x', hexDigits[(u >> 12) & 0xF], hexDigits[(u >> 8) & 0xF], hexDigits[(u >> 4) & 0xF],
                   hexDigits[u & 0xF], '_'};
    out->append(buf, 7);
}

} // namespace

QString decodeCharacters(std::string_view raw)
{
    if (raw.find('&') == std::string_view::npos && raw.find('\r') == std::string_view::npos)
        return fromUtf8(raw);
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '&') {
            i = resolveReference(raw, i, &out);
        } else if (c == '\r') {
            out.push_back('\n');
            i += (i + 1 < raw.size() && raw[i + 1] == '\n') ? 2 : 1;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return fromUtf8(out);
}

QString decodeCData(std::string_view raw)
{
    if (raw.find('\r') == std::string_view::npos)
        return fromUtf8(raw);
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(raw[i]);
        }
    }
    return fromUtf8(out);
}

QString decodeAttribute(std::string_view raw)
{
    // Most values are plain: nothing to resolve, no white space to normalise.
    bool plain = true;
    for (const char c : raw)
        plain &= c != '&' && c != '\r' && c != '\n' && c != '\t';
    if (plain)
        return fromUtf8(raw);
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '&') {
            i = resolveReference(raw, i, &out);
        } else if (c == '\r' || c == '\n' || c == '\t') {
            out.push_back(' ');
            i += (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ? 2 : 1;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return fromUtf8(out);
}

bool hasExcelEscapes(const QString &text)
{
    const int n = text.size();
    const QChar *d = text.constData();
    for (int i = 0; i + 7 <= n; ++i)
        if (d[i] == QLatin1Char('_') && isEscapePattern(d + i, n - i))
            return true;
    return false;
}

QString decodeExcelEscapes(const QString &text)
{
    if (!hasExcelEscapes(text))
        return text;
    QString out;
    out.reserve(text.size());
    const int n = text.size();
    const QChar *d = text.constData();
    for (int i = 0; i < n;) {
        if (d[i] == QLatin1Char('_') && isEscapePattern(d + i, n - i)) {
            const ushort u = ushort((hexValue(d[i + 2].unicode()) << 12) | (hexValue(d[i + 3].unicode()) << 8)
                                    | (hexValue(d[i + 4].unicode()) << 4) | hexValue(d[i + 5].unicode()));
            out.append(QChar(u));
            i += 7;
        } else {
            out.append(d[i]);
            ++i;
        }
    }
    return out;
}

void appendEscapedText(QByteArray *out, const QString &text)
{
    const int n = text.size();
    const QChar *d = text.constData();
    int plainFrom = 0; // start of a run that needs no escaping
    auto flush = [&](int to) {
        if (to > plainFrom)
            out->append(QStringView(d + plainFrom, to - plainFrom).toUtf8());
    };
    for (int i = 0; i < n; ++i) {
        const ushort u = d[i].unicode();
        const char *entity = nullptr;
        bool escape = false;
        bool drop = false;
        if (u == '&')
            entity = "&amp;";
        else if (u == '<')
            entity = "&lt;";
        else if (u == '>')
            entity = "&gt;";
        else if (u < 0x20)
            escape = u != '\t' && u != '\n';
        else if (u == 0xFFFE || u == 0xFFFF)
            escape = true;
        else if (QChar::isHighSurrogate(u)) {
            if (i + 1 < n && d[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            drop = true;
        } else if (QChar::isLowSurrogate(u))
            drop = true;
        else if (u == '_' && isEscapePattern(d + i, n - i)) {
            flush(i);
            out->append("_x005F_", 7);
            plainFrom = i + 1;
            continue;
        }
        if (!entity && !escape && !drop)
            continue;
        flush(i);
        if (entity)
            out->append(entity);
        else if (escape)
            appendEscape(out, u);
        plainFrom = i + 1;
    }
    flush(n);
}

void appendEscapedAttribute(QByteArray *out, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '&': out->append("&amp;"); break;
        case '<': out->append("&lt;"); break;
        case '>': out->append("&gt;"); break;
        case '"': out->append("&quot;"); break;
        case '\t': out->append("&#9;"); break;
        case '\n': out->append("&#10;"); break;
        case '\r': out->append("&#13;"); break;
        default: out->append(c);
        }
    }
}

bool needsSpacePreserve(const QString &text)
{
    if (text.isEmpty())
        return false;
    auto ws = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
    return ws(text.front()) || ws(text.back());
}

} // namespace Xlsx
} // namespace Excel
