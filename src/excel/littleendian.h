#pragma once

// Little-endian reads and writes on byte buffers, for the binary records of
// both file formats (zip headers, BIFF records, compound-file sectors).
// Callers check bounds before reading; these helpers only convert.

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

namespace Excel {

inline quint16 u16At(const char *p)
{
    const auto *b = reinterpret_cast<const uchar *>(p);
    return quint16(b[0] | (b[1] << 8));
}

inline quint32 u32At(const char *p)
{
    const auto *b = reinterpret_cast<const uchar *>(p);
    return quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) | (quint32(b[3]) << 24);
}

inline quint64 u64At(const char *p)
{
    return quint64(u32At(p)) | (quint64(u32At(p + 4)) << 32);
}

inline double doubleAt(const char *p)
{
    const quint64 bits = u64At(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline void putU16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

inline void putU32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void putU64(char *p, quint64 v)
{
    putU32(p, quint32(v));
    putU32(p + 4, quint32(v >> 32));
}

inline void appendU16(QByteArray &out, quint16 v)
{
    char b[2];
    putU16(b, v);
    out.append(b, 2);
}

inline void appendU32(QByteArray &out, quint32 v)
{
    char b[4];
    putU32(b, v);
    out.append(b, 4);
}

inline void appendU64(QByteArray &out, quint64 v)
{
    char b[8];
    putU64(b, v);
    out.append(b, 8);
}

inline void appendDouble(QByteArray &out, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    appendU64(out, bits);
}

} // namespace Excel
