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

QString utf8Decode(const char *data, int size)
{
    // QString::fromUtf8 drops one leading EF BB BF, so each is taken here.
    int marks = 0;
    while (size - 3 * marks >= 3 && uchar(data[3 * marks]) == 0xEF && uchar(data[3 * marks + 1]) == 0xBB
           && uchar(data[3 * marks + 2]) == 0xBF)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(data, size);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(data + 3 * marks, size - 3 * marks);
}

} // namespace Excel
