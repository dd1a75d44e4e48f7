#pragma once

// UTF-16 to UTF-8 into a buffer of the caller's, a lone surrogate as U+FFFD,
// so that what one part of the program encodes and another compares or
// stores is byte for byte the same; and back again, keeping every character.

#include <QString>

namespace Excel {

// The most bytes utf8Encode() writes for length UTF-16 units.
inline int utf8Room(int length)
{
    return 3 * length;
}

// Writes the UTF-8 of the length units at text to out (room for at least
// utf8Room(length) bytes); the end of what it wrote.
char *utf8Encode(const QChar *text, int length, char *out);

// The text of size bytes of UTF-8. Unlike QString::fromUtf8, a U+FEFF at
// the start is kept: inside a cell it is a character of the text, not a
// byte order mark.
QString utf8Decode(const char *data, int size);

} // namespace Excel
