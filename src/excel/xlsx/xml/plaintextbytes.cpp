#include "xlsx/xml/plaintextbytes.h"

#include <cstring>

namespace Excel {
namespace Xlsx {

namespace {

// "_xHHHH_" at text[i] (text[i] == '_').
inline bool escapeAt(const char *text, size_t size, size_t i)
{
    return excelEscapeAt(text + i, text + size);
}

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

bool excelEscapeAt(const char *p, const char *end, bool orCapitalX)
{
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    return end - p >= 7 && (p[1] == 'x' || (orCapitalX && p[1] == 'X')) && hex(p[2]) && hex(p[3]) && hex(p[4])
           && hex(p[5]) && p[6] == '_';
}

bool decodePlainCharacters(const char *raw, size_t size, std::string *out)
{
    const size_t from = out->size();
    bool referenced = false;
    size_t run = 0; // where the bytes not yet copied start
    for (size_t i = 0; i < size; ++i) {
        const char c = raw[i];
        if (c != '&' && c != '\r' && c != '_')
            continue;
        if (c == '\r')
            return false;
        if (c == '_') {
            if (escapeAt(raw, size, i))
                return false;
            continue;
        }
        out->append(raw + run, i - run);
        const char *r = raw + i + 1;
        const size_t left = size - i - 1;
        auto is = [&](const char *name, size_t n) { return left >= n && std::memcmp(r, name, n) == 0; };
        if (is("amp;", 4)) {
            out->push_back('&');
            i += 4;
        } else if (is("lt;", 3)) {
            out->push_back('<');
            i += 3;
        } else if (is("gt;", 3)) {
            out->push_back('>');
            i += 3;
        } else if (is("quot;", 5)) {
            out->push_back('"');
            i += 5;
        } else if (is("apos;", 5)) {
            out->push_back('\'');
            i += 5;
        } else {
            return false;
        }
        run = i + 1;
        referenced = true;
    }
    out->append(raw + run, size - run);
    // A reference may have spelled out an escape ("&#95;" aside, which is
    // refused above, only '_' itself can start one).
    if (referenced)
        for (size_t i = from; i < out->size(); ++i)
            if ((*out)[i] == '_' && escapeAt(out->data(), out->size(), i))
                return false;
    return true;
}

bool isPlainReplacement(const QString &replacement)
{
    const int n = replacement.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = replacement.at(i);
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n') || u == 0xFFFE || u == 0xFFFF)
            return false;
        if (c.isHighSurrogate()) {
            if (i + 1 >= n || !replacement.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

void appendEscapedPlain(QByteArray *out, const char *text, size_t size)
{
    size_t plainFrom = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        const char *entity;
        if (c == '&')
            entity = "&amp;";
        else if (c == '<')
            entity = "&lt;";
        else if (c == '>')
            entity = "&gt;";
        else if (c == '_' && escapeAt(text, size, i))
            entity = "_x005F_";
        else
            continue;
        out->append(text + plainFrom, int(i - plainFrom));
        out->append(entity);
        plainFrom = i + 1;
    }
    out->append(text + plainFrom, int(size - plainFrom));
}

bool needsSpacePreserve(const char *text, size_t size)
{
    return size > 0 && (isSpace(text[0]) || isSpace(text[size - 1]));
}

bool readsAsItself(std::string_view raw)
{
    const auto *p = reinterpret_cast<const unsigned char *>(raw.data());
    const auto *end = p + raw.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c == '&' || c == '\r' || (c == '_' && p + 1 < end && p[1] == 'x'))
                return false;
            ++p;
            continue;
        }
        int more;
        char32_t u;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            u = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            u = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            u = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            u = (u << 6) | (p[k] & 0x3F);
        }
        if ((more == 2 && (u < 0x800 || (u >= 0xD800 && u <= 0xDFFF))) || (more == 3 && (u < 0x10000 || u > 0x10FFFF)))
            return false;
        p += more + 1;
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
