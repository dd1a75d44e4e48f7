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
    for (size_t i = 0; i < size; ++i) {
        const char c = raw[i];
        if (c == '\r')
            return false;
        if (c == '_' && escapeAt(raw, size, i))
            return false;
        if (c != '&') {
            out->push_back(c);
            continue;
        }
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
    }
    // A reference may have spelled out an escape ("&#95;" aside, which is
    // refused above, only '_' itself can start one).
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

} // namespace Xlsx
} // namespace Excel
