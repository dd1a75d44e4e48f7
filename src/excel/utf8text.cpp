#include "utf8text.h"

namespace Excel {

char *utf8Encode(const QChar *text, int length, char *p)
{
    const ushort *u = reinterpret_cast<const ushort *>(text);
    const ushort *end = u + length;
    while (u < end) {
        uint c = *u++;
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && u < end && *u >= 0xDC00 && *u < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (*u++ - 0xDC00);
            *p++ = char(0xF0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3F));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
            continue;
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
        } else {
            *p++ = char(0xE0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = char(0x80 | (c & 0x3F));
    }
    return p;
}

} // namespace Excel
